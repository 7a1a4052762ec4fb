// The keys a hotkey can use, as the properties dialog lists them, and the two rules between a
// virtual-key code and its list text.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace hotrelay {

inline constexpr std::uint32_t kVkF1 = 0x70;
inline constexpr std::uint32_t kVkF12 = 0x7B;

// The list's entries, in the order shown: "0"-"9", "A"-"Z", "F1"-"F12".
inline constexpr std::size_t kKeyListSize = 48;
extern const std::array<std::string_view, kKeyListSize> kKeyList;

// A key's name: "F1"-"F12" for 0x70-0x7B, otherwise the one character whose code is the low byte
// (empty when that byte is 0). NUL-terminated in a 20-character buffer.
using KeyNameBuffer = std::array<char, 20>;
KeyNameBuffer KeyName(std::uint32_t virtualKey);

// A list text's virtual-key code: 0x70-0x7B for "F1"-"F12", the character's code for any other
// one-character text, and 0 for an empty text or one that is no list entry.
std::uint32_t KeyFromName(std::string_view text);

}  // namespace hotrelay
