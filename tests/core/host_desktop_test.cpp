// The host's desktop file: what it reads, and the clear errors for lines it cannot read.
#include <gtest/gtest.h>

#include "desktop.h"

namespace {

using qvhost::ParseDesktop;

TEST(HostDesktopParse, ReadsObjectsWithTheirMessageLists) {
    const auto parsed = ParseDesktop(
        "; comment\n[Desktop]\nName=Office\n\n[Object bin]\r\nId=7\nCaption = Bin \nPlugin=Wastewatch.dll\n"
        "Param1=A(B)\nParam2=0x10\nPosition=1,2,30,40\n8750393=Empty\n8750394=Full\n"
        "[Object]\nId=-3\nClass=display\nParam2=-1\n",
        "d.ini");
    EXPECT_TRUE(parsed.errors.empty()) << parsed.errors.front();
    EXPECT_EQ(parsed.desktop.name, "Office");
    ASSERT_EQ(parsed.desktop.objects.size(), 2u);
    const qvhost::DesktopObject& bin = parsed.desktop.objects[0];
    EXPECT_EQ(bin.id, 7);
    EXPECT_EQ(bin.caption, "Bin");
    EXPECT_EQ(bin.objectClass, "custom");
    EXPECT_EQ(bin.plugin, "Wastewatch.dll");
    EXPECT_EQ(bin.param1, "A(B)");
    EXPECT_EQ(bin.param2, 16u);
    ASSERT_TRUE(bin.position.has_value());
    EXPECT_EQ(bin.position->height, 40);
    EXPECT_EQ(bin.line, 5);
    EXPECT_EQ(qvhost::StateForCode(bin, 8750394), "Full");
    EXPECT_FALSE(qvhost::StateForCode(bin, 8750395).has_value());  // not in its list: ignored
    const qvhost::DesktopObject& other = parsed.desktop.objects[1];
    EXPECT_EQ(other.caption, "Object -3");
    EXPECT_EQ(other.param2, 0xFFFFFFFFu);
    EXPECT_FALSE(qvhost::IsCustomClass(other.objectClass));
}

TEST(HostDesktopParse, BadLinesNamedAndTheRestKept) {
    struct Case {
        const char* text;
        const char* error;  // expected start of the first error
        std::size_t objects;
        std::size_t errors = 1;
    };
    const Case cases[] = {
        {"[Object]\nId=1\nthis line has no equals\n", "f.ini:3: cannot read this line", 1},
        {"Id=1\n[Object]\nId=2\n", "f.ini:1: \"Id\" comes before any", 1},
        {"[Object]\nId=x1\n", "f.ini:2: Id must be a whole number", 0, 2},  // then: left out
        {"[Object]\nId=1\n[Object]\nCaption=A\n", "f.ini:3: this object has no Id", 1},
        {"[Object]\nId=1\nParam2=4294967296\n", "f.ini:3: Param2 must be", 1},
        {"[Object]\nId=1\nPosition=1,2,0,4\n", "f.ini:3: Position must be", 1},
        {"[Object]\nId=1\nPlugin=C:\\x.dll\n", "f.ini:3: Plugin must be a file name", 1},
        {"[Object]\nId=1\nColour=red\n", "f.ini:3: unknown key \"Colour\"", 1},
        {"[Object]\nId=1\n8750393=\n", "f.ini:3: message 8750393 has no state", 1},
        {"[Object]\nId=1\n8750393=A\n8750393=B\n", "f.ini:4: message 8750393 is listed twice", 1},
        {"[Object]\nId=1\n99999999999=A\n", "f.ini:3: message code", 1},
        {"[Object]\nId=1\nCaption=A\nCaption=B\n", "f.ini:4: Caption is given twice", 1},
        {"[Objects]\nId=1\n[Object]\nId=2\n", "f.ini:1: unknown section", 1},
        {"[Object\nId=1\n", "f.ini:1: a section name without", 0},
        {"[Object]\nId=1\nCaption=a\tb\n", "f.ini:3: the value of Caption holds a control character", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = ParseDesktop(c.text, "f.ini");
        ASSERT_EQ(parsed.errors.size(), c.errors);
        EXPECT_EQ(parsed.errors[0].rfind(c.error, 0), 0u) << parsed.errors[0];
        EXPECT_EQ(parsed.desktop.objects.size(), c.objects);
    }
}

TEST(HostDesktopParse, RepeatedIdLeftOutNamingTheFirst) {
    const auto parsed = ParseDesktop(
        "[Object]\nId=4\nCaption=First\n\n[Object]\nId=4\nCaption=Second\n[Object]\nId=5\n", "f.ini");
    ASSERT_EQ(parsed.errors.size(), 1u);
    EXPECT_EQ(parsed.errors[0], "f.ini:5: object Id 4 is already used by \"First\" (line 1); this object is left out");
    ASSERT_EQ(parsed.desktop.objects.size(), 2u);
    EXPECT_EQ(parsed.desktop.objects[0].caption, "First");
    EXPECT_EQ(parsed.desktop.objects[1].id, 5);
}

TEST(HostDesktopParse, DefaultDesktopIsCleanWithBothPlugins) {
    const auto parsed = ParseDesktop(qvhost::DefaultDesktopText(), qvhost::kDefaultDesktopFileName);
    EXPECT_TRUE(parsed.errors.empty()) << parsed.errors.front();
    std::size_t relaying = 0, watching = 0;
    for (const auto& o : parsed.desktop.objects) {
        if (o.plugin == "Hotrelay2.dll" && o.param1 == "Calculator.dll(Key)") ++relaying;
        if (o.plugin == "Wastewatch.dll") {
            ++watching;
            for (std::uint32_t code = 8750393; code <= 8750396; ++code) EXPECT_TRUE(qvhost::StateForCode(o, code));
        }
    }
    EXPECT_EQ(relaying, 16u);
    EXPECT_EQ(watching, 1u);
}

TEST(HostDesktopLayout, UnplacedObjectsGoBelowPlacedOnes) {
    const auto parsed = ParseDesktop("[Object]\nId=1\nPosition=0,0,50,100\n[Object]\nId=2\n[Object]\nId=3\n", "f");
    const auto places = qvhost::LayOut(parsed.desktop);
    ASSERT_EQ(places.size(), 3u);
    EXPECT_EQ(places[0].height, 100);
    EXPECT_GE(places[1].y, 100);
    EXPECT_EQ(places[1].y, places[2].y);
    EXPECT_GT(places[2].x, places[1].x + places[1].width - 1);
}

}  // namespace
