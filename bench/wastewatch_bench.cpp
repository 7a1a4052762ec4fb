// Prints Wastewatch's figures for bins of 1,000 and 10,000 items: the monitor's CPU time per cycle of an
// unchanged bin (its thread and the Wine server), the cost of measuring a changed bin against the
// shell's own bin query, the time from a change to its first report, QVCommand's return time, and
// how long the last QVUninit and the unload take, and how long the properties dialog takes to open. Run it through
// cmake/wine-run.sh (tools/bench.sh does, with the bin where Windows keeps it), so that it fills a bin of its own.
// QV_WINESERVER_PID, when set, names the Wine server whose CPU time is counted too. Argument "fallback": only the CPU
// per cycle, for a run without bin folders (every cycle measures).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bin_measurement.h"
#include "fake_main_window.h"
#include "qv_contract.h"
#include "recycle_watcher/res/resource_ids.h"
#include "wastewatch_bin_helpers.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

using wwtest::WatchRecord;

using qvtest::Export;
using qvtest::Median;
using qvtest::NowMs;
using qvtest::Worst;

std::string PluginPath() {
    return qvtest::BesideProgram("Wastewatch.dll");
}

// The Wine server's CPU time, read from Linux's /proc through drive Z:; -1 when unknown.
double WineServerCpuMs() {
    const char* pid = std::getenv("QV_WINESERVER_PID");
    if (pid == nullptr || *pid == '\0') return -1;
    const std::string path = std::string("Z:\\proc\\") + pid + "\\stat";
    const qv::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (!file) return -1;
    char text[1024] = {};
    DWORD read = 0;
    if (!::ReadFile(file.get(), text, sizeof text - 1, &read, nullptr)) return -1;
    // Fields after the command's closing parenthesis: state is field 3, utime 14 and stime 15.
    const char* rest = std::strrchr(text, ')');
    if (rest == nullptr) return -1;
    unsigned long long utime = 0, stime = 0;
    if (std::sscanf(rest + 2, "%*c %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu %llu", &utime, &stime) != 2) return -1;
    return static_cast<double>(utime + stime) * 10.0;  // clock ticks of 10 ms
}

// Reports for other objects (earlier runs) are not counted.
std::int32_t g_countedObject = -1;
double g_lastReportMs = 0;  // when the pump below saw the counted object's last report

int Reports() {
    const auto& received = qvtest::FakeMainWindow::Received();
    return static_cast<int>(std::count_if(received.begin(), received.end(),
                                          [](const qvtest::Notification& n) { return n.second == g_countedObject; }));
}

std::uint32_t LastCode() {
    const auto& received = qvtest::FakeMainWindow::Received();
    const auto last = std::find_if(received.rbegin(), received.rend(),
                                   [](const qvtest::Notification& n) { return n.second == g_countedObject; });
    return last == received.rend() ? 0 : last->first;
}

bool PumpUntilReports(int reports, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (int seen = Reports(); seen < reports;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        if (const int now = Reports(); now != seen) {
            seen = now;
            g_lastReportMs = NowMs();
        }
        if (seen >= reports) break;
        if (::GetTickCount() - start > timeoutMs) return false;
        // A long wait: a message ends it at once, and waking up often would cost the Wine server time
        // that would be counted as the monitor's.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 250, QS_ALLINPUT);
    }
    return true;
}

using InitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, const WatchRecord*);
using UninitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, const WatchRecord*);
using CommandFn = std::int32_t(__stdcall*)(std::uint32_t, std::uint32_t);
using ConfigFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, WatchRecord*, HWND);

