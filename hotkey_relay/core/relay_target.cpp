#include "relay_target.h"

#include <algorithm>

namespace hotrelay {

std::optional<RelayTarget> ParseRelayTarget(std::string_view parameter1) noexcept {
    const std::size_t open = std::min(parameter1.find('('), parameter1.size());
    const std::size_t close = std::min(parameter1.find(')'), parameter1.size());
    if (open == 0 || close == 0 || close <= open) return std::nullopt;
    // Views built from positions already checked: substr would bring the runtime's throwing path.
    const char* text = parameter1.data();
    return RelayTarget{{text, open}, {text + open + 1, close - open - 1}};
}

bool CopyLookupName(std::string_view name, LookupName& out) noexcept {
    out[0] = '\0';
    if (name.size() > kMaxLookupNameLength || name.find('\0') != std::string_view::npos) return false;
    std::copy(name.begin(), name.end(), out.begin());
    out[name.size()] = '\0';
    return true;
}

namespace {

RelayMessage Quoted(std::string_view prefix, std::string_view name) noexcept {
    const bool cut = name.size() > kMaxShownNameLength;
    const std::string_view shown = cut ? std::string_view(name.data(), kShownNameLength) : name;
    RelayMessage text{};
    std::size_t length = 0;
    // Every part fits: the capacity is the longest prefix, the longest whole name, the quote and NUL.
    auto append = [&](std::string_view part) {
        for (char c : part) {
            if (length + 1 < text.size()) text[length++] = c;
        }
    };
    append(prefix);
    append(shown);
    if (cut) append("...");
    append("\"");
    text[length] = '\0';
    return text;
}

}  // namespace

RelayMessage MissingModuleMessage(std::string_view module) noexcept {
    return Quoted("Unable to locate plugin \"", module);
}

RelayMessage MissingFunctionMessage(std::string_view function) noexcept {
    return Quoted("Unable to locate plugin function \"", function);
}

}  // namespace hotrelay
