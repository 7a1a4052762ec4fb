#include "monitor_life.h"

namespace wastewatch {

namespace {

using Kind = LifeActionKind;

constexpr LifeAction Act(Kind kind) noexcept {
    return LifeAction{kind, ForceReason::kNone, false, nullptr};
}

constexpr LifeAction EndByForce(ForceReason reason, bool awaitPark) noexcept {
    return LifeAction{Kind::kEndByForce, reason, awaitPark, nullptr};
}

constexpr LifeAction LeaveFreeing(void* reference) noexcept {
    return LifeAction{Kind::kLeaveFreeingLibrary, ForceReason::kNone, false, reference};
}

}  // namespace

LifeAction MonitorLife::WithoutThread(HostLifeEvent event) noexcept {
    switch (event) {
        case HostLifeEvent::kWatched: return Act(Kind::kCreate);
        case HostLifeEvent::kStartFailed: return Act(Kind::kRefuseWatch);
        default: return Act(Kind::kNothing);
    }
}

LifeAction MonitorLife::Host(HostLifeEvent event, void* reference) noexcept {
    int state = state_.load();
    switch (event) {
        case HostLifeEvent::kWatched:
            if (state == kGaveUp) return Act(Kind::kDrop);
            // Parked for want of a reference: the next thread takes its place.
            if (state == kToldToGo) return EndByForce(ForceReason::kLeftWithoutReference, true);
            return Act(Kind::kNothing);
        case HostLifeEvent::kStarted: return Act(Kind::kNothing);
        case HostLifeEvent::kStartFailed: return Act(Kind::kRefuseWatch);
        case HostLifeEvent::kLastUnwatched:
            if (state == kGaveUp) return Act(Kind::kDrop);
            if (state == kStarting || state == kRunning) return Act(Kind::kTakeReference);
            return Act(Kind::kNothing);
        case HostLifeEvent::kReferenceTaken:
            handed_.store(reference);
            while (state == kStarting || state == kRunning) {
                if (state_.compare_exchange_weak(state, kReleased)) return Act(Kind::kHandOver);
            }
            return Act(Kind::kGiveBack);
        case HostLifeEvent::kReferenceRefused:
            while (state == kStarting || state == kRunning) {
                if (state_.compare_exchange_weak(state, kToldToGo)) return Act(Kind::kWakeAndStop);
            }
            return Act(state == kGaveUp ? Kind::kDrop : Kind::kNothing);
        case HostLifeEvent::kUnloading:
            for (;;) {
                if (state == kStarting && state_.compare_exchange_weak(state, kCancelled))
                    return EndByForce(ForceReason::kNeverRan, false);
                if (state == kRunning && state_.compare_exchange_weak(state, kToldToGo))
                    return EndByForce(ForceReason::kUnloadedWhileRunning, true);
                if (state == kToldToGo) return EndByForce(ForceReason::kLeftWithoutReference, true);
                // It left by itself, with a reference of its own (this may be its own last FreeLibrary).
                if (state == kGaveUp) return Act(Kind::kDrop);
                if (state != kStarting && state != kRunning) return Act(Kind::kNothing);
            }
        case HostLifeEvent::kProcessExiting:
            // The thread is gone already: nothing to wait for, end or give back.
            return Act(Kind::kNothing);
    }
    return Act(Kind::kNothing);
}

LifeAction MonitorLife::Thread(ThreadLifeEvent event, void* reference) noexcept {
    int state = kStarting;
    switch (event) {
        case ThreadLifeEvent::kRuns:
            if (state_.compare_exchange_strong(state, kRunning)) return Act(Kind::kRun);
            return Leave(state);
        case ThreadLifeEvent::kLoopEnded:
            state = kRunning;
            // Nobody told it to go: it cannot go on, and leaves on its own with a reference of its own.
            if (state_.compare_exchange_strong(state, kGaveUp)) return Act(Kind::kTakeReference);
            return Leave(state);
        case ThreadLifeEvent::kReferenceTaken: return LeaveFreeing(reference);
        case ThreadLifeEvent::kReferenceRefused: return Act(Kind::kLeavePlainly);
    }
    return Act(Kind::kPark);
}

LifeAction MonitorLife::Leave(int state) const noexcept {
    if (state == kReleased) return LeaveFreeing(handed_.load());
    // Without a reference it cannot leave by itself: it waits, outside this library's code, to be ended.
    return Act(Kind::kPark);
}

}  // namespace wastewatch
