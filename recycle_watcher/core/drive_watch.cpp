#include "drive_watch.h"

namespace wastewatch {

namespace {

using State = DriveWatchState;
using Event = DriveWatchEvent;

constexpr DriveWatchDecision Stay(State state) noexcept {
    return DriveWatchDecision{state, false, false, false, false};
}

}  // namespace

DriveWatchEvent SignalOutcome(bool rearmed, bool folderExists) noexcept {
    // A handle whose folder is gone keeps the deleted folder open, and may stay signalled for good.
    if (!folderExists) return Event::kFolderGone;
    return rearmed ? Event::kSignalled : Event::kRearmFailed;
}

DriveWatchDecision DecideDriveWatch(DriveWatchState state, DriveWatchEvent event) noexcept {
    switch (state) {
        case State::kWatched:
            switch (event) {
                case Event::kSignalled:
                case Event::kQueryRemoveFailed: return Stay(state);
                // A signal that would never fire again, or would fire for ever: closed, and found again.
                case Event::kRearmFailed:
                case Event::kFolderGone:
                case Event::kLeftDriveSet: return {State::kUnwatched, true, true, false, true};
                // Closed before the answer, so that the drive can be locked; the registration tells
                // whether the removal happens.
                case Event::kQueryRemove: return {State::kReleased, true, false, false, false};
                // Removed without asking: the handle still open is let go.
                case Event::kRemoved: return {State::kRemoved, true, true, false, false};
            }
            break;
        case State::kReleased:
            switch (event) {
                case Event::kQueryRemoveFailed: return {State::kWatched, false, true, true, false};
                case Event::kRemoved: return {State::kRemoved, false, true, false, false};
                case Event::kLeftDriveSet: return {State::kUnwatched, false, true, false, false};
                default: return Stay(state);
            }
        case State::kRemoved:
            // Back in the drive set later, it is a drive like any other.
            if (event == Event::kLeftDriveSet) return Stay(State::kUnwatched);
            return Stay(state);
        case State::kUnwatched: break;
    }
    return Stay(state);
}

bool HeldBackFromOpening(DriveWatchState state) noexcept {
    return state == State::kReleased || state == State::kRemoved;
}

bool WatchIsTrustworthy(const BinWatchPlan& plan, const DriveWatchStates& states) noexcept {
    bool anyBin = false;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!plan.folders[i].isBin) continue;
        anyBin = true;
        if (states[i] != State::kWatched) return false;
    }
    return anyBin;
}

}  // namespace wastewatch
