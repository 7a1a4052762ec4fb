// The monitor's schedule as sequences of events, each with the action expected in answer.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "monitor_schedule.h"

namespace wastewatch {

void PrintTo(const MonitorAction& action, std::ostream* out) {
    static const char* const kNames[] = {"wait", "look", "measure", "find window", "post", "leave"};
    *out << kNames[static_cast<int>(action.kind)];
    if (action.kind == MonitorActionKind::kWait) *out << " wakers=" << action.wakers << " ms=" << action.milliseconds;
}

namespace {

using K = MonitorEventKind;

constexpr MonitorAction kLook{MonitorActionKind::kLookAtBin};
constexpr MonitorAction kMeasure{MonitorActionKind::kMeasure};
constexpr MonitorAction kFind{MonitorActionKind::kFindWindow};
constexpr MonitorAction kPost{MonitorActionKind::kPost};
constexpr MonitorAction kLeave{MonitorActionKind::kLeave};

constexpr MonitorAction Sleep(std::uint32_t ms) {
    return {MonitorActionKind::kWait, kWakeOnStop | kWakeOnRetime | kWakeOnChange, ms};
}
constexpr MonitorAction Settle(std::uint32_t ms) {
    return {MonitorActionKind::kWait, kWakeOnStop | kWakeOnChange, ms};
}
constexpr MonitorAction kAwaitEmptying{MonitorActionKind::kWait, kWakeOnStop | kWakeOnEmptierIdle, kWaitForever};

constexpr std::uint32_t kDriveC = 1u << 2;
const BinSnapshot kFolders{kDriveC, {10, 20}, 2};
const BinSnapshot kFoldersLater{kDriveC, {10, 21}, 2};

MonitorEvent Ev(K kind, std::uint32_t now) {
    return {.kind = kind, .now = now};
}
MonitorEvent Looked(std::uint32_t now, const BinSnapshot& snapshot = kFolders) {
    return {.kind = K::kBinLooked, .now = now, .snapshot = snapshot};
}
MonitorEvent Measured(std::uint32_t now, const BinSnapshot& snapshot = kFolders, std::uint32_t emptyings = 0) {
    return {.kind = K::kMeasured, .now = now, .emptyings = emptyings, .snapshot = snapshot};
}

struct Step {
    MonitorEvent event;
    MonitorAction action;
};
using Steps = std::vector<Step>;

// The first cycle: measured at 80, posted, asleep from 100 to 1100.
Steps FirstCycle() {
    return {{Ev(K::kStarted, 0), kLook},
            {Looked(10), kMeasure},
            {Measured(80), kFind},
            {Ev(K::kWindowFound, 90), kPost},
            {Ev(K::kPosted, 100), Sleep(1000)}};
}

// A cycle that reuses the last measurement, from the sleep's end at `at`.
Steps QuietCycle(std::uint32_t at) {
    return {{Ev(K::kTimeout, at), kLook},
            {Looked(at), kFind},
            {Ev(K::kWindowFound, at), kPost},
            {Ev(K::kPosted, at), Sleep(1000)}};
}

Steps Then(Steps steps, const Steps& more) {
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

void ExpectSteps(const Steps& steps) {
    MonitorSchedule schedule;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(schedule.Next(steps[i].event), steps[i].action) << "step " << i;
    }
}

struct Case {
    const char* name;
    Steps steps;
};

void ExpectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSteps(c.steps);
    }
}

