// Parameter 1 of a relaying object names a module already loaded in the host and one of its
// exports, written module(function). These rules read it and compose the texts shown when the
// target cannot be found.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace hotrelay {

struct RelayTarget {
    std::string_view module;    // never empty
    std::string_view function;  // may be empty: "A()" names an export with an empty name
};

// Positions of the first '(' and the first ')' decide; a missing one counts as standing at the end.
// Text after the first ')' is ignored, and without a ')' the function name runs to the end.
// Nothing when the module name would be empty or the ')' comes before the '('.
std::optional<RelayTarget> ParseRelayTarget(std::string_view parameter1) noexcept;

inline constexpr char kRelayCaption[] = "Hotrelay::QVCommandEx";
inline constexpr char kInvalidFormMessage[] = "Invalid parameter 1 string. It must be of the form LoadModule(Function)";

// Names longer than this are shown cut, their first kShownNameLength characters followed by "...",
// so that a message box stays readable; the lookups themselves always use the whole name.
inline constexpr std::size_t kMaxShownNameLength = 259;
inline constexpr std::size_t kShownNameLength = 256;

// A module or function name as the platform's lookups take it: copied whole and NUL-terminated, at
// most kMaxLookupNameLength characters.
inline constexpr std::size_t kMaxLookupNameLength = 259;
using LookupName = std::array<char, kMaxLookupNameLength + 1>;
// False when the name cannot be looked up as it stands: longer than the buffer, or holding a NUL
// that would end it early. Such a name is "not found"; a cut name could match another module or export.
bool CopyLookupName(std::string_view name, LookupName& out) noexcept;

// The texts naming what could not be found: Unable to locate plugin "name" and
// Unable to locate plugin function "name". NUL-terminated.
inline constexpr std::size_t kRelayMessageCapacity = 34 + kMaxShownNameLength + 2;
using RelayMessage = std::array<char, kRelayMessageCapacity>;
RelayMessage MissingModuleMessage(std::string_view module) noexcept;
RelayMessage MissingFunctionMessage(std::string_view function) noexcept;

}  // namespace hotrelay
