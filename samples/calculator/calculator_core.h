// The calculator sample's arithmetic: whole numbers, one pending operation, keys as characters.
// Platform-free, so that it is unit-tested natively.
#pragma once

#include <cstdint>
#include <string>

namespace calculator {

class Calculator {
public:
    // Keys: '0'-'9', '+', '-', '*', '/', '=' and 'C' (clear). Any other key changes nothing and
    // returns false.
    bool Press(std::uint32_t key);
    // What the display shows: a number, or "Error" after an overflow or a division by zero.
    const std::string& Display() const { return display_; }

private:
    bool Apply();

    std::string display_ = "0";
    std::int64_t accumulator_ = 0;
    char pending_ = 0;       // operation waiting for its second operand
    bool entering_ = false;  // digits go on the number being typed
    bool error_ = false;
};

inline constexpr std::size_t kMaxDigits = 12;

}  // namespace calculator
