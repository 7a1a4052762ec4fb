// Platform-free rules of the hotkey binding and activation: the global atom's name and the mouse
// input a hotkey press turns into.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace hotrelay {

// Window messages, numbered as the system numbers them (checked against the SDK in the DLL).
inline constexpr std::uint32_t kWmMouseMove = 0x0200;
inline constexpr std::uint32_t kWmLButtonDown = 0x0201;
inline constexpr std::uint32_t kWmLButtonUp = 0x0202;
inline constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
inline constexpr std::uint32_t kWmHotkey = 0x0312;

inline constexpr char kPluginName[] = "Hotrelay";  // window property and atom prefix

// "Hotrelay" followed by the identifier in signed decimal: at most 19 characters and the NUL.
using AtomName = std::array<char, 20>;
AtomName MakeAtomName(std::int32_t objectId);

// x in the low 16 bits, y in the high 16 bits, each cut to 16 bits.
constexpr std::uint32_t PackPoint(std::int64_t x, std::int64_t y) {
    return (static_cast<std::uint32_t>(x) & 0xFFFFu) | ((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16);
}

struct PostedInput {
    std::uint32_t message;
    std::uint32_t lParam;  // packed point; wParam is always 0
    friend bool operator==(const PostedInput&, const PostedInput&) = default;
};

// What one hotkey press does to a window with the given client size.
struct InputPlan {
    bool setFocus = false;
    std::size_t count = 0;
    std::array<PostedInput, 5> steps{};
};
InputPlan PlanInput(std::uint32_t activationKind, std::int32_t clientWidth, std::int32_t clientHeight);

}  // namespace hotrelay