TEST(MonitorSchedule, ReusesQuietBin) {
    constexpr std::uint32_t kAlmostDue = 80 + kSafetyRemeasureMs - 1;  // FirstCycle measured at 80
    ExpectCases({
        {"quiet cycles", Then(Then(FirstCycle(), QuietCycle(1100)), QuietCycle(2100))},
        {"safety re-measure", Then(FirstCycle(), {{Ev(K::kTimeout, kAlmostDue), kLook},
                                                  {Looked(kAlmostDue), kFind},
                                                  {Ev(K::kWindowFound, kAlmostDue), kPost},
                                                  {Ev(K::kPosted, kAlmostDue), Sleep(1000)},
                                                  {Ev(K::kTimeout, kAlmostDue + 1000), kLook},
                                                  {Looked(kAlmostDue + 1000), kMeasure}})},
        {"tick count wraps",
         {{Ev(K::kStarted, 0xFFFFFF00u), kLook},
          {Looked(0xFFFFFF00u), kMeasure},
          {Measured(0xFFFFFF80u), kFind},
          {Ev(K::kWindowMissing, 0xFFFFFF80u), Sleep(1000)},
          {{.kind = K::kChange, .now = 0x100, .trustworthy = false}, Sleep(616)},
          {Ev(K::kTimeout, 0x368), kLook},
          {Looked(0x368), kFind}}},
    });
}

TEST(MonitorSchedule, MeasuresWhenInDoubt) {
    const Steps untrusted{{Ev(K::kTimeout, 1100), kLook},
                          {{.kind = K::kBinLooked, .now = 1100, .trustworthy = false, .snapshot = kFolders}, kMeasure},
                          {Measured(1150), kFind},
                          {Ev(K::kWindowFound, 1150), kPost},
                          {Ev(K::kPosted, 1150), Sleep(1000)}};
    ExpectCases({
        {"no trustworthy watch, every cycle",
         Then(Then(FirstCycle(), untrusted),
              {{Ev(K::kTimeout, 2150), kLook},
               {{.kind = K::kBinLooked, .now = 2150, .trustworthy = false, .snapshot = kFolders}, kMeasure}})},
        {"a change signal",
         Then(FirstCycle(),
              {{Ev(K::kTimeout, 1100), kLook},
               {{.kind = K::kBinLooked, .now = 1100, .signalled = true, .snapshot = kFolders}, kMeasure}})},
        {"the watch must be opened again",
         Then(FirstCycle(),
              {{Ev(K::kTimeout, 1100), kLook},
               {{.kind = K::kBinLooked, .now = 1100, .needsReopen = true, .snapshot = kFolders}, kMeasure}})},
        {"a folder written",
         Then(FirstCycle(), {{Ev(K::kTimeout, 1100), kLook}, {Looked(1100, kFoldersLater), kMeasure}})},
        {"another drive set", Then(FirstCycle(), {{Ev(K::kTimeout, 1100), kLook},
                                                  {Looked(1100, BinSnapshot{kDriveC | 1, {10, 20}, 2}), kMeasure}})},
        {"emptied by this plug-in",
         Then(FirstCycle(), {{Ev(K::kTimeout, 1100), kLook},
                             {{.kind = K::kBinLooked, .now = 1100, .emptyings = 1, .snapshot = kFolders}, kMeasure},
                             {Measured(1150, kFolders, 1), kFind},
                             {Ev(K::kWindowFound, 1150), kPost},
                             {Ev(K::kPosted, 1150), Sleep(1000)},
                             {Ev(K::kTimeout, 2150), kLook},
                             {{.kind = K::kBinLooked, .now = 2150, .emptyings = 1, .snapshot = kFolders}, kFind}})},
    });
}

TEST(MonitorSchedule, SleepsInterval) {
    ExpectCases({
        {"interval 0 still sleeps a second",
         {{{.kind = K::kStarted, .checkIntervalSeconds = 0}, kLook},
          {Looked(0), kMeasure},
          {Measured(0), kFind},
          {{.kind = K::kWindowMissing, .now = 0, .checkIntervalSeconds = 0}, Sleep(1000)}}},
        {"the longest interval is never a wait forever",
         {{Ev(K::kStarted, 0), kLook},
          {Looked(0), kMeasure},
          {Measured(0), kFind},
          {{.kind = K::kWindowMissing, .now = 0, .checkIntervalSeconds = 0xFFFFFFFFu}, Sleep(4294967000u)}}},
        {"a retime starts the sleep again",
         Then(FirstCycle(), {{{.kind = K::kRetime, .now = 600, .checkIntervalSeconds = 5}, Sleep(5000)},
                             {{.kind = K::kRetime, .now = 700, .checkIntervalSeconds = 2}, Sleep(2000)},
                             {Ev(K::kTimeout, 2700), kLook}})},
        {"a wake reads the interval again",
         Then(FirstCycle(),
              {{{.kind = K::kChange, .now = 600, .checkIntervalSeconds = 3, .trustworthy = false}, Sleep(2500)},
               {{.kind = K::kChange, .now = 700, .checkIntervalSeconds = 0, .trustworthy = false}, Sleep(400)},
               {{.kind = K::kChange, .now = 1200, .trustworthy = false}, kLook}})},
        {"nothing watched, nothing measured",
         {{{.kind = K::kStarted, .watching = false}, Sleep(1000)},
          {{.kind = K::kTimeout, .now = 1000, .watching = false}, Sleep(1000)},
          {Ev(K::kTimeout, 2000), kLook}}},
    });
}

