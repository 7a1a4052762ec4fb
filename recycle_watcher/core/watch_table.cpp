#include "watch_table.h"

#include <algorithm>

namespace wastewatch {

namespace {

WatchEntry* FindFirst(WatchState& state, std::int32_t objectId) {
    WatchEntry* const begin = state.table.data();
    WatchEntry* const end = begin + state.count;
    WatchEntry* const found = std::find_if(begin, end,
                                           [objectId](const WatchEntry& entry) { return entry.objectId == objectId; });
    return found == end ? nullptr : found;
}

}  // namespace

WatchRecord DefaultRecord(const WatchState& state) {
    return WatchRecord{state.checkInterval, state.refreshInterval, 0, 0, 0, 0};
}

bool AddWatch(WatchState& state, std::int32_t objectId, const WatchRecord& record) {
    ++state.adds;
    for (std::size_t i = 0; i < state.count; ++i) state.table[i].toldNonEmpty = false;
    bool added = false;
    if (state.count < kMaxWatches) {
        state.table[state.count] = WatchEntry{objectId, record, state.adds};
        ++state.count;
        added = true;
    }
    // Even a full table does not stop the first object from setting the intervals.
    if (state.firstInit) {
        state.firstInit = false;
        state.checkInterval = record.checkInterval;
        state.refreshInterval = record.refreshInterval;
    }
    return added;
}

void DropLastWatch(WatchState& state) {
    if (state.count == 0) return;
    --state.count;
    state.table[state.count] = WatchEntry{};
}

bool RemoveWatch(WatchState& state, std::int32_t objectId) {
    WatchEntry* entry = FindFirst(state, objectId);
    if (entry == nullptr) return false;
    std::move(entry + 1, state.table.data() + state.count, entry);
    --state.count;
    state.table[state.count] = WatchEntry{};
    return true;
}

void PrepareConfig(WatchState& state, WatchRecord& record) {
    if (state.firstConfig) {
        state.firstConfig = false;
        return;
    }
    record.checkInterval = state.checkInterval;
    record.refreshInterval = state.refreshInterval;
}

void CommitConfig(WatchState& state, std::int32_t objectId, const WatchRecord& record) {
    state.checkInterval = record.checkInterval;
    state.refreshInterval = record.refreshInterval;
    if (WatchEntry* entry = FindFirst(state, objectId)) entry->record = record;
}

}  // namespace wastewatch
