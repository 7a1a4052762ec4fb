#include <gtest/gtest.h>

#include <set>
#include <string>

#include "drive_watch.h"

namespace wastewatch {
namespace {

using S = DriveWatchState;
using E = DriveWatchEvent;

// The actions in the order they are carried out: Close the signal, Unregister, Open again, Reopen all at
// the next cycle.
std::string Actions(const DriveWatchDecision& d) {
    return std::string(d.closeSignal ? "C" : "") + (d.unregister ? "U" : "") + (d.openSignal ? "O" : "") +
           (d.reopenAtNextCycle ? "R" : "");
}

TEST(DriveWatchRules, EventsInActionsOut) {
    const struct {
        const char* name;
        S state;
        E event;
        S next;
        const char* actions;
    } rows[] = {
        {"a change keeps the watch", S::kWatched, E::kSignalled, S::kWatched, ""},
        {"a signal not armed again is closed, found again next cycle", S::kWatched, E::kRearmFailed, S::kUnwatched,
         "CUR"},
        {"a signal whose folder is gone is closed, found again next cycle", S::kWatched, E::kFolderGone, S::kUnwatched,
         "CUR"},
        {"a query-remove closes the signal, keeps the registration", S::kWatched, E::kQueryRemove, S::kReleased, "C"},
        {"a second query-remove finds nothing to close", S::kReleased, E::kQueryRemove, S::kReleased, ""},
        {"a removal called off watches again at once", S::kReleased, E::kQueryRemoveFailed, S::kWatched, "UO"},
        {"a called-off removal of a watched drive", S::kWatched, E::kQueryRemoveFailed, S::kWatched, ""},
        {"a released drive that goes is forgotten", S::kReleased, E::kRemoved, S::kRemoved, "U"},
        {"a surprise removal closes the handle still open", S::kWatched, E::kRemoved, S::kRemoved, "CU"},
        {"a removed drive stays unwatched while its letter stays", S::kRemoved, E::kQueryRemoveFailed, S::kRemoved, ""},
        {"a removed drive whose letter went is a new drive", S::kRemoved, E::kLeftDriveSet, S::kUnwatched, ""},
        {"a released drive whose letter went is forgotten", S::kReleased, E::kLeftDriveSet, S::kUnwatched, "U"},
        {"a watched drive whose letter went lets go", S::kWatched, E::kLeftDriveSet, S::kUnwatched, "CUR"},
        {"nothing names an unwatched drive", S::kUnwatched, E::kQueryRemove, S::kUnwatched, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const DriveWatchDecision decision = DecideDriveWatch(row.state, row.event);
        EXPECT_EQ(decision.next, row.next);
        EXPECT_EQ(Actions(decision), row.actions);
        EXPECT_EQ(HeldBackFromOpening(row.next), row.next == S::kReleased || row.next == S::kRemoved);
    }
    // A fired signal is judged by its folder first.
    EXPECT_EQ(SignalOutcome(true, true), E::kSignalled);
    EXPECT_EQ(SignalOutcome(false, true), E::kRearmFailed);
    EXPECT_EQ(SignalOutcome(false, false), E::kFolderGone);
}

TEST(DriveWatchRules, EveryBinFolderNeedsAWatchedDrive) {
    const std::set<std::string> both{"C:\\RECYCLED", "D:\\RECYCLED"};
    const struct {
        const char* name;
        std::set<std::string> existing;
        DriveWatchStates states;  // C: then D:
        bool trusted;
    } rows[] = {
        {"both bins watched", both, {S::kWatched, S::kWatched}, true},
        {"a released drive is measured", both, {S::kWatched, S::kReleased}, false},
        {"a bin whose signal failed is measured", both, {S::kUnwatched, S::kWatched}, false},
        {"a drive without a bin folder is followed by the snapshot",
         {"D:\\RECYCLED"},
         {S::kUnwatched, S::kWatched},
         true},
        {"no bin folder at all", {"C:\\$Recycle.Bin"}, {S::kUnwatched, S::kUnwatched}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const BinWatchPlan plan = PlanBinWatch((1u << 2) | (1u << 3), "S-1-5-21-0-0-0-1000",
                                               [&](const char* path) { return row.existing.count(path) > 0; });
        EXPECT_EQ(WatchIsTrustworthy(plan, row.states), row.trusted);
    }
}

}  // namespace
}  // namespace wastewatch