TEST(MonitorSchedule, MeasuresAheadOncePerSleep) {
    ExpectCases({
        {"a change settles, is measured, and the cycle reuses it",
         Then(FirstCycle(), {{Ev(K::kChange, 300), Settle(150)},
                             {Ev(K::kChange, 400), Settle(150)},
                             {Ev(K::kTimeout, 550), kMeasure},
                             {Measured(600, kFoldersLater), Sleep(500)},
                             {Ev(K::kTimeout, 1100), kLook},
                             {Looked(1100, kFoldersLater), kFind}})},
        {"a second change in the same sleep waits for the cycle",
         Then(FirstCycle(),
              {{Ev(K::kChange, 300), Settle(150)},
               {Ev(K::kTimeout, 450), kMeasure},
               {Measured(500, kFoldersLater), Sleep(600)},
               {Ev(K::kChange, 700), Sleep(400)},
               {Ev(K::kTimeout, 1100), kLook},
               {{.kind = K::kBinLooked, .now = 1100, .signalled = true, .snapshot = kFoldersLater}, kMeasure},
               {Measured(1150, kFoldersLater), kFind},
               {Ev(K::kWindowFound, 1150), kPost},
               {Ev(K::kPosted, 1150), Sleep(1000)},
               {Ev(K::kChange, 1200), Settle(150)}})},
        {"a burst settles within the maximum", Then(FirstCycle(), {{Ev(K::kChange, 200), Settle(150)},
                                                                   {Ev(K::kChange, 300), Settle(150)},
                                                                   {Ev(K::kChange, 1000), Settle(150)},
                                                                   {Ev(K::kChange, 1150), Settle(50)},
                                                                   {Ev(K::kChange, 1200), kMeasure},
                                                                   {Measured(1250), kLook},
                                                                   {Looked(1250), kFind}})},
        {"settled past the sleep's end", Then(FirstCycle(), {{Ev(K::kChange, 1000), Settle(150)},
                                                             {Ev(K::kTimeout, 1150), kMeasure},
                                                             {Measured(1200, kFoldersLater), kLook},
                                                             {Looked(1200, kFoldersLater), kFind}})},
        {"an untrusted watch leaves it to the cycle",
         Then(FirstCycle(),
              {{{.kind = K::kChange, .now = 300, .trustworthy = false}, Sleep(800)}, {Ev(K::kTimeout, 1100), kLook}})},
    });
}

