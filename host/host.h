// What the reference host's parts share: the desktop's objects and libraries, the main window, the
// lock over what the tour's thread reads, and the event log. The parts are the plug-in driver with
// the records file (plugin_driver.cpp), the windows (host_windows.cpp) and the program with the
// tour's plumbing (host_main.cpp). Everything runs on the host's thread, except the tour's
// thread, which reads an object's shown state under g_lock only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop.h"
#include "plugin_loader.h"
#include "tour_view.h"
#include "win32_owner.h"

namespace qvhost {

struct Library {
    std::string file;
    std::optional<qv::PluginLibrary> plugin;
    std::string error;
    std::uint32_t recordSize = 0;
};

struct HostObject {
    DesktopObject desc;
    HWND window = nullptr;
    qv::ObjectRecord object{};
    Library* library = nullptr;              // null: no plug-in, or it could not be loaded
    std::unique_ptr<std::uint8_t[]> record;  // exactly library->recordSize bytes, at one address
    bool initialised = false;
    bool buttonDown = false;
    bool restored = false;
    // What a save compares the record with (records.h, RecordChanged).
    std::optional<std::vector<std::uint8_t>> reference;
    // Shown state, read by the tour's thread: guarded by g_lock.
    std::string caption;
    std::string state;
    bool error = false;
    unsigned clicks = 0;
    unsigned propertiesDone = 0;
    std::vector<std::string> shown;
    std::map<std::uint32_t, unsigned> received;
};

extern Desktop g_desktop;
extern std::vector<std::unique_ptr<HostObject>> g_objects;  // in desktop order, made with the windows
extern HWND g_main;
extern SRWLOCK g_lock;

// The objects' state, changed under Exclusive and read under Shared.
struct Exclusive : qv::ExclusiveLock {
    Exclusive() noexcept : qv::ExclusiveLock(g_lock) {}
};
struct Shared : qv::SharedLock {
    Shared() noexcept : qv::SharedLock(g_lock) {}
};

std::string Format(const char* format, ...);
// The object as the event log names it: its caption and identifier.
std::string Name(const HostObject& o);
void LogObject(const HostObject& o, const std::string& text);
HostObject* FindObject(std::int32_t id);
// The state the object shows under its caption; error shows it in red.
void SetState(HostObject& o, const std::string& state, bool error);

// The windows (host_windows.cpp): the main window and one child window per desktop object, each
// object made with its window.
bool CreateWindows(HINSTANCE instance);

// The program (host_main.cpp): the tour has ended; the host closes.
void OnTourDone(bool passed);

}  // namespace qvhost
