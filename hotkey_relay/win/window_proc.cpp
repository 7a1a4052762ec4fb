#include <windows.h>

#include "hotkey_rules.h"
#include "module_state.h"

namespace hotrelay {

static_assert(kWmMouseMove == WM_MOUSEMOVE && kWmLButtonDown == WM_LBUTTONDOWN && kWmLButtonUp == WM_LBUTTONUP &&
              kWmLButtonDblClk == WM_LBUTTONDBLCLK && kWmHotkey == WM_HOTKEY);

namespace {

HotkeyRecord* RecordOf(HWND window) {
    return static_cast<HotkeyRecord*>(::GetPropA(window, kRecordProperty));
}

// Where a message goes on to: the bound record's previous procedure, else the one noted when ours
// was installed (a window keeps working after its binding is gone), else default processing.
WNDPROC NextProc(HWND window) {
    if (const HotkeyRecord* record = RecordOf(window); record != nullptr && record->previousProc != 0)
        return reinterpret_cast<WNDPROC>(static_cast<UINT_PTR>(record->previousProc));
    return reinterpret_cast<WNDPROC>(::GetPropA(window, kPreviousProcProperty));
}

LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (WNDPROC next = NextProc(window); next != nullptr) return ::CallWindowProcA(next, window, message, wParam, lParam);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void PostHotkeyInput(HWND window, const HotkeyRecord& record) {
    RECT client{};
    ::GetClientRect(window, &client);
    const InputPlan plan = PlanInput(record.activationKind, client.right, client.bottom);
    if (plan.setFocus) ::SetFocus(window);
    for (std::size_t i = 0; i < plan.count; ++i)
        ::PostMessageA(window, plan.steps[i].message, 0, static_cast<LPARAM>(plan.steps[i].lParam));
}

LRESULT OnDestroy(HWND window, WPARAM wParam, LPARAM lParam) {
    WNDPROC next = NextProc(window);
    if (::GetWindowLongA(window, GWL_WNDPROC) == reinterpret_cast<LONG_PTR>(&HotrelayWindowProc) && next != nullptr) {
        ::SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(next));
        ::RemovePropA(window, kPreviousProcProperty);
    }
    if (RecordOf(window) != nullptr) ::SetPropA(window, kRecordProperty, nullptr);
    // The host's own procedure still sees its window being destroyed, so its clean-up runs.
    if (next != nullptr) return ::CallWindowProcA(next, window, WM_DESTROY, wParam, lParam);
    return ::DefWindowProcA(window, WM_DESTROY, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK HotrelayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) return OnDestroy(window, wParam, lParam);
    if (message == WM_HOTKEY) {
        if (const HotkeyRecord* record = RecordOf(window)) PostHotkeyInput(window, *record);
    }
    return PassOn(window, message, wParam, lParam);
}

}  // namespace hotrelay
