// Playing the system's part in a drive's removal, which Wine never announces: finding which of this
// process's handles are open on a folder, and sending a window the device event for such a handle.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvtest {

// The handles of this process open on the folder, found by asking each handle value for its path and
// comparing it with that of a handle opened on the folder for the purpose (the system may give a
// resolved path for both).
std::vector<HANDLE> HandlesOnFolder(const std::string& folder);

// Sends the window WM_DEVICECHANGE with this event (DBT_DEVICEQUERYREMOVE, ...) for the handle, as the
// system does for a registration of type DBT_DEVTYP_HANDLE. False when the window did not answer within
// the time; otherwise the answer is stored.
bool SendHandleEvent(HWND window, WPARAM event, HANDLE handle, DWORD timeoutMilliseconds, LRESULT& answer);

}  // namespace qvtest
