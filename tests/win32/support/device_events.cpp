#include "device_events.h"

#include <dbt.h>

#include <cstdint>

#include "win32_owner.h"

namespace qvtest {

namespace {

std::string FinalPath(HANDLE handle) {
    char path[MAX_PATH * 2];
    const DWORD length = ::GetFinalPathNameByHandleA(handle, path, sizeof path, FILE_NAME_NORMALIZED);
    return length == 0 || length >= sizeof path ? std::string() : std::string(path, length);
}

}  // namespace

std::vector<HANDLE> HandlesOnFolder(const std::string& folder) {
    const qv::UniqueFile own(::CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!own) return {};
    const std::string wanted = FinalPath(own.get());
    std::vector<HANDLE> found;
    if (wanted.empty()) return found;
    for (std::uintptr_t value = 4; value < 0x8000; value += 4) {
        const auto handle = reinterpret_cast<HANDLE>(value);
        if (handle != own.get() && ::lstrcmpiA(FinalPath(handle).c_str(), wanted.c_str()) == 0) found.push_back(handle);
    }
    return found;
}

bool SendHandleEvent(HWND window, WPARAM event, HANDLE handle, DWORD timeoutMilliseconds, LRESULT& answer) {
    DEV_BROADCAST_HANDLE named{};
    named.dbch_size = sizeof named;
    named.dbch_devicetype = DBT_DEVTYP_HANDLE;
    named.dbch_handle = handle;
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&named), SMTO_NORMAL,
                               timeoutMilliseconds, &result)) {
        return false;
    }
    answer = static_cast<LRESULT>(result);
    return true;
}

}  // namespace qvtest
