// The tour's hands: a thread of its own that carries out the tour's steps on the running host as a
// user would (mouse clicks posted to object windows, key presses on the keyboard, the plug-ins'
// dialogs filled in and confirmed, files deleted into the recycle bin) and waits, with a time limit,
// for what each step must bring about. What the steps are is decided in tour.cpp.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "desktop_input.h"
#include "host_window.h"
#include "hotkey_relay/res/resource_ids.h"
#include "png.h"
#include "recycle_watcher/res/resource_ids.h"
#include "tour.h"
#include "win32_owner.h"
#include "window_png.h"

namespace qvhost {

static_assert(kTourHotkeyModifier == MOD_CONTROL);
static_assert(kTourHotkeyVirtualKey == VK_F10);

namespace {

constexpr DWORD kStepTimeout = 20000;  // ms; the bin's states follow within a few check intervals
constexpr char kHotkeyDialog[] = "Hotrelay Properties (Version 0.2.2 Build 4 Beta)";
constexpr char kBinDialog[] = "Wastewatch Properties";

struct Tour {
    std::vector<TourStep> steps;
    std::string screenshotPath;
    unsigned filesMade = 0;
};

template <typename Condition>
bool WaitFor(Condition done, DWORD timeout = kStepTimeout) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeout) return false;
        ::Sleep(20);
    }
    return true;
}

bool Fail(const std::string& why) {
    LogLine("tour:   failed: " + why);
    return false;
}

// Opens the object's Properties..., lets fill() set the dialog's controls, confirms with OK and waits
// until the host has re-attached the object and saved its record.
template <typename Fill>
bool ThroughDialog(std::int32_t id, const char* caption, Fill fill) {
    const unsigned before = ViewObject(id).propertiesDone;
    ::PostMessageA(MainWindow(), kMsgOpenProperties, 0, id);
    const HWND dialog = qv::WaitForWindow(caption, kStepTimeout);
    if (dialog == nullptr) return Fail(std::string("the dialog \"") + caption + "\" did not open");
    if (!fill(dialog)) {
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return false;
    }
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
    if (!WaitFor([&] { return ViewObject(id).propertiesDone != before; }))
        return Fail("the host did not finish Properties...");
    return true;
}

void Check(HWND dialog, int id) {
    if (::SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) != BST_CHECKED)
        ::SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

// The settings are seen to work later, in the tour's own steps: the key press clicks the object, the
// bin's object passes through the warning and critical states at the tour's limits.
bool ConfigureHotkey(const TourStep& step) {
    return ThroughDialog(step.objectId, kHotkeyDialog, [](HWND dialog) {
        if (::SendDlgItemMessageA(dialog, IDC_HOTKEY_KEY, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(kTourHotkeyKey)) == CB_ERR)
            return Fail(std::string("the key list has no ") + kTourHotkeyKey);
        ::SendDlgItemMessageA(dialog, IDC_MODIFIER_CTRL, BM_CLICK, 0, 0);
        ::SendDlgItemMessageA(dialog, IDC_KIND_SINGLE_CLICK, BM_CLICK, 0, 0);
        return true;
    });
}

bool ConfigureBin(const TourStep& step) {
    return ThroughDialog(step.objectId, kBinDialog, [](HWND dialog) {
        ::SetDlgItemInt(dialog, IDC_CHECK_INTERVAL, kTourCheckInterval, FALSE);
        ::SetDlgItemInt(dialog, IDC_CRITICAL_LIMIT, kTourCriticalLimit, FALSE);
        ::SetDlgItemInt(dialog, IDC_WARNING_LIMIT, kTourWarningLimit, FALSE);
        Check(dialog, IDC_NOTIFY_CRITICAL);
        Check(dialog, IDC_NOTIFY_WARNING);
        return true;
    });
}

