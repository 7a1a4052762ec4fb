#include "report.h"

#include <algorithm>
#include <cstdio>

namespace qvcheck {

bool Passed(const RunReport& report) noexcept {
    return std::none_of(report.checks.begin(), report.checks.end(),
                        [](const CheckReport& check) { return check.result == Result::kFail; });
}

std::string FormatTable(const RunReport& report) {
    std::size_t figureWidth = 6;
    for (const CheckReport& check : report.checks) figureWidth = std::max(figureWidth, check.figure.size());
    figureWidth = std::min<std::size_t>(figureWidth, 60);
    const auto row = [figureWidth](std::string_view check, std::string_view result, std::string_view figure,
                                   std::string_view cause) {
        std::string line(check);
        line.resize(9, ' ');
        line += result;
        line.resize(line.size() + 7 - std::min<std::size_t>(result.size(), 6), ' ');
        std::string figureText(figure);
        if (figureText.size() < figureWidth) figureText.resize(figureWidth, ' ');
        line += figureText;
        if (!cause.empty()) line += "  " + std::string(cause);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        return line + "\n";
    };
    std::string table = row("check", "result", "figure", "cause");
    for (const CheckReport& check : report.checks) {
        table += row(CheckName(check.check), ResultName(check.result), check.figure, check.cause);
    }
    table += Passed(report) ? "passed\n" : "FAILED\n";
    return table;
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string FormatJson(const RunReport& report) {
    std::string json = "{\"plugin\": " + JsonString(report.plugin) + ", \"level\": " + std::to_string(report.level) +
                       ", \"seed\": " + std::to_string(report.seed) + ", \"cycles\": " + std::to_string(report.cycles) +
                       ", \"checks\": [";
    for (std::size_t i = 0; i < report.checks.size(); ++i) {
        const CheckReport& check = report.checks[i];
        json += std::string(i == 0 ? "" : ", ") + "{\"check\": " + JsonString(std::string(CheckName(check.check))) +
                ", \"result\": " + JsonString(std::string(ResultName(check.result))) +
                ", \"figure\": " + JsonString(check.figure) + ", \"cause\": " + JsonString(check.cause) + "}";
    }
    return json + "], \"passed\": " + (Passed(report) ? "true" : "false") + "}\n";
}

std::string OneField(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

}  // namespace qvcheck
