#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "monitor_cycle.h"

namespace wastewatch {
namespace {

constexpr std::uint64_t kMiB = 1u << 20;

using Posted = std::vector<std::pair<std::uint32_t, std::int32_t>>;

Posted Notes(const CyclePlan& plan) {
    Posted notes;
    for (std::size_t i = 0; i < plan.size; ++i) {
        notes.emplace_back(plan.notifications[i].code, plan.notifications[i].objectId);
    }
    return notes;
}

WatchState Watching(std::initializer_list<std::pair<std::int32_t, WatchRecord>> entries) {
    WatchState state;
    for (const auto& [id, record] : entries) AddWatch(state, id, record);
    return state;
}

constexpr WatchRecord kNoLimits{1, 1, 0, 0, 0, 0};

TEST(MonitorCycle, EmptyBinAtStartTellsNothing) {
    WatchState state = Watching({{1, kNoLimits}, {2, kNoLimits}});
    EXPECT_TRUE(Notes(PlanCycle(state, 0, 0)).empty());
    EXPECT_TRUE(Notes(PlanCycle(state, 0, 0)).empty());
    EXPECT_FALSE(state.binNonEmpty);
}

TEST(MonitorCycle, FillingTellsTheChangeThenTheLevelsInTableOrder) {
    WatchState state = Watching({{20, kNoLimits}, {10, kNoLimits}});
    EXPECT_EQ(Notes(PlanCycle(state, 3, 300)), (Posted{{8750394, 20}, {8750394, 10}, {8750394, 20}, {8750394, 10}}));
    EXPECT_TRUE(state.binNonEmpty);
    // The next cycle brings only the level reports.
    EXPECT_EQ(Notes(PlanCycle(state, 3, 300)), (Posted{{8750394, 20}, {8750394, 10}}));
}

TEST(MonitorCycle, EmptyingTellsOnlyTheChange) {
    WatchState state = Watching({{1, kNoLimits}, {2, WatchRecord{1, 1, 1, 1, 1, 1}}});
    PlanCycle(state, 5, 5 * kMiB);
    EXPECT_EQ(Notes(PlanCycle(state, 0, 0)), (Posted{{8750393, 1}, {8750393, 2}}));
    EXPECT_TRUE(Notes(PlanCycle(state, 0, 0)).empty());
}

TEST(MonitorCycle, EachEntryGetsItsOwnLevel) {
    const WatchRecord critical{1, 1, 1, 1, 1, 1};
    const WatchRecord warning{1, 1, 1, 1, 100, 2};
    const WatchRecord warningOff{1, 1, 0, 0, 1, 1};
    WatchState state = Watching({{1, critical}, {2, warning}, {3, warningOff}});
    state.binNonEmpty = true;
    EXPECT_EQ(Notes(PlanCycle(state, 1, 2 * kMiB)), (Posted{{8750395, 1}, {8750396, 2}, {8750394, 3}}));
}

TEST(MonitorCycle, BothLimitsReachedAfterAChangeStillTellTheChangeFirst) {
    WatchState state = Watching({{9, WatchRecord{1, 1, 1, 1, 1, 1}}});
    EXPECT_EQ(Notes(PlanCycle(state, 1, kMiB)), (Posted{{8750394, 9}, {8750395, 9}}));
}

TEST(MonitorCycle, AddingAnObjectMakesTheFilledBinNewsAgain) {
    WatchState state = Watching({{1, kNoLimits}});
    PlanCycle(state, 2, 10);
    AddWatch(state, 2, kNoLimits);
    EXPECT_EQ(Notes(PlanCycle(state, 2, 10)), (Posted{{8750394, 1}, {8750394, 2}, {8750394, 1}, {8750394, 2}}));
}

TEST(MonitorCycle, AnEmptyBinIsNotAnnouncedAfterAnAdd) {
    WatchState state = Watching({{1, kNoLimits}});
    PlanCycle(state, 2, 10);
    PlanCycle(state, 0, 0);
    AddWatch(state, 2, kNoLimits);
    EXPECT_TRUE(Notes(PlanCycle(state, 0, 0)).empty());
}

TEST(MonitorCycle, NoEntriesStillRecordsTheState) {
    WatchState state;
    EXPECT_TRUE(Notes(PlanCycle(state, 4, 4)).empty());
    EXPECT_TRUE(state.binNonEmpty);
}

TEST(MonitorCycle, ACountAboveTwoToTheSixtyThreeReadsAsEmpty) {
    WatchState state = Watching({{1, kNoLimits}});
    EXPECT_TRUE(Notes(PlanCycle(state, std::uint64_t{1} << 63, 0)).empty());
}

TEST(MonitorCycle, AFullTableFillsThePlan) {
    WatchState state = Watching({{1, kNoLimits}, {2, kNoLimits}, {3, kNoLimits}, {4, kNoLimits}});
    const CyclePlan plan = PlanCycle(state, 1, 1);
    EXPECT_EQ(plan.size, 8u);
    EXPECT_EQ(Notes(plan).back(), (std::pair<std::uint32_t, std::int32_t>{8750394, 4}));
}

}  // namespace
}  // namespace wastewatch
