// The reference host as one object: the desktop, its objects with their windows, the plug-in
// libraries, the records file and the event log. Its parts are defined beside what they use: the
// plug-in driver with the records file (plugin_driver.cpp), the windows (host_windows.cpp), the shared
// state and the log (host.cpp). Everything runs on the host's thread, except the tour's thread, which
// reads an object's shown state under the host's lock only (tour_view.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desktop.h"
#include "lifecycle.h"
#include "plugin_loader.h"
#include "record_store.h"
#include "tour_view.h"
#include "win32_owner.h"

namespace qvhost {

struct Library {
    std::string file;
    std::optional<qv::PluginLibrary> plugin;
    std::string error;
    std::uint32_t recordSize = 0;
};

struct HostObject {
    DesktopObject desc;
    HWND window = nullptr;
    qv::ObjectRecord object{};
    Library* library = nullptr;              // null: no plug-in, or it could not be loaded
    std::unique_ptr<std::uint8_t[]> record;  // exactly library->recordSize bytes, at one address
    bool initialised = false;
    bool buttonDown = false;
    bool restored = false;
    // What a save compares the record with (records.h, RecordChanged).
    std::optional<std::vector<std::uint8_t>> reference;
    // Shown state, read by the tour's thread: guarded by the host's lock.
    std::string caption;
    std::string state;
    bool error = false;
    unsigned clicks = 0;
    unsigned propertiesDone = 0;
    std::vector<std::string> shown;
    std::map<std::uint32_t, unsigned> received;
};

std::string Format(const char* format, ...);
// The whole file, or why not (plugin_driver.cpp). Anything short of every byte is a failed read,
// never a shorter text. Other programs may read, write and delete it meanwhile.
FileText ReadWholeFile(const std::string& path);
// The object as the event log names it: its caption and identifier.
std::string Name(const HostObject& o);

class Host final : public TourView {
public:
    Host() = default;
    // The windows let go of it: a message that comes later finds no host.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The objects' shown state, changed under Exclusive and read under Shared.
    struct Exclusive : qv::ExclusiveLock {
        explicit Exclusive(const Host& host) noexcept : qv::ExclusiveLock(host.lock_) {}
    };
    struct Shared : qv::SharedLock {
        explicit Shared(const Host& host) noexcept : qv::SharedLock(host.lock_) {}
    };

    // ---- State and log (host.cpp) ----
    void SetDesktop(Desktop desktop) { desktop_ = std::move(desktop); }
    const std::vector<std::unique_ptr<HostObject>>& Objects() const { return objects_; }
    HostObject* FindObject(std::int32_t id) const;
    void LogObject(const HostObject& o, const std::string& text);
    // The state the object shows under its caption; error shows it in red.
    void SetState(HostObject& o, const std::string& state, bool error);
    // The tour has ended; the host closes.
    void OnTourDone(bool passed);
    bool TourPassed() const { return tourPassed_; }

    // What the tour sees (tour_view.h).
    ObjectView ViewObject(std::int32_t id) const override;
    std::vector<std::int32_t> ObjectIds() const override;
    HWND MainWindow() const override { return main_; }
    const Desktop& CurrentDesktop() const override { return desktop_; }
    void LogLine(const std::string& line) override;

    // ---- The windows (host_windows.cpp) ----
    // The main window and one child window per desktop object, each object made with its window.
    bool CreateWindows(HINSTANCE instance);

    // ---- The plug-ins and the records file (plugin_driver.cpp) ----
    // Start-up, in the contract's order: each library loaded once, with QVGetPluginInfo (an object
    // whose library cannot be had shows why); each attached object's record restored from the records
    // file or made by QVDefault; then QVInit on each. The records file is saved to the same path later.
    void AttachObjects(const std::string& recordsPath);
    // A click on an object of the class "custom": its plug-in's QVCommandEx or QVCommand. Ignored
    // while a plug-in call is on the stack, as is Properties...
    void ActivateObject(HostObject& o);
    // Properties...: the plug-in's dialog, a fresh QVInit, and the records saved.
    bool HasProperties(const HostObject& o) const;
    void OpenProperties(HostObject& o);
    // Whether the host may close now. While a plug-in call is on the stack it may not: the close is
    // put off, and WM_CLOSE is posted to the main window again once the outermost call has returned.
    bool MayCloseNow();
    // Closing: the records saved, every object detached and every library unloaded; once.
    void DetachObjects();

private:
    class InPluginCall;

    // The plug-in driver's steps (plugin_driver.cpp).
    void SaveRecords();
    void LoadOnce(Library& library);
    void LoadLibraries();
    void PrepareRecords();
    void InitObject(HostObject& o);
    void Carry(const PlannedCall& c);

    Desktop desktop_;
    std::vector<std::unique_ptr<HostObject>> objects_;  // in desktop order, made with the windows
    std::vector<std::unique_ptr<Library>> libraries_;   // in load order
    HWND main_ = nullptr;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    SRWLOCK logLock_ = SRWLOCK_INIT;

    std::string recordsPath_;
    std::unique_ptr<FilePort> files_;
    std::optional<RecordStore> store_;
    PluginCalls calls_;
    bool shutDown_ = false;
    bool tourPassed_ = false;
};

}  // namespace qvhost
