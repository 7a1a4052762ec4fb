// A screenshot of a window as it shows on the screen, written as a PNG file: the tour's picture of the
// host, and the pictures the Windows tests take of dialogs.
#pragma once

#include <windows.h>

#include <string>

namespace qvhost {

// Captures the window's area of the screen (whatever is shown there, its frame included) and writes
// it as a 24-bit PNG. False when capturing or writing fails.
bool SaveWindowPng(HWND window, const std::string& path);

}  // namespace qvhost
