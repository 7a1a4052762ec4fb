#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "checks.h"
#include "cycle_order.h"
#include "report.h"
#include "verdicts.h"

namespace qvcheck {
namespace {

TEST(QvcheckOptions, ParsesWhatTheCommandLineSays) {
    struct Row {
        std::vector<std::string_view> arguments;
        int level;
        std::uint32_t cycles;
        bool seedGiven;
        std::uint32_t seed;
        std::string selected;  // one letter per check: x runs, . does not
        bool commands;
        std::uint32_t timeoutMs;
    };
    const Row rows[] = {
        {{"a.dll"}, 2, 1000, false, 0, "xxxxxxxxxx", false, 5000},
        {{"--level", "3", "--cycles", "200", "a.dll"}, 3, 200, false, 0, "xxxxxxxxxx", false, 5000},
        {{"--seed", "4294967295", "--commands", "a.dll"}, 2, 1000, true, 4294967295u, "xxxxxxxxxx", true, 5000},
        {{"--only", "cycles,exports", "a.dll"}, 2, 1000, false, 0, "x...x.....", false, 5000},
        {{"a.dll", "--timeout-ms", "800", "--level", "1"}, 1, 1000, false, 0, "xxxxxxxxxx", false, 800},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        const ParsedOptions parsed = ParseOptions(row.arguments);
        ASSERT_TRUE(parsed.options) << parsed.error;
        const Options& options = *parsed.options;
        EXPECT_EQ(options.level, row.level);
        EXPECT_EQ(options.cycles, row.cycles);
        EXPECT_EQ(options.seedGiven, row.seedGiven);
        EXPECT_EQ(options.seed, row.seed);
        std::string selected;
        for (bool on : options.selected) selected += on ? 'x' : '.';
        EXPECT_EQ(selected, row.selected);
        EXPECT_EQ(options.commands, row.commands);
        EXPECT_EQ(options.timeoutMs, row.timeoutMs);
        EXPECT_EQ(options.plugin, "a.dll");
    }
}

TEST(QvcheckOptions, RejectsUsageErrors) {
    const std::pair<std::vector<std::string_view>, std::string> rows[] = {
        {{}, "no plug-in named"},
        {{"--level", "4", "a.dll"}, "--level takes 1, 2 or 3"},
        {{"--level", "2x", "a.dll"}, "--level takes 1, 2 or 3"},
        {{"--cycles", "0", "a.dll"}, "--cycles takes"},
        {{"--seed", "4294967296", "a.dll"}, "--seed takes"},
        {{"--only", "cycles,nope", "a.dll"}, "no check named \"nope\""},
        {{"--only", "", "a.dll"}, "no check named \"\""},
        {{"--frobnicate", "1", "a.dll"}, "unknown option --frobnicate"},
        {{"a.dll", "--json"}, "--json needs a value"},
        {{"a.dll", "b.dll"}, "more than one plug-in"},
    };
    for (const auto& [arguments, error] : rows) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const ParsedOptions parsed = ParseOptions(arguments);
        EXPECT_FALSE(parsed.options);
        EXPECT_NE(parsed.error.find(error), std::string::npos) << parsed.error;
    }
}

TEST(QvcheckOptions, ChildArgumentsParseBackToTheSameRun) {
    const ParsedOptions parent = ParseOptions({"--level", "1", "--cycles", "7", "--seed", "42", "--commands",
                                               "--timeout-ms", "900", "--json", "r.json", "C:\\a b\\p.dll"});
    ASSERT_TRUE(parent.options);
    const std::vector<std::string> arguments = ChildArguments(*parent.options, Check::kWindow);
    const ParsedOptions child = ParseOptions(std::vector<std::string_view>(arguments.begin(), arguments.end()));
    ASSERT_TRUE(child.options) << child.error;
    EXPECT_EQ(child.options->child, Check::kWindow);
    EXPECT_EQ(child.options->level, 1);
    EXPECT_EQ(child.options->cycles, 7u);
    EXPECT_EQ(child.options->seed, 42u);
    EXPECT_TRUE(child.options->commands);
    EXPECT_EQ(child.options->timeoutMs, 900u);
    EXPECT_EQ(child.options->plugin, "C:\\a b\\p.dll");
}

TEST(QvcheckPlan, ThreadsRunOnlyAtLevelThree) {
    for (int level = 1; level <= 3; ++level) {
        SCOPED_TRACE(level);
        Options options;
        options.level = level;
        for (std::size_t i = 0; i < kCheckCount; ++i) {
            const auto check = static_cast<Check>(i);
            EXPECT_EQ(SkipReason(check, options).has_value(), check == Check::kThreads && level < 3)
                << CheckName(check);
            EXPECT_EQ(CheckFromName(CheckName(check)), check);
        }
    }
}

TEST(QvcheckOrder, EveryRoundKeepsTheContractsOrder) {
    std::set<std::vector<Call>> seen;
    for (std::uint32_t seed : {0u, 1u, 123u, 0xFFFFFFFFu}) {
        for (std::uint32_t round = 0; round < 64; ++round) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
            const std::vector<Call> calls = RoundCalls(seed, round, {true, true});
            EXPECT_EQ(calls, RoundCalls(seed, round, {true, true}));
            ASSERT_EQ(calls.size(), 9u);
            EXPECT_EQ(calls.front(), Call::kInfo);
            const auto at = [&calls](Call call) { return std::find(calls.begin(), calls.end(), call) - calls.begin(); };
            EXPECT_LT(at(Call::kDefaultA), at(Call::kInitA));
            EXPECT_LT(at(Call::kDefaultB), at(Call::kInitB));
            for (Call command : {Call::kCommand, Call::kCommandEx}) {
                EXPECT_GT(at(command), std::max(at(Call::kInitA), at(Call::kInitB)));
                EXPECT_LT(at(command), std::min(at(Call::kUninitA), at(Call::kUninitB)));
            }
            seen.insert(calls);
        }
    }
    EXPECT_GE(seen.size(), 8u) << "the seed hardly changes the order";
    const std::vector<Call> withoutCommands = RoundCalls(5, 3, {false, false});
    EXPECT_EQ(std::count(withoutCommands.begin(), withoutCommands.end(), Call::kCommand), 0);
    EXPECT_EQ(std::count(withoutCommands.begin(), withoutCommands.end(), Call::kCommandEx), 0);
}

