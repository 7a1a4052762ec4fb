#include "screenshot.h"

#include "window_png.h"

namespace qvtest {

bool SaveWindowPng(HWND window, const std::string& pngPath) {
    return qvhost::SaveWindowPng(window, pngPath);
}

std::string ArtifactPath(const char* fileName) {
    char program[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string folder(program, length);
    folder.erase(folder.find_last_of("\\/") + 1);
    folder += "..\\artifacts";
    char full[MAX_PATH] = {};
    const DWORD fullLength = ::GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr);
    if (fullLength > 0 && fullLength < MAX_PATH) folder.assign(full, fullLength);
    ::CreateDirectoryA(folder.c_str(), nullptr);  // fails harmlessly when it exists
    return folder + "\\" + fileName;
}

}  // namespace qvtest
