// What a run of the validator does: its options, the checks in their fixed order, and which of them
// run at a level. Platform-free, so that the rules are tested natively.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvcheck {

enum class Check { kExports, kInfo, kDefault, kHostile, kCycles, kUnload, kWindow, kConfig, kThreads, kTime };
inline constexpr std::size_t kCheckCount = 10;
inline constexpr std::array<std::string_view, kCheckCount> kCheckNames = {"exports", "info",   "default", "hostile",
                                                                          "cycles",  "unload", "window",  "config",
                                                                          "threads", "time"};

std::string_view CheckName(Check check) noexcept;
std::optional<Check> CheckFromName(std::string_view name) noexcept;

enum class Result { kPass, kWarn, kFail, kSkip };
std::string_view ResultName(Result result) noexcept;
std::optional<Result> ResultFromName(std::string_view name) noexcept;

struct Options {
    int level = 2;
    std::uint32_t cycles = 1000;
    std::uint32_t seed = 0;
    bool seedGiven = false;
    std::array<bool, kCheckCount> selected{};  // all true unless --only names some
    std::string jsonPath;
    std::uint32_t timeoutMs = 5000;  // a single call running longer has hung
    bool commands = false;
    std::optional<Check> child;  // set in the child process that runs one check
    std::string plugin;
};

// The options, or the text of a usage error.
struct ParsedOptions {
    std::optional<Options> options;
    std::string error;
};
ParsedOptions ParseOptions(const std::vector<std::string_view>& arguments);

// The same options as arguments for the child process that runs one check (the plug-in last).
std::vector<std::string> ChildArguments(const Options& options, Check check);

inline constexpr char kUsage[] =
    "usage: qvcheck [--level 1..3] [--cycles N] [--seed S] [--only CHECK[,CHECK]] [--json FILE]\n"
    "               [--timeout-ms MS] [--commands] PLUGIN.dll\n"
    "checks: exports, info, default, hostile, cycles, unload, window, config, threads, time\n";

// A check that does not run at this level, with the reason; nothing when it runs.
std::optional<std::string> SkipReason(Check check, const Options& options);

}  // namespace qvcheck
