#include <gtest/gtest.h>

#include <string>

#include "relay_target.h"

namespace hotrelay {
namespace {

TEST(RelayTargetParse, AcceptsWellFormedTexts) {
    struct Case {
        std::string_view text, module, function;
    };
    const Case kCases[] = {
        {"Other.dll(Run)", "Other.dll", "Run"},
        {"A(B)C", "A", "B"},  // text after ')' is ignored
        {"A(B", "A", "B"},    // without ')' the function runs to the end
        {"A()", "A", ""},     // an empty export name
        {"A(", "A", ""},
        {"A(B(C)", "A", "B(C"},  // only the first '(' counts
        {"A(B))", "A", "B"},
        {"C:\\x y\\P.dll(F 1)", "C:\\x y\\P.dll", "F 1"},
        {"A(B)(C)", "A", "B"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.text));
        const auto target = ParseRelayTarget(c.text);
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->module, c.module);
        EXPECT_EQ(target->function, c.function);
    }
}

TEST(RelayTargetParse, RejectsMalformedTexts) {
    const std::string_view kCases[] = {
        "",     // no module
        "(B)",  // empty module name
        "()",   "(",     ")",
        "AB",    // no parentheses at all
        "A)B(",  // closing before opening
        "A)",   ")A(B)", "A)(B)",
    };
    for (std::string_view text : kCases) {
        SCOPED_TRACE(std::string(text));
        EXPECT_FALSE(ParseRelayTarget(text).has_value());
    }
}

TEST(RelayTargetParse, ViewsPointIntoTheInput) {
    const std::string text = "Module(Function)tail";
    const auto target = ParseRelayTarget(text);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->module.data(), text.data());
    EXPECT_EQ(target->function.data(), text.data() + 7);
}

TEST(RelayTargetParse, HandlesVeryLongNames) {
    for (std::size_t length : {259, 260, 300, 5000, 100000}) {
        SCOPED_TRACE(length);
        const std::string module(length, 'm');
        const std::string function(length, 'f');
        const auto target = ParseRelayTarget(module + "(" + function + ")");
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->module.size(), length);
        EXPECT_EQ(target->function.size(), length);
    }
}

TEST(RelayTargetParse, EmbeddedNulIsOrdinaryText) {
    const std::string text("A\0(B)", 5);
    const auto target = ParseRelayTarget(text);
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->module.size(), 2u);
    EXPECT_EQ(target->function, "B");
}

TEST(RelayMessages, NameWhatWasNotFound) {
    EXPECT_STREQ(MissingModuleMessage("Other.dll").data(), "Unable to locate plugin \"Other.dll\"");
    EXPECT_STREQ(MissingFunctionMessage("Run").data(), "Unable to locate plugin function \"Run\"");
    EXPECT_STREQ(MissingFunctionMessage("").data(), "Unable to locate plugin function \"\"");
    EXPECT_STREQ(kInvalidFormMessage, "Invalid parameter 1 string. It must be of the form LoadModule(Function)");
    EXPECT_STREQ(kRelayCaption, "Hotrelay::QVCommandEx");
}

TEST(RelayMessages, ShowNamesUpToTheLimitWhole) {
    // Longer than the 80-character text the names once had to fit, but not cut.
    for (std::size_t length : {std::size_t{54}, std::size_t{200}, kMaxShownNameLength}) {
        SCOPED_TRACE(length);
        const std::string name(length, 'n');
        EXPECT_EQ(MissingModuleMessage(name).data(), "Unable to locate plugin \"" + name + "\"");
        EXPECT_EQ(MissingFunctionMessage(name).data(), "Unable to locate plugin function \"" + name + "\"");
    }
}

TEST(RelayMessages, CutLongerNamesWithEllipsis) {
    for (std::size_t length : {kMaxShownNameLength + 1, std::size_t{300}, std::size_t{5000}}) {
        SCOPED_TRACE(length);
        std::string name;
        for (std::size_t i = 0; i < length; ++i) name.push_back(static_cast<char>('a' + i % 26));
        const std::string shown = name.substr(0, kShownNameLength) + "...";
        EXPECT_EQ(MissingModuleMessage(name).data(), "Unable to locate plugin \"" + shown + "\"");
        EXPECT_EQ(MissingFunctionMessage(name).data(), "Unable to locate plugin function \"" + shown + "\"");
    }
}

TEST(RelayLookupName, CopiesWholeNamesOnly) {
    struct Case {
        std::string text;
        bool copied;
    };
    const Case kCases[] = {
        {"", true},
        {"Other.dll", true},
        {std::string(kMaxLookupNameLength, 'n'), true},
        {std::string(kMaxLookupNameLength + 1, 'n'), false},  // cut, it could name another module
        {std::string(100000, 'n'), false},
        {std::string("A\0B", 3), false},  // the lookup would stop at the NUL
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text.size());
        LookupName name;
        name.fill('x');
        EXPECT_EQ(CopyLookupName(c.text, name), c.copied);
        EXPECT_EQ(name.data(), c.copied ? c.text : std::string()) << "a refused name leaves an empty text";
    }
}

}  // namespace
}  // namespace hotrelay
