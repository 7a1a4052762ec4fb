// The table of watched objects and the process-wide settings, as plain data and the rules that change
// them. One WatchState exists per loaded library; the caller guards it with a lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "watch_record.h"

namespace wastewatch {

inline constexpr std::uint32_t kDefaultCheckInterval = 4;
inline constexpr std::uint32_t kDefaultRefreshInterval = 16;
inline constexpr std::size_t kMaxWatches = 4;

struct WatchEntry {
    std::int32_t objectId;
    WatchRecord record;         // a copy; the host's record reaches it only through the properties dialog
    std::uint32_t serial = 0;   // the AddWatch that made it: a cycle's outcome finds it after a removal
    bool toldNonEmpty = false;  // the bin state this object was last told by a post that succeeded
};

struct WatchState {
    std::uint32_t checkInterval = kDefaultCheckInterval;
    std::uint32_t refreshInterval = kDefaultRefreshInterval;
    bool firstInit = true;    // the first QVInit adopts its record's intervals
    bool firstConfig = true;  // the first properties dialog shows its record's own intervals
    std::array<WatchEntry, kMaxWatches> table{};
    std::size_t count = 0;
    std::uint32_t adds = 0;  // AddWatch calls so far, each of which makes the bin's state news again
};

// QVDefault: the intervals in force, everything else 0.
WatchRecord DefaultRecord(const WatchState& state);

// QVInit: appends the object unless the table is full (then returns false). Either way every entry's
// last told state goes back to empty, so a non-empty bin is announced again to every entry, and the
// first call in the process adopts the record's intervals. Returns whether the object was added.
bool AddWatch(WatchState& state, std::int32_t objectId, const WatchRecord& record);

// Takes back the entry the last successful AddWatch appended (when the object cannot be watched after
// all); the intervals it adopted stay, as they do for a full table.
void DropLastWatch(WatchState& state);

// QVUninit: removes the first entry of this object, keeping the order of the others. Returns whether
// there was one.
bool RemoveWatch(WatchState& state, std::int32_t objectId);

// Before the properties dialog: the first call clears the first-config flag and leaves the record;
// later calls overwrite its two intervals with the ones in force.
void PrepareConfig(WatchState& state, WatchRecord& record);

// After the dialog's OK: the record's intervals are taken as the ones in force, and the first entry
// of this object (if any) is replaced with the whole record.
void CommitConfig(WatchState& state, std::int32_t objectId, const WatchRecord& record);

}  // namespace wastewatch
