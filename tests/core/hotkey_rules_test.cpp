#include <gtest/gtest.h>
#include "hotkey_rules.h"
TEST(AtomName, Placeholder) { EXPECT_STREQ(hotrelay::MakeAtomName(12).data(), "Hotrelay12"); }
