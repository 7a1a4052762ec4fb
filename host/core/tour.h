// The scripted tour of the default desktop: what the host does, step by step, to show both plug-ins
// at work, and what each step must see before the next one starts. Platform-free: the host's window
// code carries the steps out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "desktop.h"

namespace qvhost {

enum class TourAction {
    kConfigureHotkey,  // Properties... on the object; the Hotrelay2 dialog gets the tour's hotkey
    kConfigureBin,     // Properties... on the object; the Wastewatch dialog gets the tour's settings
    kExpectRestored,   // every record came back from the records file, without a warning
    kClick,            // a mouse click on the object's window
    kPressHotkey,      // the tour's hotkey pressed on the keyboard; the object must receive a click
    kExpectCaption,    // wait until the object shows text as its caption
    kDeleteFiles,      // count new files of kTourFileSize bytes deleted into the recycle bin
    kExpectState,      // wait until the object shows text as its state
    kScreenshot,       // the host window, as text (a file name)
};

struct TourStep {
    TourAction action;
    std::int32_t objectId = 0;
    std::uint32_t count = 0;
    std::string text;
};

enum class TourPhase { kFirstRun, kReopened };

// The tour's settings, made through the plug-ins' own dialogs in the first run.
inline constexpr char kTourHotkeyName[] = "Ctrl+F10";
inline constexpr char kTourHotkeyKey[] = "F10";               // the entry chosen in the key list
inline constexpr std::uint32_t kTourHotkeyModifier = 2;       // Ctrl, as RegisterHotKey takes it
inline constexpr std::uint32_t kTourHotkeyVirtualKey = 0x79;  // F10
inline constexpr std::uint32_t kTourCheckInterval = 1;        // seconds
inline constexpr std::uint32_t kTourWarningLimit = 1;         // megabytes
inline constexpr std::uint32_t kTourCriticalLimit = 2;        // megabytes
inline constexpr std::uint32_t kTourFileSize = 512 * 1024;
inline constexpr char kTourScreenshot[] = "host_tour.png";

// Builds the steps from the desktop: it needs an object using Wastewatch.dll with all four codes in
// its list, a calculator display using Calculator.dll and buttons relaying to it through Hotrelay2
// for the keys "1", "2", "3", "7", "+", "=" and "C". On a desktop without them returns nothing and
// says what is missing in error.
std::vector<TourStep> BuildTour(const Desktop& desktop, TourPhase phase, std::string& error);

// One line describing a step, for the event log.
std::string DescribeStep(const TourStep& step, const Desktop& desktop);

}  // namespace qvhost
