#include "checks.h"

#include <charconv>

namespace qvcheck {
namespace {

constexpr std::array<std::string_view, 4> kResultNames = {"pass", "warn", "fail", "skip"};

std::optional<std::uint32_t> Number(std::string_view text, std::uint32_t low, std::uint32_t high) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

ParsedOptions Error(std::string text) {
    return {std::nullopt, std::move(text)};
}

}  // namespace

std::string_view CheckName(Check check) noexcept {
    return kCheckNames[static_cast<std::size_t>(check)];
}

std::optional<Check> CheckFromName(std::string_view name) noexcept {
    for (std::size_t i = 0; i < kCheckCount; ++i) {
        if (kCheckNames[i] == name) return static_cast<Check>(i);
    }
    return std::nullopt;
}

std::string_view ResultName(Result result) noexcept {
    return kResultNames[static_cast<std::size_t>(result)];
}

std::optional<Result> ResultFromName(std::string_view name) noexcept {
    for (std::size_t i = 0; i < kResultNames.size(); ++i) {
        if (kResultNames[i] == name) return static_cast<Result>(i);
    }
    return std::nullopt;
}

ParsedOptions ParseOptions(const std::vector<std::string_view>& arguments) {
    Options options;
    options.selected.fill(true);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--commands") {
            options.commands = true;
            continue;
        }
        if (argument.size() < 2 || argument.substr(0, 2) != "--") {
            if (!options.plugin.empty()) return Error("more than one plug-in named: " + std::string(argument));
            options.plugin = argument;
            continue;
        }
        if (i + 1 == arguments.size()) return Error(std::string(argument) + " needs a value");
        const std::string_view value = arguments[++i];
        if (argument == "--level") {
            const auto level = Number(value, 1, 3);
            if (!level) return Error("--level takes 1, 2 or 3, not " + std::string(value));
            options.level = static_cast<int>(*level);
        } else if (argument == "--cycles") {
            const auto cycles = Number(value, 1, 1000000);
            if (!cycles) return Error("--cycles takes a number from 1 to 1000000, not " + std::string(value));
            options.cycles = *cycles;
        } else if (argument == "--seed") {
            const auto seed = Number(value, 0, 0xFFFFFFFFu);
            if (!seed) return Error("--seed takes a number from 0 to 4294967295, not " + std::string(value));
            options.seed = *seed;
            options.seedGiven = true;
        } else if (argument == "--timeout-ms") {
            const auto timeout = Number(value, 100, 3600000);
            if (!timeout) return Error("--timeout-ms takes a number from 100 to 3600000, not " + std::string(value));
            options.timeoutMs = *timeout;
        } else if (argument == "--json") {
            options.jsonPath = value;
        } else if (argument == "--only") {
            options.selected.fill(false);
            std::string_view rest = value;
            while (true) {
                const auto comma = rest.find(',');
                const std::string_view name = rest.substr(0, comma);
                const auto check = CheckFromName(name);
                if (!check) return Error("no check named \"" + std::string(name) + "\"");
                options.selected[static_cast<std::size_t>(*check)] = true;
                if (comma == std::string_view::npos) break;
                rest.remove_prefix(comma + 1);
            }
        } else if (argument == "--child") {
            options.child = CheckFromName(value);
            if (!options.child) return Error("no check named \"" + std::string(value) + "\"");
        } else {
            return Error("unknown option " + std::string(argument));
        }
    }
    if (options.plugin.empty()) return Error("no plug-in named");
    return {std::move(options), {}};
}

std::vector<std::string> ChildArguments(const Options& options, Check check) {
    std::vector<std::string> arguments = {"--child",      std::string(CheckName(check)),
                                          "--level",      std::to_string(options.level),
                                          "--cycles",     std::to_string(options.cycles),
                                          "--seed",       std::to_string(options.seed),
                                          "--timeout-ms", std::to_string(options.timeoutMs)};
    if (options.commands) arguments.emplace_back("--commands");
    arguments.push_back(options.plugin);
    return arguments;
}

std::optional<std::string> SkipReason(Check check, const Options& options) {
    if (check == Check::kThreads && options.level < 3) {
        return "level 3 only: the contract promises the plug-in one call at a time";
    }
    return std::nullopt;
}

}  // namespace qvcheck