TEST(MonitorSchedule, NoReadWhileEmptying) {
    ExpectCases({
        {"nothing to reuse: wait for the emptying",
         {{Ev(K::kStarted, 0), kLook},
          {Looked(0), kMeasure},
          {Ev(K::kBinBusy, 0), kAwaitEmptying},
          {Ev(K::kEmptyingFinished, 500), kLook},
          {{.kind = K::kBinLooked, .now = 500, .emptyings = 1, .snapshot = kFolders}, kMeasure},
          {Measured(550, kFolders, 1), kFind}}},
        {"the last result stands, and the change is measured later",
         Then(FirstCycle(), {{Ev(K::kTimeout, 1100), kLook},
                             {{.kind = K::kBinLooked, .now = 1100, .signalled = true, .snapshot = kFolders}, kMeasure},
                             {Ev(K::kBinBusy, 1100), kFind},
                             {Ev(K::kWindowFound, 1100), kPost},
                             {Ev(K::kPosted, 1100), Sleep(1000)},
                             {Ev(K::kTimeout, 2100), kLook},
                             {Looked(2100), kMeasure}})},
        {"not measured ahead while emptying",
         Then(FirstCycle(), {{Ev(K::kChange, 300), Settle(150)},
                             {Ev(K::kTimeout, 450), kMeasure},
                             {Ev(K::kBinBusy, 450), Sleep(650)},
                             {Ev(K::kChange, 500), Sleep(600)},
                             {Ev(K::kTimeout, 1100), kLook},
                             {{.kind = K::kBinLooked, .now = 1100, .emptyings = 1, .snapshot = kFolders}, kMeasure}})},
    });
}

TEST(MonitorSchedule, PostsOnlyToWindow) {
    ExpectSteps({{Ev(K::kStarted, 0), kLook},
                 {Looked(0), kMeasure},
                 {Measured(50), kFind},
                 {Ev(K::kWindowMissing, 50), Sleep(1000)},
                 {Ev(K::kTimeout, 1050), kLook},
                 {Looked(1050), kFind},
                 {Ev(K::kWindowFound, 1050), kPost},
                 {Ev(K::kPosted, 1060), Sleep(1000)}});
}

TEST(MonitorSchedule, LeavesOnStopOrFailedWait) {
    ExpectCases({
        {"stop while sleeping", Then(FirstCycle(), {{Ev(K::kStop, 500), kLeave}, {Ev(K::kTimeout, 1100), kLeave}})},
        {"stop while settling", Then(FirstCycle(), {{Ev(K::kChange, 300), Settle(150)}, {Ev(K::kStop, 310), kLeave}})},
        {"stop while awaiting the emptying",
         {{Ev(K::kStarted, 0), kLook},
          {Looked(0), kMeasure},
          {Ev(K::kBinBusy, 0), kAwaitEmptying},
          {Ev(K::kStop, 10), kLeave}}},
        {"measurement abandoned",
         {{Ev(K::kStarted, 0), kLook}, {Looked(0), kMeasure}, {Ev(K::kMeasureAbandoned, 9), kLeave}}},
        {"told to go before starting", {{{.kind = K::kStarted, .stopping = true}, kLeave}}},
        {"told to go while posting",
         {{Ev(K::kStarted, 0), kLook},
          {Looked(0), kMeasure},
          {Measured(0), kFind},
          {{.kind = K::kWindowFound, .stopping = true}, kLeave}}},
        {"a sleep that cannot wait",
         Then(FirstCycle(), {{Ev(K::kWaitFailed, 100), kLeave}, {Ev(K::kTimeout, 1100), kLeave}})},
        {"a settle that cannot wait",
         Then(FirstCycle(), {{Ev(K::kChange, 300), Settle(150)}, {Ev(K::kWaitFailed, 300), kLeave}})},
        {"an event that cannot follow", Then(FirstCycle(), {{Ev(K::kPosted, 200), kLeave}})},
        {"started twice", {{Ev(K::kStarted, 0), kLook}, {Ev(K::kStarted, 0), kLeave}}},
    });
}

TEST(SleepMilliseconds, BoundsTheIntervalWhereItIsUsed) {
    struct Row {
        std::uint32_t seconds;
        std::uint32_t milliseconds;
    };
    const Row rows[] = {
        {0, 1000},
        {1, 1000},
        {4, 4000},
        {3600, 3600000},
        {4294967, 4294967000u},
        {4294968, 4294967000u},
        {0xFFFFFFFF, 4294967000u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.seconds);
        EXPECT_EQ(SleepMilliseconds(row.seconds), row.milliseconds);
        EXPECT_NE(SleepMilliseconds(row.seconds), kWaitForever);
    }
}

}  // namespace
}  // namespace wastewatch
