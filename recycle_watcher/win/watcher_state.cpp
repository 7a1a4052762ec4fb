// The process-wide state behind one short lock, taken by the host's calls and the monitor thread alike.
#include "watcher_state.h"

#include "monitor_thread.h"
#include "watch_table.h"
#include "win32_owner.h"

namespace wastewatch {

HINSTANCE g_instance = nullptr;

namespace {

WatchState g_state;
MonitorMeasurement g_lastMeasurement;
SRWLOCK g_lock = SRWLOCK_INIT;

}  // namespace

void PrepareConfig(WatchRecord& record) {
    const qv::ExclusiveLock lock(g_lock);
    PrepareConfig(g_state, record);
}

void CommitConfig(std::int32_t objectId, const WatchRecord& record) {
    bool retime = false;
    {
        const qv::ExclusiveLock lock(g_lock);
        retime = g_state.checkInterval != record.checkInterval;
        CommitConfig(g_state, objectId, record);
    }
    if (retime) RetimeMonitor();
}

WatchRecord DefaultWatchRecord() {
    const qv::ExclusiveLock lock(g_lock);
    return DefaultRecord(g_state);
}

bool WatchObject(std::int32_t objectId, const WatchRecord& record) {
    bool added = false;
    bool retime = false;
    {
        const qv::ExclusiveLock lock(g_lock);
        const std::uint32_t before = g_state.checkInterval;
        added = AddWatch(g_state, objectId, record);
        retime = g_state.checkInterval != before;
    }
    if (retime) RetimeMonitor();
    if (!added || EnsureMonitorRunning()) return added;
    // The monitor's life refuses the watch when no thread could start: the object would never hear
    // anything. It is not watched, and QVInit says so as it does for a full table.
    const qv::ExclusiveLock lock(g_lock);
    DropLastWatch(g_state);
    return false;
}

void UnwatchObject(std::int32_t objectId) {
    bool empty = false;
    {
        const qv::ExclusiveLock lock(g_lock);
        RemoveWatch(g_state, objectId);
        empty = g_state.count == 0;
    }
    // A host may unload the library right after the last object goes: the thread leaves by itself.
    if (empty) ReleaseMonitor();
}

bool IsWatching() {
    const qv::ExclusiveLock lock(g_lock);
    return g_state.count > 0;
}

std::uint32_t CheckIntervalInForce() {
    const qv::ExclusiveLock lock(g_lock);
    return g_state.checkInterval;
}

std::uint32_t RefreshIntervalInForce() {
    const qv::ExclusiveLock lock(g_lock);
    return g_state.refreshInterval;
}

CyclePlan PlanMonitorCycle(const std::atomic<bool>& stopRequested, std::uint64_t itemCount, std::uint64_t sizeBytes) {
    const qv::ExclusiveLock lock(g_lock);
    // Checked under the lock: a thread told to go must not tell the objects that a later QVInit added
    // for the thread that replaced it.
    if (stopRequested.load()) return {};
    return PlanCycle(g_state, itemCount, sizeBytes);
}

void PublishMeasurement(const std::atomic<bool>& stopRequested, const MonitorMeasurement& measured) {
    const qv::ExclusiveLock lock(g_lock);
    // A thread told to go must not speak over the one that replaced it.
    if (!stopRequested.load()) g_lastMeasurement = measured;
}

void DoubtMeasurement() {
    const qv::ExclusiveLock lock(g_lock);
    g_lastMeasurement.holds = false;
}

MonitorMeasurement LastMeasurement() {
    const qv::ExclusiveLock lock(g_lock);
    return g_lastMeasurement;
}

void RecordMonitorCycle(const CyclePlan& plan) {
    const qv::ExclusiveLock lock(g_lock);
    RecordDelivered(g_state, plan);
}

}  // namespace wastewatch
