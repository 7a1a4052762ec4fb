// Dialog 101 as built into Hotrelay2.dll, read back from its resources and compared with the layout
// the dialog is specified with, control by control; and the template reader itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "dialog_template.h"
#include "wine_test_support.h"

namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr std::uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr std::uint32_t kLabel = kChild | SS_LEFT | WS_GROUP;
constexpr std::uint32_t kLine = kChild | SS_ETCHEDHORZ;
constexpr std::uint32_t kRadio = kChild | BS_AUTORADIOBUTTON;
constexpr std::uint32_t kFirstRadio = kRadio | WS_GROUP | WS_TABSTOP;
constexpr std::uint32_t kNoId = 0xFFFF;  // -1 as a classic template's 16-bit id

struct ExpectedControl {
    std::uint32_t id;
    const char* className;
    std::uint32_t style;
    const char* text;
    std::int16_t x, y, cx, cy;
};

const ExpectedControl kDialog101[] = {
    {kNoId, "Static", kLabel, "&Hot Key:", 7, 8, 28, 8},
    {1001, "ComboBox", kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, "", 38, 7, 48, 72},
    {kNoId, "Static", kLabel, "Key Modifier", 7, 27, 40, 8},
    {kNoId, "Static", kLine, "", 51, 31, 167, 1},
    {1002, "Button", kFirstRadio, "&Alt", 13, 39, 24, 10},
    {1003, "Button", kRadio, "&Ctrl", 59, 39, 26, 10},
    {1004, "Button", kRadio, "Shi&ft", 105, 39, 30, 10},
    {1005, "Button", kRadio, "&WinKey", 154, 39, 41, 10},
    {kNoId, "Static", kLabel, "Relation Command", 7, 54, 60, 8},
    {kNoId, "Static", kLine, "", 74, 58, 144, 1},
    {1006, "Button", kFirstRadio, "&Single Click", 13, 65, 53, 10},
    {1007, "Button", kRadio, "&Double Click", 82, 65, 56, 10},
    {1008, "Button", kRadio, "&Mouse Over", 154, 65, 55, 10},
    {kNoId, "Static", kLabel, "Current Status", 7, 82, 46, 8},
    {kNoId, "Static", kLine, "", 58, 85, 160, 1},
    {1009, "Static", kLabel, "?", 13, 93, 198, 8},
    {kNoId, "Static", kLine, "", 7, 109, 211, 1},
    {IDOK, "Button", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, "OK", 115, 7, 50, 14},
    {IDCANCEL, "Button", kChild | BS_PUSHBUTTON | WS_TABSTOP, "Cancel", 168, 7, 50, 14},
};

TEST(HotrelayDialog101Template, HeaderMatchesTheLayout) {
    auto plugin = qvtest::LoadPlugin("Hotrelay2.dll");
    const auto dialog = qvtest::ReadDialogTemplate(plugin.module(), 101, kEnglishUs);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_FALSE(dialog->extended);
    EXPECT_EQ(dialog->style,
              static_cast<std::uint32_t>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU))
        << std::hex << dialog->style;
    EXPECT_EQ(dialog->exStyle, 0u);
    EXPECT_EQ(dialog->cx, 225);
    EXPECT_EQ(dialog->cy, 117);
    EXPECT_EQ(dialog->caption, "Hotrelay Properties (Version 0.2.2 Build 4 Beta)");
    EXPECT_EQ(dialog->font, "MS Sans Serif");
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->menu, "");
    EXPECT_EQ(dialog->className, "");
}

TEST(HotrelayDialog101Template, ControlsMatchTheTableOneByOne) {
    auto plugin = qvtest::LoadPlugin("Hotrelay2.dll");
    const auto dialog = qvtest::ReadDialogTemplate(plugin.module(), 101, kEnglishUs);
    ASSERT_TRUE(dialog.has_value());
    ASSERT_EQ(dialog->controls.size(), std::size(kDialog101));
    for (std::size_t i = 0; i < std::size(kDialog101); ++i) {
        const ExpectedControl& want = kDialog101[i];
        const qvtest::DialogControl& got = dialog->controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\" id " + std::to_string(want.id));
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.className, want.className);
        EXPECT_EQ(got.style, want.style) << std::hex << got.style << " vs " << want.style;
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
    }
}

