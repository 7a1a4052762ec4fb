#include "fill_report.h"

#include <cstdio>
#include <iterator>

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
    explicit BoundedWriter(FillReportText& out) noexcept : out_(out) { out_[0] = '\0'; }
    void Append(std::string_view text) noexcept {
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

bool IsFlag(char c) noexcept {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}
bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}
bool IsFloatingConversion(char c) noexcept {
    return std::string_view("eEfFgG").find(c) != std::string_view::npos;
}
bool IsIntegerConversion(char c) noexcept {
    return std::string_view("diuoxX").find(c) != std::string_view::npos;
}

// Reads a run of digits at format[pos] into value; false when the number exceeds kMaxFieldWidth.
bool ReadNumber(std::string_view format, std::size_t& pos, unsigned& value) noexcept {
    value = 0;
    while (pos < format.size() && IsDigit(format[pos])) {
        value = value * 10 + static_cast<unsigned>(format[pos] - '0');
        if (value > kMaxFieldWidth) return false;
        ++pos;
    }
    return true;
}

// A checked directive, rebuilt for printf in a few bytes however it was written: each flag once
// (repeating one changes nothing), the width, and the precision without leading zeros.
struct Directive {
    bool flags[5] = {};  // in the order of kFlagOrder
    bool hasWidth = false;
    unsigned width = 0;
    bool hasPrecision = false;
    unsigned precision = 0;
};
constexpr char kFlagOrder[] = {'-', '+', ' ', '#', '0'};

// "%" five flags, three digits, ".", three digits, the conversion and the NUL.
using Pattern = char[16];

void AppendNumber(char* pattern, std::size_t& length, unsigned value) noexcept {
    char digits[3];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < sizeof digits);
    while (count > 0) pattern[length++] = digits[--count];
}

void BuildPattern(const Directive& directive, char conversion, Pattern& pattern) noexcept {
    std::size_t length = 0;
    pattern[length++] = '%';
    for (std::size_t i = 0; i < std::size(kFlagOrder); ++i) {
        if (directive.flags[i]) pattern[length++] = kFlagOrder[i];
    }
    if (directive.hasWidth) AppendNumber(pattern, length, directive.width);
    if (directive.hasPrecision) {
        pattern[length++] = '.';
        AppendNumber(pattern, length, directive.precision);
    }
    pattern[length++] = conversion;
    pattern[length] = '\0';
}

// One conversion into a buffer that holds any checked directive's output. The Windows build uses the
// system C runtime's own formatter, the one the string resource was written for: the toolchain's C99
// replacement would add about 20 KiB to the DLL. Its exponents have three digits ("1e-006").
template <std::size_t kSize, typename Value>
int FormatOne(char (&buffer)[kSize], const char* pattern, Value value) noexcept {
#if defined(_WIN32)
    const int written = _snprintf(buffer, kSize - 1, pattern, value);
    buffer[kSize - 1] = '\0';
    return written < 0 ? static_cast<int>(kSize - 1) : written;
#else
    return std::snprintf(buffer, kSize, pattern, value);
#endif
}

// Formats one checked directive with its argument.
void AppendDirective(BoundedWriter& writer, const Directive& directive, char conversion,
                     const Argument& argument) noexcept {
    Pattern pattern;
    char buffer[2 * kMaxFieldWidth + 64];
    int written = 0;
    if (argument.kind == ArgumentKind::kFloating) {
        BuildPattern(directive, conversion, pattern);
        written = FormatOne(buffer, pattern, argument.floating);
    } else {
        // A count is never negative: its signed conversions print it as the unsigned value it is.
        const bool asSigned = argument.kind == ArgumentKind::kSigned && (conversion == 'd' || conversion == 'i');
        if (asSigned) {
            BuildPattern(directive, conversion, pattern);
            written = FormatOne(buffer, pattern, static_cast<int>(argument.signedValue));
        } else {
            BuildPattern(directive, (conversion == 'd' || conversion == 'i') ? 'u' : conversion, pattern);
            const unsigned value = argument.kind == ArgumentKind::kSigned
                                       ? static_cast<unsigned>(argument.signedValue)
                                       : static_cast<unsigned>(argument.unsignedValue);
            written = FormatOne(buffer, pattern, value);
        }
    }
    if (written < 0) return;
    const std::size_t length = static_cast<std::size_t>(written) < sizeof buffer ? static_cast<std::size_t>(written)
                                                                                 : sizeof buffer - 1;
    writer.Append(std::string_view(buffer, length));
}

}  // namespace

FillReportText FormatFillReport(std::string_view format, double megabytes, std::uint32_t itemCount,
                                std::int32_t criticalPercent, std::int32_t warningPercent) noexcept {
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
            writer.Append({format.data() + pos, format.size() - pos});
            break;
        }
        writer.Append({format.data() + pos, percent - pos});
        pos = percent + 1;
        if (pos < format.size() && format[pos] == '%') {
            writer.Append("%");
            ++pos;
            continue;
        }

        Directive directive;
        while (pos < format.size() && IsFlag(format[pos])) {
            for (std::size_t i = 0; i < std::size(kFlagOrder); ++i) {
                if (format[pos] == kFlagOrder[i]) directive.flags[i] = true;
            }
            ++pos;
        }
        const std::size_t widthStart = pos;
        bool fits = ReadNumber(format, pos, directive.width);
        directive.hasWidth = pos != widthStart;
        if (fits && pos < format.size() && format[pos] == '.') {
            ++pos;
            directive.hasPrecision = true;
            fits = ReadNumber(format, pos, directive.precision);
        }
        const char conversion = pos < format.size() ? format[pos] : '\0';
        if (fits && conversion != '\0' && nextArgument < std::size(arguments)) {
            const Argument& argument = arguments[nextArgument];
            const bool matches = argument.kind == ArgumentKind::kFloating ? IsFloatingConversion(conversion)
                                                                          : IsIntegerConversion(conversion);
            if (matches) {
                AppendDirective(writer, directive, conversion, argument);
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
