// The monitor thread: every check interval while objects are watched, posts each watched object's
// notifications to the host's main window. When to measure, to reuse the last measurement, to post
// and to sleep is MonitorSchedule's to decide; the thread carries out each of its answers (a wait,
// a look at the bin's folders, a measurement, a post) and reports the outcome back to it.
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

#include <atomic>
#include <new>
#include <utility>

#include "bin_change_watch.h"
#include "bin_emptier.h"
#include "bin_measurement.h"
#include "measure_aside.h"
#include "monitor_exit.h"
#include "monitor_schedule.h"
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

static_assert(kWaitForever == INFINITE);
// A wait holds at most the stop, the retime, the emptier's idle event and one signal per drive, and
// leaves one slot for the thread's messages.
static_assert(3 + kDriveCount < MAXIMUM_WAIT_OBJECTS);

// Reads the bin only between TryBeginBinRead and EndBinRead.
class BinRead {
public:
    explicit BinRead(BinGate::Reader reader) noexcept : reader_(reader), reading_(TryBeginBinRead(reader)) {}
    BinRead(const BinRead&) = delete;
    BinRead& operator=(const BinRead&) = delete;
    ~BinRead() {
        if (reading_) EndBinRead(reader_);
    }
    explicit operator bool() const noexcept { return reading_; }

private:
    BinGate::Reader reader_;
    bool reading_;
};

// Carries out the schedule's actions for one thread and reports each outcome back to it.
class MonitorLoop {
public:
    explicit MonitorLoop(MonitorThread& self) noexcept : self_(self) { watch_.Open(); }
    // Nobody watches the bin for the dialog any more.
    ~MonitorLoop() { DoubtMeasurement(); }
    MonitorLoop(const MonitorLoop&) = delete;
    MonitorLoop& operator=(const MonitorLoop&) = delete;

    // Runs until the schedule says to leave; true when the thread gives up (it can no longer wait).
    bool Run() noexcept {
        MonitorSchedule schedule;
        MonitorEvent event = Facts(MonitorEventKind::kStarted);
        for (;;) {
            const MonitorAction action = schedule.Next(event);
            switch (action.kind) {
                case MonitorActionKind::kWait: event = Wait(action); break;
                case MonitorActionKind::kLookAtBin: event = LookAtBin(); break;
                case MonitorActionKind::kMeasure: event = Measure(); break;
                case MonitorActionKind::kFindWindow: event = FindHost(); break;
                case MonitorActionKind::kPost: event = Post(); break;
                case MonitorActionKind::kLeave: return action.giveUp;
            }
        }
    }

private:
    MonitorEvent Facts(MonitorEventKind kind, MonitorEvent event = {}) noexcept {
        event.kind = kind;
        event.now = ::GetTickCount();
        event.checkIntervalSeconds = CheckIntervalInForce();
        event.watching = IsWatching();
        event.trustworthy = watch_.Trustworthy();
        event.stopping = self_.stopRequested.load();
        return event;
    }

