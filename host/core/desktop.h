// The host's desktop: the objects it shows, read from a plain-text desktop file (INI). Platform-free.
//
//   [Desktop]
//   Name=default
//   [Object]
//   Id=1
//   Caption=Recycle Bin
//   Class=custom
//   Plugin=Wastewatch.dll
//   Param1=
//   Param2=0
//   Position=10,10,150,60
//   8750393=Empty          ; a notification code and the state the object shows for it
//
// A line that cannot be read is reported with the file name and line number and skipped; the
// objects that could be read are kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvhost {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct MessageState {
    std::uint32_t code = 0;
    std::string state;
};

struct DesktopObject {
    std::int32_t id = 0;
    std::string caption;
    std::string objectClass = "custom";
    std::string plugin;  // library file name; empty for an object without a plug-in
    std::string param1;
    std::uint32_t param2 = 0;
    std::optional<Rect> position;
    std::vector<MessageState> messages;
    int line = 0;  // where its section starts in the desktop file
};

struct Desktop {
    std::string name = "default";
    std::vector<DesktopObject> objects;
};

struct ParsedDesktop {
    Desktop desktop;
    std::vector<std::string> errors;  // "file:line: what is wrong", in file order
};

inline constexpr std::size_t kMaxObjects = 256;
inline constexpr std::size_t kMaxTextLength = 1024;  // caption, parameter 1, names, states

ParsedDesktop ParseDesktop(std::string_view text, std::string_view fileName);

// The built-in desktop used when no desktop file is given (the same text ships as a file).
std::string_view DefaultDesktopText();
inline constexpr char kDefaultDesktopFileName[] = "default_desktop.ini";

// The state an object shows for a notification code; nothing when the code is not in its list.
std::optional<std::string_view> StateForCode(const DesktopObject& object, std::uint32_t code);

// Objects that name the same library share one load: the key compares file names case-insensitively.
std::string LibraryKey(std::string_view fileName);

// Where each object's window goes: its own position, or the next free cell of a simple grid.
std::vector<Rect> LayOut(const Desktop& desktop);

// A class whose click activates the object through its plug-in.
inline bool IsCustomClass(std::string_view objectClass) {
    return LibraryKey(objectClass) == "custom";
}

}  // namespace qvhost
