// The monitor thread's life as paths of events from the host's calls and the thread, each step with
// the action expected in answer; and the two races over its end and its start, run for real.
#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "monitor_life.h"

namespace wastewatch {

void PrintTo(const LifeAction& action, std::ostream* out) {
    static const char* const kKinds[] = {
        "nothing", "refuse watch", "create", "take reference",        "hand over",     "wake and stop", "give back",
        "drop",    "end by force", "run",    "leave freeing library", "leave plainly", "park"};
    *out << kKinds[static_cast<int>(action.kind)];
    if (action.kind == LifeActionKind::kEndByForce)
        *out << " reason=" << static_cast<int>(action.reason) << (action.awaitPark ? " after parking" : " at once");
    if (action.reference != nullptr) *out << " reference=" << action.reference;
}

namespace {

using A = LifeActionKind;
using H = HostLifeEvent;
using T = ThreadLifeEvent;

int g_hostReference = 0;
int g_ownReference = 0;
void* const kHostReference = &g_hostReference;
void* const kOwnReference = &g_ownReference;

constexpr LifeAction Act(A kind) {
    return LifeAction{kind};
}
constexpr LifeAction Forced(ForceReason reason, bool awaitPark) {
    return LifeAction{A::kEndByForce, reason, awaitPark};
}
constexpr LifeAction LeaveFreeing(void* reference) {
    return LifeAction{A::kLeaveFreeingLibrary, ForceReason::kNone, false, reference};
}

// One step: a host event (for whichever thread is current, as the host's calls see it) or an event
// of thread number `thread`, counted in the order they were created.
struct Step {
    int thread;  // -1: the host's side
    int event;
    LifeAction expected;
    void* reference = nullptr;
};

Step Host(H event, LifeAction expected, void* reference = nullptr) {
    return {-1, static_cast<int>(event), expected, reference};
}
Step Thread(int thread, T event, LifeAction expected, void* reference = nullptr) {
    return {thread, static_cast<int>(event), expected, reference};
}

std::string StepName(std::size_t index, const Step& step) {
    static const char* const kHost[] = {"watched",         "started",           "start failed", "last unwatched",
                                        "reference taken", "reference refused", "unloading",    "process exiting"};
    static const char* const kThread[] = {"runs", "loop ended", "reference taken", "reference refused"};
    std::string name = "step " + std::to_string(index) + ": ";
    if (step.thread < 0) return name + "host " + kHost[step.event];
    return name + "thread " + std::to_string(step.thread) + " " + kThread[step.event];
}

// Plays the host's glue: the current thread is the last one created until the host lets go of it.
class Lives {
public:
    LifeAction Apply(const Step& step) {
        if (step.thread >= 0) return lives_[step.thread].Thread(static_cast<T>(step.event), step.reference);
        const auto event = static_cast<H>(step.event);
        if (event == H::kStarted) current_ = created_++;
        const LifeAction action = current_ < 0 ? MonitorLife::WithoutThread(event)
                                               : lives_[current_].Host(event, step.reference);
        switch (action.kind) {
            case A::kHandOver:
            case A::kGiveBack:
            case A::kDrop:
            case A::kEndByForce: current_ = -1; break;
            default: break;
        }
        return action;
    }

private:
    MonitorLife lives_[3];
    int current_ = -1;
    int created_ = 0;
};

struct Path {
    const char* name;
    std::vector<Step> steps;
};

void RunPaths(const std::vector<Path>& paths) {
    for (const Path& path : paths) {
        SCOPED_TRACE(path.name);
        Lives lives;
        for (std::size_t i = 0; i < path.steps.size(); ++i) {
            SCOPED_TRACE(StepName(i, path.steps[i]));
            ASSERT_EQ(lives.Apply(path.steps[i]), path.steps[i].expected);
        }
    }
}

std::vector<Step> Then(std::vector<Step> first, std::initializer_list<Step> more) {
    first.insert(first.end(), more);
    return first;
}

// A thread created for the first watched object, running.
std::vector<Step> Running() {
    return {Host(H::kWatched, Act(A::kCreate)), Host(H::kStarted, Act(A::kNothing)), Thread(0, T::kRuns, Act(A::kRun))};
}

TEST(MonitorLife, StartsForTheFirstWatch) {
    RunPaths({
        {"one more object keeps the thread", Then(Running(), {Host(H::kWatched, Act(A::kNothing))})},
        {"no thread could be created",
         {Host(H::kWatched, Act(A::kCreate)), Host(H::kStartFailed, Act(A::kRefuseWatch)),
          Host(H::kWatched, Act(A::kCreate))}},
        {"nothing watched, nothing to end",
         {Host(H::kLastUnwatched, Act(A::kNothing)), Host(H::kUnloading, Act(A::kNothing))}},
    });
}

TEST(MonitorLife, LastUnwatchHandsOverReference) {
    RunPaths({
        {"leaves with the reference handed over",
         Then(Running(), {Host(H::kLastUnwatched, Act(A::kTakeReference)),
                          Host(H::kReferenceTaken, Act(A::kHandOver), kHostReference),
                          Host(H::kWatched, Act(A::kCreate)), Host(H::kStarted, Act(A::kNothing)),
                          Thread(0, T::kLoopEnded, LeaveFreeing(kHostReference)), Thread(1, T::kRuns, Act(A::kRun))})},
        {"handed over before it ran",
         {Host(H::kWatched, Act(A::kCreate)), Host(H::kStarted, Act(A::kNothing)),
          Host(H::kLastUnwatched, Act(A::kTakeReference)), Host(H::kReferenceTaken, Act(A::kHandOver), kHostReference),
          Thread(0, T::kRuns, LeaveFreeing(kHostReference)), Host(H::kUnloading, Act(A::kNothing))}},
    });
}

TEST(MonitorLife, NoReferenceParksUntilEnded) {
    const std::vector<Step> toldToGo = Then(Running(), {Host(H::kLastUnwatched, Act(A::kTakeReference)),
                                                        Host(H::kReferenceRefused, Act(A::kWakeAndStop)),
                                                        Thread(0, T::kLoopEnded, Act(A::kPark))});
    RunPaths({
        {"the next watch ends it and starts another",
         Then(toldToGo, {Host(H::kLastUnwatched, Act(A::kNothing)),
                         Host(H::kWatched, Forced(ForceReason::kLeftWithoutReference, true)),
                         Host(H::kWatched, Act(A::kCreate))})},
        {"the unload ends it", Then(toldToGo, {Host(H::kUnloading, Forced(ForceReason::kLeftWithoutReference, true)),
                                               Host(H::kUnloading, Act(A::kNothing))})},
        {"told to go before it ran",
         {Host(H::kWatched, Act(A::kCreate)), Host(H::kStarted, Act(A::kNothing)),
          Host(H::kLastUnwatched, Act(A::kTakeReference)), Host(H::kReferenceRefused, Act(A::kWakeAndStop)),
          Thread(0, T::kRuns, Act(A::kPark))}},
    });
}

TEST(MonitorLife, UnloadWithoutUninitEndsByForce) {
    RunPaths({
        {"while it runs", Then(Running(), {Host(H::kUnloading, Forced(ForceReason::kUnloadedWhileRunning, true)),
                                           Thread(0, T::kLoopEnded, Act(A::kPark))})},
        {"unloaded first, then it runs",
         {Host(H::kWatched, Act(A::kCreate)), Host(H::kStarted, Act(A::kNothing)),
          Host(H::kUnloading, Forced(ForceReason::kNeverRan, false)), Thread(0, T::kRuns, Act(A::kPark))}},
        {"it runs first, then unloaded",
         {Host(H::kWatched, Act(A::kCreate)), Host(H::kStarted, Act(A::kNothing)), Thread(0, T::kRuns, Act(A::kRun)),
          Host(H::kUnloading, Forced(ForceReason::kUnloadedWhileRunning, true))}},
        {"the process exits", Then(Running(), {Host(H::kProcessExiting, Act(A::kNothing))})},
    });
}

TEST(MonitorLife, GivesUpWhenItCannotGoOn) {
    const std::vector<Step> gaveUp = Then(Running(), {Thread(0, T::kLoopEnded, Act(A::kTakeReference))});
    RunPaths({
        {"leaves with its own reference",
         Then(gaveUp, {Thread(0, T::kReferenceTaken, LeaveFreeing(kOwnReference), kOwnReference)})},
        {"leaves plainly without one", Then(gaveUp, {Thread(0, T::kReferenceRefused, Act(A::kLeavePlainly))})},
        {"the next watch drops it and starts another",
         Then(gaveUp, {Host(H::kWatched, Act(A::kDrop)), Host(H::kWatched, Act(A::kCreate))})},
        {"the unload only drops it", Then(gaveUp, {Host(H::kUnloading, Act(A::kDrop))})},
        {"the last unwatch only drops it", Then(gaveUp, {Host(H::kLastUnwatched, Act(A::kDrop))})},
    });
}

// Both orders of the one step that decides who ends the thread.
TEST(MonitorLife, FirstSideDecidesTheEnd) {
    const std::vector<Step> asked = Then(Running(), {Host(H::kLastUnwatched, Act(A::kTakeReference))});
    RunPaths({
        {"gave up, then the reference comes",
         Then(asked, {Thread(0, T::kLoopEnded, Act(A::kTakeReference)),
                      Host(H::kReferenceTaken, Act(A::kGiveBack), kHostReference),
                      Thread(0, T::kReferenceTaken, LeaveFreeing(kOwnReference), kOwnReference)})},
        {"the reference comes, then the wait fails",
         Then(asked, {Host(H::kReferenceTaken, Act(A::kHandOver), kHostReference),
                      Thread(0, T::kLoopEnded, LeaveFreeing(kHostReference))})},
        {"gave up, then no reference comes",
         Then(asked, {Thread(0, T::kLoopEnded, Act(A::kTakeReference)), Host(H::kReferenceRefused, Act(A::kDrop)),
                      Thread(0, T::kReferenceRefused, Act(A::kLeavePlainly))})},
        {"no reference comes, then the wait fails",
         Then(asked, {Host(H::kReferenceRefused, Act(A::kWakeAndStop)), Thread(0, T::kLoopEnded, Act(A::kPark))})},
    });
}

// The same two races with real threads: whatever the order, the two sides' answers fit together.
TEST(MonitorLife, RacesHaveOneWinner) {
    for (int round = 0; round < 2000; ++round) {
        MonitorLife end;
        ASSERT_EQ(end.Thread(T::kRuns), Act(A::kRun));
        MonitorLife start;
        std::atomic<bool> go{false};
        LifeAction host, unload;
        std::thread hostSide([&] {
            while (!go.load()) {
            }
            host = end.Host(H::kReferenceTaken, kHostReference);
            unload = start.Host(H::kUnloading);
        });
        go.store(true);
        const LifeAction thread = end.Thread(T::kLoopEnded);
        const LifeAction runs = start.Thread(T::kRuns);
        hostSide.join();
        if (host.kind == A::kHandOver) {
            ASSERT_EQ(thread, LeaveFreeing(kHostReference)) << "round " << round;
        } else {
            ASSERT_EQ(host, Act(A::kGiveBack)) << "round " << round;
            ASSERT_EQ(thread, Act(A::kTakeReference)) << "round " << round;
        }
        if (unload.reason == ForceReason::kNeverRan) {
            ASSERT_EQ(runs, Act(A::kPark)) << "round " << round;
        } else {
            ASSERT_EQ(unload, Forced(ForceReason::kUnloadedWhileRunning, true)) << "round " << round;
            ASSERT_EQ(runs, Act(A::kRun)) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace wastewatch