TEST(QvcheckGrowth, ReadsCountsIntoVerdictsByLevel) {
    struct Row {
        const char* name;
        Resource resource;
        std::vector<Sample> samples;
        int level;
        Result result;
    };
    const Row rows[] = {
        {"level", Resource::kHandles, {{0, 50}, {499, 50}, {999, 50}}, 2, Result::kPass},
        {"two threads per round", Resource::kThreads, {{0, 3}, {499, 1001}, {999, 2001}}, 1, Result::kFail},
        {"warm-up only", Resource::kHandles, {{0, 50}, {499, 90}, {999, 90}}, 2, Result::kPass},
        {"growth late", Resource::kAtoms, {{0, 10}, {499, 10}, {999, 400}}, 2, Result::kWarn},
        {"slow leak passes level 2", Resource::kHandles, {{0, 10}, {499, 60}, {999, 110}}, 2, Result::kPass},
        {"slow leak fails level 3", Resource::kHandles, {{0, 10}, {499, 60}, {999, 110}}, 3, Result::kFail},
        {"heap at level 1 warns", Resource::kHeapBytes, {{0, 0}, {499, 500000}, {999, 1000000}}, 1, Result::kWarn},
        {"heap at level 2 fails", Resource::kHeapBytes, {{0, 0}, {499, 500000}, {999, 1000000}}, 2, Result::kFail},
        {"heap noise", Resource::kHeapBytes, {{0, 1000}, {499, 60000}, {999, 1200}}, 2, Result::kPass},
        {"too few rounds", Resource::kThreads, {{0, 3}, {1, 100}}, 2, Result::kPass},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ReadGrowth(row.resource, row.samples, row.level).result, row.result);
    }
    const Growth threads = ReadGrowth(Resource::kThreads, {{0, 3}, {499, 1001}, {999, 2001}}, 2);
    EXPECT_DOUBLE_EQ(threads.perRound, 2.0);
    EXPECT_EQ(GrowthCause(Resource::kThreads, threads, 1000),
              "2.00 threads more per round over 1000 rounds: a thread started in QVInit or at load is still running "
              "after QVUninit and unload");
    EXPECT_EQ(GrowthFigure(Resource::kHeapBytes, 12.4, true), "+12 heap bytes");
    EXPECT_EQ(GrowthFigure(Resource::kUserObjects, 0, false), "USER objects not measured");
}

