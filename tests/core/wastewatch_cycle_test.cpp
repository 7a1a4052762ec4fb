#include <gtest/gtest.h>

#include <algorithm>
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

// A cycle's plan, posted: every post succeeds but those at the given places of the plan.
CyclePlan Posts(const WatchState& state, std::uint64_t items, std::uint64_t size,
                const std::vector<std::size_t>& failed = {}) {
    CyclePlan plan = PlanCycle(state, items, size);
    for (std::size_t i = 0; i < plan.size; ++i)
        plan.notifications[i].delivered = std::find(failed.begin(), failed.end(), i) == failed.end();
    return plan;
}

Posted Cycle(WatchState& state, std::uint64_t items, std::uint64_t size) {
    const CyclePlan plan = Posts(state, items, size);
    RecordDelivered(state, plan);
    return Notes(plan);
}

WatchState Watching(std::initializer_list<std::pair<std::int32_t, WatchRecord>> entries) {
    WatchState state;
    for (const auto& [id, record] : entries) AddWatch(state, id, record);
    return state;
}

constexpr WatchRecord kNoLimits{1, 1, 0, 0, 0, 0};

TEST(MonitorCycle, EmptyBinAtStartTellsNothing) {
    WatchState state = Watching({{1, kNoLimits}, {2, kNoLimits}});
    EXPECT_TRUE(Cycle(state, 0, 0).empty());
    EXPECT_TRUE(Cycle(state, 0, 0).empty());
}

TEST(MonitorCycle, FillingTellsChangeThenLevelsInOrder) {
    WatchState state = Watching({{20, kNoLimits}, {10, kNoLimits}});
    EXPECT_EQ(Cycle(state, 3, 300), (Posted{{8750394, 20}, {8750394, 10}, {8750394, 20}, {8750394, 10}}));
    // The next cycle brings only the level reports.
    EXPECT_EQ(Cycle(state, 3, 300), (Posted{{8750394, 20}, {8750394, 10}}));
}

TEST(MonitorCycle, EmptyingTellsOnlyTheChange) {
    WatchState state = Watching({{1, kNoLimits}, {2, WatchRecord{1, 1, 1, 1, 1, 1}}});
    Cycle(state, 5, 5 * kMiB);
    EXPECT_EQ(Cycle(state, 0, 0), (Posted{{8750393, 1}, {8750393, 2}}));
    EXPECT_TRUE(Cycle(state, 0, 0).empty());
}

TEST(MonitorCycle, EachEntryGetsItsOwnLevel) {
    const WatchRecord critical{1, 1, 1, 1, 1, 1};
    const WatchRecord warning{1, 1, 1, 1, 100, 2};
    const WatchRecord warningOff{1, 1, 0, 0, 1, 1};
    WatchState state = Watching({{1, critical}, {2, warning}, {3, warningOff}});
    for (WatchEntry& entry : state.table) entry.toldNonEmpty = true;
    EXPECT_EQ(Cycle(state, 1, 2 * kMiB), (Posted{{8750395, 1}, {8750396, 2}, {8750394, 3}}));
}

TEST(MonitorCycle, ChangeToldBeforeBothLimits) {
    WatchState state = Watching({{9, WatchRecord{1, 1, 1, 1, 1, 1}}});
    EXPECT_EQ(Cycle(state, 1, kMiB), (Posted{{8750394, 9}, {8750395, 9}}));
}

TEST(MonitorCycle, AddingAnObjectMakesTheFilledBinNewsAgain) {
    WatchState state = Watching({{1, kNoLimits}});
    Cycle(state, 2, 10);
    AddWatch(state, 2, kNoLimits);
    EXPECT_EQ(Cycle(state, 2, 10), (Posted{{8750394, 1}, {8750394, 2}, {8750394, 1}, {8750394, 2}}));
}

TEST(MonitorCycle, AnEmptyBinIsNotAnnouncedAfterAnAdd) {
    WatchState state = Watching({{1, kNoLimits}});
    Cycle(state, 2, 10);
    Cycle(state, 0, 0);
    AddWatch(state, 2, kNoLimits);
    EXPECT_TRUE(Cycle(state, 0, 0).empty());
}

TEST(MonitorCycle, OnlyADeliveredStateReportCountsAsTold) {
    constexpr std::uint32_t kEmptied = 8750393, kFilled = 8750394;
    struct Row {
        const char* name;
        bool toldFilled;  // what both entries were told before
        std::uint64_t items;
        std::vector<std::size_t> failed;  // the places in that cycle's plan whose posts fail
        std::int32_t between;             // added (above 0) or removed (below 0) before the outcome is recorded
        std::uint64_t nextItems;
        Posted next;
    };
    const Row rows[] = {
        {"a failed filled report is sent again", false, 3, {1}, 0, 3, {{kFilled, 2}, {kFilled, 1}, {kFilled, 2}}},
        {"a failed level report is not made up for", false, 3, {2, 3}, 0, 3, {{kFilled, 1}, {kFilled, 2}}},
        {"a failed emptying report is sent again", true, 0, {0}, 0, 0, {{kEmptied, 1}}},
        {"a change undone before it was told is not told", false, 3, {0}, 0, 0, {{kEmptied, 2}}},
        {"an add in between has every entry told afresh", false, 3, {}, 3, 0, {}},
        {"each outcome finds its entry after a removal", false, 3, {1}, -1, 3, {{kFilled, 2}, {kFilled, 2}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WatchState state = Watching({{1, kNoLimits}, {2, kNoLimits}});
        for (WatchEntry& entry : state.table) entry.toldNonEmpty = row.toldFilled;
        const CyclePlan plan = Posts(state, row.items, row.items, row.failed);
        if (row.between > 0) AddWatch(state, row.between, kNoLimits);
        if (row.between < 0) RemoveWatch(state, -row.between);
        RecordDelivered(state, plan);
        EXPECT_EQ(Cycle(state, row.nextItems, row.nextItems), row.next);
    }
}

TEST(MonitorCycle, CountAbove2Pow63ReadsAsEmpty) {
    WatchState state = Watching({{1, kNoLimits}});
    EXPECT_TRUE(Cycle(state, std::uint64_t{1} << 63, 0).empty());
}

TEST(MonitorCycle, AFullTableFillsThePlan) {
    WatchState state = Watching({{1, kNoLimits}, {2, kNoLimits}, {3, kNoLimits}, {4, kNoLimits}});
    const CyclePlan plan = PlanCycle(state, 1, 1);
    EXPECT_EQ(plan.size, 8u);
    EXPECT_EQ(Notes(plan).back(), (std::pair<std::uint32_t, std::int32_t>{8750394, 4}));
}

}  // namespace
}  // namespace wastewatch
