// What happens to one drive's change watch when its signal fires or the system asks to remove the
// drive, and when the watch as a whole can stand in for measuring. A drive's watch is a change
// signal on its bin folder, registered with the system for the removal of the drive that holds it:
// the signal is closed when a removal is asked for, so that the drive can be locked and ejected.
#pragma once

#include <array>

#include "bin_watch.h"

namespace wastewatch {

enum class DriveWatchState {
    kUnwatched,  // no signal and no registration; the next opening of the watch gives it one
    kWatched,    // a change signal is open on its bin folder and registered for the drive's removal
    kReleased,   // its signal was closed for a removal; the registration stays to hear whether it happens
    kRemoved,    // the drive went; it stays unwatched until it has left the drive set
};

enum class DriveWatchEvent {
    kSignalled,          // its signal fired and was armed again, and the folder is still there
    kRearmFailed,        // its signal fired and could not be armed again
    kFolderGone,         // its signal fired and the folder is no longer there
    kQueryRemove,        // the system asks whether the drive may be removed
    kQueryRemoveFailed,  // the removal was called off
    kRemoved,            // the drive is being removed or is gone (pending or complete, asked or not)
    kLeftDriveSet,       // the drive's letter is no longer among the logical drives
};

// What a fired signal means, from whether it could be armed again and whether its folder still exists.
DriveWatchEvent SignalOutcome(bool rearmed, bool folderExists) noexcept;

// What is to be done, in this order: close the signal, give up the registration, open and register the
// signal again. reopenAtNextCycle opens every watch again at the next cycle (a drive held back by a
// removal stays as it is).
struct DriveWatchDecision {
    DriveWatchState next = DriveWatchState::kUnwatched;
    bool closeSignal = false;
    bool unregister = false;
    bool openSignal = false;
    bool reopenAtNextCycle = false;
    bool operator==(const DriveWatchDecision&) const = default;
};

DriveWatchDecision DecideDriveWatch(DriveWatchState state, DriveWatchEvent event) noexcept;

// Whether an opening of the watch leaves this drive as it is instead of opening its signal: a removal
// holds it back.
bool HeldBackFromOpening(DriveWatchState state) noexcept;

// The state of each planned folder's drive, in plan order.
using DriveWatchStates = std::array<DriveWatchState, kDriveCount>;

// The watch can stand in for measuring when at least one bin folder was found and every bin folder is
// watched. A drive without a bin folder is followed through the cycle's snapshot of the folder where
// one would appear, and needs no signal.
bool WatchIsTrustworthy(const BinWatchPlan& plan, const DriveWatchStates& states) noexcept;

}  // namespace wastewatch
