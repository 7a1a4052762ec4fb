#include "relay_target.h"

#include <algorithm>

namespace hotrelay {

std::optional<RelayTarget> ParseRelayTarget(std::string_view parameter1) {
    const std::size_t open = std::min(parameter1.find('('), parameter1.size());
    const std::size_t close = std::min(parameter1.find(')'), parameter1.size());
    if (open == 0 || close == 0 || close <= open) return std::nullopt;
    return RelayTarget{parameter1.substr(0, open), parameter1.substr(open + 1, close - open - 1)};
}

namespace {

std::string Quoted(std::string_view prefix, std::string_view name) {
    const bool cut = name.size() > kMaxShownNameLength;
    const std::string_view shown = cut ? name.substr(0, kShownNameLength) : name;
    std::string text;
    text.reserve(prefix.size() + shown.size() + 5);
    text.append(prefix).append(shown);
    if (cut) text.append("...");
    text.push_back('"');
    return text;
}

}  // namespace

std::string MissingModuleMessage(std::string_view module) {
    return Quoted("Unable to locate plugin \"", module);
}

std::string MissingFunctionMessage(std::string_view function) {
    return Quoted("Unable to locate plugin function \"", function);
}

}  // namespace hotrelay
