#include "bin_change_watch.h"

#include <dbt.h>
#include <sddl.h>

#include <cstddef>
#include <utility>

#include "watcher_state.h"

namespace wastewatch {

namespace {

constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE |
                           FILE_NOTIFY_CHANGE_LAST_WRITE;
// The wait also holds stop and retime, and the thread's messages take a slot: one signal per drive
// always fits.
static_assert(kDriveCount + 2 < MAXIMUM_WAIT_OBJECTS);

// Every watch of this library, an old monitor thread's and its replacement's, uses one window class.
SRWLOCK g_classLock = SRWLOCK_INIT;
int g_classUsers = 0;

std::size_t DriveOf(const WatchedFolder& folder) noexcept {
    return static_cast<std::size_t>(folder.path[0] - 'A');
}

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

BinChangeWatch::Window::Window(BinChangeWatch* owner) noexcept {
    {
        qv::ExclusiveLock lock(g_classLock);
        if (g_classUsers == 0) {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = WindowProcedure;
            windowClass.hInstance = g_instance;
            windowClass.lpszClassName = kDriveWatchWindowClass;
            // Left behind by a thread that was ended by force: still ours, and still usable.
            if (!::RegisterClassA(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
        }
        ++g_classUsers;
    }
    classInUse_ = true;
    window_.reset(
        ::CreateWindowExA(0, kDriveWatchWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_instance, owner));
}

BinChangeWatch::Window::~Window() {
    window_.reset();
    if (!classInUse_) return;
    qv::ExclusiveLock lock(g_classLock);
    if (--g_classUsers == 0) ::UnregisterClassA(kDriveWatchWindowClass, g_instance);
}

LRESULT CALLBACK BinChangeWatch::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message != WM_DEVICECHANGE) return ::DefWindowProcA(window, message, wParam, lParam);
    auto* self = reinterpret_cast<BinChangeWatch*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr) self->OnDeviceEvent(wParam, lParam);
    // A removal is never refused.
    return TRUE;
}

void BinChangeWatch::OnDeviceEvent(WPARAM event, LPARAM data) noexcept {
    DriveWatchEvent happened;
    switch (event) {
        case DBT_DEVICEQUERYREMOVE: happened = DriveWatchEvent::kQueryRemove; break;
        case DBT_DEVICEQUERYREMOVEFAILED: happened = DriveWatchEvent::kQueryRemoveFailed; break;
        case DBT_DEVICEREMOVEPENDING:
        case DBT_DEVICEREMOVECOMPLETE: happened = DriveWatchEvent::kRemoved; break;
        default: return;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_HANDLE ||
        header->dbch_size < offsetof(DEV_BROADCAST_HANDLE, dbch_eventguid)) {
        return;
    }
    const auto* named = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(data);
    for (std::size_t drive = 0; drive < kDriveCount; ++drive) {
        const DriveWatch& watch = drives_[drive];
        if (watch.registered == nullptr || watch.registered != named->dbch_handle) continue;
        if (named->dbch_hdevnotify != nullptr && named->dbch_hdevnotify != watch.registration.get()) continue;
        Apply(drive, happened);
        return;
    }
}

BinChangeWatch::BinChangeWatch() noexcept : window_(this) {}

BinChangeWatch::~BinChangeWatch() = default;

const char* BinChangeWatch::BinFolderOf(std::size_t drive) const noexcept {
    for (const WatchedFolder& folder : plan_) {
        if (folder.isBin && DriveOf(folder) == drive) return folder.path;
    }
    return nullptr;
}

// A signal the system cannot ask to let go of would keep its drive from being removed: without a
// registration it is not kept.
bool BinChangeWatch::OpenDrive(std::size_t drive, const char* path) noexcept {
    DriveWatch& watch = drives_[drive];
    if (window_.get() == nullptr) return false;
    UniqueSignal signal(::FindFirstChangeNotificationA(path, FALSE, kChanges));
    if (!signal) return false;
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof filter;
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = signal.get();
    UniqueRegistration registration(::RegisterDeviceNotificationA(window_.get(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    if (!registration) return false;
    watch.registered = signal.get();
    watch.signal = std::move(signal);
    watch.registration = std::move(registration);
    watch.state = DriveWatchState::kWatched;
    return true;
}

void BinChangeWatch::Open() noexcept {
    const std::uint32_t present = ::GetLogicalDrives();
    for (std::size_t drive = 0; drive < kDriveCount; ++drive) {
        if ((present & (1u << drive)) == 0) Apply(drive, DriveWatchEvent::kLeftDriveSet);
        DriveWatch& watch = drives_[drive];
        if (HeldBackFromOpening(watch.state)) continue;
        watch.signal.reset();
        watch.registration.reset();
        watch.registered = nullptr;
        watch.state = DriveWatchState::kUnwatched;
    }
    fired_ = true;  // whatever was measured before the watch was opened is not covered by it
    present_ = present;
    if (sid_[0] == '\0') CurrentUserSid(sid_);
    plan_ = PlanBinWatch(FixedDrives(present_), sid_, [](const char* path) { return FolderExists(path); });
    for (const WatchedFolder& folder : plan_) {
        if (folder.isBin && !HeldBackFromOpening(drives_[DriveOf(folder)].state))
            OpenDrive(DriveOf(folder), folder.path);
    }
    reopen_ = false;
    opened_ = Snapshot();
    Settle();
}

void BinChangeWatch::Apply(std::size_t drive, DriveWatchEvent event) noexcept {
    DriveWatch& watch = drives_[drive];
    const DriveWatchDecision decision = DecideDriveWatch(watch.state, event);
    if (decision.closeSignal) watch.signal.reset();
    if (decision.unregister) {
        watch.registration.reset();
        watch.registered = nullptr;
    }
    watch.state = decision.next;
    if (decision.openSignal) {
        const char* path = BinFolderOf(drive);
        watch.state = DriveWatchState::kUnwatched;
        // Changes made while it was released are not covered by the new signal.
        fired_ = true;
        if (path == nullptr || !OpenDrive(drive, path)) reopen_ = true;
    }
    if (decision.reopenAtNextCycle) reopen_ = true;
    Settle();
}

// The signals for a wait, and the trust, after any drive's watch changed.
void BinChangeWatch::Settle() noexcept {
    signalCount_ = 0;
    for (std::size_t drive = 0; drive < kDriveCount; ++drive) {
        if (!drives_[drive].signal) continue;
        signals_[signalCount_] = drives_[drive].signal.get();
        signalDrive_[signalCount_++] = static_cast<std::uint8_t>(drive);
    }
    DriveWatchStates states{};
    for (std::size_t i = 0; i < plan_.size(); ++i) states[i] = drives_[DriveOf(plan_.folders[i])].state;
    trustworthy_ = WatchIsTrustworthy(plan_, states);
}

void BinChangeWatch::RearmDrive(std::size_t drive) noexcept {
    fired_ = true;
    const bool rearmed = ::FindNextChangeNotification(drives_[drive].signal.get()) != FALSE;
    const char* path = BinFolderOf(drive);
    Apply(drive, SignalOutcome(rearmed, path != nullptr && FolderExists(path)));
}

void BinChangeWatch::Rearm(std::size_t index) noexcept {
    if (index < signalCount_) RearmDrive(signalDrive_[index]);
}

bool BinChangeWatch::TakeChanges() noexcept {
    for (std::size_t drive = 0; drive < kDriveCount; ++drive) {
        const HANDLE signal = drives_[drive].signal.get();
        if (signal != nullptr && ::WaitForSingleObject(signal, 0) == WAIT_OBJECT_0) RearmDrive(drive);
    }
    const bool fired = fired_;
    fired_ = false;
    return fired;
}

BinSnapshot BinChangeWatch::Snapshot() const noexcept {
    BinSnapshot snapshot;
    snapshot.drives = ::GetLogicalDrives();
    for (const WatchedFolder& folder : plan_) {
        const bool untouched = HeldBackFromOpening(drives_[DriveOf(folder)].state);
        snapshot.folderTimes[snapshot.folderCount++] = untouched ? 0 : LastWriteTime(folder.path);
    }
    return snapshot;
}

bool BinChangeWatch::NeedsReopen(const BinSnapshot& now) const noexcept {
    if (reopen_ || now.drives != present_) return true;
    for (std::size_t i = 0; i < plan_.size(); ++i) {
        if (!plan_.folders[i].isBin && now.folderTimes[i] != opened_.folderTimes[i]) return true;
    }
    return false;
}

bool BinChangeWatch::Registered() const noexcept {
    for (const DriveWatch& watch : drives_) {
        if (watch.registration) return true;
    }
    return false;
}

void BinChangeWatch::DispatchMessages() noexcept {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
}

}  // namespace wastewatch
