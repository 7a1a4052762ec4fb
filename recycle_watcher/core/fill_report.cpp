#include "fill_report.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

namespace wastewatch {
namespace {

// Widths and precisions above this are not honoured (the directive is copied as text): nothing
// sensible needs them and the whole report is shorter anyway.
constexpr unsigned kMaxFieldWidth = 255;

enum class ArgumentKind { kFloating, kUnsigned, kSigned };

struct Argument {
    ArgumentKind kind;
    double floating;
    std::uint32_t unsignedValue;
    std::int32_t signedValue;
};

class BoundedWriter {
public:
    explicit BoundedWriter(FillReportText& out) : out_(out) { out_[0] = '\0'; }
    void Append(std::string_view text) {
        for (char c : text) {
            if (length_ + 1 >= out_.size()) break;
            out_[length_++] = c;
        }
        out_[length_] = '\0';
    }

private:
    FillReportText& out_;
    std::size_t length_ = 0;
};

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsFloatingConversion(char c) { return std::string_view("eEfFgG").find(c) != std::string_view::npos; }
bool IsIntegerConversion(char c) { return std::string_view("diuoxX").find(c) != std::string_view::npos; }

// Reads a run of digits at format[pos]; false when the number exceeds kMaxFieldWidth.
bool ReadNumber(std::string_view format, std::size_t& pos) {
    unsigned value = 0;
    while (pos < format.size() && IsDigit(format[pos])) {
        value = value * 10 + static_cast<unsigned>(format[pos] - '0');
        if (value > kMaxFieldWidth) return false;
        ++pos;
    }
    return true;
}

// Formats one checked directive ("%" flags width precision conversion) with its argument.
std::string FormatDirective(std::string_view directiveText, char conversion, const Argument& argument) {
    std::string pattern(directiveText);
    char buffer[2 * kMaxFieldWidth + 64];
    int written = 0;
    if (argument.kind == ArgumentKind::kFloating) {
        pattern += conversion;
        written = std::snprintf(buffer, sizeof buffer, pattern.c_str(), argument.floating);
    } else {
        // A count is never negative: its signed conversions print it as the unsigned value it is.
        const bool asSigned = argument.kind == ArgumentKind::kSigned && (conversion == 'd' || conversion == 'i');
        if (asSigned) {
            pattern += conversion;
            written = std::snprintf(buffer, sizeof buffer, pattern.c_str(), static_cast<int>(argument.signedValue));
        } else {
            pattern += (conversion == 'd' || conversion == 'i') ? 'u' : conversion;
            const unsigned value = argument.kind == ArgumentKind::kSigned
                                       ? static_cast<unsigned>(argument.signedValue)
                                       : static_cast<unsigned>(argument.unsignedValue);
            written = std::snprintf(buffer, sizeof buffer, pattern.c_str(), value);
        }
    }
    if (written < 0) return {};
    return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(written), sizeof buffer - 1));
}

}  // namespace

FillReportText FormatFillReport(std::string_view format, double megabytes, std::uint32_t itemCount,
                                std::int32_t criticalPercent, std::int32_t warningPercent) {
    const Argument arguments[] = {
        {ArgumentKind::kFloating, megabytes, 0, 0},
        {ArgumentKind::kUnsigned, 0.0, itemCount, 0},
        {ArgumentKind::kSigned, 0.0, 0, criticalPercent},
        {ArgumentKind::kSigned, 0.0, 0, warningPercent},
    };
    std::size_t nextArgument = 0;

    FillReportText out{};
    BoundedWriter writer(out);
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find('%', pos);
        if (percent == std::string_view::npos) {
            writer.Append(format.substr(pos));
            break;
        }
        writer.Append(format.substr(pos, percent - pos));
        pos = percent + 1;
        if (pos < format.size() && format[pos] == '%') {
            writer.Append("%");
            ++pos;
            continue;
        }

        while (pos < format.size() && IsFlag(format[pos])) ++pos;
        bool fits = ReadNumber(format, pos);
        if (fits && pos < format.size() && format[pos] == '.') {
            ++pos;
            fits = ReadNumber(format, pos);
        }
        const char conversion = pos < format.size() ? format[pos] : '\0';
        if (fits && conversion != '\0' && nextArgument < std::size(arguments)) {
            const Argument& argument = arguments[nextArgument];
            const bool matches = argument.kind == ArgumentKind::kFloating ? IsFloatingConversion(conversion)
                                                                          : IsIntegerConversion(conversion);
            if (matches) {
                writer.Append(FormatDirective(format.substr(percent, pos - percent), conversion, argument));
                ++nextArgument;
                ++pos;
                continue;
            }
        }
        // Not a directive this report can fill: shown as the text it is.
        pos = percent + 1;
        writer.Append("%");
    }
    return out;
}

}  // namespace wastewatch
