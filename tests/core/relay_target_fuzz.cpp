// libFuzzer target: any parameter 1 text must parse without fault, and an accepted one must split
// exactly as the rules say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "relay_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto target = hotrelay::ParseRelayTarget(text);
    const std::size_t open = text.find('(');
    const std::size_t close = text.find(')');
    if (!target) {
        const bool wellFormed = open != std::string_view::npos && open > 0 &&
                                (close == std::string_view::npos || close > open);
        if (wellFormed) std::abort();
        return 0;
    }
    if (target->module.empty() || target->module.data() != text.data()) std::abort();
    if (target->module.size() != open) std::abort();
    if (target->function.data() != text.data() + open + 1) std::abort();
    if (target->function.find(')') != std::string_view::npos) std::abort();
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    if (open + 1 + target->function.size() != end) std::abort();
    // The shown texts stay bounded whatever the name's length.
    if (hotrelay::MissingModuleMessage(target->module).size() > 25 + hotrelay::kMaxShownNameLength + 1) std::abort();
    if (hotrelay::MissingFunctionMessage(target->function).size() > 34 + hotrelay::kMaxShownNameLength + 1)
        std::abort();
    return 0;
}
