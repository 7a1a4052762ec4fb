#include "desktop_input.h"

namespace qv {

namespace {

struct CaptionSearch {
    const char* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectCaption(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<CaptionSearch*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    // Reading the text sends a message to the window's thread: only for the windows that can match,
    // so that a thread waiting for this one is not asked while none of its windows is showing.
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
    char text[256] = {};
    ::GetWindowTextA(window, text, sizeof text);
    if (lstrcmpA(text, search->caption) == 0) search->found.push_back(window);
    return TRUE;
}

}  // namespace

bool PressCombination(WORD modifierKey, WORD key) {
    INPUT inputs[4]{};
    const WORD keys[4] = {modifierKey, key, key, modifierKey};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    return ::SendInput(4, inputs, sizeof inputs[0]) == 4;
}

std::vector<HWND> WindowsWithCaption(const char* caption) {
    CaptionSearch search{caption, {}};
    ::EnumWindows(CollectCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const char* caption, DWORD timeoutMilliseconds) {
    const DWORD start = ::GetTickCount();
    do {
        if (const std::vector<HWND> found = WindowsWithCaption(caption); !found.empty()) return found.front();
        ::Sleep(10);
    } while (::GetTickCount() - start < timeoutMilliseconds);
    return nullptr;
}

}  // namespace qv
