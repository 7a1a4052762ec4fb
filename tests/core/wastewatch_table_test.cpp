#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "watch_table.h"

namespace wastewatch {
namespace {

WatchRecord Record(std::uint32_t check, std::uint32_t refresh, std::uint32_t marker = 0) {
    return WatchRecord{check, refresh, marker, marker, marker, marker};
}

std::vector<std::int32_t> Ids(const WatchState& state) {
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < state.count; ++i) ids.push_back(state.table[i].objectId);
    return ids;
}

std::vector<bool> Told(const WatchState& state) {
    std::vector<bool> told;
    for (std::size_t i = 0; i < state.count; ++i) told.push_back(state.table[i].toldNonEmpty);
    return told;
}

void TellNonEmpty(WatchState& state) {
    for (WatchEntry& entry : state.table) entry.toldNonEmpty = true;
}

TEST(WatchTableDefaults, FreshStateHoldsTheInitialValues) {
    const WatchState state;
    EXPECT_EQ(state.checkInterval, 4u);
    EXPECT_EQ(state.refreshInterval, 16u);
    EXPECT_TRUE(state.firstInit);
    EXPECT_TRUE(state.firstConfig);
    EXPECT_EQ(state.count, 0u);
}

TEST(WatchTableDefaults, DefaultRecordTakesTheIntervalsInForceAndZeroesTheRest) {
    WatchState state;
    state.checkInterval = 7;
    state.refreshInterval = 9;
    const WatchRecord record = DefaultRecord(state);
    EXPECT_EQ(record.checkInterval, 7u);
    EXPECT_EQ(record.refreshInterval, 9u);
    EXPECT_EQ(record.notifyCritical, 0u);
    EXPECT_EQ(record.notifyWarning, 0u);
    EXPECT_EQ(record.criticalLimit, 0u);
    EXPECT_EQ(record.warningLimit, 0u);
}

TEST(WatchTableAdd, KeepsInsertionOrderAndCopiesTheRecord) {
    WatchState state;
    WatchRecord record = Record(1, 2, 0xdeadbeef);
    EXPECT_TRUE(AddWatch(state, 30, record));
    record.criticalLimit = 5;  // a later change to the host's record does not reach the copy
    EXPECT_TRUE(AddWatch(state, 10, Record(3, 4, 1)));
    EXPECT_TRUE(AddWatch(state, 20, Record(5, 6, 2)));
    EXPECT_EQ(Ids(state), (std::vector<std::int32_t>{30, 10, 20}));
    EXPECT_EQ(state.table[0].record.criticalLimit, 0xdeadbeefu);
    EXPECT_EQ(state.table[1].record.notifyWarning, 1u);
}

TEST(WatchTableAdd, DropLastTakesBackTheNewestEntryEvenWithTheSameIdentifier) {
    WatchState state;
    ASSERT_TRUE(AddWatch(state, 5, Record(9, 8, 1)));
    ASSERT_TRUE(AddWatch(state, 6, Record(1, 1, 2)));
    ASSERT_TRUE(AddWatch(state, 5, Record(1, 1, 3)));
    DropLastWatch(state);
    EXPECT_EQ(Ids(state), (std::vector<std::int32_t>{5, 6}));
    EXPECT_EQ(state.table[0].record.notifyCritical, 1u);
    EXPECT_EQ(state.table[2].objectId, 0);
    EXPECT_EQ(state.checkInterval, 9u) << "the first object's intervals stay in force";
    DropLastWatch(state);
    DropLastWatch(state);
    DropLastWatch(state);  // nothing left: no change, no underflow
    EXPECT_EQ(state.count, 0u);
}

TEST(WatchTableAdd, FifthObjectIsRefusedAndStillResetsTheBinState) {
    WatchState state;
    for (std::int32_t id = 1; id <= 4; ++id)
        ASSERT_TRUE(AddWatch(state, id, Record(1, 1, static_cast<std::uint32_t>(id))));
    TellNonEmpty(state);
    const auto tableBefore = state.table;
    EXPECT_FALSE(AddWatch(state, 5, Record(99, 99, 99)));
    EXPECT_EQ(state.count, 4u);
    EXPECT_EQ(Ids(state), (std::vector<std::int32_t>{1, 2, 3, 4}));
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(state.table[i].record.criticalLimit, tableBefore[i].record.criticalLimit);
    }
    EXPECT_EQ(Told(state), std::vector<bool>(4, false));
    EXPECT_EQ(state.checkInterval, 1u);  // the full table's call is not the first one
}

TEST(WatchTableAdd, EveryAddResetsTheBinStateToEmpty) {
    WatchState state;
    ASSERT_TRUE(AddWatch(state, 1, Record(1, 1)));
    TellNonEmpty(state);
    ASSERT_TRUE(AddWatch(state, 2, Record(1, 1)));
    EXPECT_EQ(Told(state), (std::vector<bool>{false, false}));
}

TEST(WatchTableIntervals, FirstInitAdoptsItsIntervalsAndLaterOnesNever) {
    WatchState state;
    ASSERT_TRUE(AddWatch(state, 1, Record(11, 22)));
    EXPECT_FALSE(state.firstInit);
    EXPECT_EQ(state.checkInterval, 11u);
    EXPECT_EQ(state.refreshInterval, 22u);
    ASSERT_TRUE(AddWatch(state, 2, Record(33, 44)));
    EXPECT_EQ(state.checkInterval, 11u);
    EXPECT_EQ(state.refreshInterval, 22u);
    // Removing every object does not make the next one "first" again.
    RemoveWatch(state, 1);
    RemoveWatch(state, 2);
    ASSERT_TRUE(AddWatch(state, 3, Record(55, 66)));
    EXPECT_EQ(state.checkInterval, 11u);
}

