// Driving the desktop as a user would: key presses on the keyboard and finding this process's
// windows by their caption. The tour uses them on the running host, the Windows tests on the
// plug-ins they load.
#pragma once

#include <windows.h>

#include <vector>

namespace qv {

// Presses and releases a key combination (SendInput): modifier down, key down, key up, modifier up.
// Returns whether the system took all four events.
bool PressCombination(WORD modifierKey, WORD key);

// Every visible top-level window of this process with exactly this caption, as it is now.
std::vector<HWND> WindowsWithCaption(const char* caption);

// The first visible top-level window of this process with exactly this caption, waiting for it to
// appear (a dialog or message box shown by a call on another thread). Null on time-out.
HWND WaitForWindow(const char* caption, DWORD timeoutMilliseconds);

}  // namespace qv
