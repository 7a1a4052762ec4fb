#include "calculator_core.h"

namespace calculator {

namespace {

constexpr std::int64_t kLimit = 999'999'999'999;  // what kMaxDigits digits can show

// The display's number: an optional '-' and at most kMaxDigits digits, so it cannot overflow.
std::int64_t ParseDisplay(std::string_view text) noexcept {
    const bool negative = !text.empty() && text[0] == '-';
    std::int64_t value = 0;
    for (std::size_t i = negative ? 1 : 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

}  // namespace

void Calculator::Show(std::string_view text) noexcept {
    length_ = text.size() < sizeof display_ ? text.size() : sizeof display_ - 1;
    for (std::size_t i = 0; i < length_; ++i) display_[i] = text[i];
    display_[length_] = '\0';
}

void Calculator::ShowNumber(std::int64_t value) noexcept {
    // |value| <= kLimit: the sign and twelve digits fit.
    char digits[kMaxDigits + 2];
    std::size_t at = sizeof digits;
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
        digits[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 && at > 1);
    if (value < 0) digits[--at] = '-';
    Show({digits + at, sizeof digits - at});
}

bool Calculator::Apply() noexcept {
    const std::int64_t operand = ParseDisplay(Display());
    std::int64_t result = operand;
    switch (pending_) {
        case '+': result = accumulator_ + operand; break;
        case '-': result = accumulator_ - operand; break;
        case '*':
            if (operand != 0 && (accumulator_ > kLimit / (operand < 0 ? -operand : operand) ||
                                 accumulator_ < -kLimit / (operand < 0 ? -operand : operand)))
                return false;
            result = accumulator_ * operand;
            break;
        case '/':
            if (operand == 0) return false;
            result = accumulator_ / operand;
            break;
        default: break;
    }
    if (result > kLimit || result < -kLimit) return false;
    accumulator_ = result;
    ShowNumber(result);
    return true;
}

bool Calculator::Press(std::uint32_t key) noexcept {
    if (key == 'C') {
        *this = Calculator{};
        return true;
    }
    if (error_) return false;
    if (key >= '0' && key <= '9') {
        const char digit = static_cast<char>(key);
        if (!entering_ || Display() == "0") {
            Show({&digit, 1});
        } else if (length_ < kMaxDigits) {
            display_[length_++] = digit;
            display_[length_] = '\0';
        }
        entering_ = true;
        return true;
    }
    if (key != '+' && key != '-' && key != '*' && key != '/' && key != '=') return false;
    if (entering_ || key == '=') {
        if (!Apply()) {
            error_ = true;
            Show("Error");
            return true;
        }
    }
    entering_ = false;
    pending_ = key == '=' ? 0 : static_cast<char>(key);
    return true;
}

}  // namespace calculator
