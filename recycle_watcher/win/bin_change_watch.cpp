#include "bin_change_watch.h"

#include <sddl.h>

namespace wastewatch {

namespace {

constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE |
                           FILE_NOTIFY_CHANGE_LAST_WRITE;
// The wait also holds stop and retime: one signal per drive always fits.
static_assert(kDriveCount + 2 <= MAXIMUM_WAIT_OBJECTS);

// The current user's SID as text ("S-1-5-21-..."), empty when the token cannot tell or the text does
// not fit (then it is no SID, as the plan treats one too long for a path).
void CurrentUserSid(char (&sid)[kFolderPathCapacity]) noexcept {
    sid[0] = '\0';
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return;
    qv::UniqueHandle token(rawToken);
    // A TOKEN_USER and the largest SID there is.
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return;
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return;
    if (::lstrlenA(text) < static_cast<int>(sizeof sid)) ::lstrcpynA(sid, text, sizeof sid);
    ::LocalFree(text);
}

std::uint32_t FixedDrives(std::uint32_t drives) {
    std::uint32_t fixed = 0;
    for (int drive = 0; drive < 26; ++drive) {
        if ((drives & (1u << drive)) == 0) continue;
        const char root[] = {static_cast<char>('A' + drive), ':', '\\', '\0'};
        if (::GetDriveTypeA(root) == DRIVE_FIXED) fixed |= 1u << drive;
    }
    return fixed;
}

bool FolderExists(const char* path) noexcept {
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint64_t LastWriteTime(const char* path) noexcept {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

void BinChangeWatch::CloseSignals() noexcept {
    for (std::size_t i = 0; i < signalCount_; ++i) {
        owned_[i].reset();
        signals_[i] = nullptr;
        signalWatchesBin_[i] = false;
    }
    signalCount_ = 0;
}

void BinChangeWatch::Open() noexcept {
    CloseSignals();
    trustworthy_ = false;
    fired_ = true;  // whatever was measured before the watch was opened is not covered by it
    reopen_ = false;
    drives_ = ::GetLogicalDrives();
    if (sid_[0] == '\0') CurrentUserSid(sid_);
    plan_ = PlanBinWatch(FixedDrives(drives_), sid_, [](const char* path) { return FolderExists(path); });
    for (const WatchedFolder& folder : plan_) {
        HANDLE signal = ::FindFirstChangeNotificationA(folder.path, FALSE, kChanges);
        if (signal == INVALID_HANDLE_VALUE || signal == nullptr) continue;
        owned_[signalCount_].reset(signal);
        signals_[signalCount_] = signal;
        signalWatchesBin_[signalCount_] = folder.isBin;
        ++signalCount_;
    }
    trustworthy_ = WatchIsTrustworthy(plan_, signalCount_);
}

void BinChangeWatch::Rearm(std::size_t index) noexcept {
    if (index >= signalCount_) return;
    fired_ = true;
    if (!signalWatchesBin_[index]) reopen_ = true;
    // A signal that cannot be armed again would never fire again: stop trusting the watch.
    if (!::FindNextChangeNotification(signals_[index])) trustworthy_ = false;
}

bool BinChangeWatch::TakeChanges() noexcept {
    for (std::size_t i = 0; i < signalCount_; ++i) {
        if (::WaitForSingleObject(signals_[i], 0) == WAIT_OBJECT_0) Rearm(i);
    }
    const bool fired = fired_;
    fired_ = false;
    return fired;
}

BinSnapshot BinChangeWatch::Snapshot() const noexcept {
    BinSnapshot snapshot;
    snapshot.drives = ::GetLogicalDrives();
    for (const WatchedFolder& folder : plan_) snapshot.folderTimes[snapshot.folderCount++] = LastWriteTime(folder.path);
    return snapshot;
}

}  // namespace wastewatch
