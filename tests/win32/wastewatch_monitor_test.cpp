// The monitor thread seen from the host: notifications reaching a window "QVmain" while files go into
// and out of this run's own bin.
#include "wastewatch_monitor_fixture.h"

namespace {

using namespace wwtest;

TEST_F(Monitor, FilledBinTellsChangeThenLevels) {
    HostWindow host;
    ASSERT_NE(host.get(), nullptr);
    Watch(21, kEverySecond);
    Watch(7, kEverySecond);

    // An empty bin is never announced: two full cycles go by in silence.
    qvtest::PumpFor(2500);
    EXPECT_TRUE(g_received.empty()) << g_received.size() << " messages while the bin stayed empty";

    ASSERT_TRUE(wwtest::FillBin(3, {10}));
    EXPECT_EQ(WaitForNotes(4), (Notes{{kFilled, 21}, {kFilled, 7}, {kFilled, 21}, {kFilled, 7}}));
    g_received.clear();
    // The next cycle brings only the level reports.
    EXPECT_EQ(WaitForNotes(2), (Notes{{kFilled, 21}, {kFilled, 7}}));
}

TEST_F(Monitor, LevelsFollowEachObjectsLimits) {
    HostWindow host;
    Watch(1, WatchRecord{1, 1, 1, 0, 1, 0});  // critical 1 MB, on
    Watch(2, WatchRecord{1, 1, 1, 1, 2, 1});  // warning 1 MB reached, critical 2 MB not
    Watch(3, WatchRecord{1, 1, 0, 0, 1, 1});  // limits reached, both switches off
    Watch(4, WatchRecord{1, 1, 1, 1, 1, 1});  // both reached: critical wins
    ASSERT_TRUE(wwtest::FillBin(1, {kMiB}));  // exactly 1 MiB
    EXPECT_EQ(WaitForNotes(8), (Notes{{kFilled, 1},
                                      {kFilled, 2},
                                      {kFilled, 3},
                                      {kFilled, 4},
                                      {kCritical, 1},
                                      {kWarning, 2},
                                      {kFilled, 3},
                                      {kCritical, 4}}));
}

TEST_F(Monitor, OneByteUnderTheLimitIsNotReached) {
    HostWindow host;
    Watch(1, WatchRecord{1, 1, 1, 1, 1, 1});
    ASSERT_TRUE(wwtest::FillBin(1, {kMiB - 1}));
    EXPECT_EQ(WaitForNotes(2), (Notes{{kFilled, 1}, {kFilled, 1}}));
}

TEST_F(Monitor, SizesBeyondFourGigabytesReachTheirLimit) {
    HostWindow host;
    Watch(5, WatchRecord{1, 1, 1, 0, 5120, 0});  // 5 GiB; the low 32 bits alone would be 1 MiB
    const std::string path = wwtest::MakeFile("huge.bin", (5ull << 30) + kMiB);
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(wwtest::DeleteIntoBin({path}));
    EXPECT_EQ(WaitForNotes(2), (Notes{{kFilled, 5}, {kCritical, 5}}));
}

TEST_F(Monitor, CommandEmptiesBinThenOnlyEmptied) {
    HostWindow host;
    Watch(1, kEverySecond);
    Watch(2, WatchRecord{1, 1, 1, 1, 1, 1});
    ASSERT_TRUE(wwtest::FillBin(2, {kMiB}));
    ASSERT_EQ(WaitForNotes(4).size(), 4u);
    const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin_.entry().command), {0xdeadbeef, 0});
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(call.result, 1u);
    // The emptying runs on its own thread; the level reports of cycles before it is done come first.
    qvtest::PumpUntil([] { return !g_received.empty() && g_received.back().first == kEmptied; }, 3 * kCycleTimeout);
    qvtest::PumpFor(200);
    Notes notes = g_received;
    while (!notes.empty() && notes.front().first != kEmptied) notes.erase(notes.begin());
    EXPECT_EQ(notes, (Notes{{kEmptied, 1}, {kEmptied, 2}}));
    EXPECT_EQ(wwtest::QueryBin().count, 0);
    g_received.clear();
    qvtest::PumpFor(2200);
    EXPECT_TRUE(g_received.empty()) << "an empty bin is reported only once";
}

TEST_F(Monitor, UninitStopsAnObjectsReports) {
    HostWindow host;
    Watch(1, kEverySecond);
    Watch(2, kEverySecond);
    Watch(3, kEverySecond);
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    ASSERT_EQ(WaitForNotes(6).size(), 6u);
    Unwatch(2);
    Forget();
    EXPECT_EQ(WaitForNotes(4, 2 * kCycleTimeout), (Notes{{kFilled, 1}, {kFilled, 3}, {kFilled, 1}, {kFilled, 3}}));
}

TEST_F(Monitor, NoReportLostWhileHostWindowMissing) {
    Watch(9, kEverySecond);
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    qvtest::PumpFor(2500);  // cycles with nobody to tell
    EXPECT_TRUE(g_received.empty());
    HostWindow host;
    ASSERT_NE(host.get(), nullptr);
    EXPECT_EQ(WaitForNotes(2), (Notes{{kFilled, 9}, {kFilled, 9}}));
}

TEST_F(Monitor, AFifthObjectIsNotWatched) {
    HostWindow host;
    for (std::int32_t id = 1; id <= 4; ++id) Watch(id, kEverySecond);
    Watch(5, kEverySecond, 0);
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    EXPECT_EQ(WaitForNotes(8), (Notes{{kFilled, 1},
                                      {kFilled, 2},
                                      {kFilled, 3},
                                      {kFilled, 4},
                                      {kFilled, 1},
                                      {kFilled, 2},
                                      {kFilled, 3},
                                      {kFilled, 4}}));
}

// The host removes the last object while the thread measures a big bin, unloads, and at once loads
// the library again (getting the same, still mapped library while the old thread winds down) to
// watch another object: the new object hears of the bin, the old one never again.
TEST_F(Monitor, ImmediateReloadWatchesDuringWindDown) {
    HostWindow host;
    ASSERT_TRUE(wwtest::FillTrashDirectly(3000, 10, "r"));
    Watch(1, kEverySecond);
    ASSERT_EQ(WaitForNotes(2, 30000), (Notes{{kFilled, 1}, {kFilled, 1}}));
    qvtest::PumpFor(300);  // into the next measurement
    Unwatch(1);
    plugin_.Unload();
    plugin_ = qvtest::LoadPlugin("Wastewatch.dll");
    g_received.clear();
    Watch(2, kEverySecond);
    EXPECT_EQ(WaitForNotes(4, 30000), (Notes{{kFilled, 2}, {kFilled, 2}, {kFilled, 2}, {kFilled, 2}}));
}

}  // namespace
