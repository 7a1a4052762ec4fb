#include "desktop.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "numbers.h"

namespace qvhost {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// Parameter 2 is a 32-bit value handed on unread: decimal (signed or not) or 0x-prefixed hex.
std::optional<std::uint32_t> ParseParam2(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseInteger<std::uint32_t>(text.substr(2), 16);
    if (!text.empty() && text[0] == '-') {
        const auto value = ParseInteger<std::int32_t>(text);
        if (!value) return std::nullopt;
        return static_cast<std::uint32_t>(*value);
    }
    return ParseInteger<std::uint32_t>(text);
}

std::optional<Rect> ParsePosition(std::string_view text) {
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = i < 3 ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const auto value = ParseInteger<int>(Trim(text.substr(0, comma)));
        if (!value || *value < 0 || *value > 10000) return std::nullopt;
        values[i] = *value;
        text = i < 3 ? text.substr(comma + 1) : std::string_view{};
    }
    if (values[2] == 0 || values[3] == 0) return std::nullopt;
    return Rect{values[0], values[1], values[2], values[3]};
}

class Parser {
public:
    explicit Parser(std::string_view fileName) : fileName_(fileName) {}

    void Line(std::string_view raw, int number) {
        lineNumber_ = number;
        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') return;
        if (line.front() == '[') return OpenSection(line);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return Error("cannot read this line (expected Key=Value or [Section])");
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key.empty()) return Error("a value without a key");
        if (value.size() > kMaxTextLength) return Error("the value of " + std::string(key) + " is too long");
        if (HasControlCharacter(value)) return Error("the value of " + std::string(key) + " holds a control character");
        switch (section_) {
            case Section::kNone:
                return Error(std::string(1, '"') + Shown(key) + "\" comes before any [Desktop] or [Object] section");
            case Section::kIgnored: return;
            case Section::kDesktop: return DesktopKey(key, value);
            case Section::kObject: return ObjectKey(key, value);
        }
    }

    ParsedDesktop Finish() {
        CloseObject();
        return std::move(result_);
    }

