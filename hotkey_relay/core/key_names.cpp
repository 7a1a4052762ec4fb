#include "key_names.h"

namespace hotrelay {

const std::array<std::string_view, kKeyListSize> kKeyList = {
    "0", "1", "2", "3", "4",  "5",  "6",  "7",  "8",  "9",  "A",  "B",  "C",  "D",   "E",   "F",
    "G", "H", "I", "J", "K",  "L",  "M",  "N",  "O",  "P",  "Q",  "R",  "S",  "T",   "U",   "V",
    "W", "X", "Y", "Z", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
};

KeyNameBuffer KeyName(std::uint32_t virtualKey) {
    KeyNameBuffer name{};
    if (virtualKey >= kVkF1 && virtualKey <= kVkF12) {
        const std::uint32_t number = virtualKey - kVkF1 + 1;
        name[0] = 'F';
        if (number >= 10) {
            name[1] = '1';
            name[2] = static_cast<char>('0' + number - 10);
        } else {
            name[1] = static_cast<char>('0' + number);
        }
        return name;
    }
    name[0] = static_cast<char>(virtualKey & 0xFFu);
    return name;
}

std::uint32_t KeyFromName(std::string_view text) {
    if (text.size() == 1) return static_cast<unsigned char>(text[0]);
    for (std::uint32_t vk = kVkF1; vk <= kVkF12; ++vk) {
        if (text == KeyName(vk).data()) return vk;
    }
    return 0;
}

}  // namespace hotrelay
