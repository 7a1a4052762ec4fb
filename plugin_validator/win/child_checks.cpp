#include "child_checks.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "counts.h"
#include "cycle_order.h"
#include "environment.h"
#include "process_counts.h"
#include "report.h"
#include "win32_owner.h"

namespace qvcheck {
namespace {

struct Info {
    std::uint32_t recordSize = 0xDEADBEEFu;
    const char* description = reinterpret_cast<const char*>(0xDEADBEEFu);
    std::uint32_t flag = 0xDEADBEEFu;
};

Info ReadInfo(Plugin& plugin, const std::string& what = "QVGetPluginInfo") {
    Info info;
    plugin.Call(Export::kGetPluginInfo, {Arg(&info.recordSize), Arg(&info.description), Arg(&info.flag)}, what);
    return info;
}

// The record sizes the validator holds buffers for; larger ones are read as this many bytes.
constexpr std::uint32_t kLargestRecord = 1u << 20;
std::uint32_t RecordSize(const Info& info) {
    return info.recordSize == 0xDEADBEEFu ? 0 : std::min(info.recordSize, kLargestRecord);
}

// A text whose every byte up to its NUL lies in readable memory, at most 64 KiB long.
std::optional<std::string> ReadableText(const char* text) {
    std::string read;
    const char* at = text;
    while (read.size() <= 65536) {
        MEMORY_BASIC_INFORMATION region{};
        if (::VirtualQuery(at, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT ||
            (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) {
            return std::nullopt;
        }
        const char* end = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        for (; at < end; ++at) {
            if (*at == '\0') return read;
            read += *at;
        }
    }
    return std::nullopt;
}

[[noreturn]] void CannotLoad(const std::string& error) {
    Emit("noload", error);
    ::ExitProcess(kChildCannotLoad);
}

void LoadOrQuit(Plugin& plugin, const Options& options) {
    std::string error;
    if (!plugin.Load(options.plugin, error)) CannotLoad(error);
}

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A host's object: its window and its record of the plug-in's data.
struct HostObject {
    qv::ObjectRecord object{};
    std::vector<std::uint8_t> record;
    qv::UniqueWindow window;
    HostObject(std::int32_t id, std::uint32_t recordSize) : record(std::max<std::uint32_t>(recordSize, 4)) {
        window.reset(MakeObjectWindow());
        object.id = id;
        object.window = Arg(window.get());
    }
    std::uint32_t Object() const { return Arg(&object); }
    std::uint32_t Record() { return Arg(record.data()); }
};

Verdict CheckExports(const Options& options) {
    Plugin plugin;
    LoadOrQuit(plugin, options);
    Verdict outcome;
    std::size_t found = 0;
    std::vector<std::string> absent;
    for (std::size_t i = 0; i < kExportCount; ++i) {
        const auto which = static_cast<Export>(i);
        const ExportEntry& entry = EntryOf(which);
        if (plugin.Has(which)) {
            ++found;
            continue;
        }
        const std::string decorated = std::string(entry.name) + std::string("@") + std::to_string(entry.argumentBytes);
        const bool onlyDecorated = ::GetProcAddress(plugin.module(), decorated.c_str()) != nullptr ||
                                   ::GetProcAddress(plugin.module(), ("_" + decorated).c_str()) != nullptr;
        if (onlyDecorated) {
            outcome.Note(Result::kFail, std::string(entry.name) + " is exported only as " + decorated +
                                            ": export the undecorated name through a .def file or -Wl,--kill-at");
        } else if (entry.required) {
            outcome.Note(Result::kFail, std::string(entry.name) + " is not exported: the host cannot use the plug-in");
        }
        absent.push_back(std::string(entry.name) + (entry.required ? "" : " (optional)"));
    }
    if (!plugin.Has(Export::kCommand) && !plugin.Has(Export::kCommandEx)) {
        outcome.Note(LeftToPlugin(options.level),
                     "neither QVCommand nor QVCommandEx is exported: activating its object does nothing");
    }
    outcome.figure = std::to_string(found) + " of 7 entry points";
    for (std::size_t i = 0; i < absent.size(); ++i) outcome.figure += (i == 0 ? "; absent: " : ", ") + absent[i];
    if (plugin.Has(Export::kGetPluginInfo)) ReadInfo(plugin);
    return outcome;
}

InfoReading Reading(const Info& info) {
    InfoReading reading;
    if (info.recordSize != 0xDEADBEEFu) reading.recordSize = info.recordSize;
    if (info.flag != 0xDEADBEEFu) reading.flag = info.flag;
    reading.descriptionWritten = info.description != reinterpret_cast<const char*>(0xDEADBEEFu);
    if (reading.descriptionWritten) reading.description = ReadableText(info.description);
    return reading;
}

Verdict CheckInfo(const Options& options) {
    Plugin plugin;
    LoadOrQuit(plugin, options);
    const Info first = ReadInfo(plugin, "QVGetPluginInfo, first call");
    const Info second = ReadInfo(plugin, "QVGetPluginInfo, second call");
    return ReadPluginInfo(Reading(first), Reading(second), options.level);
}

Verdict CheckDefault(const Options& options) {
    Plugin plugin;
    LoadOrQuit(plugin, options);
    const std::uint32_t size = RecordSize(ReadInfo(plugin));
    DefaultFills fills;
    for (std::size_t run = 0; run < fills.buffers.size(); ++run) {
        std::vector<std::uint8_t>& buffer = fills.buffers[run];
        buffer.assign(DefaultFills::kGuard + size + DefaultFills::kGuard, DefaultFills::kSentinels[run]);
        plugin.Call(Export::kDefault, {0, Arg(buffer.data() + DefaultFills::kGuard)},
                    "QVDefault on a sentinel-filled record of " + std::to_string(size) + " bytes");
    }
    return ReadDefaultFills(fills, size, options.level);
}

Verdict CheckHostile(const Options& options) {
    Plugin plugin;
    LoadOrQuit(plugin, options);
    Verdict outcome;
    const std::uint32_t size = RecordSize(ReadInfo(plugin));
    {
        HostObject host(1, size);
        std::fill(host.record.begin(), host.record.end(), 0xFF);
        plugin.Call(Export::kInit, {host.Object(), host.Record()}, "QVInit on a record filled with 0xFF");
        Pump();
        plugin.Call(Export::kUninit, {host.Object(), host.Record()}, "QVUninit on a record filled with 0xFF");
        Pump();
    }
    {
        HostObject host(2, size);
        host.window.reset();  // the handle in the object record now names no window
        plugin.Call(Export::kDefault, {0, host.Record()}, "QVDefault");
        plugin.Call(Export::kInit, {host.Object(), host.Record()}, "QVInit with a window handle that no longer exists");
        Pump();
        plugin.Call(Export::kUninit, {host.Object(), host.Record()},
                    "QVUninit with a window handle that no longer exists");
        Pump();
    }
    outcome.figure = "0xFF record, dead window";
    if (options.level >= 3) {
        HostObject host(3, size);
        plugin.Call(Export::kDefault, {0, 0}, "QVDefault with a null record");
        plugin.Call(Export::kDefault, {0, host.Record()}, "QVDefault");
        plugin.Call(Export::kInit, {0, host.Record()}, "QVInit with a null object record");
        plugin.Call(Export::kUninit, {0, host.Record()}, "QVUninit with a null object record");
        plugin.Call(Export::kInit, {host.Object(), 0}, "QVInit with a null data record");
        plugin.Call(Export::kUninit, {host.Object(), 0}, "QVUninit with a null data record");
        Pump();
        outcome.figure += ", null pointers";
    }
    outcome.figure += ": no crash, no hang";
    return outcome;
}

// Counting takes seconds under Wine (every handle value and atom is asked for), and the verdict reads
// the first round, the middle one and the last: only those are counted.
bool IsSampleRound(std::uint32_t round, std::uint32_t rounds) {
    return round == 0 || round == (rounds - 1) / 2 || round + 1 == rounds;
}

Verdict CheckCycles(const Options& options) {
    Verdict outcome;
    Plugin plugin;
    LoadOrQuit(plugin, options);
    const std::uint32_t size = RecordSize(ReadInfo(plugin));
    const RoundExports exports{options.commands && plugin.Has(Export::kCommand),
                               options.commands && plugin.Has(Export::kCommandEx)};
    plugin.Unload();
    HostObject a(1, size), b(2, size);
    std::array<std::vector<Sample>, kResourceCount> samples;
    std::array<bool, kResourceCount> measured{};
    measured.fill(true);
    std::uint32_t initsRefused = 0, stillMapped = 0;
    AnswerDialogsWith(IDOK);
    for (std::uint32_t round = 0; round < options.cycles; ++round) {
        const std::string of = std::string(" in round ") + std::to_string(round + 1);
        LoadOrQuit(plugin, options);
        const HMODULE base = plugin.module();
        for (const Call call : RoundCalls(options.seed, round, exports)) {
            switch (call) {
                case Call::kInfo: ReadInfo(plugin, "QVGetPluginInfo" + of); break;
                case Call::kDefaultA:
                    plugin.Call(Export::kDefault, {0, a.Record()}, "QVDefault of object 1" + of);
                    break;
                case Call::kDefaultB:
                    plugin.Call(Export::kDefault, {0, b.Record()}, "QVDefault of object 2" + of);
                    break;
                case Call::kInitA:
                    if (plugin.Call(Export::kInit, {a.Object(), a.Record()}, "QVInit of object 1" + of) == 0)
                        ++initsRefused;
                    break;
                case Call::kInitB:
                    if (plugin.Call(Export::kInit, {b.Object(), b.Record()}, "QVInit of object 2" + of) == 0)
                        ++initsRefused;
                    break;
                case Call::kCommand: plugin.Call(Export::kCommand, {0, 0}, "QVCommand" + of); break;
                case Call::kCommandEx:
                    plugin.Call(Export::kCommandEx, {Arg(""), 0, 0, 0}, "QVCommandEx with an empty parameter 1" + of);
                    break;
                case Call::kUninitA:
                    plugin.Call(Export::kUninit, {a.Object(), a.Record()}, "QVUninit of object 1" + of);
                    break;
                case Call::kUninitB:
                    plugin.Call(Export::kUninit, {b.Object(), b.Record()}, "QVUninit of object 2" + of);
                    break;
            }
            Pump();
        }
        plugin.Unload();
        Step("waiting for the library to be unmapped" + of);
        if (!ModuleGoneWithin(base, 3000)) ++stillMapped;
        Pump();
        if (!IsSampleRound(round, options.cycles)) continue;
        Step(std::string("counting resources after round ") + std::to_string(round + 1));
        const Counts counts = MeasureCounts();
        for (std::size_t r = 0; r < kResourceCount; ++r) {
            samples[r].push_back({round, counts.values[r]});
            measured[r] = measured[r] && counts.measured[r];
        }
    }
    outcome.figure = std::to_string(options.cycles) + " rounds, per round:";
    bool userGdiUnmeasured = false;
    for (std::size_t r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        if (!measured[r]) {
            if (resource == Resource::kUserObjects || resource == Resource::kGdiObjects) {
                userGdiUnmeasured = true;
                continue;
            }
            outcome.figure += " " + GrowthFigure(resource, 0, false) + ",";
            continue;
        }
        const Growth growth = ReadGrowth(resource, samples[r], options.level);
        outcome.figure += " " + GrowthFigure(resource, growth.perRound, true) + ",";
        outcome.Note(growth.result, GrowthCause(resource, growth, options.cycles));
    }
    outcome.figure.pop_back();
    if (userGdiUnmeasured) outcome.figure += "; USER and GDI objects not measured";
    if (initsRefused != 0)
        outcome.figure += std::string("; QVInit returned 0 ") + Plural(initsRefused, "time", "times");
    if (DialogsAnswered() != 0) {
        outcome.figure += std::string("; ") + Plural(DialogsAnswered(), "message box", "message boxes") +
                          " closed (\"" + LastDialogCaption() + "\")";
    }
    if (stillMapped != 0) {
        outcome.Note(Result::kFail, "the library was still mapped 3000 ms after FreeLibrary in " +
                                        Plural(stillMapped, "round", "rounds"));
    }
    return outcome;
}

// Where a thread is running now, 0 when that cannot be read.
std::uintptr_t InstructionPointer(DWORD threadId) {
    qv::UniqueHandle thread(
        ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, threadId));
    if (!thread || ::SuspendThread(thread.get()) == static_cast<DWORD>(-1)) return 0;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    const bool read = ::GetThreadContext(thread.get(), &context);
    ::ResumeThread(thread.get());
    return read ? context.Eip : 0;
}

Verdict CheckUnload(const Options& options) {
    Verdict outcome;
    qv::SettledThreadCount();
    const std::set<DWORD> before = qv::ThreadIdsOfThisProcess();
    Plugin plugin;
    LoadOrQuit(plugin, options);
    const HMODULE base = plugin.module();
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(base) + dos->e_lfanew);
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t end = start + nt->OptionalHeader.SizeOfImage;
    {
        HostObject a(1, RecordSize(ReadInfo(plugin))), b(2, static_cast<std::uint32_t>(a.record.size()));
        plugin.Call(Export::kDefault, {0, a.Record()}, "QVDefault of object 1");
        plugin.Call(Export::kDefault, {0, b.Record()}, "QVDefault of object 2");
        plugin.Call(Export::kInit, {a.Object(), a.Record()}, "QVInit of object 1");
        plugin.Call(Export::kInit, {b.Object(), b.Record()}, "QVInit of object 2");
        Pump();
        plugin.Call(Export::kUninit, {a.Object(), a.Record()}, "QVUninit of object 1");
        plugin.Call(Export::kUninit, {b.Object(), b.Record()}, "QVUninit of object 2");
        Pump();
    }
    const DWORD unloadStart = ::GetTickCount();
    plugin.Unload();
    Step("waiting for the library to be unmapped");
    constexpr DWORD kBound = 3000;
    const bool gone = ModuleGoneWithin(base, kBound);
    const DWORD took = ::GetTickCount() - unloadStart;
    if (!gone)
        outcome.Note(Result::kFail, std::string("the library is still mapped ") + std::to_string(kBound) +
                                        " ms after the last FreeLibrary: a thread or reference keeps it");
    qv::SettledThreadCount();
    std::size_t stillRunning = 0;
    for (const DWORD id : qv::ThreadIdsOfThisProcess()) {
        if (before.count(id) != 0) continue;
        ++stillRunning;
        const std::uintptr_t at = InstructionPointer(id);
        if (at >= start && at < end) {
            outcome.Note(Result::kFail, std::string("thread ") + std::to_string(id) +
                                            " still runs the plug-in's code at +0x" +
                                            Hex(static_cast<std::uint32_t>(at - start)).substr(2) + " after unload");
        }
    }
    if (stillRunning != 0) {
        outcome.Note(LeftToPlugin(options.level),
                     Plural(stillRunning, "thread", "threads") +
                         " started while the plug-in was loaded still running after unload");
    }
    outcome.figure = gone ? std::string("unmapped within ") + std::to_string(took) + " ms" : "still mapped";
    outcome.figure += std::string(", ") + Plural(stillRunning, "new thread", "new threads") + " left";
    return outcome;
}

struct Probe {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool posted;
};
constexpr Probe kProbes[] = {
    {WM_APP + 1, 1, 2, false},
    {WM_APP + 2, 0x10, 0x20, true},
    {WM_APP + 3, 0xFFFFFFFFu, 0x7FFFFFFF, false},
    {WM_APP + 4, 0, 0, true},
};

std::string Message(UINT message) {
    return std::string("WM_APP+") + std::to_string(message - WM_APP);
}

// Sends and posts the probe table and compares what reached the host's procedure with it.
void SendProbes(HWND window, const std::string& when, Verdict& outcome) {
    HostLog().clear();
    for (const Probe& probe : kProbes) {
        Step(std::string("sending ") + Message(probe.message) + " to the object window " + when);
        if (probe.posted) {
            ::PostMessageA(window, probe.message, probe.wParam, probe.lParam);
            Pump();
        } else {
            ::SendMessageA(window, probe.message, probe.wParam, probe.lParam);
        }
    }
    Pump();
    std::vector<LoggedMessage> expected;
    for (const Probe& probe : kProbes) expected.push_back({window, probe.message, probe.wParam, probe.lParam});
    if (HostLog() == expected) return;
    for (const LoggedMessage& message : expected) {
        if (std::find(HostLog().begin(), HostLog().end(), message) == HostLog().end()) {
            outcome.Note(Result::kFail, Message(message.message) + " " + when + " did not reach the host's procedure");
            return;
        }
    }
    outcome.Note(Result::kFail, "the messages sent " + when + " reached the host's procedure out of order or changed");
}

Verdict CheckWindow(const Options& options) {
    Verdict outcome;
    Plugin plugin;
    LoadOrQuit(plugin, options);
    HostObject host(1, RecordSize(ReadInfo(plugin)));
    plugin.Call(Export::kDefault, {0, host.Record()}, "QVDefault");
    plugin.Call(Export::kInit, {host.Object(), host.Record()}, "QVInit");
    Pump();
    SendProbes(host.window.get(), "while the plug-in is bound", outcome);
    plugin.Call(Export::kUninit, {host.Object(), host.Record()}, "QVUninit");
    Pump();
    SendProbes(host.window.get(), "after QVUninit", outcome);
    outcome.figure = std::to_string(std::size(kProbes)) + " messages while bound and after QVUninit";
    // A plug-in that keeps its procedure on the window would crash the next step, and the crash would
    // hide the fault found: it is reported as it stands.
    if (outcome.result == Result::kFail) return outcome;
    // A host that unloads the plug-in when its object is clicked does so inside the window's procedure.
    plugin.Call(Export::kInit, {host.Object(), host.Record()}, "QVInit again");
    Pump();
    constexpr UINT kUnloadMessage = WM_APP + 9;
    SetUnloadOnMessage({kUnloadMessage, &plugin, &host.object, host.record.data()});
    Step("sending the message on which the host unloads the plug-in inside the window's procedure");
    ::SendMessageA(host.window.get(), kUnloadMessage, 0, 0);
    Pump();
    SetUnloadOnMessage({});
    if (plugin.module() != nullptr) {
        outcome.Note(Result::kFail,
                     "the message on which the host unloads the plug-in did not reach the host's "
                     "procedure");
    }
    SendProbes(host.window.get(), "after the plug-in was unloaded inside the window's procedure", outcome);
    outcome.figure = std::to_string(std::size(kProbes)) +
                     " messages bound, after QVUninit and after an unload in the "
                     "window's procedure";
    return outcome;
}

struct Walk {
    const std::vector<HWND>* own;
    std::vector<HWND> stray;
};

BOOL CALLBACK StrayWindow(HWND window, LPARAM data) {
    auto* walk = reinterpret_cast<Walk*>(data);
    char className[64] = {};
    ::GetClassNameA(window, className, sizeof className);
    // The system's own input-method windows come with a thread's first dialog and stay.
    const std::string_view name = className;
    if (name == "IME" || name == "MSCTFIME UI") return TRUE;
    if (std::find(walk->own->begin(), walk->own->end(), window) == walk->own->end()) walk->stray.push_back(window);
    return TRUE;
}

// Top-level windows of this thread other than the host's own.
std::vector<HWND> StrayWindows(const std::vector<HWND>& own) {
    Walk walk{&own, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &StrayWindow, reinterpret_cast<LPARAM>(&walk));
    return walk.stray;
}

Verdict CheckConfig(const Options& options) {
    Verdict outcome;
    Plugin plugin;
    LoadOrQuit(plugin, options);
    if (!plugin.Has(Export::kConfig)) return {Result::kSkip, "", "QVConfig is not exported"};
    HostObject host(1, RecordSize(ReadInfo(plugin)));
    // Windows the host had before: its own and whatever the system made for its thread.
    std::vector<HWND> own = {MainWindow(), host.window.get()};
    for (HWND window : StrayWindows(own)) own.push_back(window);
    plugin.Call(Export::kDefault, {0, host.Record()}, "QVDefault");
    plugin.Call(Export::kInit, {host.Object(), host.Record()}, "QVInit");
    Pump();
    const std::pair<int, const char*> answers[] = {{IDCANCEL, "cancelled"}, {IDOK, "confirmed with OK"}};
    for (const auto& [answer, how] : answers) {
        const std::vector<std::uint8_t> before = host.record;
        const std::uint32_t dialogs = DialogsAnswered();
        AnswerDialogsWith(answer);
        const DWORD start = ::GetTickCount();
        plugin.Call(Export::kConfig, {host.Object(), host.Record(), Arg(MainWindow())},
                    std::string("QVConfig, its dialog ") + how, 0, true);
        const DWORD took = ::GetTickCount() - start;
        Pump();
        std::size_t changed = 0;
        for (std::size_t i = 0; i < before.size(); ++i) changed += before[i] != host.record[i];
        outcome.figure += std::string(outcome.figure.empty() ? "" : "; ") + how + ": " +
                          (DialogsAnswered() == dialogs
                               ? "no dialog"
                               : std::string("returned after ") + std::to_string(took) + " ms") +
                          std::string(", ") + Plural(changed, "record byte", "record bytes") + " changed";
        for (HWND stray : StrayWindows(own)) {
            if (!::IsWindow(stray)) continue;
            char className[64] = {}, caption[128] = {};
            ::GetClassNameA(stray, className, sizeof className);
            ::GetWindowTextA(stray, caption, sizeof caption);
            outcome.Note(Result::kFail, std::string("a window of class ") + className + " (\"" + caption +
                                            "\") is left after QVConfig returned, its dialog " + how);
            ::DestroyWindow(stray);
        }
    }
    plugin.Call(Export::kUninit, {host.Object(), host.Record()}, "QVUninit");
    Pump();
    return outcome;
}

constexpr int kThreadRounds = 50;
struct Worker {
    Plugin* plugin;
    std::uint32_t size;
    int slot;
};

DWORD WINAPI CallAlongside(void* data) {
    const auto* worker = static_cast<Worker*>(data);
    HostObject host(10 + worker->slot, worker->size);
    const std::string who = std::string(" on thread ") + std::to_string(worker->slot + 1) +
                            " while the other calls too";
    for (int round = 0; round < kThreadRounds; ++round) {
        worker->plugin->Call(Export::kDefault, {0, host.Record()}, "QVDefault" + who, worker->slot);
        worker->plugin->Call(Export::kInit, {host.Object(), host.Record()}, "QVInit" + who, worker->slot);
        Pump();
        worker->plugin->Call(Export::kUninit, {host.Object(), host.Record()}, "QVUninit" + who, worker->slot);
        Pump();
    }
    return 0;
}

Verdict CheckThreads(const Options& options) {
    Verdict outcome;
    Plugin plugin;
    LoadOrQuit(plugin, options);
    const std::uint32_t size = RecordSize(ReadInfo(plugin));
    Worker workers[2] = {{&plugin, size, 0}, {&plugin, size, 1}};
    Step("calls from two threads at once");
    qv::UniqueHandle first(::CreateThread(nullptr, 0, CallAlongside, &workers[0], 0, nullptr));
    qv::UniqueHandle second(::CreateThread(nullptr, 0, CallAlongside, &workers[1], 0, nullptr));
    const HANDLE both[2] = {first.get(), second.get()};
    ::WaitForMultipleObjects(2, both, TRUE, INFINITE);
    outcome.figure = std::string("2 threads, ") + std::to_string(kThreadRounds) +
                     " rounds each at once: no crash, no hang";
    return outcome;
}

Verdict CheckTime(const Options& options) {
    Plugin plugin;
    LoadOrQuit(plugin, options);
    const std::uint32_t size = RecordSize(ReadInfo(plugin));
    HostObject host(1, size);
    AnswerDialogsWith(IDOK);
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        const std::string of = std::string(" in round ") + std::to_string(round + 1);
        ReadInfo(plugin, "QVGetPluginInfo" + of);
        plugin.Call(Export::kDefault, {0, host.Record()}, "QVDefault" + of);
        plugin.Call(Export::kInit, {host.Object(), host.Record()}, "QVInit" + of);
        Pump();
        if (options.commands && plugin.Has(Export::kCommand)) plugin.Call(Export::kCommand, {0, 0}, "QVCommand" + of);
        if (options.commands && plugin.Has(Export::kCommandEx)) {
            plugin.Call(Export::kCommandEx, {Arg(""), 0, 0, 0}, "QVCommandEx with an empty parameter 1" + of);
        }
        plugin.Call(Export::kUninit, {host.Object(), host.Record()}, "QVUninit" + of);
        Pump();
    }
    const TimeVerdict verdict = ReadTimes(CallTimes(), kCallBudgetMs);
    return {verdict.result, verdict.figure, verdict.cause};
}

}  // namespace

