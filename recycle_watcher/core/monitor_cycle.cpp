#include "monitor_cycle.h"

#include <algorithm>

#include "levels.h"

namespace wastewatch {

CyclePlan PlanCycle(const WatchState& state, std::uint64_t itemCount, std::uint64_t sizeBytes) {
    CyclePlan plan;
    plan.nonEmpty = static_cast<std::int64_t>(itemCount) > 0;
    plan.adds = state.adds;
    const std::size_t count = std::min(state.count, kMaxWatches);
    for (std::size_t i = 0; i < count; ++i) {
        const WatchEntry& entry = state.table[i];
        if (entry.toldNonEmpty == plan.nonEmpty) continue;
        plan.notifications[plan.size++] = Notification{StateCode(plan.nonEmpty), entry.objectId, entry.serial, true};
    }
    if (plan.nonEmpty) {
        const double megabytes = Megabytes(sizeBytes);
        for (std::size_t i = 0; i < count; ++i) {
            const WatchEntry& entry = state.table[i];
            plan.notifications[plan.size++] = Notification{LevelCode(megabytes, entry.record), entry.objectId,
                                                           entry.serial};
        }
    }
    return plan;
}

void RecordDelivered(WatchState& state, const CyclePlan& plan) {
    if (plan.adds != state.adds) return;
    const std::size_t count = std::min(state.count, kMaxWatches);
    for (std::size_t n = 0; n < plan.size; ++n) {
        const Notification& note = plan.notifications[n];
        if (!note.stateReport || !note.delivered) continue;
        for (std::size_t i = 0; i < count; ++i) {
            if (state.table[i].serial == note.entry) state.table[i].toldNonEmpty = plan.nonEmpty;
        }
    }
}

}  // namespace wastewatch
