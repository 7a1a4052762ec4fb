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
//
// Which of these happens, and when, is MonitorLife's to decide: the host's calls and the thread report
// to it and carry out its answers.
#include "monitor_thread.h"

#include <windows.h>

#include <atomic>
#include <new>
#include <utility>

#include "bin_change_watch.h"
#include "bin_emptier.h"
#include "bin_measurement.h"
#include "library_reference.h"
#include "measure_aside.h"
#include "monitor_life.h"
#include "monitor_schedule.h"
#include "qv_contract.h"
#include "watcher_state.h"
#include "win32_owner.h"

namespace wastewatch {

namespace {

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
    std::atomic<bool> stopRequested{false};
    // The host's side and the thread itself once the host has let go: the last one to be done with
    // this deletes it, so neither side ever touches a closed handle.
    std::atomic<int> owners{2};
    // The thread's own bit among the bin's readers, given back when this is deleted: by then the
    // thread reads the bin no more, whether it ended by itself or was terminated.
    BinGate::Reader reader = 0;
    MonitorLife life;

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

// The thread QVInit started, until the host's calls let go of it. Only the host's calls touch it.
MonitorThread* g_current = nullptr;

HANDLE NewEvent(bool manualReset) noexcept {
    return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

[[noreturn]] void Park(MonitorThread& self) noexcept {
    ::SignalObjectAndWait(self.parkedEvent.get(), self.parkEvent.get(), INFINITE, FALSE);
    // Only if the call itself failed: stay here until detach gives up waiting and terminates us.
    for (;;) ::Sleep(INFINITE);
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

    // Runs until the schedule says to leave.
    void Run() noexcept {
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
                case MonitorActionKind::kLeave: return;
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
    LifeAction action = self->life.Thread(ThreadLifeEvent::kRuns);
    for (;;) {
        switch (action.kind) {
            case LifeActionKind::kRun: {
                ::SetEvent(self->startedEvent.get());
                {
                    MonitorLoop loop(*self);
                    loop.Run();
                }
                action = self->life.Thread(ThreadLifeEvent::kLoopEnded);
                break;
            }
            case LifeActionKind::kTakeReference: {
                const HMODULE own = qv::TakeLibraryReference();
                action = self->life.Thread(own != nullptr ? ThreadLifeEvent::kReferenceTaken
                                                          : ThreadLifeEvent::kReferenceRefused,
                                           own);
                break;
            }
            case LifeActionKind::kLeaveFreeingLibrary:
                DropOwner(self);
                ::FreeLibraryAndExitThread(static_cast<HMODULE>(action.reference), 0);
            case LifeActionKind::kLeavePlainly: DropOwner(self); ::ExitThread(0);
            default: Park(*self);
        }
    }
}

// A new thread, known to run (unless it took longer than the start's time-out); null when none could
// be created.
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
    ::WaitForSingleObject(self->startedEvent.get(), kStartTimeoutMs);
    return self;
}

void Stop(MonitorThread& self) noexcept {
    self.stopRequested.store(true);
    ::SetEvent(self.stopEvent.get());
}

// The last resort for a thread that holds no reference on the library: it is told to go, given a
// bounded time to park where asked to (it may be anywhere after the time-out) and terminated, with the
// reason as its exit code.
void EndByForce(MonitorThread* self, const LifeAction& action) noexcept {
    Stop(*self);
    if (action.awaitPark) ::WaitForSingleObject(self->parkedEvent.get(), kStopTimeoutMs);
    ::TerminateThread(self->thread.get(), static_cast<DWORD>(action.reason));
    ::WaitForSingleObject(self->thread.get(), kTerminateWaitMs);
    DeleteThreadState(self);
}

// Carries out the life's answers to one of the host's calls until it settles; false when the watch
// that called it is refused.
bool OnHostEvent(HostLifeEvent event) noexcept {
    HMODULE reference = nullptr;
    for (;;) {
        const LifeAction action = g_current != nullptr ? g_current->life.Host(event, reference)
                                                       : MonitorLife::WithoutThread(event);
        switch (action.kind) {
            case LifeActionKind::kCreate:
                g_current = NewMonitorThread();
                event = g_current != nullptr ? HostLifeEvent::kStarted : HostLifeEvent::kStartFailed;
                break;
            case LifeActionKind::kTakeReference:
                reference = qv::TakeLibraryReference();
                event = reference != nullptr ? HostLifeEvent::kReferenceTaken : HostLifeEvent::kReferenceRefused;
                break;
            case LifeActionKind::kHandOver:
                Stop(*g_current);
                DropOwner(std::exchange(g_current, nullptr));
                return true;
            case LifeActionKind::kWakeAndStop: Stop(*g_current); return true;
            case LifeActionKind::kGiveBack:
                ::FreeLibrary(reference);
                DropOwner(std::exchange(g_current, nullptr));
                return true;
            // The event is asked again of the thread that takes its place, if any.
            case LifeActionKind::kDrop: DropOwner(std::exchange(g_current, nullptr)); break;
            case LifeActionKind::kEndByForce: EndByForce(std::exchange(g_current, nullptr), action); break;
            case LifeActionKind::kRefuseWatch: return false;
            default: return true;
        }
    }
}

}  // namespace

bool EnsureMonitorRunning() noexcept {
    return OnHostEvent(HostLifeEvent::kWatched);
}

void ReleaseMonitor() noexcept {
    OnHostEvent(HostLifeEvent::kLastUnwatched);
}

void StopMonitor(bool processExiting) noexcept {
    OnHostEvent(processExiting ? HostLifeEvent::kProcessExiting : HostLifeEvent::kUnloading);
}

void RetimeMonitor() noexcept {
    if (g_current != nullptr) ::SetEvent(g_current->retimeEvent.get());
}

}  // namespace wastewatch
