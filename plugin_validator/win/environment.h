// What a check's child process brings along: a host's windows, the plug-in's entry points called
// through the thunk and timed, a watchdog for calls that hang, and the lines the parent reads.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "checks.h"
#include "qv_contract.h"
#include "verdicts.h"

namespace qvcheck {

// One line to the parent: kind, a tab, the text.
void Emit(const char* kind, const std::string& text);
// What the child is doing now, for the parent's report of a crash or a hang.
void Step(const std::string& text);

enum class Export { kGetPluginInfo, kDefault, kInit, kConfig, kCommand, kCommandEx, kUninit };
inline constexpr std::size_t kExportCount = 7;
struct ExportEntry {
    const char* name;
    std::uint32_t argumentBytes;
    const char* argumentWords;
    bool required;
};
const ExportEntry& EntryOf(Export which);

// Installs the crash report, the watchdog (a call running longer than timeoutMs has hung) and the
// dialog hook on this thread.
void StartChild(const Options& options);

// What a dialog or message box that opens during a call gets: OK or Cancel, posted once it is active.
void AnswerDialogsWith(int command);
// Dialogs and boxes answered so far, and the caption of the last one.
std::uint32_t DialogsAnswered();
std::string LastDialogCaption();

// The first stack or register fault any call showed, "" while none.
std::string FirstCallFault();
// Durations of every call so far, by entry point.
std::vector<CallTime> CallTimes();

class Plugin {
public:
    Plugin() = default;
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    ~Plugin() { Unload(); }

    bool Load(const std::string& path, std::string& error);
    void Unload();
    HMODULE module() const noexcept { return module_; }
    bool Has(Export which) const noexcept { return functions_[static_cast<std::size_t>(which)] != nullptr; }
    // Calls an export through the thunk on the given slot; a call inside a dialog is not timed against
    // the budget. The current step names the call for a crash or hang.
    std::uint32_t Call(Export which, std::initializer_list<std::uint32_t> arguments, const std::string& what,
                       int slot = 0, bool dialog = false);

private:
    HMODULE module_ = nullptr;
    std::array<const void*, kExportCount> functions_{};
};

template <typename T>
std::uint32_t Arg(T* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The host's main window ("QVmain"), made once per child on its main thread.
HWND MainWindow();
// An object window of the host's class on the calling thread; its procedure logs the probe messages.
HWND MakeObjectWindow();
struct LoggedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const LoggedMessage&) const = default;
};
// Probe messages that reached the host's procedure, oldest first.
std::vector<LoggedMessage>& HostLog();
// While set, the host's procedure unloads the plug-in when this message arrives, as a host does on a click.
struct UnloadOnMessage {
    UINT message = 0;
    Plugin* plugin = nullptr;
    const qv::ObjectRecord* object = nullptr;
    void* record = nullptr;
};
void SetUnloadOnMessage(const UnloadOnMessage& unload);
// Dispatches this thread's pending messages.
void Pump();
// Whether the module at this base is unmapped within the time.
bool ModuleGoneWithin(HMODULE base, DWORD timeoutMs);

}  // namespace qvcheck
