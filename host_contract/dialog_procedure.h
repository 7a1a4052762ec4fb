// The procedure shape of a plug-in's modal properties dialog. Each dialog keeps its own state, the
// parameter given to DialogBoxParam, in its window and never in a module-wide variable: the host may
// open a second dialog from inside the first one's loop.
#pragma once

#include <windows.h>

namespace qv {

// The state the dialog was opened with; null before WM_INITDIALOG and when it was opened without one.
template <typename State>
State* DialogStateOf(HWND dialog) noexcept {
    return reinterpret_cast<State*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

// OnInit fills the controls; OnOk stores what was edited and says whether the dialog ends. Cancel and
// the close box end it with nothing stored. OnOther, when given, answers every other message.
template <typename State, void (*OnInit)(HWND, State*), bool (*OnOk)(HWND, State*),
          INT_PTR (*OnOther)(HWND, State*, UINT, WPARAM, LPARAM) = nullptr>
INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
        case WM_INITDIALOG:
            ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            OnInit(dialog, reinterpret_cast<State*>(lParam));
            return TRUE;  // the system sets the default focus
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    if (OnOk(dialog, DialogStateOf<State>(dialog))) ::EndDialog(dialog, IDOK);
                    return TRUE;
                case IDCANCEL: ::EndDialog(dialog, IDCANCEL); return TRUE;
                default: return FALSE;
            }
        case WM_CLOSE: ::EndDialog(dialog, IDCANCEL); return TRUE;
        default:
            if constexpr (OnOther != nullptr)
                return OnOther(dialog, DialogStateOf<State>(dialog), message, wParam, lParam);
            return FALSE;
    }
}

}  // namespace qv
