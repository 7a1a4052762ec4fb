// The entry points the host calls: description, record defaults, binding and unbinding.
#include <windows.h>

#include <cstdint>

#include "module_state.h"

namespace {

constexpr char kDescription[] =
    "Hotrelay Version 0.2.2 Build 4 Beta.\n\n"
    "A QV plugin which may be used to extend other QV plugins, or to assign a hotkey to its associated object, "
    "or both.\n\n"
    "To use it as a relay, give an object the class \"custom\" and name this plugin. Set the object's "
    "parameter 1 to the name of another plugin library that is already loaded, followed by the name of one of "
    "its functions in parentheses, for example Other.dll(Run). Set parameter 2 to the value that function is "
    "to receive. When the object is clicked, the function is called with parameter 2.\n\n"
    "Example: a calculator sample object is made of many button objects. Every button uses this plugin as a "
    "relay, all with the same parameter 1, Calc.dll(Press), and each with its own key as parameter 2, so one "
    "function of the calculator plugin handles every button.\n\n"
    "***** NEW MOD *****\n\n"
    "Hotkey mode: any object that names this plugin can also be given a system-wide hotkey. It must first be "
    "configured: open the object's plugin properties, choose a key, one modifier and what the hotkey does "
    "(single click, double click or mouse over). Pressing the hotkey then acts on the object's window as the "
    "mouse would. The status line of the properties tells whether the hotkey is in use.\n\n"
    "Example: an object of the \"Show Desktop\" class that names this plugin, configured with WinKey + F10 "
    "and Single Click, shows the desktop whenever WinKey + F10 is pressed.\n\n"
    "Example: an object that relays to a run-list plugin's function with parameter 2 set to \"toggle\", and "
    "has a hotkey as well, toggles that run list from the keyboard or with a click.";

}  // namespace

extern "C" {

// The contract promises valid pointers; a host that breaks the promise still gets no crash and no
// exception back: a null pointer is simply not written through.

std::int32_t __stdcall QVGetPluginInfo(std::uint32_t* recordSize, const char** description,
                                       std::uint32_t* flag) noexcept {
    return qv::DescribePlugin(sizeof(hotrelay::HotkeyRecord), kDescription, recordSize, description, flag);
}

std::int32_t __stdcall QVDefault(std::uint32_t /*hostValue*/, hotrelay::HotkeyRecord* record) noexcept {
    if (record == nullptr) return qv::kOk;
    // The two reserved bytes belong to the host's storage and are left as they are.
    record->modifiers = 0;
    record->virtualKey = 0;
    record->activationKind = 0;
    record->atom = 0;
    record->previousProc = 0;
    return qv::kOk;
}

std::int32_t __stdcall QVInit(const qv::ObjectRecord* object, hotrelay::HotkeyRecord* record) noexcept {
    if (object != nullptr && record != nullptr) hotrelay::Bind(*object, *record);
    return qv::kOk;
}

std::int32_t __stdcall QVUninit(const qv::ObjectRecord* /*object*/, hotrelay::HotkeyRecord* record) noexcept {
    if (record != nullptr) hotrelay::Unbind(*record);
    return qv::kOk;
}

}  // extern "C"
