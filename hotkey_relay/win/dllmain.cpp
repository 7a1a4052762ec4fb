#include <windows.h>

#include "module_state.h"

namespace hotrelay {
HINSTANCE g_instance = nullptr;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: hotrelay::g_instance = instance; break;
        case DLL_PROCESS_DETACH:
            // A null reserved means FreeLibrary: windows may outlive us and must not call into
            // unmapped code. At process exit nothing will run again, so nothing needs undoing.
            if (reserved == nullptr) hotrelay::ReleaseAllBindings();
            break;
        default: break;
    }
    return TRUE;
}
