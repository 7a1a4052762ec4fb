#include <gtest/gtest.h>

#include <set>
#include <string>

#include "drive_watch.h"

namespace wastewatch {
namespace {

using State = DriveWatchState;
using Event = DriveWatchEvent;

struct Row {
    const char* name;
    State state;
    Event event;
    DriveWatchDecision expected;
};

constexpr bool kClose = true, kUnregister = true, kOpen = true, kReopen = true, no = false;

// Events in, actions out: one row per rule.
const Row kRows[] = {
    {"a change keeps the watch", State::kWatched, Event::kSignalled, {State::kWatched, no, no, no, no}},
    {"a signal that cannot be armed again is closed and found again at the next cycle",
     State::kWatched,
     Event::kRearmFailed,
     {State::kUnwatched, kClose, kUnregister, no, kReopen}},
    {"a signal whose folder is gone is closed and found again at the next cycle",
     State::kWatched,
     Event::kFolderGone,
     {State::kUnwatched, kClose, kUnregister, no, kReopen}},
    {"a query-remove closes the signal and keeps the registration",
     State::kWatched,
     Event::kQueryRemove,
     {State::kReleased, kClose, no, no, no}},
    {"a second query-remove finds nothing left to close",
     State::kReleased,
     Event::kQueryRemove,
     {State::kReleased, no, no, no, no}},
    {"a removal called off opens the watch again at once",
     State::kReleased,
     Event::kQueryRemoveFailed,
     {State::kWatched, no, kUnregister, kOpen, no}},
    {"a called-off removal of a watched drive changes nothing",
     State::kWatched,
     Event::kQueryRemoveFailed,
     {State::kWatched, no, no, no, no}},
    {"a released drive that goes is forgotten",
     State::kReleased,
     Event::kRemoved,
     {State::kRemoved, no, kUnregister, no, no}},
    {"a surprise removal closes the handle still open",
     State::kWatched,
     Event::kRemoved,
     {State::kRemoved, kClose, kUnregister, no, no}},
    {"a removed drive stays unwatched while its letter remains",
     State::kRemoved,
     Event::kQueryRemoveFailed,
     {State::kRemoved, no, no, no, no}},
    {"a removed drive that left the drive set is watched again when it arrives",
     State::kRemoved,
     Event::kLeftDriveSet,
     {State::kUnwatched, no, no, no, no}},
    {"a released drive that left the drive set without a word is forgotten",
     State::kReleased,
     Event::kLeftDriveSet,
     {State::kUnwatched, no, kUnregister, no, no}},
    {"a watched drive that left the drive set lets go of its signal",
     State::kWatched,
     Event::kLeftDriveSet,
     {State::kUnwatched, kClose, kUnregister, no, kReopen}},
    {"nothing names an unwatched drive", State::kUnwatched, Event::kQueryRemove, {State::kUnwatched, no, no, no, no}},
};

TEST(DriveWatchRules, EventsInActionsOut) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DecideDriveWatch(row.state, row.event), row.expected);
    }
}

TEST(DriveWatchRules, AFiredSignalIsJudgedByItsFolderFirst) {
    EXPECT_EQ(SignalOutcome(true, true), Event::kSignalled);
    EXPECT_EQ(SignalOutcome(false, true), Event::kRearmFailed);
    EXPECT_EQ(SignalOutcome(true, false), Event::kFolderGone);
    EXPECT_EQ(SignalOutcome(false, false), Event::kFolderGone);
}

TEST(DriveWatchRules, OnlyARemovalHoldsADriveBackFromOpening) {
    EXPECT_TRUE(HeldBackFromOpening(State::kReleased));
    EXPECT_TRUE(HeldBackFromOpening(State::kRemoved));
    EXPECT_FALSE(HeldBackFromOpening(State::kWatched));
    EXPECT_FALSE(HeldBackFromOpening(State::kUnwatched));
}

struct TrustRow {
    const char* name;
    std::set<std::string> existing;
    DriveWatchStates states;  // C: then D:
    bool trusted;
};

TEST(DriveWatchTrust, EveryBinFolderNeedsAWatchedDrive) {
    constexpr std::uint32_t kDrivesCAndD = (1u << 2) | (1u << 3);
    const TrustRow rows[] = {
        {"both bins watched", {"C:\\RECYCLED", "D:\\RECYCLED"}, {State::kWatched, State::kWatched}, true},
        {"a released drive is measured", {"C:\\RECYCLED", "D:\\RECYCLED"}, {State::kWatched, State::kReleased}, false},
        {"a bin whose signal failed is measured",
         {"C:\\RECYCLED", "D:\\RECYCLED"},
         {State::kUnwatched, State::kWatched},
         false},
        {"a drive without a bin folder is followed by the snapshot",
         {"D:\\RECYCLED"},
         {State::kUnwatched, State::kWatched},
         true},
        {"no bin folder at all", {"C:\\$Recycle.Bin"}, {State::kUnwatched, State::kUnwatched}, false},
    };
    for (const TrustRow& row : rows) {
        SCOPED_TRACE(row.name);
        const BinWatchPlan plan = PlanBinWatch(kDrivesCAndD, "S-1-5-21-0-0-0-1000",
                                               [&](const char* path) { return row.existing.count(path) > 0; });
        EXPECT_EQ(WatchIsTrustworthy(plan, row.states), row.trusted);
    }
}

}  // namespace
}  // namespace wastewatch
