// The properties dialog's status line: whether the object's hotkey is in force, and if not, why.
#pragma once

#include <string_view>

#include "hotkey_record.h"

namespace hotrelay {

inline constexpr std::string_view kStatusInUse = "Configured and in use";
inline constexpr std::string_view kStatusNotRegistered = "Not configured - try another hotkey";
inline constexpr std::string_view kStatusIncomplete = "Not configured - select a hotkey, modifier, and command type";
inline constexpr std::string_view kStatusNoRecord = "Internal error - please contact developer";

// The texts are views of string literals, so data() is NUL-terminated.
// A held atom means the hotkey was registered; a complete record without one means registering
// failed (the combination is taken); anything else still lacks a setting. Null: no record given.
std::string_view StatusText(const HotkeyRecord* record);

}  // namespace hotrelay