// The monitor's CPU time per cycle of an unchanged bin, from the thread's own times (and the Wine
// server's) over cycles of 1 s.
void MonitorCpu(std::size_t items, int cycles) {
    const qv::ObjectRecord object{static_cast<std::int32_t>(100000 + items), {}, 0};
    const WatchRecord record{1, 1, 0, 0, 0, 0};
    const std::set<DWORD> before = qvtest::ThreadIdsOfThisProcess();
    HMODULE module = ::LoadLibraryA(PluginPath().c_str());
    if (module == nullptr) {
        std::printf("  monitor: cannot load Wastewatch.dll\n");
        return;
    }
    // What the Wine server spends meanwhile anyway (this program waiting for messages, Wine's own
    // processes), over the same time without a monitor: taken off the figure below.
    qvtest::FakeMainWindow::Received().clear();
    g_countedObject = -2;
    const double idleStart = WineServerCpuMs();
    PumpUntilReports(1, static_cast<DWORD>(cycles) * 1000);
    const double idle = idleStart >= 0 ? (WineServerCpuMs() - idleStart) / cycles : -1;
    g_countedObject = object.id;
    Export<InitFn>(module, "QVInit")(&object, &record);
    DWORD monitorId = 0;
    for (DWORD id : qvtest::ThreadIdsOfThisProcess()) {
        if (!before.count(id)) monitorId = id;
    }
    qv::UniqueHandle monitor(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, monitorId));
    // The first cycle brings the change report and the first level report; one more settles.
    if (!PumpUntilReports(3, 60000)) std::printf("  monitor: no first cycles\n");
    const double cpuStart = qvtest::ThreadCpuMilliseconds(monitor.get());
    const double serverStart = WineServerCpuMs();
    const double wallStart = NowMs();
    const bool done = PumpUntilReports(3 + cycles, 60000 + cycles * 5000);
    const double cpu = qvtest::ThreadCpuMilliseconds(monitor.get()) - cpuStart;
    const double serverEnd = WineServerCpuMs();
    const double wall = NowMs() - wallStart;
    const int seen = Reports() - 3;
    Export<UninitFn>(module, "QVUninit")(&object, &record);
    ::FreeLibrary(module);
    if (!done || seen <= 0) {
        std::printf("  monitor: only %d cycles seen\n", seen);
        return;
    }
    const double server = serverStart >= 0 && serverEnd >= 0 ? (serverEnd - serverStart) / seen : -1;
    const double share = server >= 0 && idle >= 0 ? server - idle : -1;
    std::printf(
        "  unchanged bin, CPU per cycle over %d cycles at a 1 s interval: monitor thread %.2f ms, Wine "
        "server %.2f ms for the monitor (%.2f ms in all, %.2f ms without a monitor; 10 ms ticks; -1: "
        "unknown), total %.2f ms; %.0f ms between cycles\n",
        seen, cpu / seen, share, server, idle, cpu / seen + (share > 0 ? share : 0), wall / seen);
}

// The cost of measuring a changed bin as the monitor does, against the shell's own query, in turns;
// the bin changes (one item more) before every call.
void ChangedBinCost(std::size_t items) {
    constexpr int kRepeats = 7;
    std::vector<double> measure, query, walk;
    std::atomic<bool> never{false};
    for (int i = 0; i < kRepeats; ++i) {
        wwtest::FillTrashDirectly(1, 1000, "m" + std::to_string(items) + "_" + std::to_string(i) + "a");
        double start = NowMs();
        wastewatch::MeasureBinTotals(never);
        measure.push_back(NowMs() - start);
        wwtest::FillTrashDirectly(1, 1000, "m" + std::to_string(items) + "_" + std::to_string(i) + "b");
        start = NowMs();
        wwtest::QueryBin();
        query.push_back(NowMs() - start);
        wwtest::FillTrashDirectly(1, 1000, "m" + std::to_string(items) + "_" + std::to_string(i) + "c");
        start = NowMs();
        wastewatch::MeasureBin();
        walk.push_back(NowMs() - start);
    }
    std::printf(
        "  changed bin: measurement median %.0f ms (worst %.0f), SHQueryRecycleBinA median %.0f ms (worst "
        "%.0f): ratio %.2f; the former walk (with its size query) median %.0f ms\n",
        Median(measure), Worst(measure), Median(query), Worst(query), Median(measure) / Median(query), Median(walk));
}