bool Click(const TourStep& step) {
    const ObjectView view = ViewObject(step.objectId);
    if (!view.exists) return Fail("no such object");
    RECT area{};
    ::GetClientRect(view.window, &area);
    const LPARAM at = MAKELPARAM(area.right / 2, area.bottom / 2);
    ::PostMessageA(view.window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageA(view.window, WM_LBUTTONUP, 0, at);
    if (!WaitFor([&] { return ViewObject(step.objectId).clicks != view.clicks; })) return Fail("no click arrived");
    return true;
}

bool PressHotkey(const TourStep& step) {
    const unsigned before = ViewObject(step.objectId).clicks;
    if (!qv::PressCombination(VK_CONTROL, kTourHotkeyVirtualKey)) return Fail("the system refused the key presses");
    if (!WaitFor([&] { return ViewObject(step.objectId).clicks != before; }))
        return Fail("the key press did not click the object");
    return true;
}

bool Expect(const TourStep& step, bool caption) {
    std::string seen;
    const bool ok = WaitFor([&] {
        const ObjectView view = ViewObject(step.objectId);
        seen = caption ? view.caption : view.state;
        return seen == step.text;
    });
    return ok || Fail("it shows \"" + seen + "\"");
}

bool ExpectRestored() {
    for (std::int32_t id : ObjectIds()) {
        const ObjectView view = ViewObject(id);
        if (view.needsRecord && !view.restored) return Fail("object " + std::to_string(id) + " has its defaults");
    }
    return true;
}

// Files made for the tour in this run's temporary folder, then deleted into the recycle bin.
bool DeleteFiles(Tour& tour, const TourStep& step) {
    char folder[MAX_PATH] = {};
    const DWORD length = ::GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return Fail("no temporary folder");
    std::string names;  // each name NUL-terminated, the list ends with a second NUL
    const std::vector<char> content(kTourFileSize, 'x');
    for (std::uint32_t i = 0; i < step.count; ++i) {
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%sqv_tour_%lu_%u.bin", folder, ::GetCurrentProcessId(), ++tour.filesMade);
        const qv::UniqueFile file(
            ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return Fail(std::string("cannot create ") + path);
        DWORD written = 0;
        if (!::WriteFile(file.get(), content.data(), kTourFileSize, &written, nullptr) || written != kTourFileSize)
            return Fail(std::string("cannot write ") + path);
        names.append(path).push_back('\0');
    }
    names.push_back('\0');
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = names.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    const int result = ::SHFileOperationA(&operation);
    if (result != 0 || operation.fAnyOperationsAborted) return Fail("the shell did not delete the files");
    return true;
}

bool Screenshot(const std::string& path) {
    ::RedrawWindow(MainWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(200);  // let the last paint reach the screen
    if (!SaveWindowPng(MainWindow(), path)) return Fail("cannot write " + path);
    LogLine("tour:   wrote " + path);
    return true;
}

bool RunStep(Tour& tour, const TourStep& step) {
    switch (step.action) {
        case TourAction::kConfigureHotkey: return ConfigureHotkey(step);
        case TourAction::kConfigureBin: return ConfigureBin(step);
        case TourAction::kExpectRestored: return ExpectRestored();
        case TourAction::kClick: return Click(step);
        case TourAction::kPressHotkey: return PressHotkey(step);
        case TourAction::kExpectCaption: return Expect(step, true);
        case TourAction::kDeleteFiles: return DeleteFiles(tour, step);
        case TourAction::kExpectState: return Expect(step, false);
        case TourAction::kScreenshot: return Screenshot(tour.screenshotPath);
    }
    return false;
}

DWORD WINAPI TourMain(void* parameter) {
    std::unique_ptr<Tour> tour(static_cast<Tour*>(parameter));
    bool passed = true;
    for (const TourStep& step : tour->steps) {
        LogLine("tour: " + DescribeStep(step, CurrentDesktop()));
        if (!RunStep(*tour, step)) {
            passed = false;
            break;
        }
    }
    ::PostMessageA(MainWindow(), kMsgTourDone, passed ? 1 : 0, 0);
    return 0;
}

}  // namespace

HANDLE StartTour(std::vector<TourStep> steps, std::string screenshotPath) {
    auto tour = std::make_unique<Tour>();
    tour->steps = std::move(steps);
    tour->screenshotPath = std::move(screenshotPath);
    HANDLE thread = ::CreateThread(nullptr, 0, TourMain, tour.get(), 0, nullptr);
    if (thread != nullptr) tour.release();
    return thread;
}

}  // namespace qvhost
