// Clean-up every plug-in DLL of this project needs when it is unloaded while the process goes on.
#pragma once

#include <windows.h>

namespace qv {

// The C++ runtime linked into each plug-in brings its own threads library, which keeps a record (a
// thread handle and an event) for every thread of the process that has used it, the thread that
// loaded the library among them, and releases it only when that thread detaches from the library.
// That thread never will once the library is unloaded, so each load and unload would leak both
// handles. Telling the library's TLS callbacks that the unloading thread is done with it releases
// them; the C runtime's own callbacks do nothing for a thread that holds nothing.
// Call it last in DLL_PROCESS_DETACH, and only for an unload (not at process exit).
inline void ReleaseRuntimeThreadRecord(HINSTANCE instance) noexcept {
    auto* base = reinterpret_cast<BYTE*>(instance);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& tlsEntry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (tlsEntry.VirtualAddress == 0) return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + tlsEntry.VirtualAddress);
    auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (; callback != nullptr && *callback != nullptr; ++callback) (*callback)(instance, DLL_THREAD_DETACH, nullptr);
}

}  // namespace qv
