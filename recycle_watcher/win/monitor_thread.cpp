// The monitor thread: every check interval while objects are watched, posts each watched object's
// notifications to the host's main window, from a measurement of the bin that is taken again only
// when the bin may have changed since the last one (see ChooseMeasurement). Where the bin's folders
// are watched, a change during the sleep is measured as soon as it settles, so the next cycle
// reports it without first waiting for a measurement; where they cannot be, every cycle measures.
//
// A thread runs only while something is watched: the first QVInit starts it, the last QVUninit tells
// it to go. Everything a thread needs to run and to stop lives in its own MonitorThread, so a thread
// that is still winding down never reads the stop request of the one a later QVInit started.
//
// The thread is created from QVInit rather than at attach. A thread created inside DllMain cannot
// start until the loader lock is released, so an unload that came first could neither wait for it
// nor let it run. Created from QVInit, the thread is known to run before QVInit returns.
//
// The last QVUninit never waits. It hands the thread a reference on this library and returns; the
// thread gives up its measurement at the next step it can and leaves through
// FreeLibraryAndExitThread, which never returns into this library. An unload that follows only drops
// the host's reference; the library is unmapped when the thread is gone, and a reload in between gets
// the same, still mapped library, whose QVInit starts a thread of its own.
//
// Only an unload without the last QVUninit finds a thread still running in DllMain, under the loader
// lock, where a thread cannot finish exiting. There the thread's last act is one call that never
// returns into this library: it signals "parked" and waits inside the system in the same call, after
// which detach terminates it. This is the last resort, for a host that breaks the contract.
#include "monitor_thread.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

#include "bin_change_watch.h"
#include "bin_emptier.h"
#include "bin_measurement.h"
#include "bin_watch.h"
#include "monitor_exit.h"
#include "qv_contract.h"
#include "watcher_state.h"
#include "win32_owner.h"

namespace wastewatch {

namespace {

enum ThreadState : LONG { kNotStarted, kRunning, kCancelled };

// How long an unload without the last QVUninit waits for the thread to park before terminating it.
constexpr DWORD kStopTimeoutMs = 2000;
// How long that unload waits for a terminated thread to be gone.
constexpr DWORD kTerminateWaitMs = 1000;
// How long QVInit waits for a new thread to run.
constexpr DWORD kStartTimeoutMs = 5000;

struct MonitorThread {
    qv::UniqueHandle stopEvent;     // manual reset: set once, ends every wait of the thread
    qv::UniqueHandle retimeEvent;   // auto reset: the check interval changed
    qv::UniqueHandle startedEvent;  // manual reset: the thread runs its loop
    qv::UniqueHandle parkedEvent;   // manual reset: the thread has parked
    qv::UniqueHandle parkEvent;     // manual reset, never set: what the parked thread waits on
    qv::UniqueHandle thread;
    std::atomic<LONG> state{kNotStarted};
    std::atomic<bool> stopRequested{false};
    // Set before stopRequested by the last QVUninit: the thread owns itself and this reference, and
    // leaves through FreeLibraryAndExitThread. Null when detach stops it.
    std::atomic<HMODULE> exitReference{nullptr};
    // The host's side and the thread itself once the last QVUninit has let go: the last one to be
    // done with this deletes it, so neither side ever touches a closed handle.
    std::atomic<int> owners{2};
    // The thread's own bit among the bin's readers, given back when this is deleted: by then the
    // thread reads the bin no more, whether it ended by itself or was terminated.
    BinGate::Reader reader = 0;
    // Which side ends the thread when it can no longer wait (see MonitorExit).
    MonitorExit exit;
    bool cannotWait = false;  // the thread's own: a wait failed, and it leaves

