// Whole numbers in the host's files (the desktop file, the records file): the text must be exactly
// one number in the base, with nothing before or after it, and fit the type.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace qvhost {

template <typename T>
std::optional<T> ParseInteger(std::string_view text, int base = 10) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || at != end) return std::nullopt;
    return value;
}

}  // namespace qvhost