// From a change (an item of 2 MiB added or removed outside the shell, crossing the object's critical
// limit) to the first report that shows it, at the default check interval of 4 s.
void ChangeLatency(std::size_t items) {
    constexpr int kSamples = 10;
    const wwtest::ShellBinInfo bin = wwtest::QueryBin();
    const std::uint32_t limit = static_cast<std::uint32_t>(bin.size >> 20) + 2;
    const qv::ObjectRecord object{static_cast<std::int32_t>(200000 + items), {}, 0};
    const WatchRecord record{4, 4, 1, 0, limit, 0};
    HMODULE module = ::LoadLibraryA(PluginPath().c_str());
    if (module == nullptr) return;
    qvtest::FakeMainWindow::Received().clear();
    g_countedObject = object.id;
    Export<InitFn>(module, "QVInit")(&object, &record);
    if (!PumpUntilReports(2, 60000)) std::printf("  latency: no first cycle\n");
    const std::string big = wwtest::TrashFolder() + "\\files\\latency0.dat";
    const std::string bigInfo = wwtest::TrashFolder() + "\\info\\latency0.dat.trashinfo";
    std::vector<double> latencies;
    std::uint32_t seed = 777;
    for (int i = 0; i < kSamples; ++i) {
        seed = seed * 1103515245u + 12345u;
        PumpUntilReports(Reports() + 1000, 300 + (seed >> 8) % 3700);  // a point somewhere in the interval
        const bool adding = i % 2 == 0;
        const std::uint32_t expected = adding ? 8750395 : 8750394;
        const double start = NowMs();
        if (adding) {
            wwtest::FillTrashDirectly(1, 3u << 20, "latency");
        } else {
            ::DeleteFileA(big.c_str());
            ::DeleteFileA(bigInfo.c_str());
        }
        const DWORD deadline = ::GetTickCount() + 30000;
        while (::GetTickCount() < deadline) {
            const int before = Reports();
            PumpUntilReports(before + 1, 30000);
            if (LastCode() == expected) break;
        }
        latencies.push_back(g_lastReportMs - start);
    }
    Export<UninitFn>(module, "QVUninit")(&object, &record);
    ::FreeLibrary(module);
    std::printf("  change to first report at a 4 s interval: median %.0f ms, worst %.0f ms of %d\n", Median(latencies),
                Worst(latencies), kSamples);
}

