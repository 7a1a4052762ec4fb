#include <gtest/gtest.h>

#include <cstring>

#include "status_text.h"

namespace hotrelay {
namespace {

TEST(StatusText, ChoosesTheLineFromTheRecord) {
    struct Case {
        const char* what;
        HotkeyRecord record;
        std::string_view expected;
    };
    const Case kCases[] = {
        {"fresh", {0, 0, 0, 0, {0, 0}, 0}, kStatusIncomplete},
        {"complete, atom 0", {kModWin, 0x79, kSingleClick, 0, {0, 0}, 0}, kStatusNotRegistered},
        {"atom held", {kModAlt, 0x46, kDoubleClick, 0xC001, {0, 0}, 0}, kStatusInUse},
        {"atom held, incomplete", {0, 0, 0, 0xC001, {0, 0}, 0}, kStatusInUse},
        {"no modifier", {0, 0x46, kMouseOver, 0, {0, 0}, 0}, kStatusIncomplete},
        {"no key", {kModShift, 0, kMouseOver, 0, {0, 0}, 0}, kStatusIncomplete},
        {"no kind", {kModControl, 0x46, 0, 0, {0, 0}, 0}, kStatusIncomplete},
        {"odd values", {3, 0x20, 7, 0, {0xFF, 0xFF}, 0xDEADBEEF}, kStatusNotRegistered},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(StatusText(&c.record), c.expected);
    }
}

TEST(StatusText, NullRecordIsAnInternalError) {
    EXPECT_EQ(StatusText(nullptr), "Internal error - please contact developer");
}

TEST(StatusText, TextsAreNulTerminated) {
    for (std::string_view text : {kStatusInUse, kStatusNotRegistered, kStatusIncomplete, kStatusNoRecord}) {
        SCOPED_TRACE(std::string(text));
        EXPECT_EQ(std::strlen(text.data()), text.size());
    }
    EXPECT_EQ(kStatusIncomplete, "Not configured - select a hotkey, modifier, and command type");
    EXPECT_EQ(kStatusNotRegistered, "Not configured - try another hotkey");
    EXPECT_EQ(kStatusInUse, "Configured and in use");
}

}  // namespace
}  // namespace hotrelay
