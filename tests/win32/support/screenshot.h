// Screenshots of windows on the virtual display, written as PNG files for a person to look at.
#pragma once

#include <windows.h>

#include <string>

namespace qvtest {

// Captures the window's area of the screen (whatever is shown there, the window's frame included)
// and writes it as a 24-bit PNG. Returns false when capturing or writing fails.
bool SaveWindowPng(HWND window, const std::string& pngPath);

// Windows path of fileName in the build tree's artifacts folder (beside the folder of the test
// program), created if needed.
std::string ArtifactPath(const char* fileName);

}  // namespace qvtest
