// Wastewatch's per-object data record: the host stores it, QVDefault fills it, the properties dialog
// edits it, and the watch table keeps a copy of it per watched object.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wastewatch {

struct WatchRecord {
    std::uint32_t checkInterval;    // seconds between two measurements (process-wide once adopted)
    std::uint32_t refreshInterval;  // seconds; stored and carried with the check interval, acted on by nothing
    std::uint32_t notifyCritical;   // non-zero: report reaching the critical limit
    std::uint32_t notifyWarning;    // non-zero: report reaching the warning limit
    std::uint32_t criticalLimit;    // megabytes of 2^20 bytes; 0 = no limit
    std::uint32_t warningLimit;     // megabytes; 0 = no limit
};
static_assert(sizeof(WatchRecord) == 24);
static_assert(offsetof(WatchRecord, checkInterval) == 0);
static_assert(offsetof(WatchRecord, refreshInterval) == 4);
static_assert(offsetof(WatchRecord, notifyCritical) == 8);
static_assert(offsetof(WatchRecord, notifyWarning) == 12);
static_assert(offsetof(WatchRecord, criticalLimit) == 16);
static_assert(offsetof(WatchRecord, warningLimit) == 20);

}  // namespace wastewatch
