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
};

// At most a state report and a level report per entry.
struct CyclePlan {
    std::array<Notification, 2 * kMaxWatches> notifications{};
    std::size_t size = 0;
};

// Decides the cycle's notifications in posting order: when the bin's state differs from what the
// entries were last told, the state report to every entry in table order (and the new state is
// recorded as told); then, while the bin is non-empty, each entry's level report in table order.
// Call it only when the notifications will be posted, so that a change is never marked as told
// without being told.
CyclePlan PlanCycle(WatchState& state, std::uint64_t itemCount, std::uint64_t sizeBytes);

}  // namespace wastewatch
