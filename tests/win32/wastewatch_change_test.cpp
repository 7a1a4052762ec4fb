// The monitor where this run's bin is also where Windows keeps it (a bin folder per fixed drive under
// the user's SID): an unchanged bin is not measured again, and every kind of change is still reported
// within one check interval.
#include "wastewatch_monitor_fixture.h"

#include <string>

namespace {

using namespace wwtest;

constexpr DWORD kWithinOneInterval = 1000 + 1500;  // the interval of 1 s, and room for a slow machine

TEST_F(Monitor, AnUnchangedBinIsNotMeasuredAgain) {
    HostWindow host;
    ASSERT_TRUE(wwtest::FillTrashDirectly(3000, 10, "u"));
    WatchAndFindMonitor(1, kEverySecond);
    ASSERT_EQ(WaitForNotes(2, 30000), (Notes{{kFilled, 1}, {kFilled, 1}}));
    constexpr std::size_t kCycles = 4;
    const double cpuBefore = MonitorCpu();
    // Still one level report every cycle, as when the bin is measured each time.
    EXPECT_EQ(WaitForNotes(2 + kCycles, kCycles * 4000), Notes(2 + kCycles, Note{kFilled, 1}));
    const double perCycle = (MonitorCpu() - cpuBefore) / kCycles;
    // Measuring every cycle would cost about one measurement a cycle: the shell's query, timed on this
    // thread. Wine counts thread time in 10 ms ticks, so a fixed bound of a few ms sits at one tick.
    const double queryStart = qvtest::ThreadCpuMilliseconds(::GetCurrentThread());
    ASSERT_EQ(wwtest::QueryBin().count, 3000);
    ASSERT_EQ(wwtest::QueryBin().count, 3000);
    const double oneMeasurement = (qvtest::ThreadCpuMilliseconds(::GetCurrentThread()) - queryStart) / 2;
    RecordProperty("cpu_per_cycle_ms", std::to_string(perCycle));
    EXPECT_LT(perCycle, oneMeasurement / 2) << "the bin was measured again though nothing changed: " << perCycle
                                            << " ms a cycle; one measurement: " << oneMeasurement << " ms";
}

TEST_F(Monitor, ABurstOfChangesCostsAboutOneMeasurement) {
    HostWindow host;
    ASSERT_TRUE(wwtest::FillTrashDirectly(3000, 10, "s"));
    WatchAndFindMonitor(1, kEverySecond);
    ASSERT_EQ(WaitForNotes(2, 30000).size(), 2u);
    // The monitor thread's CPU time over the next cycles (one level report each).
    const auto cpuOverCycles = [this](std::size_t cycles) {
        const double before = MonitorCpu();
        WaitForNotes(g_received.size() + cycles, static_cast<DWORD>(cycles) * 4000);
        return MonitorCpu() - before;
    };
    // What one measurement costs a thread here: the shell's query, timed on this thread.
    const double queryStart = qvtest::ThreadCpuMilliseconds(::GetCurrentThread());
    ASSERT_EQ(wwtest::QueryBin().count, 3000);
    ASSERT_EQ(wwtest::QueryBin().count, 3000);
    const double oneMeasurement = (qvtest::ThreadCpuMilliseconds(::GetCurrentThread()) - queryStart) / 2;
    constexpr std::size_t kCycles = 5;
    ASSERT_TRUE(wwtest::FillTrashDirectly(1, 10, "one"));
    const double oneChange = cpuOverCycles(kCycles);
    EXPECT_LT(oneChange, 2.5 * oneMeasurement) << "one change, then quiet cycles: " << oneChange
                                               << " ms; one measurement: " << oneMeasurement << " ms";
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(wwtest::FillTrashDirectly(1, 10, "burst" + std::to_string(i) + "_"));
        qvtest::PumpFor(10);
    }
    const double burst = cpuOverCycles(kCycles);
    RecordProperty("one_measurement_ms", std::to_string(oneMeasurement));
    RecordProperty("one_change_ms", std::to_string(oneChange));
    RecordProperty("burst_ms", std::to_string(burst));
    // One measurement, or two when the burst spans a cycle; measuring every cycle would be five.
    EXPECT_LT(burst, 3.5 * oneMeasurement) << "40 changes: " << burst << " ms; one measurement: " << oneMeasurement
                                          << " ms";
}

// Waits for a report of this code and says how long it took.
bool ReportedWithin(std::uint32_t code, DWORD timeout, DWORD& waited) {
    const DWORD start = ::GetTickCount();
    const bool seen = qvtest::PumpUntil(
        [code] {
            for (const Note& note : g_received) {
                if (note.first == code) return true;
            }
            return false;
        },
        timeout);
    waited = ::GetTickCount() - start;
    return seen;
}

TEST_F(Monitor, EveryKindOfChangeIsReportedWithinOneInterval) {
    HostWindow host;
    Watch(1, WatchRecord{1, 1, 1, 0, 1, 0});  // critical limit 1 MB, notified
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    ASSERT_EQ(WaitForNotes(2), (Notes{{kFilled, 1}, {kFilled, 1}}));
    qvtest::PumpFor(1500);  // several unchanged cycles: from here on the last measurement is reused

    DWORD waited = 0;
    g_received.clear();
    // An item written straight into the trash, outside the shell.
    ASSERT_TRUE(wwtest::FillTrashDirectly(1, 2u << 20, "big"));
    EXPECT_TRUE(ReportedWithin(kCritical, kWithinOneInterval, waited)) << "added outside the shell";

    g_received.clear();
    // The same item removed outside the shell.
    ASSERT_TRUE(::DeleteFileA((wwtest::TrashFolder() + "\\files\\big0.dat").c_str()));
    ASSERT_TRUE(::DeleteFileA((wwtest::TrashFolder() + "\\info\\big0.dat.trashinfo").c_str()));
    qvtest::PumpFor(200);
    g_received.clear();
    EXPECT_TRUE(qvtest::PumpUntil([] { return !g_received.empty(); }, kWithinOneInterval));
    EXPECT_EQ(g_received.back(), (Note{kFilled, 1})) << "removed outside the shell";

    g_received.clear();
    // The bin emptied by another program.
    std::string commandLine = "\"" + qvtest::BesideProgram("wastewatch_exit_probe.exe") + "\" empty";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    qv::UniqueHandle processHandle(process.hProcess);
    qv::UniqueHandle threadHandle(process.hThread);
    ASSERT_EQ(::WaitForSingleObject(processHandle.get(), 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReportedWithin(kEmptied, kWithinOneInterval, waited)) << "emptied by another program";
    EXPECT_EQ(wwtest::QueryBin().count, 0);
}

TEST_F(Monitor, StoppingStaysPromptWhileTheFoldersAreWatched) {
    HostWindow host;
    Watch(1, kEverySecond);
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    ASSERT_EQ(WaitForNotes(2).size(), 2u);
    const DWORD start = ::GetTickCount();
    Unwatch(1);
    plugin_.Unload();
    EXPECT_LT(::GetTickCount() - start, 200u);
    EXPECT_TRUE(qvtest::PumpUntil([] { return ::GetModuleHandleA("Wastewatch.dll") == nullptr; }, 5000));
}

}  // namespace
