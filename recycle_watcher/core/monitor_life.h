// The monitor thread's whole life: who creates it, who hands it a reference on the library, who stops,
// parks, ends or drops it, and how it leaves. The host's calls and the thread each report what happened
// and carry out the action they are answered with; the decisions that both sides can reach at once are
// one atomic step, so whichever side comes first decides and the other learns so.
#pragma once

#include <atomic>

namespace wastewatch {

// What the host's calls report about the monitor.
enum class HostLifeEvent {
    kWatched,           // QVInit watches an object (the first, or one more)
    kStarted,           // after kCreate: the thread was created
    kStartFailed,       // after kCreate: no thread could be created
    kLastUnwatched,     // the last watched object went
    kReferenceTaken,    // after kTakeReference: one more reference on the library is at hand
    kReferenceRefused,  // after kTakeReference: none could be taken
    kUnloading,         // library detach: the library is unloaded, under the loader lock
    kProcessExiting,    // library detach: the process exits and its other threads are gone
};

// What the monitor thread reports about itself.
enum class ThreadLifeEvent {
    kRuns,              // its first step
    kLoopEnded,         // its loop is over: told to go, or a wait failed and it cannot go on
    kReferenceTaken,    // after kTakeReference: a reference of its own is at hand
    kReferenceRefused,  // after kTakeReference: none could be taken
};

enum class LifeActionKind {
    kNothing,              // host: the call is done, the watch stands
    kRefuseWatch,          // host: no thread watches the object, so QVInit does not either
    kCreate,               // host: create a thread and let it run
    kTakeReference,        // either side: take one more reference on the library
    kHandOver,             // host: the thread owns the reference now: wake and stop it, and let go of it
    kWakeAndStop,          // host: wake and stop it without a reference (it parks); it stays the current one
    kGiveBack,             // host: the thread gave up first: give the reference back and let go of it
    kDrop,                 // host: let go of the thread, which leaves by itself
    kEndByForce,           // host: the last resort (see ForceReason): stop it, terminate it, free its record
    kRun,                  // thread: run the loop
    kLeaveFreeingLibrary,  // thread: let go of its record, leave through FreeLibraryAndExitThread(reference)
    kLeavePlainly,         // thread: let go of its record and leave with no reference to give back
    kPark,                 // thread: signal "parked" and wait inside the system until terminated
};

// Why a thread is ended by force.
enum class ForceReason {
    kNone,
    kNeverRan,              // the library goes before the thread ran: it must never reach this library's code
    kUnloadedWhileRunning,  // the library goes without the last QVUninit: the thread cannot leave by itself
    kLeftWithoutReference,  // told to go with no reference to leave with, it parked
};

struct LifeAction {
    LifeActionKind kind = LifeActionKind::kNothing;
    ForceReason reason = ForceReason::kNone;  // kEndByForce
    bool awaitPark = false;                   // kEndByForce: wait (bounded) for the thread to park first
    void* reference = nullptr;                // kLeaveFreeingLibrary: the reference it leaves with
    bool operator==(const LifeAction&) const = default;
};

// One monitor thread's life, shared by the host's calls (one at a time) and the thread itself. The
// answers for the host when no thread is current come from WithoutThread. No allocation, no platform:
// a reference on the library is an opaque pointer here.
class MonitorLife {
public:
    static LifeAction WithoutThread(HostLifeEvent event) noexcept;
    // The host's side; reference only with kReferenceTaken.
    LifeAction Host(HostLifeEvent event, void* reference = nullptr) noexcept;
    // The thread's side; reference only with kReferenceTaken.
    LifeAction Thread(ThreadLifeEvent event, void* reference = nullptr) noexcept;

private:
    enum State : int {
        kStarting,   // created, not yet running
        kRunning,    // runs; nobody has decided its end yet
        kGaveUp,     // it left by itself first: nobody waits for it or ends it
        kReleased,   // the host handed it a reference and let go first: it leaves with it
        kToldToGo,   // told to go with no reference to leave with: it parks for the host to end it
        kCancelled,  // the library went before it ran
    };

    // The thread's way out once the host has decided its end.
    LifeAction Leave(int state) const noexcept;

    std::atomic<int> state_{kStarting};
    // Stored before kReleased, and read only by the thread once it has seen kReleased.
    std::atomic<void*> handed_{nullptr};
};

}  // namespace wastewatch
