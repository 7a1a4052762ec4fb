// A counted reference on the library this code is linked into, for a thread or a call that must keep the
// library mapped until it is done: the holder gives it back with FreeLibrary or FreeLibraryAndExitThread.
#pragma once

#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qv {

// This library's handle with one more reference on it; nullptr when none could be taken.
inline HMODULE TakeLibraryReference() noexcept {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&__ImageBase), &self))
        return nullptr;
    return self;
}

}  // namespace qv
