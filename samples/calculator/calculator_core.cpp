#include "calculator_core.h"

#include <limits>

namespace calculator {

namespace {

constexpr std::int64_t kLimit = 999'999'999'999;  // what kMaxDigits digits can show

}  // namespace

bool Calculator::Apply() {
    const std::int64_t operand = std::stoll(display_);
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
    display_ = std::to_string(result);
    return true;
}

bool Calculator::Press(std::uint32_t key) {
    if (key == 'C') {
        *this = Calculator{};
        return true;
    }
    if (error_) return key == 'C';
    if (key >= '0' && key <= '9') {
        const char digit = static_cast<char>(key);
        if (!entering_ || display_ == "0") {
            display_ = std::string(1, digit);
        } else if (display_.size() < kMaxDigits) {
            display_ += digit;
        }
        entering_ = true;
        return true;
    }
    if (key != '+' && key != '-' && key != '*' && key != '/' && key != '=') return false;
    if (entering_ || key == '=') {
        if (!Apply()) {
            error_ = true;
            display_ = "Error";
            return true;
        }
    }
    entering_ = false;
    pending_ = key == '=' ? 0 : static_cast<char>(key);
    return true;
}

}  // namespace calculator
