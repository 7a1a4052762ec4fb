// libFuzzer target: any parameter 1 text must parse without fault, and an accepted one must split
// exactly as the rules say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
    const auto moduleText = hotrelay::MissingModuleMessage(target->module);
    const auto functionText = hotrelay::MissingFunctionMessage(target->function);
    if (std::strlen(moduleText.data()) > 25 + hotrelay::kMaxShownNameLength + 1) std::abort();
    if (std::strlen(functionText.data()) > 34 + hotrelay::kMaxShownNameLength + 1) std::abort();
    // A name is looked up whole or not at all.
    hotrelay::LookupName name;
    const bool copied = hotrelay::CopyLookupName(target->function, name);
    if (copied != (target->function.size() <= hotrelay::kMaxLookupNameLength &&
                   target->function.find('\0') == std::string_view::npos))
        std::abort();
    if (copied && std::string_view(name.data()) != target->function) std::abort();
    return 0;
}
