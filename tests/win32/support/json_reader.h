// Reads a JSON document, as programs under test write them, into a tree the tests can walk.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvtest {

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;                            // an array's
    std::vector<std::pair<std::string, JsonValue>> members;  // an object's, in the document's order

    // A member of an object by name; null if this is no object or it has no such member.
    const JsonValue* Find(std::string_view name) const;
};

// The document, or nothing if it is not well-formed JSON (trailing text included).
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace qvtest
