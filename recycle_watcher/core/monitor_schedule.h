// When the monitor thread measures the bin, reuses its last measurement, tells the host's window,
// sleeps and leaves (how it leaves is MonitorLife's). The thread reports what happened (a wait's
// outcome, what the bin's folders look like, a measurement taken) and carries out the action the
// schedule answers with; every decision about timing lives here, so the thread itself is a plain loop
// of waits and calls.
#pragma once

#include <cstdint>

#include "bin_watch.h"

namespace wastewatch {

// A measurement stands at most this long while every bin folder is watched: a change the watch
// cannot see (inside a deleted folder kept in the bin) is still found within it.
inline constexpr std::uint32_t kSafetyRemeasureMs = 15u * 60u * 1000u;

// How long a burst of changes is let settle (no change for this long, but no longer than the
// maximum) before the bin is measured ahead of the cycle.
inline constexpr std::uint32_t kSettleQuietMs = 150;
inline constexpr std::uint32_t kSettleMaxMs = 1000;

// A wait without a time-out.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// Milliseconds to sleep between two cycles: at least one second, and never kWaitForever however
// large the interval (which stays stored as the user typed it).
std::uint32_t SleepMilliseconds(std::uint32_t checkIntervalSeconds) noexcept;

// What a wait is to be woken by (bits of MonitorAction::wakers).
inline constexpr std::uint32_t kWakeOnStop = 1u << 0;         // the thread is told to go
inline constexpr std::uint32_t kWakeOnRetime = 1u << 1;       // the check interval changed
inline constexpr std::uint32_t kWakeOnChange = 1u << 2;       // any change signal of the bin's folders
inline constexpr std::uint32_t kWakeOnEmptierIdle = 1u << 3;  // no emptying of this plug-in runs

enum class MonitorEventKind {
    kStarted,           // the thread runs: the first event
    kTimeout,           // a wait ran out
    kStop,              // a wait was woken by the stop request
    kRetime,            // a wait was woken by a new check interval
    kChange,            // a wait was woken by a change signal (already armed again)
    kEmptyingFinished,  // a wait was woken because no emptying runs any more
    kWaitFailed,        // a wait could not be made
    kBinLooked,         // after kLookAtBin: see MonitorEvent's bin facts
    kMeasured,          // after kMeasure: a measurement was taken (bin facts as it started)
    kBinBusy,           // after kMeasure: this plug-in empties the bin, nothing was read
    kMeasureAbandoned,  // after kMeasure: cut short because the thread is told to go
    kWindowFound,       // after kFindWindow
    kWindowMissing,     // after kFindWindow
    kPosted,            // after kPost
};

// What happened, and what was true when it did. The thread fills every field on every event.
struct MonitorEvent {
    MonitorEventKind kind = MonitorEventKind::kStarted;
    std::uint32_t now = 0;                   // milliseconds on a clock that wraps (the tick count)
    std::uint32_t checkIntervalSeconds = 1;  // the interval in force
    bool watching = true;                    // the watch table holds an object
    bool trustworthy = true;                 // the change watch can stand in for measuring (WatchIsTrustworthy)
    bool stopping = false;                   // the thread was told to go
    // The bin's facts, for kBinLooked (now) and kMeasured (when the measurement started).
    bool signalled = false;       // a change signal fired since the last look or measurement
    bool needsReopen = false;     // the watch must be opened again (drive set or a parent folder changed)
    std::uint32_t emptyings = 0;  // emptyings this plug-in finished since the library was loaded
    BinSnapshot snapshot{};
};

enum class MonitorActionKind {
    kWait,        // wait on the wakers for at most milliseconds (kWaitForever: no limit)
    kLookAtBin,   // take the change signals, the folders' snapshot and the emptyings count
    kMeasure,     // arm the signals again, take the snapshot, and measure the bin unless it is being emptied
    kFindWindow,  // look for the host's main window
    kPost,        // plan the cycle's notifications for the last measurement and post them to that window
    kLeave,       // leave the thread
};

struct MonitorAction {
    MonitorActionKind kind = MonitorActionKind::kLeave;
    std::uint32_t wakers = 0;        // kWait
    std::uint32_t milliseconds = 0;  // kWait
    bool operator==(const MonitorAction&) const = default;
};

// One monitor thread's schedule, from kStarted to kLeave. A cycle measures the bin only when it may
// have changed since the last measurement (or when the change watch cannot be trusted), never while
// this plug-in empties it, and tells the host only when its window exists. Between cycles it sleeps
// the check interval in force; a change during the sleep is let settle and measured ahead once per
// sleep, so the next cycle reports it without waiting for a measurement. No allocation, no platform.
class MonitorSchedule {
public:
    MonitorAction Next(const MonitorEvent& event) noexcept;

private:
    enum class Phase {
        kStarting,
        kLooking,
        kMeasuringForCycle,
        kAwaitingEmptying,
        kFindingWindow,
        kPosting,
        kSleeping,
        kSettling,
        kMeasuringAhead,
        kLeft,
    };

    MonitorAction Step(const MonitorEvent& event) noexcept;
    MonitorAction StartCycle(const MonitorEvent& event) noexcept;
    MonitorAction LookedAtBin(const MonitorEvent& event) noexcept;
    MonitorAction StartSleep(const MonitorEvent& event) noexcept;
    MonitorAction SleepOn(const MonitorEvent& event) noexcept;
    MonitorAction MeasureAhead() noexcept;
    void Record(const MonitorEvent& measured) noexcept;
    MonitorAction Enter(Phase phase, MonitorAction action) noexcept;

    Phase phase_ = Phase::kStarting;
    // The last measurement: whether there is one, and what was true when it was taken.
    bool haveLast_ = false;
    std::uint32_t lastTick_ = 0;
    std::uint32_t lastEmptyings_ = 0;
    BinSnapshot lastSnapshot_;
    // A change was seen that no measurement has covered yet (a look whose measurement was refused).
    bool unmeasuredChange_ = false;
    std::uint32_t sleepStart_ = 0;
    std::uint32_t settleStart_ = 0;
    bool measuredAhead_ = false;  // during this sleep
};

}  // namespace wastewatch
