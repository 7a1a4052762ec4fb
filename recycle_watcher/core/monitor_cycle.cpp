#include "monitor_cycle.h"

#include <algorithm>

#include "levels.h"

namespace wastewatch {

CyclePlan PlanCycle(WatchState& state, std::uint64_t itemCount, std::uint64_t sizeBytes) {
    CyclePlan plan;
    const bool nonEmpty = static_cast<std::int64_t>(itemCount) > 0;
    const std::size_t count = std::min(state.count, kMaxWatches);
    if (nonEmpty != state.binNonEmpty) {
        state.binNonEmpty = nonEmpty;
        for (std::size_t i = 0; i < count; ++i) {
            plan.notifications[plan.size++] = Notification{StateCode(nonEmpty), state.table[i].objectId};
        }
    }
    if (nonEmpty) {
        const double megabytes = Megabytes(sizeBytes);
        for (std::size_t i = 0; i < count; ++i) {
            plan.notifications[plan.size++] = Notification{LevelCode(megabytes, state.table[i].record),
                                                           state.table[i].objectId};
        }
    }
    return plan;
}

}  // namespace wastewatch