// From QVConfig's call to its dialog on screen with the fill report, then cancelled by another thread.
double DialogOpenMs(HMODULE module) {
    const qv::ObjectRecord object{400000, {}, 0};
    WatchRecord record{1, 0, 0, 0, 0, 0};
    const double start = NowMs();
    double shown = -1;
    qvtest::Thread user([&] {
        const DWORD deadline = ::GetTickCount() + 60000;
        HWND dialog = nullptr;
        while (::GetTickCount() < deadline) {
            dialog = ::FindWindowA(nullptr, WATCHER_PROPERTIES_CAPTION);
            if (dialog != nullptr && ::IsWindowVisible(dialog)) break;
            ::Sleep(1);
        }
        shown = NowMs() - start;
        if (dialog != nullptr) ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    Export<ConfigFn>(module, "QVConfig")(&object, &record, nullptr);
    user.join();
    return shown;
}

// The properties dialog's open time: with a watched object whose monitor has just measured the bin
// (its measurement still holds where the bin's folders are watched), and with nothing watched.
void DialogOpenTime() {
    constexpr int kOpenings = 5;
    const qv::ObjectRecord object{500000, {}, 0};
    const WatchRecord record{1, 0, 0, 0, 0, 0};
    std::vector<double> fresh, measuring;
    HMODULE module = ::LoadLibraryA(PluginPath().c_str());
    if (module == nullptr) return;
    qvtest::FakeMainWindow::Received().clear();
    g_countedObject = object.id;
    Export<InitFn>(module, "QVInit")(&object, &record);
    for (int i = 0; i < kOpenings; ++i) {
        PumpUntilReports(Reports() + 1, 60000);
        fresh.push_back(DialogOpenMs(module));
    }
    Export<UninitFn>(module, "QVUninit")(&object, &record);
    ::FreeLibrary(module);
    qvtest::ModuleGoneWithin("Wastewatch.dll", 60000);
    module = ::LoadLibraryA(PluginPath().c_str());
    if (module == nullptr) return;
    for (int i = 0; i < kOpenings; ++i) measuring.push_back(DialogOpenMs(module));
    ::FreeLibrary(module);
    std::printf(
        "  properties dialog on screen: monitor just measured median %.0f ms (worst %.0f), nothing watched "
        "(the dialog measures) median %.0f ms (worst %.0f) of %d\n",
        Median(fresh), Worst(fresh), Median(measuring), Worst(measuring), kOpenings);
}

// QVCommand's return time on the full bin; the bin is then empty by the first report of 8750393.
void CommandTime(std::size_t items) {
    const qv::ObjectRecord object{static_cast<std::int32_t>(300000 + items), {}, 0};
    const WatchRecord record{1, 1, 0, 0, 0, 0};
    HMODULE module = ::LoadLibraryA(PluginPath().c_str());
    if (module == nullptr) return;
    qvtest::FakeMainWindow::Received().clear();
    g_countedObject = object.id;
    Export<InitFn>(module, "QVInit")(&object, &record);
    PumpUntilReports(2, 60000);
    const double start = NowMs();
    Export<CommandFn>(module, "QVCommand")(0, 0);
    const double returned = NowMs() - start;
    const DWORD deadline = ::GetTickCount() + 120000;
    while (LastCode() != 8750393 && ::GetTickCount() < deadline) PumpUntilReports(Reports() + 1, 1000);
    const double emptied = NowMs() - start;
    Export<UninitFn>(module, "QVUninit")(&object, &record);
    ::FreeLibrary(module);
    std::printf("  QVCommand returned in %.2f ms; 8750393 reported %.0f ms after the call; bin now holds %lld items\n",
                returned, emptied, static_cast<long long>(wwtest::QueryBin().count));
}

// Unload latency: the library is unloaded at arbitrary points of its monitor's cycle, after the
// object's QVUninit as a host does (that call waits for a measurement under way), or with the object
// still watched.
void UnloadLatency(bool stillWatched) {
    constexpr int kRounds = 20;
    std::vector<double> latencies, uninits;
    std::uint32_t seed = 12345;
    for (int round = 0; round < kRounds; ++round) {
        HMODULE module = ::LoadLibraryA(PluginPath().c_str());
        if (module == nullptr) return;
        const qv::ObjectRecord object{round, {}, 0};
        const WatchRecord record{1, 1, 0, 0, 0, 0};
        Export<InitFn>(module, "QVInit")(&object, &record);
        seed = seed * 1103515245u + 12345u;
        ::Sleep(100 + (seed >> 8) % 1400);
        if (!stillWatched) {
            const double start = NowMs();
            Export<UninitFn>(module, "QVUninit")(&object, &record);
            uninits.push_back(NowMs() - start);
        }
        const double start = NowMs();
        ::FreeLibrary(module);
        latencies.push_back(NowMs() - start);
    }
    if (stillWatched) {
        std::printf("  unload, object still watched: median %.2f ms, worst %.2f ms of %d\n", Median(latencies),
                    Worst(latencies), kRounds);
    } else {
        std::printf(
            "  unload after QVUninit: median %.2f ms, worst %.2f ms of %d (QVUninit itself: median %.2f ms, "
            "worst %.2f ms)\n",
            Median(latencies), Worst(latencies), kRounds, Median(uninits), Worst(uninits));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: wastewatch_bench [fallback|dialog]   (through cmake/wine-run.sh)\n");
        return 0;
    }
    if (wwtest::ScratchFolder().empty()) {
        std::fprintf(stderr, "run through cmake/wine-run.sh: QV_TRASH_DIR is not set\n");
        return 2;
    }
    const char* runner = std::getenv("QV_I386_RUNNER");
    std::printf("Windows side: %s\n", runner != nullptr ? runner : "run outside cmake/wine-run.sh");
    if (runner != nullptr && std::strncmp(runner, "emulated", 8) == 0) {
        std::printf(
            "  (absolute times, and the Wine server's share against the emulated monitor, are not comparable\n"
            "   with a native run's; ratios of figures measured the same way are)\n");
    }
    // Kept loaded so that each load and unload of the plug-in is its own.
    for (const char* name : {"shell32.dll", "comctl32.dll", "user32.dll"}) ::LoadLibraryA(name);

    qvtest::FakeMainWindow host;

    const bool fallback = argc > 1 && std::strcmp(argv[1], "fallback") == 0;
    const bool dialogOnly = argc > 1 && std::strcmp(argv[1], "dialog") == 0;
    for (std::size_t items : {std::size_t{1000}, std::size_t{10000}}) {
        wwtest::EmptyBin();
        const double start = NowMs();
        if (!wwtest::FillTrashDirectly(items, 1000, "b" + std::to_string(items) + "_")) {
            std::fprintf(stderr, "cannot fill the bin\n");
            return 1;
        }
        std::printf("bin of %zu items of 1000 bytes (filled in %.0f ms)%s\n", items, NowMs() - start,
                    fallback ? ", no bin folder to watch" : "");
        if (fallback) {
            MonitorCpu(items, 5);
            continue;
        }
        if (dialogOnly) {
            DialogOpenTime();
            continue;
        }
        MonitorCpu(items, 25);
        ChangedBinCost(items);
        ChangeLatency(items);
        UnloadLatency(false);
        if (items <= 1000) UnloadLatency(true);
        DialogOpenTime();
        CommandTime(items);
    }
    wwtest::EmptyBin();
    return 0;
}
