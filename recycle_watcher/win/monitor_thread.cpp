// The monitor thread: measures the bin every check interval while objects are watched, and posts
// each watched object's notifications to the host's main window.
//
// The thread is created by the first QVInit rather than at attach. A thread created inside DllMain
// cannot start until the loader lock is released, so an unload that comes first would find it not
// yet started: it could neither wait for it (the thread needs the lock the unload holds) nor let it
// run (it would run code of an unmapped library), and terminating a thread caught in its start-up
// brings the whole process down on some systems. Created from QVInit, the thread is known to run
// before QVInit returns. Until then nothing is watched, so the thread would only idle anyway.
//
// Stopping it at unload runs inside DllMain, under the loader lock. A thread cannot finish exiting
// while that lock is held, so detach cannot wait for the thread's end. Instead the thread's last act
// is one call that never returns into this library: it signals "done" and parks inside the system in
// the same call, after which detach may terminate it without cutting it off anywhere that matters.
#include "monitor_thread.h"

#include <windows.h>

#include <atomic>

#include "bin_measurement.h"
#include "qv_contract.h"
#include "watcher_state.h"
#include "win32_owner.h"

namespace wastewatch {

namespace {

enum ThreadState : LONG { kNotStarted, kRunning, kCancelled };

// How long an unload waits for the thread to stop by itself before terminating it.
constexpr DWORD kStopTimeoutMs = 2000;
// How long an unload waits for a terminated thread to be gone.
constexpr DWORD kTerminateWaitMs = 1000;
// How long QVInit waits for a new thread to run.
constexpr DWORD kStartTimeoutMs = 5000;
// How long the last QVUninit waits for a measurement under way to give up.
constexpr DWORD kIdleTimeoutMs = 10000;

std::atomic<bool> g_stopRequested{false};
// Set when a measurement under way has become pointless: the library is going or nothing is watched.
std::atomic<bool> g_abandonMeasurement{false};
std::atomic<LONG> g_threadState{kNotStarted};
qv::UniqueHandle g_stopEvent;     // manual reset: set once, ends every wait of the thread
qv::UniqueHandle g_retimeEvent;   // auto reset: the check interval changed
qv::UniqueHandle g_startedEvent;  // manual reset: the thread runs its loop
qv::UniqueHandle g_idleEvent;     // manual reset: no measurement under way
qv::UniqueHandle g_doneEvent;     // manual reset: the thread has parked
qv::UniqueHandle g_parkEvent;     // manual reset, never set: what the parked thread waits on
qv::UniqueHandle g_thread;

[[noreturn]] void Park() noexcept {
    ::SignalObjectAndWait(g_doneEvent.get(), g_parkEvent.get(), INFINITE, FALSE);
    // Only if the call itself failed: stay here until detach gives up waiting and terminates us.
    for (;;) ::Sleep(INFINITE);
}

void RunCycle() noexcept {
    // Both cleared before the table is looked at, so that an unwatch after this point abandons the
    // walk and waits for it.
    g_abandonMeasurement.store(false);
    ::ResetEvent(g_idleEvent.get());
    qv::ScopeExit idle([] { ::SetEvent(g_idleEvent.get()); });
    if (g_stopRequested.load() || !IsWatching()) return;
    const BinMeasurement measured = MeasureBin(g_abandonMeasurement);
    if (g_abandonMeasurement.load()) return;  // possibly cut short: not a measurement of the bin
    // Without the host's main window nothing can be told, so nothing is marked as told either.
    HWND host = ::FindWindowA(qv::kMainWindowClass, qv::kMainWindowName);
    if (host == nullptr) return;
    const CyclePlan plan = PlanMonitorCycle(measured.count, measured.size);
    for (std::size_t i = 0; i < plan.size; ++i) {
        const Notification& note = plan.notifications[i];
        ::PostMessageA(host, qv::kNotifyMessage, note.code, static_cast<LPARAM>(note.objectId));
    }
}

// Sleeps one check interval, read when the sleep starts; a new interval starts the sleep again.
void SleepOneInterval() noexcept {
    const HANDLE wakers[] = {g_stopEvent.get(), g_retimeEvent.get()};
    for (;;) {
        const DWORD milliseconds = SleepMilliseconds(CheckIntervalInForce());
        const DWORD woken = ::WaitForMultipleObjects(2, wakers, FALSE, milliseconds);
        if (woken == WAIT_OBJECT_0 + 1) continue;
        if (woken == WAIT_FAILED) ::Sleep(milliseconds);
        return;
    }
}

DWORD WINAPI MonitorMain(void*) {
    LONG expected = kNotStarted;
    if (!g_threadState.compare_exchange_strong(expected, kRunning)) Park();  // cancelled by detach
    ::SetEvent(g_startedEvent.get());
    while (!g_stopRequested.load()) {
        RunCycle();
        if (g_stopRequested.load()) break;
        SleepOneInterval();
    }
    Park();
}

HANDLE NewEvent(bool manualReset) noexcept {
    return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

void ReleaseEvents() noexcept {
    g_parkEvent.reset();
    g_doneEvent.reset();
    g_idleEvent.reset();
    g_startedEvent.reset();
    g_retimeEvent.reset();
    g_stopEvent.reset();
}

}  // namespace

void PrepareMonitor() noexcept {
    g_stopEvent.reset(NewEvent(true));
    g_retimeEvent.reset(NewEvent(false));
    g_startedEvent.reset(NewEvent(true));
    g_idleEvent.reset(NewEvent(true));
    g_doneEvent.reset(NewEvent(true));
    g_parkEvent.reset(NewEvent(true));
    if (!g_stopEvent || !g_retimeEvent || !g_startedEvent || !g_idleEvent || !g_doneEvent || !g_parkEvent) {
        ReleaseEvents();
        return;
    }
    ::SetEvent(g_idleEvent.get());
}

void EnsureMonitorRunning() noexcept {
    if (g_thread || !g_stopEvent || g_stopRequested.load()) return;
    // No module reference for the thread: the host's FreeLibrary must still unload the library.
    g_thread.reset(::CreateThread(nullptr, 0, MonitorMain, nullptr, 0, nullptr));
    if (g_thread) ::WaitForSingleObject(g_startedEvent.get(), kStartTimeoutMs);
}

void StopMonitor(bool processExiting) noexcept {
    g_stopRequested.store(true);
    g_abandonMeasurement.store(true);
    if (processExiting) return;  // the thread is gone already; nothing to wait for or release
    if (g_thread) {
        ::SetEvent(g_stopEvent.get());
        LONG expected = kNotStarted;
        bool parked = false;
        // Not started only when QVInit gave up waiting for it: then it must never reach our code.
        if (!g_threadState.compare_exchange_strong(expected, kCancelled)) {
            parked = ::WaitForSingleObject(g_doneEvent.get(), kStopTimeoutMs) == WAIT_OBJECT_0;
        }
        // Parked, the thread sits in the system's wait and is safe to end; otherwise this is the last
        // resort.
        ::TerminateThread(g_thread.get(), parked ? 1 : 0);
        ::WaitForSingleObject(g_thread.get(), kTerminateWaitMs);
        g_thread.reset();
    }
    ReleaseEvents();
}

void SettleMonitor() noexcept {
    g_abandonMeasurement.store(true);
    if (g_thread) ::WaitForSingleObject(g_idleEvent.get(), kIdleTimeoutMs);
}

void RetimeMonitor() noexcept {
    if (g_retimeEvent) ::SetEvent(g_retimeEvent.get());
}

}  // namespace wastewatch
