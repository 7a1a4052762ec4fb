// The monitor thread's watch on the folders that hold the bin: one change signal per bin folder,
// snapshots of the folders' last-write times and of the drive set, and a message-only window on which
// each signal is registered for the removal of its drive, so that the watch never keeps a drive from
// being ejected. Owned and used by one thread, which dispatches its messages (DispatchMessages).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "bin_watch.h"
#include "drive_watch.h"
#include "win32_owner.h"

namespace wastewatch {

// The class of the watch's message-only window: one per monitor thread.
inline constexpr char kDriveWatchWindowClass[] = "WastewatchDriveWatch";

class BinChangeWatch {
public:
    BinChangeWatch() noexcept;
    BinChangeWatch(const BinChangeWatch&) = delete;
    BinChangeWatch& operator=(const BinChangeWatch&) = delete;
    ~BinChangeWatch();

    // Finds every fixed drive's bin folder and opens a signal on each, except on a drive held back by
    // a removal; a drive without one is followed through the snapshot of where one would appear.
    void Open() noexcept;
    bool Trustworthy() const noexcept { return trustworthy_; }

    // The open signals, for a wait; Rearm(i) after signal i fired. Both change after Rearm and after
    // DispatchMessages: a wait takes them again.
    const HANDLE* Signals() const noexcept { return signals_; }
    std::size_t SignalCount() const noexcept { return signalCount_; }
    void Rearm(std::size_t index) noexcept;

    // Whether any change signal fired since the last call (including those re-armed by a wait);
    // every signal is armed again for the next change.
    bool TakeChanges() noexcept;

    // The drive set and the watched folders' times now (0 for a drive held back by a removal, which
    // is not touched). A changed drive set, a signal that was closed, or a change in a folder in
    // which a bin folder would appear means the watch must be opened again.
    BinSnapshot Snapshot() const noexcept;
    bool NeedsReopen(const BinSnapshot& now) const noexcept;
    void ReopenIfNeeded() noexcept {
        if (NeedsReopen(Snapshot())) Open();
    }

    // Whether the system may send the window a drive's event, which waits for the thread's answer.
    bool Registered() const noexcept;

    // Dispatches the thread's messages; the window's device events are carried out on the way.
    static void DispatchMessages() noexcept;

private:
    static void CloseSignal(HANDLE handle) noexcept { ::FindCloseChangeNotification(handle); }
    static void Unregister(HDEVNOTIFY registration) noexcept { ::UnregisterDeviceNotification(registration); }
    using UniqueSignal = qv::UniqueResource<HANDLE, CloseSignal, &qv::IsOpenFileHandle>;
    using UniqueRegistration = qv::UniqueResource<HDEVNOTIFY, Unregister>;

    // The window's class is registered while any watch of this library has a window.
    class Window {
    public:
        explicit Window(BinChangeWatch* owner) noexcept;
        Window(const Window&) = delete;
        Window& operator=(const Window&) = delete;
        ~Window();
        HWND get() const noexcept { return window_.get(); }

    private:
        bool classInUse_ = false;
        qv::UniqueWindow window_;
    };

    struct DriveWatch {
        DriveWatchState state = DriveWatchState::kUnwatched;
        UniqueSignal signal;
        UniqueRegistration registration;
        HANDLE registered = nullptr;  // the handle named in the registration's messages
    };

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void OnDeviceEvent(WPARAM event, LPARAM data) noexcept;
    const char* BinFolderOf(std::size_t drive) const noexcept;
    bool OpenDrive(std::size_t drive, const char* path) noexcept;
    void RearmDrive(std::size_t drive) noexcept;
    void Apply(std::size_t drive, DriveWatchEvent event) noexcept;
    void Settle() noexcept;

    Window window_;  // first: outlives every registration made on it
    BinWatchPlan plan_;
    DriveWatch drives_[kDriveCount];              // by drive letter
    HANDLE signals_[kDriveCount] = {};            // the open signals, for a wait
    std::uint8_t signalDrive_[kDriveCount] = {};  // for each signal: its drive
    std::size_t signalCount_ = 0;
    char sid_[kFolderPathCapacity] = {};  // the user's SID as text; empty when unknown
    std::uint32_t present_ = 0;           // the logical drives at the last opening
    BinSnapshot opened_;                  // the folders' times at the last opening
    bool trustworthy_ = false;
    bool fired_ = false;
    bool reopen_ = false;
};

}  // namespace wastewatch