    MonitorThread() = default;
    MonitorThread(const MonitorThread&) = delete;
    MonitorThread& operator=(const MonitorThread&) = delete;
    ~MonitorThread() {
        if (reader != 0) LeaveBinReaders(reader);
    }
};

// Each thread's state comes from the process heap, never from the C++ runtime's allocator.
MonitorThread* NewThreadState() noexcept {
    void* memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(MonitorThread));
    return memory == nullptr ? nullptr : new (memory) MonitorThread;
}

void DeleteThreadState(MonitorThread* self) noexcept {
    self->~MonitorThread();
    ::HeapFree(::GetProcessHeap(), 0, self);
}

void DropOwner(MonitorThread* self) noexcept {
    if (self->owners.fetch_sub(1) == 1) DeleteThreadState(self);
}

// The thread QVInit started and no QVUninit has told to go. Only the host's calls touch it.
MonitorThread* g_current = nullptr;

HANDLE NewEvent(bool manualReset) noexcept {
    return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

[[noreturn]] void Park(MonitorThread& self) noexcept {
    ::SignalObjectAndWait(self.parkedEvent.get(), self.parkEvent.get(), INFINITE, FALSE);
    // Only if the call itself failed: stay here until detach gives up waiting and terminates us.
    for (;;) ::Sleep(INFINITE);
}

// A thread that can no longer wait leaves as at a stop, unless the last QVUninit let it go first: it
// takes a reference of its own, and nobody waits for it or ends it; the next QVInit starts another.
[[noreturn]] void Leave(MonitorThread* self) noexcept {
    if (self->cannotWait && self->exit.GiveUp()) {
        HMODULE own = nullptr;
        const bool referenced = ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                                     reinterpret_cast<LPCSTR>(&Leave), &own) != FALSE;
        DropOwner(self);
        if (referenced) ::FreeLibraryAndExitThread(own, 0);
        ::ExitThread(0);
    }
    const HMODULE reference = self->exitReference.load();
    if (reference == nullptr) Park(*self);
    DropOwner(self);
    ::FreeLibraryAndExitThread(reference, 0);
}

// The last measurement and what was true of the bin's folders when it was taken.
struct LastMeasurement {
    bool taken = false;
    BinMeasurement result{};
    BinSnapshot snapshot;
    DWORD tick = 0;
    std::uint32_t emptyings = 0;  // emptyings of this plug-in finished before it was taken
};

// Measures the bin now. The change signals are armed again and the snapshot taken first, so a
// change from then on is seen at the next cycle. Call it between TryBeginBinRead and EndBinRead.
void MeasureNow(MonitorThread& self, BinChangeWatch& watch, LastMeasurement& last) noexcept {
    if (watch.NeedsReopen(watch.Snapshot())) watch.Open();
    watch.TakeChanges();
    BinSnapshot snapshot = watch.Snapshot();
    const std::uint32_t emptyings = EmptyingsDone();
    const BinMeasurement measured = MeasureBinTotals(self.stopRequested);
    if (self.stopRequested.load()) return;  // possibly cut short: not a measurement of the bin
    last.taken = true;
    last.result = measured;
    last.snapshot = std::move(snapshot);
    last.tick = ::GetTickCount();
    last.emptyings = emptyings;
}

// Brings the last measurement up to date if anything may have changed since it was taken; false when
// the thread was told to go meanwhile.
bool RefreshMeasurement(MonitorThread& self, BinChangeWatch& watch, LastMeasurement& last) noexcept {
    for (;;) {
        const bool reading = TryBeginBinRead(self.reader);
        const bool signalled = watch.TakeChanges();
        const BinSnapshot now = watch.Snapshot();
        const CycleFacts facts{last.taken,
                               watch.Trustworthy(),
                               signalled,
                               !(now == last.snapshot) || watch.NeedsReopen(now),
                               EmptyingsDone() != last.emptyings,
                               !reading,
                               static_cast<std::uint64_t>(::GetTickCount() - last.tick)};
        const CycleMeasurement choice = ChooseMeasurement(facts);
        if (choice == CycleMeasurement::kMeasure) MeasureNow(self, watch, last);
        if (reading) EndBinRead(self.reader);
        if (choice != CycleMeasurement::kAwaitEmptying) return !self.stopRequested.load();
        // Nothing measured yet, and this plug-in is emptying the bin: wait until it is done.
        const HANDLE wakers[] = {self.stopEvent.get(), EmptierIdleEvent()};
        const DWORD woken = ::WaitForMultipleObjects(2, wakers, FALSE, INFINITE);
        if (woken == WAIT_FAILED) self.cannotWait = true;
        if (woken != WAIT_OBJECT_0 + 1) return false;
    }
}

void RunCycle(MonitorThread& self, BinChangeWatch& watch, LastMeasurement& last) noexcept {
    if (self.stopRequested.load() || !IsWatching()) return;
    if (!RefreshMeasurement(self, watch, last)) return;
    // Without the host's main window nothing can be told, so nothing is marked as told either.
    HWND host = ::FindWindowA(qv::kMainWindowClass, qv::kMainWindowName);
    if (host == nullptr) return;
    const CyclePlan plan = PlanMonitorCycle(self.stopRequested, last.result.count, last.result.size);
    for (std::size_t i = 0; i < plan.size; ++i) {
        const Notification& note = plan.notifications[i];
        ::PostMessageA(host, qv::kNotifyMessage, note.code, static_cast<LPARAM>(note.objectId));
    }
}

// After a change signal during the sleep: lets a burst of changes settle, so that it costs one
// measurement. False when the thread was told to go.
bool Settle(MonitorThread& self, BinChangeWatch& watch) noexcept {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= kSettleMaxMs) return true;
        HANDLE wakers[MAXIMUM_WAIT_OBJECTS] = {self.stopEvent.get()};
        std::copy(watch.Signals(), watch.Signals() + watch.SignalCount(), wakers + 1);
        const DWORD count = static_cast<DWORD>(1 + watch.SignalCount());
        const DWORD woken =
            ::WaitForMultipleObjects(count, wakers, FALSE, std::min<DWORD>(kSettleQuietMs, kSettleMaxMs - elapsed));
        if (woken == WAIT_FAILED) self.cannotWait = true;
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) return false;
        if (woken == WAIT_TIMEOUT) return true;
        if (woken > WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + count) watch.Rearm(woken - WAIT_OBJECT_0 - 1);
    }
}

