#include <windows.h>
#include <commctrl.h>

#include "bin_emptier.h"
#include "monitor_thread.h"
#include "watcher_state.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: {
            wastewatch::g_instance = instance;
            // The properties dialog's spinners need the up-down class.
            INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_UPDOWN_CLASS};
            ::InitCommonControlsEx(&controls);
            wastewatch::PrepareEmptier();
            break;
        }
        case DLL_PROCESS_DETACH:
            // A non-null reserved means the process is exiting and its other threads are gone.
            wastewatch::StopMonitor(reserved != nullptr);
            if (reserved == nullptr) wastewatch::ReleaseEmptier();
            break;
        default: break;
    }
    return TRUE;
}
