// The tour's hands: a thread of its own that carries out the tour's steps on the running host as a
// user would (mouse clicks posted to object windows, key presses on the keyboard, the plug-ins'
// dialogs filled in and confirmed, files deleted into the recycle bin) and waits, with a time limit,
// for what each step must bring about. What the steps are is decided in tour.cpp.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "desktop_input.h"
#include "hotkey_relay/res/resource_ids.h"
#include "png.h"
#include "recycle_watcher/res/resource_ids.h"
#include "tour.h"
#include "tour_view.h"
#include "win32_owner.h"
#include "window_png.h"

namespace qvhost {

static_assert(kTourHotkeyModifier == MOD_CONTROL);
static_assert(kTourHotkeyVirtualKey == VK_F10);

namespace {

constexpr DWORD kStepTimeout = 20000;  // ms; the bin's states follow within a few check intervals
constexpr char kHotkeyDialog[] = HOTKEY_PROPERTIES_CAPTION;
constexpr char kBinDialog[] = WATCHER_PROPERTIES_CAPTION;

template <typename Condition>
bool WaitFor(Condition done, DWORD timeout = kStepTimeout) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeout) return false;
        ::Sleep(20);
    }
    return true;
}

void Check(HWND dialog, int id) {
    if (::SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) != BST_CHECKED)
        ::SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

// One run of the tour on the host, on the tour's own thread.
class Tour {
public:
    Tour(TourView& host, std::vector<TourStep> steps, std::string screenshotPath)
        : host_(host), steps_(std::move(steps)), screenshotPath_(std::move(screenshotPath)) {}

    // Every step in turn, up to the first that fails; then the host hears the outcome.
    void Run();

private:
    bool Fail(const std::string& why);
    template <typename Fill>
    bool ThroughDialog(std::int32_t id, const char* caption, Fill fill);
    bool ConfigureHotkey(const TourStep& step);
    bool ConfigureBin(const TourStep& step);
    bool Click(const TourStep& step);
    bool PressHotkey(const TourStep& step);
    bool Expect(const TourStep& step, bool caption);
    bool ExpectRestored();
    bool DeleteFiles(const TourStep& step);
    bool Screenshot();
    bool RunStep(const TourStep& step);

    TourView& host_;
    std::vector<TourStep> steps_;
    std::string screenshotPath_;
    unsigned filesMade_ = 0;
};

bool Tour::Fail(const std::string& why) {
    host_.LogLine("tour:   failed: " + why);
    return false;
}

// Opens the object's Properties..., lets fill() set the dialog's controls, confirms with OK and waits
// until the host has re-attached the object and saved its record.
template <typename Fill>
bool Tour::ThroughDialog(std::int32_t id, const char* caption, Fill fill) {
    const unsigned before = host_.ViewObject(id).propertiesDone;
    ::PostMessageA(host_.MainWindow(), kMsgOpenProperties, 0, id);
    const HWND dialog = qv::WaitForWindow(caption, kStepTimeout);
    if (dialog == nullptr) return Fail(std::string("the dialog \"") + caption + "\" did not open");
    if (!fill(dialog)) {
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return false;
    }
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
    if (!WaitFor([&] { return host_.ViewObject(id).propertiesDone != before; }))
        return Fail("the host did not finish Properties...");
    return true;
}

// The settings are seen to work later, in the tour's own steps: the key press clicks the object, the
// bin's object passes through the warning and critical states at the tour's limits.
bool Tour::ConfigureHotkey(const TourStep& step) {
    return ThroughDialog(step.objectId, kHotkeyDialog, [this](HWND dialog) {
        if (::SendDlgItemMessageA(dialog, IDC_HOTKEY_KEY, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(kTourHotkeyKey)) == CB_ERR)
            return Fail(std::string("the key list has no ") + kTourHotkeyKey);
        ::SendDlgItemMessageA(dialog, IDC_MODIFIER_CTRL, BM_CLICK, 0, 0);
        ::SendDlgItemMessageA(dialog, IDC_KIND_SINGLE_CLICK, BM_CLICK, 0, 0);
        return true;
    });
}

bool Tour::ConfigureBin(const TourStep& step) {
    return ThroughDialog(step.objectId, kBinDialog, [](HWND dialog) {
        ::SetDlgItemInt(dialog, IDC_CHECK_INTERVAL, kTourCheckInterval, FALSE);
        ::SetDlgItemInt(dialog, IDC_CRITICAL_LIMIT, kTourCriticalLimit, FALSE);
        ::SetDlgItemInt(dialog, IDC_WARNING_LIMIT, kTourWarningLimit, FALSE);
        Check(dialog, IDC_NOTIFY_CRITICAL);
        Check(dialog, IDC_NOTIFY_WARNING);
        return true;
    });
}