// Sleeps one check interval, read when the sleep starts; a new interval starts the sleep again. A
// change to the bin during the sleep is measured ahead of the cycle (once per sleep), so the cycle
// can report it without first waiting for a measurement.
void SleepOneInterval(MonitorThread& self, BinChangeWatch& watch, LastMeasurement& last) noexcept {
    DWORD start = ::GetTickCount();
    bool measuredAhead = false;
    for (;;) {
        const DWORD milliseconds = SleepMilliseconds(CheckIntervalInForce());
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        HANDLE wakers[MAXIMUM_WAIT_OBJECTS] = {self.stopEvent.get(), self.retimeEvent.get()};
        std::copy(watch.Signals(), watch.Signals() + watch.SignalCount(), wakers + 2);
        const DWORD count = static_cast<DWORD>(2 + watch.SignalCount());
        const DWORD woken = ::WaitForMultipleObjects(count, wakers, FALSE, milliseconds - elapsed);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_TIMEOUT) return;
        if (woken == WAIT_OBJECT_0 + 1) {
            start = ::GetTickCount();
            continue;
        }
        if (woken == WAIT_FAILED) {
            // Nothing could wake a plain sleep for a stop: the thread leaves instead.
            self.cannotWait = true;
            return;
        }
        watch.Rearm(woken - WAIT_OBJECT_0 - 2);
        if (!ShouldMeasureAhead(measuredAhead, watch.Trustworthy(), false)) continue;
        if (!Settle(self, watch)) return;
        measuredAhead = true;
        if (!TryBeginBinRead(self.reader)) continue;  // this plug-in is emptying the bin: the cycle sees to it
        // The changes seen so far count as taken by this measurement.
        MeasureNow(self, watch, last);
        EndBinRead(self.reader);
    }
}

DWORD WINAPI MonitorMain(void* parameter) {
    auto* self = static_cast<MonitorThread*>(parameter);
    LONG expected = kNotStarted;
    if (!self->state.compare_exchange_strong(expected, kRunning)) Park(*self);  // cancelled by detach
    ::SetEvent(self->startedEvent.get());
    {
        // Both go before the thread leaves: the signals are closed by the thread that opened them.
        BinChangeWatch watch;
        watch.Open();
        LastMeasurement last;
        while (!self->stopRequested.load() && !self->cannotWait) {
            RunCycle(*self, watch, last);
            if (self->stopRequested.load() || self->cannotWait) break;
            SleepOneInterval(*self, watch, last);
        }
    }
    Leave(self);
}

