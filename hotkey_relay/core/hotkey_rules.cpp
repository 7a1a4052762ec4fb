#include "hotkey_rules.h"

#include <charconv>
#include <cstring>

#include "hotkey_record.h"

namespace hotrelay {

AtomName MakeAtomName(std::int32_t objectId) {
    AtomName name{};
    constexpr std::size_t prefix = sizeof(kPluginName) - 1;
    std::memcpy(name.data(), kPluginName, prefix);
    // The longest identifier, -2147483648, takes 11 characters: 8 + 11 leaves room for the NUL.
    auto [end, ec] = std::to_chars(name.data() + prefix, name.data() + name.size() - 1, objectId);
    (void)ec;
    *end = '\0';
    return name;
}

InputPlan PlanInput(std::uint32_t activationKind, std::int32_t clientWidth, std::int32_t clientHeight) {
    // Halves rounded down, as arithmetic shifts give them.
    const std::int32_t cx = clientWidth >> 1;
    const std::int32_t cy = clientHeight >> 1;
    const std::uint32_t centre = PackPoint(cx, cy);
    // The closing move lies below the client area, so the pointer is seen to leave the object.
    const std::int64_t right = std::int64_t{clientWidth} + 10;
    const std::int64_t below = std::int64_t{clientHeight} + 10;

    InputPlan plan;
    auto post = [&plan](std::uint32_t message, std::uint32_t lParam) { plan.steps[plan.count++] = {message, lParam}; };
    switch (activationKind) {
        case kSingleClick:
            plan.setFocus = true;
            post(kWmLButtonDown, centre);
            post(kWmLButtonUp, centre);
            post(kWmMouseMove, PackPoint(right, below));
            break;
        case kDoubleClick:
            plan.setFocus = true;
            post(kWmLButtonDown, centre);
            post(kWmLButtonUp, centre);
            post(kWmLButtonDown, centre);
            post(kWmLButtonDblClk, centre);
            post(kWmMouseMove, PackPoint(cx, below));
            break;
        case kMouseOver: post(kWmMouseMove, centre); break;
        default: break;
    }
    return plan;
}

}  // namespace hotrelay
