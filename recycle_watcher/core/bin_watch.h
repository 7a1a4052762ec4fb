// Where the monitor watches the bin for changes: which folders hold the bin on each drive, when that
// watch can be trusted, and what a snapshot of the folders is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "function_ref.h"

namespace wastewatch {

inline constexpr std::size_t kDriveCount = 26;           // A: to Z:
inline constexpr std::size_t kFolderPathCapacity = 260;  // a path the 8-bit file calls take, with its NUL

struct WatchedFolder {
    char path[kFolderPathCapacity];  // NUL-terminated
    bool isBin;                      // the bin folder itself; otherwise a folder in which a bin folder would appear
};

// At most one folder per drive, in drive order.
struct BinWatchPlan {
    std::array<WatchedFolder, kDriveCount> folders{};
    std::size_t count = 0;

    const WatchedFolder* begin() const noexcept { return folders.data(); }
    const WatchedFolder* end() const noexcept { return folders.data() + count; }
    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
};

// Whether a folder exists; given a NUL-terminated path.
using FolderQuery = qv::FunctionRef<bool(const char* path)>;

// For every drive in fixedDrives (bit 0 is A:), the folder to watch: its first bin folder that exists
// ("X:\$Recycle.Bin\<sid>", "X:\RECYCLER\<sid>", "X:\RECYCLED"); without one, the deepest existing
// folder in which one would be created ("X:\$Recycle.Bin", "X:\RECYCLER", or the root "X:\"). A SID
// too long for a path is no SID: only the shared "X:\RECYCLED" can then be recognised.
BinWatchPlan PlanBinWatch(std::uint32_t fixedDrives, std::string_view sid, FolderQuery folderExists) noexcept;

// What was true of the bin's folders when a measurement was taken, compared before reusing it.
struct BinSnapshot {
    std::uint32_t drives = 0;                              // the logical drives present
    std::array<std::uint64_t, kDriveCount> folderTimes{};  // last-write time of each watched folder (0: unreadable)
    std::size_t folderCount = 0;                           // entries of folderTimes in use; the rest stay 0
    bool operator==(const BinSnapshot&) const = default;
};

}  // namespace wastewatch
