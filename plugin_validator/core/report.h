// The validator's report: a text table for people and a JSON file for CI.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "verdicts.h"

namespace qvcheck {

struct RunReport {
    std::string plugin;
    int level = 2;
    std::uint32_t seed = 0;
    std::uint32_t cycles = 0;
    std::vector<CheckReport> checks;
};

// Every check passed or warned (skipped ones do not count).
bool Passed(const RunReport& report) noexcept;
// Check, result, figure and cause, one check a line, columns aligned; long causes wrap under the cause column.
std::string FormatTable(const RunReport& report);
std::string FormatJson(const RunReport& report);
// A text as a JSON string, quotes included.
std::string JsonString(const std::string& text);
// A text fit for one tab-separated field of a child's line: tabs and line ends become spaces.
std::string OneField(std::string text);

}  // namespace qvcheck
