// The monitor thread's watch on the folders that hold the bin: one change signal per folder, and
// snapshots of their last-write times and of the drive set. Owned and used by one thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "bin_watch.h"
#include "win32_owner.h"

namespace wastewatch {

class BinChangeWatch {
public:
    BinChangeWatch() = default;
    BinChangeWatch(const BinChangeWatch&) = delete;
    BinChangeWatch& operator=(const BinChangeWatch&) = delete;

    // Finds every fixed drive's bin folder (or where one would appear) and opens a signal on each.
    void Open() noexcept;
    bool Trustworthy() const noexcept { return trustworthy_; }

    // The open signals, for a wait; Rearm(i) after signal i fired.
    const HANDLE* Signals() const noexcept { return signals_; }
    std::size_t SignalCount() const noexcept { return signalCount_; }
    void Rearm(std::size_t index) noexcept;

    // Whether any change signal fired since the last call (including those re-armed by a wait);
    // every signal is armed again for the next change.
    bool TakeChanges() noexcept;

    // The drive set and the watched folders' times now. A changed drive set, or a signal from a
    // folder in which a bin folder would appear, means the watch must be opened again.
    BinSnapshot Snapshot() const noexcept;
    bool NeedsReopen(const BinSnapshot& now) const noexcept { return reopen_ || now.drives != drives_; }
    void ReopenIfNeeded() noexcept {
        if (NeedsReopen(Snapshot())) Open();
    }

private:
    static void CloseSignal(HANDLE handle) noexcept { ::FindCloseChangeNotification(handle); }
    using UniqueSignal = qv::UniqueResource<HANDLE, CloseSignal>;

    void CloseSignals() noexcept;

    BinWatchPlan plan_;
    UniqueSignal owned_[kDriveCount];
    HANDLE signals_[kDriveCount] = {};         // the owned handles, for a wait
    bool signalWatchesBin_[kDriveCount] = {};  // for each signal: on a bin folder (else on a parent)
    std::size_t signalCount_ = 0;
    char sid_[kFolderPathCapacity] = {};  // the user's SID as text; empty when unknown
    std::uint32_t drives_ = 0;
    bool trustworthy_ = false;
    bool fired_ = false;
    bool reopen_ = false;
};

}  // namespace wastewatch
