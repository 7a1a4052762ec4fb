#include <windows.h>
#include <commctrl.h>

#include "monitor_thread.h"
#include "watcher_state.h"

namespace {

// The C++ runtime linked into this library brings its own threads library, which keeps a record
// (a thread handle and an event) for every thread of the process that has used it, here the thread
// that loaded the library, and releases it only when that thread detaches from the library. That
// thread never will once the library is unloaded, so each load and unload would leak both handles.
// Telling the library's TLS callbacks that the unloading thread is done with it releases them; the
// C runtime's own callbacks do nothing for a thread that holds nothing.
void ReleaseRuntimeThreadRecord(HINSTANCE instance) noexcept {
    auto* base = reinterpret_cast<BYTE*>(instance);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& tlsEntry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (tlsEntry.VirtualAddress == 0) return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + tlsEntry.VirtualAddress);
    auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (; callback != nullptr && *callback != nullptr; ++callback) (*callback)(instance, DLL_THREAD_DETACH, nullptr);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: {
            wastewatch::g_instance = instance;
            // The properties dialog's spinners need the up-down class.
            INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_UPDOWN_CLASS};
            ::InitCommonControlsEx(&controls);
            wastewatch::PrepareMonitor();
            break;
        }
        case DLL_PROCESS_DETACH:
            // A non-null reserved means the process is exiting and its other threads are gone.
            wastewatch::StopMonitor(reserved != nullptr);
            if (reserved == nullptr) ReleaseRuntimeThreadRecord(instance);
            break;
        default:
            break;
    }
    return TRUE;
}
