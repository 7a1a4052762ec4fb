// The monitor where no bin folder can be found (this run's bin is only the shell's): it must measure
// every cycle, so that nothing is ever missed.
#include "wastewatch_monitor_fixture.h"

namespace {

using namespace wwtest;

TEST_F(Monitor, WithoutABinFolderEveryCycleMeasures) {
    HostWindow host;
    ASSERT_TRUE(wwtest::FillTrashDirectly(3000, 10, "f"));
    WatchAndFindMonitor(1, kEverySecond);
    ASSERT_EQ(WaitForNotes(2, 30000), (Notes{{kFilled, 1}, {kFilled, 1}}));
    constexpr std::size_t kCycles = 3;
    const double cpuBefore = MonitorCpu();
    ASSERT_EQ(WaitForNotes(2 + kCycles, kCycles * 10000).size(), 2 + kCycles);
    const double perCycle = (MonitorCpu() - cpuBefore) / kCycles;
    RecordProperty("cpu_per_cycle_ms", std::to_string(perCycle));
    // A measurement of 3,000 items costs tens of milliseconds of the thread's time here or more; a
    // cycle that reuses the last one, well under one.
    EXPECT_GT(perCycle, 10.0) << "cycles were not measured";
}

}  // namespace