int RunChild(const Options& options) {
    StartChild(options);
    MainWindow();
    Verdict outcome;
    switch (*options.child) {
        case Check::kExports: outcome = CheckExports(options); break;
        case Check::kInfo: outcome = CheckInfo(options); break;
        case Check::kDefault: outcome = CheckDefault(options); break;
        case Check::kHostile: outcome = CheckHostile(options); break;
        case Check::kCycles: outcome = CheckCycles(options); break;
        case Check::kUnload: outcome = CheckUnload(options); break;
        case Check::kWindow: outcome = CheckWindow(options); break;
        case Check::kConfig: outcome = CheckConfig(options); break;
        case Check::kThreads: outcome = CheckThreads(options); break;
        case Check::kTime: outcome = CheckTime(options); break;
    }
    if (const std::string fault = FirstCallFault(); !fault.empty()) {
        outcome.result = Result::kFail;
        outcome.cause = fault + (outcome.cause.empty() ? "" : "; " + outcome.cause);
    }
    const std::string line = "result\t" + std::string(ResultName(outcome.result)) + "\t" + OneField(outcome.figure) +
                             "\t" + OneField(outcome.cause) + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    // Whatever the plug-in left behind is not waited for: its threads, a module that hangs on detach.
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}

}  // namespace qvcheck
