#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
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

using Fields = std::array<std::uint32_t, 6>;

Fields FieldsOf(const WatchRecord& record) {
    return {record.checkInterval, record.refreshInterval, record.notifyCritical,
            record.notifyWarning, record.criticalLimit,   record.warningLimit};
}

std::vector<Fields> FieldsOf(const std::vector<WatchRecord>& records) {
    std::vector<Fields> fields;
    fields.reserve(records.size());
    for (const WatchRecord& record : records) fields.push_back(FieldsOf(record));
    return fields;
}

std::vector<Fields> Records(const WatchState& state) {
    std::vector<Fields> records;
    for (std::size_t i = 0; i < state.count; ++i) records.push_back(FieldsOf(state.table[i].record));
    return records;
}

TEST(WatchTableDefaults, DefaultRecordTakesIntervalsInForce) {
    WatchState state;
    state.checkInterval = 7;
    state.refreshInterval = 9;
    EXPECT_EQ(FieldsOf(DefaultRecord(state)), (Fields{7, 9, 0, 0, 0, 0}));
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

TEST(WatchTableConfig, FirstConfigKeepsTheRecordsOwnIntervals) {
    WatchState state;
    state.checkInterval = 4;
    state.refreshInterval = 16;
    WatchRecord record = Record(100, 200, 0xdeadbeef);
    PrepareConfig(state, record);
    EXPECT_FALSE(state.firstConfig);
    EXPECT_EQ(FieldsOf(record), FieldsOf(Record(100, 200, 0xdeadbeef)));
}

TEST(WatchTableConfig, LaterConfigsShowTheIntervalsInForce) {
    WatchState state;
    WatchRecord first = Record(100, 200);
    PrepareConfig(state, first);
    state.checkInterval = 5;
    state.refreshInterval = 6;
    WatchRecord later = Record(100, 200, 0xdeadbeef);
    PrepareConfig(state, later);
    EXPECT_EQ(FieldsOf(later), FieldsOf(Record(5, 6, 0xdeadbeef)));
}

// What each change leaves in the state: the objects in order with their records, the intervals in
// force, who was told the bin is not empty, and the first-init flag.
TEST(WatchTable, StateAfterEachChange) {
    struct After {
        std::vector<std::int32_t> ids;
        std::vector<WatchRecord> records;
        std::uint32_t check, refresh;
        std::vector<bool> told;
        bool firstInit;
    };
    struct Case {
        const char* what;
        std::function<void(WatchState&)> steps;
        After after;
    };
    const Case cases[] = {
        {"fresh state: the initial values", [](WatchState&) {}, {{}, {}, 4, 16, {}, true}},
        {"adds keep their order and copy the record, the first one's intervals in force",
         [](WatchState& state) {
             WatchRecord record = Record(1, 2, 0xdeadbeef);
             EXPECT_TRUE(AddWatch(state, 30, record));
             record.criticalLimit = 5;  // a later change to the host's record does not reach the copy
             EXPECT_TRUE(AddWatch(state, 10, Record(3, 4, 1)));
             EXPECT_TRUE(AddWatch(state, 20, Record(5, 6, 2)));
         },
         {{30, 10, 20},
          {Record(1, 2, 0xdeadbeef), Record(3, 4, 1), Record(5, 6, 2)},
          1,
          2,
          {false, false, false},
          false}},
        {"drop last takes back the newest entry, even one with the same identifier; intervals stay",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 5, Record(9, 8, 1)));
             ASSERT_TRUE(AddWatch(state, 6, Record(1, 1, 2)));
             ASSERT_TRUE(AddWatch(state, 5, Record(1, 1, 3)));
             DropLastWatch(state);
         },
         {{5, 6}, {Record(9, 8, 1), Record(1, 1, 2)}, 9, 8, {false, false}, false}},
        {"drop last with nothing left: no change, no underflow",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 5, Record(9, 8, 1)));
             ASSERT_TRUE(AddWatch(state, 6, Record(1, 1, 2)));
             for (int i = 0; i < 4; ++i) DropLastWatch(state);
         },
         {{}, {}, 9, 8, {}, false}},
        {"a fifth object is refused and still resets the bin state; the full table's call is not the first",
         [](WatchState& state) {
             for (std::int32_t id = 1; id <= 4; ++id)
                 ASSERT_TRUE(AddWatch(state, id, Record(1, 1, static_cast<std::uint32_t>(id))));
             TellNonEmpty(state);
             EXPECT_FALSE(AddWatch(state, 5, Record(99, 99, 99)));
         },
         {{1, 2, 3, 4},
          {Record(1, 1, 1), Record(1, 1, 2), Record(1, 1, 3), Record(1, 1, 4)},
          1,
          1,
          {false, false, false, false},
          false}},
        {"every add resets the bin state to empty",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 1, Record(1, 1)));
             TellNonEmpty(state);
             ASSERT_TRUE(AddWatch(state, 2, Record(1, 1)));
         },
         {{1, 2}, {Record(1, 1), Record(1, 1)}, 1, 1, {false, false}, false}},
        {"the first init adopts its intervals, a later one never",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 1, Record(11, 22)));
             ASSERT_TRUE(AddWatch(state, 2, Record(33, 44)));
         },
         {{1, 2}, {Record(11, 22), Record(33, 44)}, 11, 22, {false, false}, false}},
        {"removing every object does not make the next one first again",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 1, Record(11, 22)));
             ASSERT_TRUE(AddWatch(state, 2, Record(33, 44)));
             RemoveWatch(state, 1);
             RemoveWatch(state, 2);
             ASSERT_TRUE(AddWatch(state, 3, Record(55, 66)));
         },
         {{3}, {Record(55, 66)}, 11, 22, {false}, false}},
        {"the first init adopts its intervals even when the table is full",
         [](WatchState& state) {
             state.count = kMaxWatches;  // as if filled before; only the flag decides adoption
             EXPECT_FALSE(AddWatch(state, 9, Record(8, 3)));
         },
         {{0, 0, 0, 0},
          {WatchRecord{}, WatchRecord{}, WatchRecord{}, WatchRecord{}},
          8,
          3,
          {false, false, false, false},
          false}},
        {"duplicate identifiers lose only the first entry",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 100)));
             ASSERT_TRUE(AddWatch(state, 8, Record(1, 1, 200)));
             ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 300)));
             EXPECT_TRUE(RemoveWatch(state, 7));
         },
         {{8, 7}, {Record(1, 1, 200), Record(1, 1, 300)}, 1, 1, {false, false}, false}},
        {"removal leaves the bin state alone",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 1, Record(1, 1)));
             ASSERT_TRUE(AddWatch(state, 2, Record(1, 1)));
             TellNonEmpty(state);
             RemoveWatch(state, 1);
         },
         {{2}, {Record(1, 1)}, 1, 1, {true}, false}},
        {"commit sets the intervals and replaces only the object's first entry",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 1)));
             ASSERT_TRUE(AddWatch(state, 8, Record(1, 1, 2)));
             ASSERT_TRUE(AddWatch(state, 7, Record(1, 1, 3)));
             CommitConfig(state, 7, WatchRecord{30, 40, 1, 0, 500, 250});
         },
         {{7, 8, 7},
          {WatchRecord{30, 40, 1, 0, 500, 250}, Record(1, 1, 2), Record(1, 1, 3)},
          30,
          40,
          {false, false, false},
          false}},
        {"commit for an object not watched still sets the intervals, stored as typed: bounded only where used",
         [](WatchState& state) {
             ASSERT_TRUE(AddWatch(state, 1, Record(2, 3, 9)));
             CommitConfig(state, 42, WatchRecord{0, 7200, 1, 1, 1, 1});
         },
         {{1}, {Record(2, 3, 9)}, 0, 7200, {false}, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WatchState state;
        c.steps(state);
        EXPECT_EQ(state.count, c.after.ids.size());
        EXPECT_EQ(Ids(state), c.after.ids);
        EXPECT_EQ(Records(state), FieldsOf(c.after.records));
        EXPECT_EQ(state.checkInterval, c.after.check);
        EXPECT_EQ(state.refreshInterval, c.after.refresh);
        EXPECT_EQ(Told(state), c.after.told);
        EXPECT_EQ(state.firstInit, c.after.firstInit);
        EXPECT_TRUE(state.firstConfig) << "only the properties dialog clears it";
        for (std::size_t i = state.count; i < kMaxWatches; ++i) {
            EXPECT_EQ(state.table[i].objectId, 0) << "slot " << i << " is not cleared";
        }
    }
}

}  // namespace
}  // namespace wastewatch