bool Tour::Click(const TourStep& step) {
    const ObjectView view = host_.ViewObject(step.objectId);
    if (!view.exists) return Fail("no such object");
    RECT area{};
    ::GetClientRect(view.window, &area);
    const LPARAM at = MAKELPARAM(area.right / 2, area.bottom / 2);
    ::PostMessageA(view.window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageA(view.window, WM_LBUTTONUP, 0, at);
    if (!WaitFor([&] { return host_.ViewObject(step.objectId).clicks != view.clicks; }))
        return Fail("no click arrived");
    return true;
}

bool Tour::PressHotkey(const TourStep& step) {
    const unsigned before = host_.ViewObject(step.objectId).clicks;
    if (!qv::PressCombination(VK_CONTROL, kTourHotkeyVirtualKey)) return Fail("the system refused the key presses");
    if (!WaitFor([&] { return host_.ViewObject(step.objectId).clicks != before; }))
        return Fail("the key press did not click the object");
    return true;
}

bool Tour::Expect(const TourStep& step, bool caption) {
    std::string seen;
    const bool ok = WaitFor([&] {
        const ObjectView view = host_.ViewObject(step.objectId);
        seen = caption ? view.caption : view.state;
        return seen == step.text;
    });
    return ok || Fail("it shows \"" + seen + "\"");
}

bool Tour::ExpectRestored() {
    for (std::int32_t id : host_.ObjectIds()) {
        const ObjectView view = host_.ViewObject(id);
        if (view.needsRecord && !view.restored) return Fail("object " + std::to_string(id) + " has its defaults");
    }
    return true;
}

// Files made for the tour in this run's temporary folder, then deleted into the recycle bin.
bool Tour::DeleteFiles(const TourStep& step) {
    char folder[MAX_PATH] = {};
    const DWORD length = ::GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return Fail("no temporary folder");
    std::string names;  // each name NUL-terminated, the list ends with a second NUL
    const std::vector<char> content(kTourFileSize, 'x');
    for (std::uint32_t i = 0; i < step.count; ++i) {
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%sqv_tour_%lu_%u.bin", folder, ::GetCurrentProcessId(), ++filesMade_);
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

bool Tour::Screenshot() {
    const std::string& path = screenshotPath_;
    ::RedrawWindow(host_.MainWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(200);  // let the last paint reach the screen
    if (!SaveWindowPng(host_.MainWindow(), path)) return Fail("cannot write " + path);
    host_.LogLine("tour:   wrote " + path);
    return true;
}

bool Tour::RunStep(const TourStep& step) {
    switch (step.action) {
        case TourAction::kConfigureHotkey: return ConfigureHotkey(step);
        case TourAction::kConfigureBin: return ConfigureBin(step);
        case TourAction::kExpectRestored: return ExpectRestored();
        case TourAction::kClick: return Click(step);
        case TourAction::kPressHotkey: return PressHotkey(step);
        case TourAction::kExpectCaption: return Expect(step, true);
        case TourAction::kDeleteFiles: return DeleteFiles(step);
        case TourAction::kExpectState: return Expect(step, false);
        case TourAction::kScreenshot: return Screenshot();
    }
    return false;
}

void Tour::Run() {
    bool passed = true;
    for (const TourStep& step : steps_) {
        host_.LogLine("tour: " + DescribeStep(step, host_.CurrentDesktop()));
        if (!RunStep(step)) {
            passed = false;
            break;
        }
    }
    ::PostMessageA(host_.MainWindow(), kMsgTourDone, passed ? 1 : 0, 0);
}

DWORD WINAPI TourMain(void* parameter) {
    std::unique_ptr<Tour>(static_cast<Tour*>(parameter))->Run();
    return 0;
}

}  // namespace

HANDLE StartTour(TourView& host, std::vector<TourStep> steps, std::string screenshotPath) {
    auto tour = std::make_unique<Tour>(host, std::move(steps), std::move(screenshotPath));
    HANDLE thread = ::CreateThread(nullptr, 0, TourMain, tour.get(), 0, nullptr);
    if (thread != nullptr) tour.release();
    return thread;
}

}  // namespace qvhost
