// A counted reference on the library this code is linked into, for a thread or a call that must keep the
// library mapped until it is done: the holder gives it back with FreeLibrary or FreeLibraryAndExitThread.
// And the pin, for the rare case where nothing can say when the library is done with.
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

// Keeps this library mapped until the process ends, whatever unloads it later: for code of ours that
// something outside our control may still call.
inline bool PinLibrary() noexcept {
    HMODULE self = nullptr;
    return ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                reinterpret_cast<LPCSTR>(&__ImageBase), &self) != FALSE;
}

}  // namespace qv
