#include "environment.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "report.h"
#include "thunk.h"
#include "win32_owner.h"

namespace qvcheck {
namespace {

constexpr std::array<ExportEntry, kExportCount> kSpecs = {{
    {qv::kGetPluginInfoName, 12, "three pointer arguments", true},
    {qv::kDefaultName, 8, "two arguments", true},
    {qv::kInitName, 8, "two pointer arguments", true},
    {qv::kConfigName, 12, "three arguments", false},
    {qv::kCommandName, 8, "two arguments", false},
    {qv::kCommandExName, 16, "four arguments", false},
    {qv::kUninitName, 8, "two pointer arguments", true},
}};

constexpr char kObjectClass[] = "QVcheckObject";

SRWLOCK g_lock = SRWLOCK_INIT;  // guards everything below that two calling threads share
std::string g_step;
std::array<std::string, 2> g_callWhat;
// Odd while a call runs on that slot; every call start and end moves it on.
std::array<std::atomic<std::uint32_t>, 2> g_callSequence{};
std::string g_firstFault;
std::array<CallTime, kExportCount> g_times{};
DWORD g_timeoutMs = 5000;
DWORD g_mainThread = 0;

int g_dialogAnswer = IDOK;
std::uint32_t g_dialogsAnswered = 0;
HWND g_lastDialog = nullptr;
std::string g_lastCaption;
HHOOK g_hook = nullptr;

UnloadOnMessage g_unload;

double NowMs() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string WhereNow() {
    qv::ExclusiveLock lock(g_lock);
    for (std::size_t slot = 0; slot < 2; ++slot) {
        if (g_callSequence[slot] % 2 != 0) return g_callWhat[slot];
    }
    return g_step;
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    const auto code = static_cast<std::uint32_t>(exception->ExceptionRecord->ExceptionCode);
    const void* address = exception->ExceptionRecord->ExceptionAddress;
    std::string where;
    HMODULE module = nullptr;
    if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             static_cast<const char*>(address), &module)) {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(module, path, MAX_PATH);
        const char* name = path;
        for (const char* c = path; *c; ++c) {
            if (*c == '\\' || *c == '/') name = c + 1;
        }
        char offset[32];
        std::snprintf(offset, sizeof offset, "+0x%X",
                      static_cast<unsigned>(static_cast<const char*>(address) - reinterpret_cast<const char*>(module)));
        where = std::string(name) + offset;
    } else {
        where = Hex(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address))) + ", in no module";
    }
    const std::string_view name = ExceptionName(code);
    Emit("crash", std::string("crashed with exception ") + Hex(code) +
                      (name.empty() ? "" : " (" + std::string(name) + ")") + " in " + WhereNow() + " at " + where);
    ::TerminateProcess(::GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Times each call by its own clock: a wake-up counts at most 100 ms, so that a process (or a Wine
// server) kept off the processor by a loaded machine does not pass for a plug-in that hangs.
DWORD WINAPI Watchdog(void*) {
    std::array<std::uint32_t, 2> seen{};
    std::array<double, 2> runningMs{};
    double last = NowMs();
    for (;;) {
        ::Sleep(20);
        const double now = NowMs();
        const double step = std::min(now - last, 100.0);
        last = now;
        for (std::size_t slot = 0; slot < 2; ++slot) {
            const std::uint32_t sequence = g_callSequence[slot];
            if (sequence % 2 == 0 || sequence != seen[slot]) {
                seen[slot] = sequence;
                runningMs[slot] = 0;
                continue;
            }
            runningMs[slot] += step;
            if (runningMs[slot] <= g_timeoutMs) continue;
            std::string what;
            {
                qv::ExclusiveLock lock(g_lock);
                what = g_callWhat[slot];
            }
            Emit("hang", what + " did not return within " + std::to_string(g_timeoutMs) + " ms");
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
    }
}

LRESULT CALLBACK AnswerDialogs(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        char className[64] = {};
        ::GetClassNameA(window, className, sizeof className);
        if (std::string_view(className) == "#32770" && window != g_lastDialog) {
            g_lastDialog = window;
            ++g_dialogsAnswered;
            char caption[256] = {};
            ::GetWindowTextA(window, caption, sizeof caption);
            g_lastCaption = caption;
            ::PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(g_dialogAnswer), 0);
        }
    }
    return ::CallNextHookEx(g_hook, code, wParam, lParam);
}

LRESULT CALLBACK MainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ObjectProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP && message < WM_APP + 0x100) {
        HostLog().push_back({window, message, wParam, lParam});
        if (message == g_unload.message && g_unload.plugin != nullptr) {
            const UnloadOnMessage unload = std::exchange(g_unload, UnloadOnMessage{});
            unload.plugin->Call(Export::kUninit, {Arg(unload.object), Arg(unload.record)},
                                "QVUninit called inside the object window's procedure");
            Step("FreeLibrary inside the object window's procedure");
            unload.plugin->Unload();
        }
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void Emit(const char* kind, const std::string& text) {
    const std::string line = std::string(kind) + "\t" + OneField(text) + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Step(const std::string& text) {
    {
        qv::ExclusiveLock lock(g_lock);
        g_step = text;
    }
    Emit("step", text);
}

const ExportEntry& EntryOf(Export which) {
    return kSpecs[static_cast<std::size_t>(which)];
}

void StartChild(const Options& options) {
    g_timeoutMs = options.timeoutMs;
    g_mainThread = ::GetCurrentThreadId();
    for (std::size_t i = 0; i < kExportCount; ++i) g_times[i].function = kSpecs[i].name;
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(ReportCrash);
    ::CloseHandle(::CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    g_hook = ::SetWindowsHookExA(WH_CBT, AnswerDialogs, nullptr, ::GetCurrentThreadId());
    // A host has the system's common libraries loaded for good. Without them, a plug-in that imports
    // one would load and unload it every round, and what the system library keeps per load of its own
    // would be charged to the plug-in.
    for (const char* library : {"shell32.dll", "shlwapi.dll", "comctl32.dll", "ole32.dll", "oleaut32.dll",
                                "advapi32.dll", "gdi32.dll", "comdlg32.dll"}) {
        ::LoadLibraryA(library);
    }
}

void AnswerDialogsWith(int command) {
    g_dialogAnswer = command;
}
std::uint32_t DialogsAnswered() {
    return g_dialogsAnswered;
}
std::string LastDialogCaption() {
    return g_lastCaption;
}

std::string FirstCallFault() {
    qv::ExclusiveLock lock(g_lock);
    return g_firstFault;
}

std::vector<CallTime> CallTimes() {
    qv::ExclusiveLock lock(g_lock);
    return {g_times.begin(), g_times.end()};
}

bool Plugin::Load(const std::string& path, std::string& error) {
    Unload();
    Step("LoadLibrary");
    module_ = ::LoadLibraryA(path.c_str());
    if (module_ == nullptr) {
        error = "cannot load " + path + std::string(": error ") + std::to_string(::GetLastError());
        return false;
    }
    for (std::size_t i = 0; i < kExportCount; ++i) {
        functions_[i] = reinterpret_cast<const void*>(::GetProcAddress(module_, kSpecs[i].name));
    }
    return true;
}

void Plugin::Unload() {
    if (module_ == nullptr) return;
    Step("FreeLibrary");
    ::FreeLibrary(std::exchange(module_, nullptr));
    functions_ = {};
}

std::uint32_t Plugin::Call(Export which, std::initializer_list<std::uint32_t> arguments, const std::string& what,
                           int slot, bool dialog) {
    const ExportEntry& entry = EntryOf(which);
    {
        qv::ExclusiveLock lock(g_lock);
        g_callWhat[slot] = what;
        if (slot == 0) g_step = what;
    }
    if (slot == 0) Emit("step", what);
    std::uint32_t args[4] = {};
    std::size_t count = 0;
    for (std::uint32_t value : arguments) args[count++] = value;
    const double start = NowMs();
    const std::uint32_t dialogsBefore = g_dialogsAnswered;
    ++g_callSequence[slot];
    const ThunkOutcome outcome = CallThroughThunk(slot, functions_[static_cast<std::size_t>(which)], args,
                                                  static_cast<std::uint32_t>(count));
    ++g_callSequence[slot];
    const double elapsed = NowMs() - start;
    // A call that showed a dialog or a message box waited for it: not timed against the budget.
    if (g_dialogsAnswered != dialogsBefore) dialog = true;
    qv::ExclusiveLock lock(g_lock);
    CallTime& time = g_times[static_cast<std::size_t>(which)];
    if (dialog) {
        ++time.dialogCalls;
    } else {
        ++time.calls;
        time.totalMs += elapsed;
        if (elapsed > time.worstMs) time.worstMs = elapsed;
    }
    if (g_firstFault.empty()) {
        for (const std::string& fault :
             {StackCause(entry.name, entry.argumentBytes, entry.argumentWords, outcome.removedBytes),
              RegisterCause(entry.name, "EBX", kEbxBefore, outcome.ebx),
              RegisterCause(entry.name, "ESI", kEsiBefore, outcome.esi),
              RegisterCause(entry.name, "EDI", kEdiBefore, outcome.edi),
              RegisterCause(entry.name, "EBP", kEbpBefore, outcome.ebp)}) {
            if (!fault.empty()) {
                g_firstFault = fault;
                break;
            }
        }
    }
    return outcome.result;
}

HWND MainWindow() {
    static HWND window = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = MainProcedure;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = qv::kMainWindowClass;
        ::RegisterClassA(&windowClass);
        return ::CreateWindowExA(0, qv::kMainWindowClass, qv::kMainWindowName, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                 nullptr, nullptr, windowClass.hInstance, nullptr);
    }();
    return window;
}

HWND MakeObjectWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ObjectProcedure;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kObjectClass;
    ::RegisterClassA(&windowClass);  // fails harmlessly once the class exists
    return ::CreateWindowExA(0, kObjectClass, "object", WS_POPUP | WS_VISIBLE, 10, 10, 120, 60, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
}

std::vector<LoggedMessage>& HostLog() {
    static std::vector<LoggedMessage> log;
    return log;
}

void SetUnloadOnMessage(const UnloadOnMessage& unload) {
    g_unload = unload;
}

void Pump() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

bool ModuleGoneWithin(HMODULE base, DWORD timeoutMs) {
    for (DWORD start = ::GetTickCount();; ::Sleep(1)) {
        HMODULE found = nullptr;
        const bool mapped = ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                 reinterpret_cast<const char*>(base), &found) &&
                            found == base;
        if (!mapped) return true;
        if (::GetTickCount() - start > timeoutMs) return false;
    }
}

}  // namespace qvcheck