TEST(HotrelayDialog101Template, ExistsOnlyInUsEnglish) {
    auto plugin = qvtest::LoadPlugin("Hotrelay2.dll");
    EXPECT_TRUE(qvtest::ReadDialogTemplate(plugin.module(), 101, kEnglishUs).has_value());
    EXPECT_FALSE(qvtest::ReadDialogTemplate(plugin.module(), 101, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)).has_value());
    EXPECT_FALSE(qvtest::ReadDialogTemplate(plugin.module(), 102, kEnglishUs).has_value());
}

// The reader on templates compiled into this program: an extended one with every optional field.
TEST(DialogTemplateReader, ParsesExtendedTemplates) {
    const auto dialog = qvtest::ReadDialogTemplate(::GetModuleHandleA(nullptr), 900, kEnglishUs);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_TRUE(dialog->extended);
    EXPECT_EQ(dialog->style, static_cast<std::uint32_t>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION));
    EXPECT_EQ(dialog->exStyle, static_cast<std::uint32_t>(WS_EX_TOOLWINDOW));
    EXPECT_EQ(dialog->x, 3);
    EXPECT_EQ(dialog->y, 4);
    EXPECT_EQ(dialog->cx, 150);
    EXPECT_EQ(dialog->cy, 60);
    EXPECT_EQ(dialog->caption, "Extended sample");
    EXPECT_EQ(dialog->pointSize, 9);
    EXPECT_EQ(dialog->weight, 700);
    EXPECT_EQ(dialog->italic, 1);
    EXPECT_EQ(dialog->charset, 0xCC);
    EXPECT_EQ(dialog->font, "Tahoma");
    ASSERT_EQ(dialog->controls.size(), 5u);

    const auto& label = dialog->controls[0];
    EXPECT_EQ(label.id, 70000u);  // 32-bit ids survive in extended templates
    EXPECT_EQ(label.className, "Static");
    EXPECT_EQ(label.text, "Label");
    EXPECT_EQ(label.helpId, 55u);
    EXPECT_EQ(label.exStyle, static_cast<std::uint32_t>(WS_EX_RIGHT));
    EXPECT_NE(label.style & SS_NOPREFIX, 0u);
    EXPECT_EQ(dialog->controls[1].className, "Edit");
    EXPECT_NE(dialog->controls[1].style & ES_AUTOHSCROLL, 0u);
    // windres writes class names in capitals; the system compares them ignoring case.
    EXPECT_EQ(::lstrcmpiA(dialog->controls[2].className.c_str(), "msctls_updown32"), 0)
        << dialog->controls[2].className;
    EXPECT_EQ(dialog->controls[2].text, "Custom");
    EXPECT_EQ(dialog->controls[2].x, 100);
    EXPECT_EQ(dialog->controls[3].className, "ListBox");
    EXPECT_EQ(dialog->controls[4].className, "ScrollBar");
    EXPECT_EQ(dialog->controls[4].id, 74u);
}

TEST(DialogTemplateReader, FindsTheRequestedLanguageOnly) {
    HMODULE self = ::GetModuleHandleA(nullptr);
    const auto german = qvtest::ReadDialogTemplate(self, 901, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    ASSERT_TRUE(german.has_value());
    EXPECT_FALSE(german->extended);
    EXPECT_EQ(german->font, "");  // no DS_SETFONT, no font fields
    ASSERT_EQ(german->controls.size(), 1u);
    EXPECT_EQ(german->controls[0].text, "Ja");
    EXPECT_EQ(german->controls[0].className, "Button");
    EXPECT_FALSE(qvtest::ReadDialogTemplate(self, 901, kEnglishUs).has_value());
    EXPECT_FALSE(qvtest::ReadDialogTemplate(self, 999, kEnglishUs).has_value());
}

}  // namespace
