#include "hotkey_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "hotkey_record.h"

namespace hotrelay {
namespace {

TEST(AtomName, IsPluginNameAndSignedDecimalIdentifier) {
    const struct {
        std::int32_t id;
        const char* name;
    } cases[] = {
        {12, "Hotrelay12"},
        {0, "Hotrelay0"},
        {7, "Hotrelay7"},
        {-1, "Hotrelay-1"},
        {INT_MAX, "Hotrelay2147483647"},
        {INT_MIN, "Hotrelay-2147483648"},  // identifiers of 2^31 and above read as signed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const AtomName name = MakeAtomName(c.id);
        EXPECT_STREQ(name.data(), c.name);
        EXPECT_LE(std::strlen(name.data()), 19u);
    }
}

TEST(PackPoint, CutsEachCoordinateTo16Bits) {
    EXPECT_EQ(PackPoint(0, 0), 0u);
    EXPECT_EQ(PackPoint(3, 5), 0x00050003u);
    EXPECT_EQ(PackPoint(0x12345, 0x10002), 0x00022345u);
    EXPECT_EQ(PackPoint(-1, 2), 0x0002FFFFu);
}

std::vector<PostedInput> Steps(const InputPlan& plan) {
    return {plan.steps.begin(), plan.steps.begin() + static_cast<std::ptrdiff_t>(plan.count)};
}

TEST(PlanInput, SingleClickCentreThenBelowRight) {
    const InputPlan plan = PlanInput(kSingleClick, 101, 51);
    EXPECT_TRUE(plan.setFocus);
    const std::vector<PostedInput> expected = {
        {kWmLButtonDown, PackPoint(50, 25)},
        {kWmLButtonUp, PackPoint(50, 25)},
        {kWmMouseMove, PackPoint(111, 61)},
    };
    EXPECT_EQ(Steps(plan), expected);
}

TEST(PlanInput, DoubleClickNoUpThenMovesBelowCentre) {
    const InputPlan plan = PlanInput(kDoubleClick, 200, 80);
    EXPECT_TRUE(plan.setFocus);
    const std::vector<PostedInput> expected = {
        {kWmLButtonDown, PackPoint(100, 40)}, {kWmLButtonUp, PackPoint(100, 40)},
        {kWmLButtonDown, PackPoint(100, 40)}, {kWmLButtonDblClk, PackPoint(100, 40)},
        {kWmMouseMove, PackPoint(100, 90)},
    };
    EXPECT_EQ(Steps(plan), expected);
}

TEST(PlanInput, MouseOverMovesToCentreWithoutFocus) {
    const InputPlan plan = PlanInput(kMouseOver, 9, 7);
    EXPECT_FALSE(plan.setFocus);
    const std::vector<PostedInput> expected = {{kWmMouseMove, PackPoint(4, 3)}};
    EXPECT_EQ(Steps(plan), expected);
}

TEST(PlanInput, EmptyClientAreaClicksAtOrigin) {
    EXPECT_EQ(Steps(PlanInput(kSingleClick, 0, 0)).back(), (PostedInput{kWmMouseMove, PackPoint(10, 10)}));
    EXPECT_EQ(Steps(PlanInput(kSingleClick, 0, 0)).front(), (PostedInput{kWmLButtonDown, 0}));
    EXPECT_EQ(Steps(PlanInput(kDoubleClick, 0, 0)).back(), (PostedInput{kWmMouseMove, PackPoint(0, 10)}));
}

TEST(PlanInput, UnknownKindsPostNothing) {
    for (std::uint32_t kind : {0u, 4u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(kind);
        const InputPlan plan = PlanInput(kind, 100, 100);
        EXPECT_EQ(plan.count, 0u);
        EXPECT_FALSE(plan.setFocus);
    }
}

TEST(PlanInput, HugeClientAreaDoesNotOverflow) {
    const InputPlan plan = PlanInput(kSingleClick, INT_MAX, INT_MAX);
    ASSERT_EQ(plan.count, 3u);
    // Coordinates are cut to 16 bits, as the mouse messages carry them.
    EXPECT_EQ(plan.steps[2].lParam, PackPoint(std::int64_t{INT_MAX} + 10, std::int64_t{INT_MAX} + 10));
}

TEST(HotkeyRecordSettings, CompleteOnlyWithModifierKeyAndKind) {
    HotkeyRecord r{};
    EXPECT_FALSE(SettingsComplete(r));
    r = {kModControl, 'F', kSingleClick, 0, {0, 0}, 0};
    EXPECT_TRUE(SettingsComplete(r));
    for (int field = 0; field < 3; ++field) {
        HotkeyRecord partial = r;
        (field == 0 ? partial.modifiers : field == 1 ? partial.virtualKey : partial.activationKind) = 0;
        SCOPED_TRACE(field);
        EXPECT_FALSE(SettingsComplete(partial));
    }
}

}  // namespace
}  // namespace hotrelay