    // Also dispatches the thread's messages as they come, so that a drive's removal is answered at
    // once; the signals are taken again after each dispatch, which may have closed or opened some.
    MonitorEvent Wait(const MonitorAction& action) noexcept {
        const DWORD start = ::GetTickCount();
        for (;;) {
            HANDLE handles[MAXIMUM_WAIT_OBJECTS];
            MonitorEventKind kinds[MAXIMUM_WAIT_OBJECTS];
            DWORD count = 0;
            const auto add = [&](HANDLE handle, MonitorEventKind kind) {
                handles[count] = handle;
                kinds[count++] = kind;
            };
            // The stop comes first: it wins over anything signalled at the same time.
            if (action.wakers & kWakeOnStop) add(self_.stopEvent.get(), MonitorEventKind::kStop);
            if (action.wakers & kWakeOnRetime) add(self_.retimeEvent.get(), MonitorEventKind::kRetime);
            if (action.wakers & kWakeOnEmptierIdle) add(EmptierIdleEvent(), MonitorEventKind::kEmptyingFinished);
            const DWORD firstChange = count;
            if (action.wakers & kWakeOnChange) {
                for (std::size_t i = 0; i < watch_.SignalCount(); ++i)
                    add(watch_.Signals()[i], MonitorEventKind::kChange);
            }
            const DWORD elapsed = ::GetTickCount() - start;
            const DWORD left = action.milliseconds == INFINITE  ? INFINITE
                               : elapsed >= action.milliseconds ? 0
                                                                : action.milliseconds - elapsed;
            const DWORD woken = ::MsgWaitForMultipleObjectsEx(count, handles, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (woken == WAIT_TIMEOUT) return Facts(MonitorEventKind::kTimeout);
            const DWORD index = woken - WAIT_OBJECT_0;
            if (index == count) {
                BinChangeWatch::DispatchMessages();
                // A drive let go is no longer watched: a change there would go unseen.
                if (!watch_.Trustworthy()) DoubtMeasurement();
                continue;
            }
            // WAIT_FAILED, and anything no event or change signal can give (an abandoned mutex).
            if (index > count) return Facts(MonitorEventKind::kWaitFailed);
            if (kinds[index] == MonitorEventKind::kChange) {
                DoubtMeasurement();
                watch_.Rearm(index - firstChange);
            }
            return Facts(kinds[index]);
        }
    }

    MonitorEvent LookAtBin() noexcept {
        MonitorEvent bin;
        bin.signalled = watch_.TakeChanges();
        bin.snapshot = watch_.Snapshot();
        bin.needsReopen = watch_.NeedsReopen(bin.snapshot);
        bin.emptyings = EmptyingsDone();
        if (bin.signalled || bin.needsReopen) DoubtMeasurement();
        return Facts(MonitorEventKind::kBinLooked, bin);
    }

    // The change signals are armed again and the snapshot taken first, so that a change from then
    // on is seen after this measurement.
    MonitorEvent Measure() noexcept {
        const BinRead read(self_.reader);
        if (!read) return Facts(MonitorEventKind::kBinBusy);
        watch_.ReopenIfNeeded();
        watch_.TakeChanges();
        MonitorEvent bin;
        bin.snapshot = watch_.Snapshot();
        bin.emptyings = EmptyingsDone();
        const DWORD started = ::GetTickCount();
        // Where the system may ask about a drive, the thread stays free to answer while the bin is measured.
        const BinMeasurement measured = watch_.Registered() ? MeasureAside(self_.stopRequested)
                                                            : MeasureBinTotals(self_.stopRequested);
        // Possibly cut short: not a measurement of the bin.
        if (self_.stopRequested.load()) return Facts(MonitorEventKind::kMeasureAbandoned);
        last_ = measured;
        PublishMeasurement(self_.stopRequested,
                           {true, watch_.Trustworthy(), measured.count, measured.size, started, bin.emptyings});
        return Facts(MonitorEventKind::kMeasured, bin);
    }

    MonitorEvent FindHost() noexcept {
        host_ = ::FindWindowA(qv::kMainWindowClass, qv::kMainWindowName);
        return Facts(host_ != nullptr ? MonitorEventKind::kWindowFound : MonitorEventKind::kWindowMissing);
    }

    MonitorEvent Post() noexcept {
        CyclePlan plan = PlanMonitorCycle(self_.stopRequested, last_.count, last_.size);
        for (std::size_t i = 0; i < plan.size; ++i) {
            Notification& note = plan.notifications[i];
            note.delivered = ::PostMessageA(host_, qv::kNotifyMessage, note.code, static_cast<LPARAM>(note.objectId)) !=
                             FALSE;
        }
        RecordMonitorCycle(plan);
        return Facts(MonitorEventKind::kPosted);
    }

    MonitorThread& self_;
    // Closed by the thread that opened its signals, before it leaves.
    BinChangeWatch watch_;
    BinMeasurement last_{};
    HWND host_ = nullptr;
};

DWORD WINAPI MonitorMain(void* parameter) {
    auto* self = static_cast<MonitorThread*>(parameter);
    LONG expected = kNotStarted;
    if (!self->state.compare_exchange_strong(expected, kRunning)) Park(*self);  // cancelled by detach
    ::SetEvent(self->startedEvent.get());
    {
        MonitorLoop loop(*self);
        self->cannotWait = loop.Run();
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
