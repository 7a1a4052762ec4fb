#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "key_names.h"

namespace hotrelay {
namespace {

TEST(KeyList, HoldsDigitsLettersAndFunctionKeysInOrder) {
    ASSERT_EQ(kKeyList.size(), 48u);
    std::size_t i = 0;
    for (char c = '0'; c <= '9'; ++c) EXPECT_EQ(kKeyList[i++], std::string(1, c));
    for (char c = 'A'; c <= 'Z'; ++c) EXPECT_EQ(kKeyList[i++], std::string(1, c));
    for (int n = 1; n <= 12; ++n) EXPECT_EQ(kKeyList[i++], "F" + std::to_string(n));
}

TEST(KeyName, FollowsTheKeyNameRule) {
    struct Case {
        std::uint32_t vk;
        const char* name;
    };
    const Case kCases[] = {
        {0x30, "0"},   {0x39, "9"},   {0x41, "A"},  {0x46, "F"},       {0x5A, "Z"}, {0x70, "F1"},
        {0x79, "F10"}, {0x7B, "F12"}, {0x6F, "o"},  {0x7C, "|"},        // just outside F1-F12: the character
        {0x61, "a"},   {0x20, " "},   {0x141, "A"}, {0xDEAD0046, "F"},  // only the low byte counts
        {0x100, ""},                                                    // a low byte of 0 gives an empty name
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.vk);
        const KeyNameBuffer name = KeyName(c.vk);
        EXPECT_STREQ(name.data(), c.name);
        EXPECT_LT(std::strlen(name.data()), name.size());
    }
}

TEST(KeyFromName, FollowsTheKeyCodeRule) {
    struct Case {
        const char* text;
        std::uint32_t vk;
    };
    const Case kCases[] = {
        {"0", 0x30},  {"9", 0x39},   {"A", 0x41},
        {"F", 0x46},  {"Z", 0x5A},   {"F1", 0x70},
        {"F9", 0x78}, {"F10", 0x79}, {"F12", 0x7B},
        {"", 0},  // nothing selected
        {"F13", 0},   {"F0", 0},     {"AB", 0},
        {"f1", 0},    {"F01", 0},    {"F1 and text far longer than the dialog's 19-character key buffer", 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(KeyFromName(c.text), c.vk);
    }
}

TEST(KeyFromName, InvertsKeyNameForEveryListEntry) {
    for (std::string_view entry : kKeyList) {
        SCOPED_TRACE(std::string(entry));
        const std::uint32_t vk = KeyFromName(entry);
        EXPECT_NE(vk, 0u);
        EXPECT_EQ(KeyName(vk).data(), entry);
    }
}

}  // namespace
}  // namespace hotrelay