private:
    enum class Section { kNone, kIgnored, kDesktop, kObject };

    static std::string Shown(std::string_view text) {
        return std::string(text.substr(0, 64)) + (text.size() > 64 ? "..." : "");
    }

    void Error(const std::string& text) {
        result_.errors.push_back(std::string(fileName_) + ":" + std::to_string(lineNumber_) + ": " + text);
    }

    void OpenSection(std::string_view line) {
        CloseObject();
        if (line.back() != ']') {
            section_ = Section::kIgnored;
            return Error("a section name without its closing bracket; the section is skipped");
        }
        const std::string_view name = Trim(line.substr(1, line.size() - 2));
        if (EqualsNoCase(name, "Desktop")) {
            section_ = Section::kDesktop;
        } else if (EqualsNoCase(name.substr(0, 6), "Object") &&
                   (name.size() == 6 || name[6] == ' ' || name[6] == '\t')) {
            section_ = Section::kObject;
            object_ = DesktopObject{};
            object_.line = lineNumber_;
            seenKeys_.clear();
        } else {
            section_ = Section::kIgnored;
            Error("unknown section [" + Shown(name) + "]; it is skipped");
        }
    }

    void DesktopKey(std::string_view key, std::string_view value) {
        if (!EqualsNoCase(key, "Name")) return Error("unknown key \"" + Shown(key) + "\" in [Desktop]");
        if (value.empty()) return Error("the desktop name is empty");
        result_.desktop.name = std::string(value);
    }

    bool FirstTime(std::string_view key) {
        std::string lowered(key);
        std::transform(lowered.begin(), lowered.end(), lowered.begin(), Lower);
        if (std::find(seenKeys_.begin(), seenKeys_.end(), lowered) != seenKeys_.end()) {
            Error(Shown(key) + " is given twice for this object; the first is kept");
            return false;
        }
        seenKeys_.push_back(std::move(lowered));
        return true;
    }

    void ObjectKey(std::string_view key, std::string_view value) {
        if (key.front() >= '0' && key.front() <= '9') return MessageKey(key, value);
        if (!FirstTime(key)) return;
        if (EqualsNoCase(key, "Id")) {
            const auto id = ParseInteger<std::int32_t>(value);
            if (!id) return Error("Id must be a whole number from -2147483648 to 2147483647");
            hasId_ = true;
            object_.id = *id;
        } else if (EqualsNoCase(key, "Caption")) {
            object_.caption = std::string(value);
        } else if (EqualsNoCase(key, "Class")) {
            if (value.empty()) return Error("the class is empty");
            object_.objectClass = std::string(value);
        } else if (EqualsNoCase(key, "Plugin")) {
            if (value.find_first_of("\\/:") != std::string_view::npos)
                return Error("Plugin must be a file name, without a folder");
            object_.plugin = std::string(value);
        } else if (EqualsNoCase(key, "Param1")) {
            object_.param1 = std::string(value);
        } else if (EqualsNoCase(key, "Param2")) {
            const auto param2 = ParseParam2(value);
            if (!param2) return Error("Param2 must be a 32-bit number (decimal or 0x hexadecimal)");
            object_.param2 = *param2;
        } else if (EqualsNoCase(key, "Position")) {
            const auto position = ParsePosition(value);
            if (!position) return Error("Position must be x,y,width,height (0 to 10000, width and height not 0)");
            object_.position = position;
        } else {
            Error("unknown key \"" + Shown(key) + "\" in [Object]");
        }
    }

    void MessageKey(std::string_view key, std::string_view value) {
        const auto code = ParseInteger<std::uint32_t>(key);
        if (!code) return Error("message code \"" + Shown(key) + "\" is not a 32-bit number");
        if (value.empty()) return Error("message " + std::string(key) + " has no state to show");
        const bool known = std::any_of(object_.messages.begin(), object_.messages.end(),
                                       [&](const MessageState& m) { return m.code == *code; });
        if (known) return Error("message " + std::to_string(*code) + " is listed twice; the first is kept");
        object_.messages.push_back(MessageState{*code, std::string(value)});
    }

    void CloseObject() {
        if (section_ != Section::kObject) return;
        section_ = Section::kNone;
        const int closingLine = lineNumber_;
        lineNumber_ = object_.line;
        const bool hadId = std::exchange(hasId_, false);
        if (!hadId) {
            Error("this object has no Id; it is left out");
        } else if (auto it = std::find_if(result_.desktop.objects.begin(), result_.desktop.objects.end(),
                                          [&](const DesktopObject& o) { return o.id == object_.id; });
                   it != result_.desktop.objects.end()) {
            Error("object Id " + std::to_string(object_.id) + " is already used by \"" + it->caption + "\" (line " +
                  std::to_string(it->line) + "); this object is left out");
        } else if (result_.desktop.objects.size() >= kMaxObjects) {
            Error(std::string("more than ") + std::to_string(kMaxObjects) + " objects; this one is left out");
        } else {
            if (object_.caption.empty()) object_.caption = std::string("Object ") + std::to_string(object_.id);
            result_.desktop.objects.push_back(std::move(object_));
        }
        lineNumber_ = closingLine;
    }

    std::string_view fileName_;
    ParsedDesktop result_;
    Section section_ = Section::kNone;
    DesktopObject object_;
    bool hasId_ = false;
    std::vector<std::string> seenKeys_;
    int lineNumber_ = 0;
};

}  // namespace

ParsedDesktop ParseDesktop(std::string_view text, std::string_view fileName) {
    Parser parser(fileName);
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        parser.Line(line, ++number);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return parser.Finish();
}

std::optional<std::string_view> StateForCode(const DesktopObject& object, std::uint32_t code) {
    for (const MessageState& m : object.messages) {
        if (m.code == code) return std::string_view(m.state);
    }
    return std::nullopt;
}

std::string LibraryKey(std::string_view fileName) {
    std::string key(fileName);
    std::transform(key.begin(), key.end(), key.begin(), Lower);
    return key;
}

std::vector<Rect> LayOut(const Desktop& desktop) {
    constexpr int kCellWidth = 160, kCellHeight = 60, kGap = 10, kColumns = 4;
    int bottom = 0;
    for (const DesktopObject& o : desktop.objects) {
        if (o.position) bottom = std::max(bottom, o.position->y + o.position->height);
    }
    std::vector<Rect> places;
    int next = 0;
    for (const DesktopObject& o : desktop.objects) {
        if (o.position) {
            places.push_back(*o.position);
            continue;
        }
        places.push_back(Rect{kGap + (next % kColumns) * (kCellWidth + kGap),
                              bottom + kGap + (next / kColumns) * (kCellHeight + kGap), kCellWidth, kCellHeight});
        ++next;
    }
    return places;
}

}  // namespace qvhost
