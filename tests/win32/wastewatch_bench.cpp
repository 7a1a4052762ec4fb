// Prints Wastewatch's figures for bins of 1,000 and 10,000 items: the time of one bin walk and of the
// shell's own bin query, the monitor thread's CPU time per cycle, and how long unloading takes.
// Run it through cmake/wine-run.sh (tools/bench.sh does), so that it fills a bin of its own.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "bin_measurement.h"
#include "qv_contract.h"
#include "wastewatch_bin_helpers.h"
#include "win32_owner.h"

namespace {

struct WatchRecord {
    std::uint32_t checkInterval, refreshInterval, notifyCritical, notifyWarning, criticalLimit, warningLimit;
};

double NowMs() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

double Worst(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string PluginPath() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.erase(folder.find_last_of("\\/") + 1) + "Wastewatch.dll";
}

std::set<DWORD> ThreadIds() {
    std::set<DWORD> ids;
    qv::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    return ids;
}

double ThreadCpuMs(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
    const auto ticks = [](const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

int g_reports = 0;
std::int32_t g_countedObject = -1;  // reports for other objects (earlier runs) are not counted

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == qv::kNotifyMessage) {
        if (static_cast<std::int32_t>(lParam) == g_countedObject) ++g_reports;
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

bool PumpUntilReports(int reports, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (g_reports < reports) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        if (::GetTickCount() - start > timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

using InitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, const WatchRecord*);
using UninitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, const WatchRecord*);

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// The monitor's CPU time per cycle, from the thread's own times over several cycles of 1 s.
void MonitorCpu(std::size_t items) {
    constexpr int kCycles = 5;
    const qv::ObjectRecord object{static_cast<std::int32_t>(100000 + items), {}, 0};
    const WatchRecord record{1, 1, 0, 0, 0, 0};
    const std::set<DWORD> before = ThreadIds();
    HMODULE module = ::LoadLibraryA(PluginPath().c_str());
    if (module == nullptr) {
        std::printf("  monitor: cannot load Wastewatch.dll\n");
        return;
    }
    g_reports = 0;
    g_countedObject = object.id;
    Export<InitFn>(module, "QVInit")(&object, &record);
    DWORD monitorId = 0;
    for (DWORD id : ThreadIds()) {
        if (!before.count(id)) monitorId = id;
    }
    qv::UniqueHandle monitor(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, monitorId));
    // The first cycle brings the change report and the first level report.
    if (!PumpUntilReports(2, 60000)) std::printf("  monitor: no first cycle\n");
    const double cpuStart = ThreadCpuMs(monitor.get());
    const double processStart = ProcessCpuMs();
    const double wallStart = NowMs();
    const bool done = PumpUntilReports(2 + kCycles, 60000 + kCycles * 5000);
    const double cpu = ThreadCpuMs(monitor.get()) - cpuStart;
    const double processCpu = ProcessCpuMs() - processStart;
    const double wall = NowMs() - wallStart;
    const int cycles = g_reports - 2;
    Export<UninitFn>(module, "QVUninit")(&object, &record);
    ::FreeLibrary(module);
    if (!done || cycles <= 0) {
        std::printf("  monitor: only %d cycles seen\n", cycles);
        return;
    }
    std::printf("  monitor, %zu items: %.1f ms CPU per cycle on its thread (%.1f ms of the whole process), "
                "%.0f ms between reports at a 1 s interval\n",
                items, monitorId && cpuStart >= 0 ? cpu / cycles : -1.0, processCpu / cycles, wall / cycles);
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
        std::printf("  unload after QVUninit: median %.2f ms, worst %.2f ms of %d (QVUninit itself: median %.2f ms, "
                    "worst %.2f ms)\n",
                    Median(latencies), Worst(latencies), kRounds, Median(uninits), Worst(uninits));
    }
}

void MeasureTimes() {
    constexpr int kRepeats = 5;
    std::vector<double> walk, query;
    wastewatch::BinMeasurement measured{};
    wwtest::ShellBinInfo shell{};
    for (int i = 0; i < kRepeats; ++i) {
        double start = NowMs();
        measured = wastewatch::MeasureBin();
        walk.push_back(NowMs() - start);
        start = NowMs();
        shell = wwtest::QueryBin();
        query.push_back(NowMs() - start);
    }
    std::printf("  walk: median %.1f ms, worst %.1f ms (measured %llu items, %llu bytes)\n", Median(walk), Worst(walk),
                static_cast<unsigned long long>(measured.count), static_cast<unsigned long long>(measured.size));
    std::printf("  SHQueryRecycleBinA: median %.1f ms, worst %.1f ms (%lld items, %lld bytes)\n", Median(query),
                Worst(query), static_cast<long long>(shell.count), static_cast<long long>(shell.size));
}

}  // namespace

int main() {
    if (wwtest::ScratchFolder().empty()) {
        std::fprintf(stderr, "run through cmake/wine-run.sh: QV_TRASH_DIR is not set\n");
        return 2;
    }
    // Kept loaded so that each load and unload of the plug-in is its own.
    for (const char* name : {"shell32.dll", "comctl32.dll", "user32.dll"}) ::LoadLibraryA(name);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = qv::kMainWindowClass;
    ::RegisterClassA(&windowClass);
    qv::UniqueWindow host(::CreateWindowExA(0, qv::kMainWindowClass, qv::kMainWindowName, WS_OVERLAPPEDWINDOW, 0, 0,
                                            100, 100, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr));

    std::size_t filled = 0;
    for (std::size_t items : {std::size_t{1000}, std::size_t{10000}}) {
        const double start = NowMs();
        if (!wwtest::FillTrashDirectly(items - filled, 1000, "b" + std::to_string(items) + "_")) {
            std::fprintf(stderr, "cannot fill the bin\n");
            return 1;
        }
        filled = items;
        std::printf("bin of %zu items of 1000 bytes (filled in %.0f ms)\n", items, NowMs() - start);
        MeasureTimes();
        MonitorCpu(items);
        UnloadLatency(false);
        // Only while one measurement stays well under the stop's 2 s: beyond, the unload would end in the
        // forced termination, which is what a host that unloads before the last QVUninit risks.
        if (items <= 1000) UnloadLatency(true);
    }
    wwtest::EmptyBin();
    return 0;
}
