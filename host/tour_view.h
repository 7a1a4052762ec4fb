// What the reference host offers its tour runner, which drives the host from a thread
// of its own as a user would (clicks, keys, dialogs, files) and watches what the objects show.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "desktop.h"

namespace qvhost {

// Posted to the main window: wParam is unused, lParam the object identifier whose Properties...
// to open (as the object's context menu does).
inline constexpr UINT kMsgOpenProperties = WM_APP + 1;
// Posted to the main window when the tour has ended: wParam 1 when every step passed.
inline constexpr UINT kMsgTourDone = WM_APP + 2;

struct ObjectView {
    bool exists = false;
    HWND window = nullptr;
    std::string caption;
    std::string state;
    unsigned clicks = 0;
    unsigned propertiesDone = 0;  // Properties... round trips finished (QVConfig, QVUninit, QVInit, save)
    bool restored = false;        // its record came from the records file
    bool needsRecord = false;     // it has a plug-in that reported a record
};

// What the tour's thread may ask of the running host, from any thread.
class TourView {
public:
    // A consistent copy of one object's shown state.
    virtual ObjectView ViewObject(std::int32_t id) const = 0;
    virtual std::vector<std::int32_t> ObjectIds() const = 0;
    virtual HWND MainWindow() const = 0;
    virtual const Desktop& CurrentDesktop() const = 0;
    // One line of the event log, whole.
    virtual void LogLine(const std::string& line) = 0;

protected:
    ~TourView() = default;
};

// Starts the tour's thread on the host; it posts kMsgTourDone when it ends. Returns the thread, or
// null. The host outlives the thread.
HANDLE StartTour(TourView& host, std::vector<struct TourStep> steps, std::string screenshotPath);

}  // namespace qvhost
