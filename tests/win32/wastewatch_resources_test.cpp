// Wastewatch's resources read back from the built DLL: dialog 102 control by control, string 1, and
// nothing else (no version resource).
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "dialog_template.h"
#include "wine_test_support.h"

namespace {

constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr std::uint32_t kStaticId = 0xFFFFFFFF;  // -1 in an extended template

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kNumberEdit = kChild | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_NUMBER | ES_AUTOHSCROLL;
constexpr DWORD kSpinner = kChild | UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
constexpr DWORD kCheckBox = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;

struct ExpectedControl {
    std::uint32_t id;
    const char* className;
    const char* text;
    DWORD style;
    std::int16_t x, y, cx, cy;
};

// In creation order: each up-down control takes the control before it as its buddy.
const ExpectedControl kControls[] = {
    {1012, "Static", "?", kLabel, 7, 7, 181, 24},
    {kStaticId, "Static", "", kChild | SS_ETCHEDHORZ, 7, 35, 181, 1},
    {kStaticId, "Static", "Check Interval (secs):", kLabel, 7, 44, 70, 8},
    {1002, "Edit", "", kNumberEdit, 84, 43, 40, 12},
    {1003, "msctls_updown32", "", kSpinner, 121, 43, 11, 14},
    {kStaticId, "Static", "Refresh Interval (secs):", kLabel, 7, 60, 74, 8},
    {1010, "Edit", "", kNumberEdit, 84, 58, 40, 12},
    {1011, "msctls_updown32", "", kSpinner, 121, 55, 11, 14},
    {kStaticId, "Button", "Bin Overflow Notification", kChild | BS_GROUPBOX, 7, 75, 181, 75},
    {1004, "Button", "Notify When Bin Exceeds Critical Limit", kCheckBox, 17, 87, 135, 10},
    {1005, "Button", "Notify When Bin Exceeds Warning Limit", kCheckBox, 17, 99, 141, 10},
    {kStaticId, "Static", "Critical Limit (MB):", kLabel, 17, 115, 56, 8},
    {1006, "Edit", "", kNumberEdit, 84, 113, 40, 12},
    {1007, "msctls_updown32", "", kSpinner, 121, 113, 11, 14},
    {kStaticId, "Static", "Warning Limit (MB):", kLabel, 17, 130, 62, 8},
    {1008, "Edit", "", kNumberEdit, 84, 128, 40, 12},
    {1009, "msctls_updown32", "", kSpinner, 121, 128, 11, 14},
    {IDOK, "Button", "OK", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 84, 156, 50, 14},
    {IDCANCEL, "Button", "Cancel", kChild | WS_TABSTOP | BS_PUSHBUTTON, 138, 156, 50, 14},
};

constexpr char kFillReportText[] =
    "All local bins are currently holding %g megabytes of data in %i object(s), which is %i percent of your "
    "critical limit and %i percent of your warning limit.";

TEST(WastewatchResources, Dialog102IsTheExtendedPropertiesTemplate) {
    auto plugin = qvtest::LoadPlugin("Wastewatch.dll");
    const auto dialog = qvtest::ReadDialogTemplate(plugin.module(), 102, kUsEnglish);
    ASSERT_TRUE(dialog.has_value()) << "no dialog 102 in U.S. English";

    EXPECT_TRUE(dialog->extended);
    // DS_SETFONT comes with the font the template names.
    const DWORD expectedStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_3DLOOK | DS_CONTEXTHELP |
                                DS_SETFOREGROUND | DS_SETFONT;
    EXPECT_EQ(dialog->style, expectedStyle) << std::hex << "0x" << dialog->style;
    EXPECT_EQ(dialog->exStyle, 0u);
    EXPECT_EQ(dialog->cx, 195);
    EXPECT_EQ(dialog->cy, 177);
    EXPECT_EQ(dialog->caption, "Wastewatch Properties");
    EXPECT_EQ(dialog->menu, "");
    EXPECT_EQ(dialog->className, "");
    EXPECT_EQ(dialog->font, "MS Sans Serif");
    EXPECT_EQ(dialog->pointSize, 8);
}

TEST(WastewatchResources, Dialog102HoldsEveryControlInOrder) {
    auto plugin = qvtest::LoadPlugin("Wastewatch.dll");
    const auto dialog = qvtest::ReadDialogTemplate(plugin.module(), 102, kUsEnglish);
    ASSERT_TRUE(dialog.has_value());
    ASSERT_EQ(dialog->controls.size(), std::size(kControls));

    for (std::size_t i = 0; i < std::size(kControls); ++i) {
        const ExpectedControl& want = kControls[i];
        const qvtest::DialogControl& got = dialog->controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\" id " + std::to_string(want.id));
        EXPECT_EQ(got.id, want.id);
        // Class names are matched without regard to case, as the system does (the resource compiler
        // writes named classes in upper case).
        EXPECT_EQ(lstrcmpiA(got.className.c_str(), want.className), 0) << got.className;
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.style, want.style) << std::hex << "0x" << got.style << " want 0x" << want.style;
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
    }
}

TEST(WastewatchResources, String1IsTheFillReportFormat) {
    auto plugin = qvtest::LoadPlugin("Wastewatch.dll");
    char text[256];
    std::fill(std::begin(text), std::end(text), '\x5a');
    const int length = ::LoadStringA(plugin.module(), 1, text, static_cast<int>(sizeof text));
    EXPECT_EQ(length, static_cast<int>(sizeof kFillReportText - 1));
    EXPECT_STREQ(text, kFillReportText);
    // String 1 lives in string block 1, in U.S. English.
    EXPECT_NE(::FindResourceExA(plugin.module(), RT_STRING, MAKEINTRESOURCEA(1), kUsEnglish), nullptr);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::set<WORD>*>(param)->insert(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    auto* found = reinterpret_cast<std::set<std::pair<std::string, std::string>>*>(param);
    const auto label = [](LPCSTR value) {
        if (!IS_INTRESOURCE(value)) return std::string(value);
        std::string ordinal = "#";
        ordinal += std::to_string(reinterpret_cast<std::uintptr_t>(value));
        return ordinal;
    };
    std::set<WORD> languages;
    ::EnumResourceLanguagesA(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    std::string languageList;
    for (WORD language : languages) languageList += std::to_string(language) + " ";
    found->insert({label(type) + "/" + label(name), languageList});
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPSTR type, LONG_PTR param) {
    ::EnumResourceNamesA(module, type, CollectName, param);
    return TRUE;
}

TEST(WastewatchResources, OnlyDialog102AndString1NoVersion) {
    auto plugin = qvtest::LoadPlugin("Wastewatch.dll");
    EXPECT_EQ(::FindResourceA(plugin.module(), MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION), nullptr);

    std::set<std::pair<std::string, std::string>> found;
    ::EnumResourceTypesA(plugin.module(), CollectType, reinterpret_cast<LONG_PTR>(&found));
    const std::set<std::pair<std::string, std::string>> expected = {
        {"#5/#102", "1033 "},  // RT_DIALOG
        {"#6/#1", "1033 "},    // RT_STRING block 1
    };
    EXPECT_EQ(found, expected);
}

}  // namespace
