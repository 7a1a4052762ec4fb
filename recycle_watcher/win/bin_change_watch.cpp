#include "bin_change_watch.h"

#include <sddl.h>

#include <new>

namespace wastewatch {

namespace {

constexpr DWORD kChanges =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
constexpr std::size_t kMostSignals = MAXIMUM_WAIT_OBJECTS - 2;  // the wait also holds stop and retime

// The current user's SID as text ("S-1-5-21-..."), empty when the token cannot tell.
std::string CurrentUserSid() {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return {};
    qv::UniqueHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    std::string sid(text);
    ::LocalFree(text);
    return sid;
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

bool FolderExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint64_t LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

void BinChangeWatch::Open() noexcept {
    signals_.clear();
    signalWatchesBin_.clear();
    owned_.clear();
    plan_.clear();
    trustworthy_ = false;
    fired_ = true;  // whatever was measured before the watch was opened is not covered by it
    reopen_ = false;
    drives_ = ::GetLogicalDrives();
    try {
        if (sid_.empty()) sid_ = CurrentUserSid();
        plan_ = PlanBinWatch(FixedDrives(drives_), sid_, FolderExists);
        if (plan_.size() > kMostSignals) return;
        for (const WatchedFolder& folder : plan_) {
            HANDLE signal = ::FindFirstChangeNotificationA(folder.path.c_str(), FALSE, kChanges);
            if (signal == INVALID_HANDLE_VALUE || signal == nullptr) continue;
            owned_.emplace_back(signal);
            signals_.push_back(signal);
            signalWatchesBin_.push_back(folder.isBin);
        }
        trustworthy_ = WatchIsTrustworthy(plan_, signals_.size());
    } catch (const std::bad_alloc&) {
        signals_.clear();
        signalWatchesBin_.clear();
        owned_.clear();
        plan_.clear();
        trustworthy_ = false;
    }
}

void BinChangeWatch::Rearm(std::size_t index) noexcept {
    if (index >= signals_.size()) return;
    fired_ = true;
    if (!signalWatchesBin_[index]) reopen_ = true;
    // A signal that cannot be armed again would never fire again: stop trusting the watch.
    if (!::FindNextChangeNotification(signals_[index])) trustworthy_ = false;
}

bool BinChangeWatch::TakeChanges() noexcept {
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        if (::WaitForSingleObject(signals_[i], 0) == WAIT_OBJECT_0) Rearm(i);
    }
    const bool fired = fired_;
    fired_ = false;
    return fired;
}

BinSnapshot BinChangeWatch::Snapshot() const noexcept {
    BinSnapshot snapshot;
    snapshot.drives = ::GetLogicalDrives();
    try {
        snapshot.folderTimes.reserve(plan_.size());
        for (const WatchedFolder& folder : plan_) snapshot.folderTimes.push_back(LastWriteTime(folder.path));
    } catch (const std::bad_alloc&) {
        snapshot.folderTimes.clear();  // differs from any snapshot of a watch with folders
    }
    return snapshot;
}

}  // namespace wastewatch