TEST(QvcheckInfo, ReadsTwoCallsOutputs) {
    const InfoReading good{20, 1, true, std::string("A plug-in")};
    InfoReading unwrittenSize = good;
    unwrittenSize.recordSize.reset();
    InfoReading unreadable = good;
    unreadable.description.reset();
    InfoReading other = good;
    other.description = "Another text";
    InfoReading flagTwo = good;
    flagTwo.flag = 2;
    InfoReading huge = good;
    huge.recordSize = 65537;
    InfoReading empty = good;
    empty.recordSize = 0;
    struct Row {
        const char* name;
        InfoReading first, second;
        int level;
        Result result;
        std::string cause;
    };
    const Row rows[] = {
        {"good", good, good, 2, Result::kPass, ""},
        {"size not written", unwrittenSize, unwrittenSize, 1, Result::kFail,
         "QVGetPluginInfo did not write the record size"},
        {"description unreadable", unreadable, unreadable, 1, Result::kFail,
         "the description is not a readable NUL-terminated text of at most 64 KiB"},
        {"calls disagree", good, other, 1, Result::kFail,
         "two calls of QVGetPluginInfo disagree: the host may read either"},
        {"flag 2 at level 1", flagTwo, flagTwo, 1, Result::kPass, "the flag is 2; the contract sets it to 1"},
        {"flag 2 at level 2", flagTwo, flagTwo, 2, Result::kWarn, "the flag is 2; the contract sets it to 1"},
        {"flag 2 at level 3", flagTwo, flagTwo, 3, Result::kFail, "the flag is 2; the contract sets it to 1"},
        {"over the host's cap", huge, huge, 2, Result::kWarn,
         "the record of 65537 bytes is over the reference host's cap of 64 KiB"},
        {"no record", empty, empty, 3, Result::kPass, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Verdict verdict = ReadPluginInfo(row.first, row.second, row.level);
        EXPECT_EQ(verdict.result, row.result);
        EXPECT_EQ(verdict.cause, row.cause);
    }
    EXPECT_EQ(ReadPluginInfo(good, good, 2).figure, "record 20 bytes, flag 1, description 9 characters");
}

// Three calls of a QVDefault that writes the given bytes at the given offsets of the record (offsets
// at or past the record's size land in the guard after it, negative ones in the guard before it).
DefaultFills Fills(std::uint32_t size, const std::vector<std::pair<int, std::uint8_t>>& writes, bool vary = false) {
    DefaultFills fills;
    for (std::size_t run = 0; run < 3; ++run) {
        fills.buffers[run].assign(DefaultFills::kGuard * 2 + size, DefaultFills::kSentinels[run]);
        for (const auto& [offset, value] : writes) {
            fills.buffers[run][DefaultFills::kGuard + offset] = static_cast<std::uint8_t>(value + (vary ? run : 0));
        }
    }
    return fills;
}

TEST(QvcheckDefault, ReadsWhatQVDefaultWrote) {
    struct Row {
        const char* name;
        DefaultFills fills;
        int level;
        Result result;
        std::string cause;
        std::string figure;
    };
    const Row rows[] = {
        {"whole record", Fills(4, {{0, 0}, {1, 0}, {2, 0}, {3, 9}}), 2, Result::kPass, "",
         "4 of 4 bytes written, the same each time"},
        {"past the record", Fills(4, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {5, 0}}), 1, Result::kFail,
         "QVDefault wrote past the record: the 4-byte record that QVGetPluginInfo reports was overrun from byte 5 on",
         "4 of 4 bytes written, the same each time"},
        {"before the record", Fills(4, {{-1, 0}, {0, 0}, {1, 0}, {2, 0}, {3, 0}}), 1, Result::kFail,
         "QVDefault wrote before the record's first byte", "4 of 4 bytes written, the same each time"},
        {"bytes left at level 2", Fills(4, {{0, 1}, {1, 1}}), 2, Result::kPass, "",
         "2 of 4 bytes written, the same each time"},
        {"bytes left at level 3", Fills(4, {{0, 1}, {1, 1}}), 3, Result::kWarn,
         "QVDefault leaves 2 bytes of the record as they were", "2 of 4 bytes written, the same each time"},
        {"differs each time", Fills(2, {{0, 1}, {1, 1}}, true), 2, Result::kWarn,
         "QVDefault writes different bytes on each call (2 of them)", "2 of 2 bytes written"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Verdict verdict = ReadDefaultFills(
            row.fills, static_cast<std::uint32_t>(row.fills.buffers[0].size() - 2 * DefaultFills::kGuard), row.level);
        EXPECT_EQ(verdict.result, row.result);
        EXPECT_EQ(verdict.cause, row.cause);
        EXPECT_EQ(verdict.figure, row.figure);
    }
}

TEST(QvcheckCalls, NamesStackAndRegisterFaults) {
    const std::tuple<std::int64_t, std::string> stack[] = {
        {8, ""},
        {0,
         "QVInit removed 0 bytes of arguments from the stack; a __stdcall function with two pointer arguments "
         "removes 8: built as __cdecl?"},
        {4,
         "QVInit removed 4 bytes of arguments from the stack; a __stdcall function with two pointer arguments "
         "removes 8: declared with other arguments than the contract's?"},
    };
    for (const auto& [removed, cause] : stack) {
        SCOPED_TRACE(removed);
        EXPECT_EQ(StackCause("QVInit", 8, "two pointer arguments", removed), cause);
    }
    EXPECT_EQ(RegisterCause("QVDefault", "ESI", 0x51515151, 0x51515151), "");
    EXPECT_EQ(RegisterCause("QVDefault", "ESI", 0x51515151, 0),
              "QVDefault changed ESI from 0x51515151 to 0x00000000; the caller's EBX, ESI, EDI and EBP must survive a "
              "call: assembly or a wrong declaration?");
}

TEST(QvcheckCalls, TimesOverBudgetWarn) {
    const TimeVerdict quick = ReadTimes({{"QVInit", 4, 1.0, 2.0}, {"QVConfig", 0, 0, 0}}, 50);
    EXPECT_EQ(quick.result, Result::kPass);
    EXPECT_EQ(quick.figure, "QVInit 1.00 ms worst, 0.500 ms mean");
    const TimeVerdict boxes = ReadTimes({{"QVCommandEx", 0, 0, 0, 3}}, 50);
    EXPECT_EQ(boxes.result, Result::kPass);
    EXPECT_EQ(boxes.figure, "QVCommandEx (3 calls showed a dialog, not timed)");
    const TimeVerdict slow = ReadTimes({{"QVInit", 2, 73.0, 80.0}}, 50);
    EXPECT_EQ(slow.result, Result::kWarn);
    EXPECT_EQ(slow.cause, "QVInit took 73 ms, over the 50 ms budget of a call outside a dialog");
}

TEST(QvcheckChild, ReadsHowTheChildEnded) {
    struct Row {
        const char* name;
        ChildEnd end;
        Result result;
        std::string cause;
    };
    const Row rows[] = {
        {"result line", {"step\tQVInit\nresult\twarn\t3 of 7\tsomething\n", 0, false, 0}, Result::kWarn, "something"},
        {"crash line",
         {"step\tQVInit\ncrash\tcrashed with exception 0xC0000005 (access violation) in QVInit\n", 0xC0000005u, false,
          0},
         Result::kFail,
         "crashed with exception 0xC0000005 (access violation) in QVInit"},
        {"crash without a line",
         {"step\tQVDefault on a record\r\n", 0xC0000005u, false, 0},
         Result::kFail,
         "crashed with exception 0xC0000005 (access violation) in QVDefault on a record"},
        {"hang line",
         {"step\tQVUninit\nhang\tQVUninit of object 1 did not return within 500 ms\n", 3, false, 0},
         Result::kFail,
         "QVUninit of object 1 did not return within 500 ms"},
        {"stopped",
         {"step\tQVConfig\n", 0xDEAD, true, 30500},
         Result::kFail,
         "the check did not end within 30500 ms; last step: QVConfig"},
        {"no result", {"", 0, false, 0}, Result::kFail, "the check's process ended without a result"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const CheckReport report = ReadChild(Check::kCycles, row.end);
        EXPECT_EQ(report.result, row.result);
        EXPECT_EQ(report.cause, row.cause);
    }
}

TEST(QvcheckReport, WritesTableAndJson) {
    RunReport report{"C:\\p\\A \"b\".dll", 2, 123, 1000, {}};
    report.checks.push_back({Check::kExports, Result::kPass, "7 of 7 entry points", ""});
    report.checks.push_back({Check::kThreads, Result::kSkip, "", "level 3 only"});
    EXPECT_TRUE(Passed(report));
    EXPECT_EQ(FormatJson(report),
              "{\"plugin\": \"C:\\\\p\\\\A \\\"b\\\".dll\", \"level\": 2, \"seed\": 123, \"cycles\": 1000, \"checks\": "
              "[{\"check\": \"exports\", \"result\": \"pass\", \"figure\": \"7 of 7 entry points\", \"cause\": \"\"}, "
              "{\"check\": \"threads\", \"result\": \"skip\", \"figure\": \"\", \"cause\": \"level 3 only\"}], "
              "\"passed\": true}\n");
    EXPECT_EQ(FormatTable(report),
              "check    result figure               cause\n"
              "exports  pass   7 of 7 entry points\n"
              "threads  skip                        level 3 only\n"
              "passed\n");
    report.checks.push_back({Check::kCycles, Result::kFail, "x", "a\ttab"});
    EXPECT_FALSE(Passed(report));
    EXPECT_NE(FormatJson(report).find("\"a\\u0009tab\"}], \"passed\": false}"), std::string::npos);
    EXPECT_EQ(OneField("a\tb\r\nc"), "a b  c");
}

}  // namespace
}  // namespace qvcheck
