// Reading what the validator measured into results by level, and the causes in words a plug-in's
// author can act on.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks.h"

namespace qvcheck {

// A check's result as it builds up: the worst result noted so far, its figure, and every cause.
struct Verdict {
    Result result = Result::kPass;
    std::string figure;
    std::string cause;
    // Raises the result to at least this one and adds the cause.
    void Note(Result at, const std::string& text);
};

// What the contract leaves to the plug-in: nothing at level 1, a warning from level 2.
Result LeftToPlugin(int level) noexcept;

// QVGetPluginInfo's outputs as read after a call; an output the call did not write is empty.
struct InfoReading {
    std::optional<std::uint32_t> recordSize;
    std::optional<std::uint32_t> flag;
    bool descriptionWritten = false;
    std::optional<std::string> description;  // empty when not a readable text of at most 64 KiB
};
// Two calls' outputs: all written, the same each time, the flag 1, a record of 1 byte to 64 KiB.
Verdict ReadPluginInfo(const InfoReading& first, const InfoReading& second, int level);

// Three QVDefault calls, each on a record with kGuard sentinel bytes either side, filled with a sentinel
// of its own. The first and the third show whether it writes the same each time; the first and the second
// which bytes it writes at all.
struct DefaultFills {
    static constexpr std::size_t kGuard = 64;
    static constexpr std::array<std::uint8_t, 3> kSentinels = {0xCD, 0x5A, 0xCD};
    std::array<std::vector<std::uint8_t>, 3> buffers;
};
Verdict ReadDefaultFills(const DefaultFills& fills, std::uint32_t recordSize, int level);

// What the life-cycle check counts after each measured round.
enum class Resource { kHandles, kThreads, kTlsIndexes, kHeapBytes, kAddressSpace, kAtoms, kUserObjects, kGdiObjects };
inline constexpr std::size_t kResourceCount = 8;

struct Sample {
    std::uint32_t round;
    double value;
};

struct Growth {
    Result result;
    double perRound;  // over the whole run
};

// Steady growth (both halves of the run grow by more than the level's tolerance) fails; growth in the
// second half only warns; a first half that grows and a second that holds is a warm-up and passes.
// Heap and address space only warn at level 1: the system's own caches grow them too.
Growth ReadGrowth(Resource resource, const std::vector<Sample>& samples, int level);

// "+0.00 threads" and the like; "not measured" where the platform gave no count.
std::string GrowthFigure(Resource resource, double perRound, bool measured);
// The cause of a failing or warning growth, naming the resource and saying "per round".
std::string GrowthCause(Resource resource, const Growth& growth, std::uint32_t rounds);

// The stack check: empty when the function removed exactly its own arguments.
std::string StackCause(std::string_view function, std::uint32_t argumentBytes, std::string_view argumentWords,
                       std::int64_t removedBytes);
// The callee-saved registers: empty when the value is the one it had before the call.
std::string RegisterCause(std::string_view function, std::string_view registerName, std::uint32_t before,
                          std::uint32_t after);

// A call's worst duration against its budget.
struct CallTime {
    std::string function;
    std::uint32_t calls;
    double worstMs;
    double totalMs;
    std::uint32_t dialogCalls = 0;  // calls that showed a dialog or a message box: not timed
};
inline constexpr double kCallBudgetMs = 50;
struct TimeVerdict {
    Result result;
    std::string figure;
    std::string cause;
};
TimeVerdict ReadTimes(const std::vector<CallTime>& times, double budgetMs);

// What the parent makes of a child process: the result line it printed, or how it ended without one.
struct ChildEnd {
    std::string output;  // everything the child wrote
    std::uint32_t exitCode = 0;
    bool timedOut = false;  // the parent stopped it
    std::uint32_t limitMs = 0;
};
struct CheckReport {
    Check check;
    Result result;
    std::string figure;
    std::string cause;
};
CheckReport ReadChild(Check check, const ChildEnd& end);

// The name of an exception code, "" for one without a well-known name.
std::string_view ExceptionName(std::uint32_t code) noexcept;
std::string Hex(std::uint32_t value);

// Exit status of a child that could not load the plug-in; the parent then ends with 2.
inline constexpr std::uint32_t kChildCannotLoad = 2;

}  // namespace qvcheck