MonitorThread* NewMonitorThread() noexcept {
    MonitorThread* self = NewThreadState();
    if (self == nullptr) return nullptr;
    const auto reader = JoinBinReaders();
    if (!reader) {
        DeleteThreadState(self);
        return nullptr;
    }
    self->reader = *reader;
    self->stopEvent.reset(NewEvent(true));
    self->retimeEvent.reset(NewEvent(false));
    self->startedEvent.reset(NewEvent(true));
    self->parkedEvent.reset(NewEvent(true));
    self->parkEvent.reset(NewEvent(true));
    if (!self->stopEvent || !self->retimeEvent || !self->startedEvent || !self->parkedEvent || !self->parkEvent) {
        DeleteThreadState(self);
        return nullptr;
    }
    // No module reference while it runs: an unload without QVUninit must still unload the library.
    self->thread.reset(::CreateThread(nullptr, 0, MonitorMain, self, 0, nullptr));
    if (!self->thread) {
        DeleteThreadState(self);
        return nullptr;
    }
    return self;
}

// Ends a thread that holds no reference on the library: asks it to stop, waits for it to park and
// terminates it there (or wherever it is after the time-out, as the last resort).
void EndUnreferencedThread(MonitorThread* self) noexcept {
    if (!self->exit.Release()) {
        // It gave up by itself and leaves with a reference of its own (this may be its own last
        // FreeLibrary): nothing to wait for or end.
        DropOwner(self);
        return;
    }
    self->stopRequested.store(true);
    ::SetEvent(self->stopEvent.get());
    LONG expected = kNotStarted;
    bool parked = false;
    // Not started only when QVInit gave up waiting for it: then it must never reach our code.
    if (!self->state.compare_exchange_strong(expected, kCancelled)) {
        parked = ::WaitForSingleObject(self->parkedEvent.get(), kStopTimeoutMs) == WAIT_OBJECT_0;
    }
    ::TerminateThread(self->thread.get(), parked ? 1 : 0);
    ::WaitForSingleObject(self->thread.get(), kTerminateWaitMs);
    DeleteThreadState(self);
}

}  // namespace

bool EnsureMonitorRunning() noexcept {
    if (g_current != nullptr && g_current->exit.GaveUp()) DropOwner(std::exchange(g_current, nullptr));
    if (g_current != nullptr) {
        if (!g_current->stopRequested.load()) return true;
        // A thread left behind by a QVUninit that could not hand it a reference (see ReleaseMonitor).
        EndUnreferencedThread(std::exchange(g_current, nullptr));
    }
    MonitorThread* started = NewMonitorThread();
    if (started == nullptr) return false;
    ::WaitForSingleObject(started->startedEvent.get(), kStartTimeoutMs);
    g_current = started;
    return true;
}

void ReleaseMonitor() noexcept {
    if (g_current == nullptr) return;
    HMODULE reference = nullptr;
    if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&MonitorMain),
                             &reference)) {
        MonitorThread* leaving = std::exchange(g_current, nullptr);
        leaving->exitReference.store(reference);
        // A thread that gave up first left with a reference of its own.
        if (!leaving->exit.Release()) ::FreeLibrary(reference);
        leaving->stopRequested.store(true);
        ::SetEvent(leaving->stopEvent.get());
        DropOwner(leaving);
        return;
    }
    if (g_current->exit.GaveUp()) {
        DropOwner(std::exchange(g_current, nullptr));
        return;
    }
    // Without a reference the thread cannot leave by itself: it parks, and the next QVInit or the
    // unload ends it.
    g_current->stopRequested.store(true);
    ::SetEvent(g_current->stopEvent.get());
}

void StopMonitor(bool processExiting) noexcept {
    if (processExiting) return;  // the thread is gone already; nothing to wait for or release
    if (g_current != nullptr) EndUnreferencedThread(std::exchange(g_current, nullptr));
}

void RetimeMonitor() noexcept {
    if (g_current != nullptr) ::SetEvent(g_current->retimeEvent.get());
}

}  // namespace wastewatch
