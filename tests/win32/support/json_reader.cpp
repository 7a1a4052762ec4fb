#include "json_reader.h"

#include <cstdlib>

namespace qvtest {
namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<JsonValue> Document() {
        std::optional<JsonValue> value = Value(0);
        SkipSpace();
        if (!value || at_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    static constexpr int kMaxDepth = 64;

    void SkipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Take(char c) {
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool TakeWord(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    std::optional<JsonValue> Value(int depth) {
        if (depth > kMaxDepth) return std::nullopt;
        SkipSpace();
        if (at_ >= text_.size()) return std::nullopt;
        JsonValue value;
        const char c = text_[at_];
        if (c == '{') return Object(depth);
        if (c == '[') return Array(depth);
        if (c == '"') {
            std::optional<std::string> text = String();
            if (!text) return std::nullopt;
            value.kind = JsonValue::Kind::kString;
            value.text = std::move(*text);
            return value;
        }
        if (TakeWord("true")) {
            value.kind = JsonValue::Kind::kBool;
            value.boolean = true;
            return value;
        }
        if (TakeWord("false")) {
            value.kind = JsonValue::Kind::kBool;
            return value;
        }
        if (TakeWord("null")) return value;
        const std::string number(text_.substr(at_, text_.find_first_not_of("+-0123456789.eE", at_) - at_));
        char* end = nullptr;
        value.number = std::strtod(number.c_str(), &end);
        if (number.empty() || end != number.c_str() + number.size()) return std::nullopt;
        value.kind = JsonValue::Kind::kNumber;
        at_ += number.size();
        return value;
    }

    std::optional<JsonValue> Object(int depth) {
        JsonValue value;
        value.kind = JsonValue::Kind::kObject;
        ++at_;
        if (Take('}')) return value;
        do {
            SkipSpace();
            std::optional<std::string> name = String();
            if (!name || !Take(':')) return std::nullopt;
            std::optional<JsonValue> member = Value(depth + 1);
            if (!member) return std::nullopt;
            value.members.emplace_back(std::move(*name), std::move(*member));
        } while (Take(','));
        if (!Take('}')) return std::nullopt;
        return value;
    }

    std::optional<JsonValue> Array(int depth) {
        JsonValue value;
        value.kind = JsonValue::Kind::kArray;
        ++at_;
        if (Take(']')) return value;
        do {
            std::optional<JsonValue> item = Value(depth + 1);
            if (!item) return std::nullopt;
            value.items.push_back(std::move(*item));
        } while (Take(','));
        if (!Take(']')) return std::nullopt;
        return value;
    }

    // A string at the reader's place; \u escapes beyond ASCII become '?', which no test compares.
    std::optional<std::string> String() {
        if (at_ >= text_.size() || text_[at_] != '"') return std::nullopt;
        std::string text;
        for (++at_; at_ < text_.size(); ++at_) {
            const char c = text_[at_];
            if (c == '"') {
                ++at_;
                return text;
            }
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (++at_ >= text_.size()) return std::nullopt;
            switch (text_[at_]) {
                case '"': text += '"'; break;
                case '\\': text += '\\'; break;
                case '/': text += '/'; break;
                case 'b': text += '\b'; break;
                case 'f': text += '\f'; break;
                case 'n': text += '\n'; break;
                case 'r': text += '\r'; break;
                case 't': text += '\t'; break;
                case 'u': {
                    const std::string digits(text_.substr(at_ + 1, 4));
                    char* end = nullptr;
                    const unsigned long code = std::strtoul(digits.c_str(), &end, 16);
                    if (digits.size() != 4 || end != digits.c_str() + 4) return std::nullopt;
                    text += code < 0x80 ? static_cast<char>(code) : '?';
                    at_ += 4;
                    break;
                }
                default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
    if (kind != Kind::kObject) return nullptr;
    for (const auto& [key, value] : members)
        if (key == name) return &value;
    return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text) {
    return Reader(text).Document();
}

}  // namespace qvtest
