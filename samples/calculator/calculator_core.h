// The calculator sample's arithmetic: whole numbers, one pending operation, keys as characters.
// Platform-free, so that it is unit-tested natively. No allocation: the display is a fixed buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace calculator {

inline constexpr std::size_t kMaxDigits = 12;

class Calculator {
public:
    // Keys: '0'-'9', '+', '-', '*', '/', '=' and 'C' (clear). Any other key changes nothing and
    // returns false.
    bool Press(std::uint32_t key) noexcept;
    // What the display shows: a number, or "Error" after an overflow or a division by zero. A view of
    // NUL-terminated text, valid until the next key.
    std::string_view Display() const noexcept { return {display_, length_}; }

private:
    bool Apply() noexcept;
    void Show(std::string_view text) noexcept;
    void ShowNumber(std::int64_t value) noexcept;

    char display_[kMaxDigits + 2] = "0";  // a sign, the digits and the NUL
    std::size_t length_ = 1;
    std::int64_t accumulator_ = 0;
    char pending_ = 0;       // operation waiting for its second operand
    bool entering_ = false;  // digits go on the number being typed
    bool error_ = false;
};

}  // namespace calculator