TEST(WatchTableIntervals, FirstInitAdoptsItsIntervalsEvenWhenTheTableIsFull) {
    WatchState state;
    state.count = kMaxWatches;  // as if filled before; only the flag decides adoption
    EXPECT_FALSE(AddWatch(state, 9, Record(8, 3)));
    EXPECT_EQ(state.checkInterval, 8u);
    EXPECT_EQ(state.refreshInterval, 3u);
    EXPECT_FALSE(state.firstInit);
}

TEST(WatchTableRemove, RemovingKeepsTheOrderOfTheOthers) {
    struct Case {
        std::vector<std::int32_t> before;
        std::int32_t removed;
        std::vector<std::int32_t> after;
        bool found;
    };
    const Case cases[] = {
        {{1, 2, 3}, 1, {2, 3}, true},
        {{1, 2, 3}, 2, {1, 3}, true},
        {{1, 2, 3}, 3, {1, 2}, true},
        {{1, 2, 3, 4}, 1, {2, 3, 4}, true},
        {{1, 2, 3, 4}, 4, {1, 2, 3}, true},
        {{1, 2, 3}, 7, {1, 2, 3}, false},
        {{}, 1, {}, false},
        {{5}, 5, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.before) + " minus " + std::to_string(c.removed));
        WatchState state;
        for (std::int32_t id : c.before) ASSERT_TRUE(AddWatch(state, id, Record(1, 1, static_cast<std::uint32_t>(id))));
        EXPECT_EQ(RemoveWatch(state, c.removed), c.found);
        EXPECT_EQ(Ids(state), c.after);
        for (std::size_t i = 0; i < state.count; ++i) {
            EXPECT_EQ(state.table[i].record.notifyCritical, static_cast<std::uint32_t>(state.table[i].objectId));
        }
    }
}

TEST(WatchTableRemove, DuplicateIdentifiersLoseOnlyTheFirstEntry) {
    WatchState state;
    ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 100)));
    ASSERT_TRUE(AddWatch(state, 8, Record(1, 1, 200)));
    ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 300)));
    EXPECT_TRUE(RemoveWatch(state, 7));
    ASSERT_EQ(Ids(state), (std::vector<std::int32_t>{8, 7}));
    EXPECT_EQ(state.table[1].record.criticalLimit, 300u);
}

TEST(WatchTableRemove, RemovalLeavesTheBinStateAlone) {
    WatchState state;
    ASSERT_TRUE(AddWatch(state, 1, Record(1, 1)));
    ASSERT_TRUE(AddWatch(state, 2, Record(1, 1)));
    TellNonEmpty(state);
    RemoveWatch(state, 1);
    EXPECT_EQ(Told(state), (std::vector<bool>{true}));
}

TEST(WatchTableConfig, FirstConfigKeepsTheRecordsOwnIntervals) {
    WatchState state;
    state.checkInterval = 4;
    state.refreshInterval = 16;
    WatchRecord record = Record(100, 200, 0xdeadbeef);
    PrepareConfig(state, record);
    EXPECT_FALSE(state.firstConfig);
    EXPECT_EQ(record.checkInterval, 100u);
    EXPECT_EQ(record.refreshInterval, 200u);
    EXPECT_EQ(record.criticalLimit, 0xdeadbeefu);
}

TEST(WatchTableConfig, LaterConfigsShowTheIntervalsInForce) {
    WatchState state;
    WatchRecord first = Record(100, 200);
    PrepareConfig(state, first);
    state.checkInterval = 5;
    state.refreshInterval = 6;
    WatchRecord later = Record(100, 200, 0xdeadbeef);
    PrepareConfig(state, later);
    EXPECT_EQ(later.checkInterval, 5u);
    EXPECT_EQ(later.refreshInterval, 6u);
    EXPECT_EQ(later.notifyCritical, 0xdeadbeefu);
    EXPECT_EQ(later.warningLimit, 0xdeadbeefu);
}

TEST(WatchTableConfig, CommitSetsTheIntervalsAndReplacesOnlyTheFirstEntryOfTheObject) {
    WatchState state;
    ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 1)));
    ASSERT_TRUE(AddWatch(state, 8, Record(1, 1, 2)));
    ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 3)));
    const WatchRecord edited{30, 40, 1, 0, 500, 250};
    CommitConfig(state, 7, edited);
    EXPECT_EQ(state.checkInterval, 30u);
    EXPECT_EQ(state.refreshInterval, 40u);
    EXPECT_EQ(state.table[0].record.criticalLimit, 500u);
    EXPECT_EQ(state.table[0].record.checkInterval, 30u);
    EXPECT_EQ(state.table[1].record.criticalLimit, 2u);
    EXPECT_EQ(state.table[2].record.criticalLimit, 3u);
}

TEST(WatchTableConfig, CommitForAnObjectNotWatchedStillSetsTheIntervals) {
    WatchState state;
    ASSERT_TRUE(AddWatch(state, 1, Record(2, 3, 9)));
    CommitConfig(state, 42, WatchRecord{0, 7200, 1, 1, 1, 1});
    EXPECT_EQ(state.checkInterval, 0u);  // stored as typed; bounded only where it is used
    EXPECT_EQ(state.refreshInterval, 7200u);
    EXPECT_EQ(state.table[0].record.criticalLimit, 9u);
    EXPECT_EQ(state.count, 1u);
}

}  // namespace
}  // namespace wastewatch
