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

// A consistent copy of one object's shown state, safe to take from any thread.
ObjectView ViewObject(std::int32_t id);
std::vector<std::int32_t> ObjectIds();
HWND MainWindow();
const Desktop& CurrentDesktop();
// One line of the event log, whole, from any thread.
void LogLine(const std::string& line);

// Starts the tour's thread; it posts kMsgTourDone when it ends. Returns the thread, or null.
HANDLE StartTour(std::vector<struct TourStep> steps, std::string screenshotPath);

}  // namespace qvhost
