// When the monitor must measure the bin and when the last measurement still stands: which folders
// hold the bin on each drive, what a snapshot of them is, and the decision taken every cycle.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wastewatch {

// A measurement stands at most this long while every bin folder is watched: a change the watch
// cannot see (inside a deleted folder kept in the bin) is still found within it.
inline constexpr std::uint64_t kSafetyRemeasureMs = 15ull * 60ull * 1000ull;

// How long a burst of changes is let settle (no change for this long, but no longer than the
// maximum) before the bin is measured ahead of the cycle.
inline constexpr std::uint32_t kSettleQuietMs = 150;
inline constexpr std::uint32_t kSettleMaxMs = 1000;

struct WatchedFolder {
    std::string path;
    bool isBin;  // the bin folder itself; otherwise a folder in which a bin folder would appear
};

// For every drive in fixedDrives (bit 0 is A:), the folder to watch: its first bin folder that exists
// ("X:\$Recycle.Bin\<sid>", "X:\RECYCLER\<sid>", "X:\RECYCLED"); without one, the deepest existing
// folder in which one would be created ("X:\$Recycle.Bin", "X:\RECYCLER", or the root "X:\").
std::vector<WatchedFolder> PlanBinWatch(std::uint32_t fixedDrives, std::string_view sid,
                                        const std::function<bool(const std::string&)>& folderExists);

// The watch can stand in for measuring only when at least one bin folder was found and every planned
// folder got a working change signal.
bool WatchIsTrustworthy(const std::vector<WatchedFolder>& plan, std::size_t signalsOpened);

// What was true of the bin's folders when a measurement was taken, compared before reusing it.
struct BinSnapshot {
    std::uint32_t drives = 0;                 // the logical drives present
    std::vector<std::uint64_t> folderTimes;   // last-write time of each watched folder (0: unreadable)
    bool operator==(const BinSnapshot&) const = default;
};

struct CycleFacts {
    bool haveLast;         // a measurement was taken before
    bool trustworthy;      // see WatchIsTrustworthy
    bool signalled;        // a change signal fired since the last measurement was armed
    bool snapshotChanged;  // the folders or the drive set differ from the last measurement's snapshot
    bool emptiedSince;     // this plug-in finished emptying the bin since the last measurement
    bool emptyingNow;      // this plug-in is emptying the bin right now
    std::uint64_t sinceLastMs;
};

enum class CycleMeasurement {
    kMeasure,          // measure the bin now
    kReuse,            // nothing can have changed (or it cannot be measured now): the last result stands
    kAwaitEmptying,    // nothing to reuse, and the bin must not be read while this plug-in empties it
};

CycleMeasurement ChooseMeasurement(const CycleFacts& facts);

// During the sleep between cycles, after a change signal: measure ahead of the cycle (so that the
// cycle reports the change without waiting for a measurement) at most once per sleep, and never
// while this plug-in empties the bin.
bool ShouldMeasureAhead(bool measuredAheadThisSleep, bool trustworthy, bool emptyingNow);

}  // namespace wastewatch
