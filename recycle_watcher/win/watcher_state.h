// Wastewatch's process-wide state as the entry points, the dialog and the monitor thread share it.
// Every function here takes the short lock that guards the watch table and the intervals.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "monitor_cycle.h"
#include "report_refresh.h"
#include "watch_record.h"

namespace wastewatch {

// The module's instance, saved at attach (dialog and string resources are loaded from it).
extern HINSTANCE g_instance;

// Before the properties dialog opens: the first time in the process the record keeps its own
// intervals; every later time they are overwritten with the intervals in force.
void PrepareConfig(WatchRecord& record);

// After the dialog ended with OK: the record's intervals become the process-wide ones, and the first
// table entry of this object (if any) takes a copy of the whole record.
void CommitConfig(std::int32_t objectId, const WatchRecord& record);

// QVDefault's record: the intervals in force, everything else 0.
WatchRecord DefaultWatchRecord();

// QVInit and QVUninit (see AddWatch and RemoveWatch of the watch table).
bool WatchObject(std::int32_t objectId, const WatchRecord& record);
void UnwatchObject(std::int32_t objectId);

// For the monitor thread.
bool IsWatching();
std::uint32_t CheckIntervalInForce();
std::uint32_t RefreshIntervalInForce();
// Decides the cycle's notifications from the table as it is now; nothing once the calling thread has
// been told to stop.
CyclePlan PlanMonitorCycle(const std::atomic<bool>& stopRequested, std::uint64_t itemCount, std::uint64_t sizeBytes);
// After the plan's posts, each marked with whether it succeeded (see RecordDelivered).
void RecordMonitorCycle(const CyclePlan& plan);

// The monitor's last measurement, left for the properties dialog; nothing once the calling thread has
// been told to stop. Doubting it (a change signal, a watch to open again, the thread leaving) keeps
// the numbers but no longer lets them stand in for measuring.
void PublishMeasurement(const std::atomic<bool>& stopRequested, const MonitorMeasurement& measured);
void DoubtMeasurement();
MonitorMeasurement LastMeasurement();

}  // namespace wastewatch
