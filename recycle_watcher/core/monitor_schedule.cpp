#include "monitor_schedule.h"

#include <algorithm>

namespace wastewatch {

namespace {

using Kind = MonitorEventKind;

constexpr MonitorAction Act(MonitorActionKind kind) noexcept {
    return MonitorAction{kind, 0, 0};
}

constexpr MonitorAction Wait(std::uint32_t wakers, std::uint32_t milliseconds) noexcept {
    return MonitorAction{MonitorActionKind::kWait, wakers, milliseconds};
}

constexpr MonitorAction kLeave{MonitorActionKind::kLeave, 0, 0};

}  // namespace

std::uint32_t SleepMilliseconds(std::uint32_t checkIntervalSeconds) noexcept {
    // 4,294,967 s is the longest interval whose milliseconds stay below 0xFFFFFFFF (kWaitForever).
    constexpr std::uint32_t kLongestSeconds = (kWaitForever - 1) / 1000u;
    return std::clamp<std::uint32_t>(checkIntervalSeconds, 1u, kLongestSeconds) * 1000u;
}

MonitorAction MonitorSchedule::Next(const MonitorEvent& event) noexcept {
    if (phase_ == Phase::kLeft) return kLeave;
    const MonitorAction action = event.stopping ? kLeave : Step(event);
    if (action.kind == MonitorActionKind::kLeave) phase_ = Phase::kLeft;
    return action;
}

MonitorAction MonitorSchedule::Step(const MonitorEvent& event) noexcept {
    switch (event.kind) {
        // After a failed wait nothing could wake a wait for a stop any more: the thread leaves instead
        // (whether it gave up or was told to go is MonitorLife's to settle).
        case Kind::kStop:
        case Kind::kMeasureAbandoned:
        case Kind::kWaitFailed: return kLeave;
        default: break;
    }
    switch (phase_) {
        case Phase::kStarting:
            if (event.kind == Kind::kStarted) return StartCycle(event);
            break;
        case Phase::kLooking:
            if (event.kind == Kind::kBinLooked) return LookedAtBin(event);
            break;
        case Phase::kMeasuringForCycle:
            if (event.kind == Kind::kMeasured) {
                Record(event);
                return Enter(Phase::kFindingWindow, Act(MonitorActionKind::kFindWindow));
            }
            if (event.kind == Kind::kBinBusy) {
                // The last result stands while this plug-in empties the bin; with none, wait for the end.
                if (haveLast_) return Enter(Phase::kFindingWindow, Act(MonitorActionKind::kFindWindow));
                return Enter(Phase::kAwaitingEmptying, Wait(kWakeOnStop | kWakeOnEmptierIdle, kWaitForever));
            }
            break;
        case Phase::kAwaitingEmptying:
            if (event.kind == Kind::kEmptyingFinished)
                return Enter(Phase::kLooking, Act(MonitorActionKind::kLookAtBin));
            break;
        case Phase::kFindingWindow:
            // Without the host's main window nothing can be told, so nothing is marked as told either.
            if (event.kind == Kind::kWindowFound) return Enter(Phase::kPosting, Act(MonitorActionKind::kPost));
            if (event.kind == Kind::kWindowMissing) return StartSleep(event);
            break;
        case Phase::kPosting:
            if (event.kind == Kind::kPosted) return StartSleep(event);
            break;
        case Phase::kSleeping:
            if (event.kind == Kind::kTimeout) return StartCycle(event);
            if (event.kind == Kind::kRetime) {
                sleepStart_ = event.now;
                return SleepOn(event);
            }
            if (event.kind == Kind::kChange) {
                if (!event.trustworthy || measuredAhead_) return SleepOn(event);
                settleStart_ = event.now;
                return Enter(Phase::kSettling, Wait(kWakeOnStop | kWakeOnChange, kSettleQuietMs));
            }
            break;
        case Phase::kSettling:
            if (event.kind == Kind::kTimeout) return MeasureAhead();
            if (event.kind == Kind::kChange) {
                const std::uint32_t elapsed = event.now - settleStart_;
                if (elapsed >= kSettleMaxMs) return MeasureAhead();
                return Wait(kWakeOnStop | kWakeOnChange, std::min(kSettleQuietMs, kSettleMaxMs - elapsed));
            }
            break;
        case Phase::kMeasuringAhead:
            if (event.kind == Kind::kMeasured) Record(event);
            // Refused while this plug-in empties the bin: the cycle sees to it.
            if (event.kind == Kind::kMeasured || event.kind == Kind::kBinBusy) {
                phase_ = Phase::kSleeping;
                return SleepOn(event);
            }
            break;
        case Phase::kLeft: break;
    }
    // An event that cannot follow the last action: the thread is lost, and leaves rather than guess.
    return kLeave;
}

MonitorAction MonitorSchedule::StartCycle(const MonitorEvent& event) noexcept {
    if (!event.watching) return StartSleep(event);
    return Enter(Phase::kLooking, Act(MonitorActionKind::kLookAtBin));
}

MonitorAction MonitorSchedule::LookedAtBin(const MonitorEvent& event) noexcept {
    unmeasuredChange_ = unmeasuredChange_ || event.signalled || event.needsReopen ||
                        !(event.snapshot == lastSnapshot_) || event.emptyings != lastEmptyings_;
    const bool due = !haveLast_ || !event.trustworthy || unmeasuredChange_ ||
                     event.now - lastTick_ >= kSafetyRemeasureMs;
    if (due) return Enter(Phase::kMeasuringForCycle, Act(MonitorActionKind::kMeasure));
    return Enter(Phase::kFindingWindow, Act(MonitorActionKind::kFindWindow));
}

MonitorAction MonitorSchedule::StartSleep(const MonitorEvent& event) noexcept {
    phase_ = Phase::kSleeping;
    sleepStart_ = event.now;
    measuredAhead_ = false;
    return SleepOn(event);
}

// The rest of the sleep, with the interval in force now; the cycle once it has run out.
MonitorAction MonitorSchedule::SleepOn(const MonitorEvent& event) noexcept {
    const std::uint32_t milliseconds = SleepMilliseconds(event.checkIntervalSeconds);
    const std::uint32_t elapsed = event.now - sleepStart_;
    if (elapsed >= milliseconds) return StartCycle(event);
    return Wait(kWakeOnStop | kWakeOnRetime | kWakeOnChange, milliseconds - elapsed);
}

MonitorAction MonitorSchedule::MeasureAhead() noexcept {
    measuredAhead_ = true;
    return Enter(Phase::kMeasuringAhead, Act(MonitorActionKind::kMeasure));
}

void MonitorSchedule::Record(const MonitorEvent& measured) noexcept {
    haveLast_ = true;
    lastTick_ = measured.now;
    lastEmptyings_ = measured.emptyings;
    lastSnapshot_ = measured.snapshot;
    unmeasuredChange_ = false;
}

MonitorAction MonitorSchedule::Enter(Phase phase, MonitorAction action) noexcept {
    phase_ = phase;
    return action;
}

}  // namespace wastewatch
