// QVConfig: the hotkey properties dialog (template 101), editing the host's record in place on OK.
#include <windows.h>

#include <cstdint>

#include "dialog_procedure.h"
#include "key_names.h"
#include "module_state.h"
#include "resource_ids.h"
#include "status_text.h"

namespace hotrelay {

static_assert(kModAlt == MOD_ALT && kModControl == MOD_CONTROL && kModShift == MOD_SHIFT && kModWin == MOD_WIN);
static_assert(kVkF1 == VK_F1 && kVkF12 == VK_F12);

namespace {

// The key-name rule's buffer; each use overwrites it.
KeyNameBuffer g_keyName{};

struct ButtonValue {
    int id;
    std::uint32_t value;
};
constexpr ButtonValue kModifierButtons[] = {
    {IDC_MODIFIER_ALT, kModAlt},
    {IDC_MODIFIER_CTRL, kModControl},
    {IDC_MODIFIER_SHIFT, kModShift},
    {IDC_MODIFIER_WIN, kModWin},
};
constexpr ButtonValue kKindButtons[] = {
    {IDC_KIND_SINGLE_CLICK, kSingleClick},
    {IDC_KIND_DOUBLE_CLICK, kDoubleClick},
    {IDC_KIND_MOUSE_OVER, kMouseOver},
};

template <std::size_t N>
void CheckMatchingButton(HWND dialog, const ButtonValue (&buttons)[N], std::uint32_t value) {
    for (const ButtonValue& button : buttons) {
        if (button.value == value) ::CheckDlgButton(dialog, button.id, BST_CHECKED);
    }
}

template <std::size_t N>
std::uint32_t CheckedValue(HWND dialog, const ButtonValue (&buttons)[N]) {
    std::uint32_t value = 0;
    for (const ButtonValue& button : buttons) {
        if (::IsDlgButtonChecked(dialog, button.id) == BST_CHECKED) value = button.value;
    }
    return value;
}

void OnInitDialog(HWND dialog, HotkeyRecord* record) {
    for (std::string_view entry : kKeyList) {  // views of literals: NUL-terminated
        ::SendDlgItemMessageA(dialog, IDC_HOTKEY_KEY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.data()));
    }
    if (record == nullptr) {
        ::SetDlgItemTextA(dialog, IDC_STATUS, StatusText(nullptr).data());
        return;
    }
    if (record->virtualKey != 0) {
        g_keyName = KeyName(record->virtualKey);
        // An empty name would match the first entry as a prefix; such a key is simply not in the list.
        if (g_keyName[0] != '\0') {
            ::SendDlgItemMessageA(dialog, IDC_HOTKEY_KEY, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(g_keyName.data()));
        }
    }
    if (record->modifiers != 0) CheckMatchingButton(dialog, kModifierButtons, record->modifiers);
    if (record->activationKind != 0) CheckMatchingButton(dialog, kKindButtons, record->activationKind);
    ::SetDlgItemTextA(dialog, IDC_STATUS, StatusText(record).data());
}

bool OnOk(HWND dialog, HotkeyRecord* record) {
    if (record == nullptr) return false;  // nothing to store into: the dialog stays open
    record->modifiers = CheckedValue(dialog, kModifierButtons);
    record->activationKind = CheckedValue(dialog, kKindButtons);
    char text[20] = {};
    ::GetDlgItemTextA(dialog, IDC_HOTKEY_KEY, text, sizeof text);
    record->virtualKey = KeyFromName(text);
    return true;
}

constexpr DLGPROC kHotkeyDialogProc = &qv::DialogProcedure<HotkeyRecord, OnInitDialog, OnOk>;

}  // namespace
}  // namespace hotrelay

extern "C" std::int32_t __stdcall QVConfig(const qv::ObjectRecord* /*object*/, hotrelay::HotkeyRecord* record,
                                           HWND owner) noexcept {
    ::DialogBoxParamA(hotrelay::g_instance, MAKEINTRESOURCEA(IDD_HOTKEY_PROPERTIES), owner, hotrelay::kHotkeyDialogProc,
                      reinterpret_cast<LPARAM>(record));
    return qv::kOk;
}
