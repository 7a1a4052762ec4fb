// One cycle of the monitor: from a measurement and the watch table to the notifications to post.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "watch_table.h"

namespace wastewatch {

struct Notification {
    std::uint32_t code;
    std::int32_t objectId;
    std::uint32_t entry = 0;   // the serial of the entry it is for
    bool stateReport = false;  // tells the bin's state rather than its level
    bool delivered = false;    // set by whoever posts it, when the post succeeded
};

// At most a state report and a level report per entry.
struct CyclePlan {
    std::array<Notification, 2 * kMaxWatches> notifications{};
    std::size_t size = 0;
    bool nonEmpty = false;   // the state the state reports tell
    std::uint32_t adds = 0;  // the table's AddWatch count when planned
};

// Decides the cycle's notifications in posting order: the state report to every entry last told a
// state other than the bin's, in table order; then, while the bin is non-empty, each entry's level
// report in table order. Nothing is marked as told until RecordDelivered.
CyclePlan PlanCycle(const WatchState& state, std::uint64_t itemCount, std::uint64_t sizeBytes);

// After the posts: an entry whose state report was delivered has been told the bin's state. One whose
// post failed is told again at the next cycle; a level report is sent at every cycle anyway. Nothing
// is recorded when an AddWatch came in between, which asked for every entry to be told afresh.
void RecordDelivered(WatchState& state, const CyclePlan& plan);

}  // namespace wastewatch
