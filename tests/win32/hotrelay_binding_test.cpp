#include <gtest/gtest.h>
#include "wine_test_support.h"
TEST(HotrelayExports, Load) { auto p = qvtest::LoadPlugin("Hotrelay2.dll"); EXPECT_NE(p.entry().init, nullptr); }
