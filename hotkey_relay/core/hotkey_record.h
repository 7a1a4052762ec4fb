// Hotrelay2's per-object data record, held and stored by the host. Its layout is fixed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hotrelay {

struct HotkeyRecord {
    std::uint32_t modifiers;       // 0 none, else one of kModAlt..kModWin
    std::uint32_t virtualKey;      // 0 none, else '0'-'9', 'A'-'Z' or F1-F12
    std::uint32_t activationKind;  // 0 none, else kSingleClick, kDoubleClick or kMouseOver
    std::uint16_t atom;            // global atom naming the registered hotkey; 0 = not registered
    std::uint8_t reserved[2];      // belongs to the host's storage; never written here
    std::uint32_t previousProc;    // the object window's procedure before ours replaced it
};
static_assert(sizeof(HotkeyRecord) == 20);
static_assert(offsetof(HotkeyRecord, modifiers) == 0);
static_assert(offsetof(HotkeyRecord, virtualKey) == 4);
static_assert(offsetof(HotkeyRecord, activationKind) == 8);
static_assert(offsetof(HotkeyRecord, atom) == 12);
static_assert(offsetof(HotkeyRecord, reserved) == 14);
static_assert(offsetof(HotkeyRecord, previousProc) == 16);

// Modifier flags as RegisterHotKey takes them.
inline constexpr std::uint32_t kModAlt = 1;
inline constexpr std::uint32_t kModControl = 2;
inline constexpr std::uint32_t kModShift = 4;
inline constexpr std::uint32_t kModWin = 8;

// Activation kinds: what a hotkey press does to the object's window.
inline constexpr std::uint32_t kSingleClick = 1;
inline constexpr std::uint32_t kDoubleClick = 2;
inline constexpr std::uint32_t kMouseOver = 3;

// A record can be bound only when every setting has been chosen.
constexpr bool SettingsComplete(const HotkeyRecord& r) {
    return r.modifiers != 0 && r.virtualKey != 0 && r.activationKind != 0;
}

}  // namespace hotrelay
