// Reading what the validator measured into results by level, and the causes in words a plug-in's
// author can act on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checks.h"

namespace qvcheck {

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
