// The reference host: a small stand-in for the host application. It shows a desktop of objects in
// the main window "QVmain", each object a child window with its caption and its current state; it
// loads every plug-in its objects name, once per library, and drives them through the contract's
// entry points; it keeps every object's data record in a records file between runs.
//
//   reference_host.exe [--desktop FILE] [--records FILE] [--screenshot FILE] [--once | --tour]
//
// Without --desktop the built-in default desktop is used. --once starts, saves and exits; --tour
// runs the scripted tour (tour.h), then starts the host a second time on the same records file to
// show what survived. Exit code 0 unless the tour failed or the host could not start.
//
// Here: the modes, the second run of the tour, the event log's summary and what the tour's thread
// reads of the objects (tour_view.h). The plug-ins are driven in plugin_driver.cpp, the windows
// are in host_windows.cpp.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host.h"
#include "plugin_driver.h"
#include "tour.h"

namespace qvhost {

namespace {

enum class Mode { kInteractive, kOnce, kTour, kTourReopened };

struct Options {
    std::string desktopPath;  // empty: the built-in desktop
    std::string recordsPath = "reference_host.records";
    std::string screenshotPath = kTourScreenshot;
    Mode mode = Mode::kInteractive;
};

Options g_options;
bool g_tourPassed = false;

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        const bool hasValue = i + 1 < argc;
        if (flag == "--desktop" && hasValue) options.desktopPath = argv[++i];
        else if (flag == "--records" && hasValue) options.recordsPath = argv[++i];
        else if (flag == "--screenshot" && hasValue) options.screenshotPath = argv[++i];
        else if (flag == "--once") options.mode = Mode::kOnce;
        else if (flag == "--tour") options.mode = Mode::kTour;
        else if (flag == "--tour-reopened") options.mode = Mode::kTourReopened;
        else return std::nullopt;
    }
    return options;
}

bool ReadDesktop() {
    std::string text(DefaultDesktopText());
    std::string name = "(built-in desktop)";
    if (!g_options.desktopPath.empty()) {
        FileText file = ReadWholeFile(g_options.desktopPath);
        if (file.outcome != FileRead::kRead) {
            LogLine("host: error: cannot read the desktop file \"" + g_options.desktopPath + "\"" +
                    (file.failure.empty() ? "" : ": " + file.failure));
            return false;
        }
        text = std::move(file.text);
        name = g_options.desktopPath;
    }
    ParsedDesktop parsed = ParseDesktop(text, name);
    for (const std::string& error : parsed.errors) LogLine("host: error: " + error);
    g_desktop = std::move(parsed.desktop);
    LogLine(Format("host: desktop \"%s\" from %s: %u object(s)", g_desktop.name.c_str(), name.c_str(),
                   static_cast<unsigned>(g_desktop.objects.size())));
    return true;
}

void PrintSummary() {
    LogLine("host: event log summary (what each object received and showed)");
    for (const auto& o : g_objects) {
        std::string line = "  " + Name(*o) + ":";
        {
            const Shared lock;
            if (o->clicks != 0) line += Format(" %u click(s);", o->clicks);
            for (const auto& [code, count] : o->received) line += Format(" 9997 code %u x%u;", code, count);
            if (!o->shown.empty()) {
                line += " showed";
                for (std::size_t i = 0; i < o->shown.size(); ++i)
                    line += (i == 0 ? " \"" : " -> \"") + o->shown[i] + "\"";
            }
            if (o->caption != o->desc.caption) line += " caption now \"" + o->caption + "\"";
        }
        if (line.back() != ':') LogLine(line);
    }
}

// The tour's second half: the same program, started again on the same records file.
int RunReopened(char** argv, int argc) {
    char program[MAX_PATH] = {};
    if (::GetModuleFileNameA(nullptr, program, MAX_PATH) == 0) return 1;
    std::string command = "\"" + std::string(program) + "\"";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        command += arg == "--tour" ? " --tour-reopened" : " \"" + arg + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    LogLine("tour: reopening the host on the same records file");
    if (!::CreateProcessA(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        LogLine(Format("tour: cannot start the host again (error %lu)", ::GetLastError()));
        return 1;
    }
    qv::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

}  // namespace

void OnTourDone(bool passed) {
    g_tourPassed = passed;
    LogLine(passed ? "tour: every step passed" : "tour: FAILED");
    ::PostMessageA(g_main, WM_CLOSE, 0, 0);
}

ObjectView ViewObject(std::int32_t id) {
    ObjectView view;
    const Shared lock;
    for (const auto& o : g_objects) {
        if (o->desc.id != id) continue;
        view.exists = true;
        view.window = o->window;
        view.caption = o->caption;
        view.state = o->state;
        view.clicks = o->clicks;
        view.propertiesDone = o->propertiesDone;
        view.restored = o->restored;
        view.needsRecord = o->library != nullptr;
    }
    return view;
}

std::vector<std::int32_t> ObjectIds() {
    std::vector<std::int32_t> ids;
    for (const auto& o : g_objects) ids.push_back(o->desc.id);
    return ids;
}

HWND MainWindow() {
    return g_main;
}
const Desktop& CurrentDesktop() {
    return g_desktop;
}

namespace {

// The program: the desktop read, the windows made, the objects attached, the message loop, and for
// the tour its thread and the reopened run.
int Run(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fputs(
            "usage: reference_host.exe [--desktop FILE] [--records FILE] [--screenshot FILE] [--once | --tour]\n",
            stderr);
        return 2;
    }
    g_options = *options;
    if (!ReadDesktop()) return 1;

    std::vector<TourStep> steps;
    if (g_options.mode == Mode::kTour || g_options.mode == Mode::kTourReopened) {
        std::string error;
        steps = BuildTour(g_desktop, g_options.mode == Mode::kTour ? TourPhase::kFirstRun : TourPhase::kReopened,
                          error);
        if (steps.empty()) {
            LogLine("tour: cannot run on this desktop: " + error);
            return 1;
        }
    }

    if (!CreateWindows(::GetModuleHandleA(nullptr))) {
        LogLine(Format("host: error: cannot create the windows (error %lu; is there a display?)", ::GetLastError()));
        return 1;
    }
    AttachObjects(g_options.recordsPath);
    LogLine(Format("host: %u object(s) attached", static_cast<unsigned>(g_objects.size())));
    ::ShowWindow(g_main, SW_SHOWNORMAL);
    ::UpdateWindow(g_main);

    qv::UniqueHandle tour;
    if (!steps.empty()) {
        tour.reset(StartTour(std::move(steps), g_options.screenshotPath));
        if (!tour) ::PostMessageA(g_main, kMsgTourDone, 0, 0);
    } else if (g_options.mode == Mode::kOnce) {
        ::SetTimer(g_main, 1, 300, nullptr);
    }

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    DetachObjects();  // when the loop ended without WM_CLOSE
    if (tour) ::WaitForSingleObject(tour.get(), INFINITE);
    PrintSummary();
    if (g_options.mode == Mode::kTour) return g_tourPassed ? RunReopened(argv, argc) : 1;
    if (g_options.mode == Mode::kTourReopened) return g_tourPassed ? 0 : 1;
    return 0;
}

}  // namespace

}  // namespace qvhost

int main(int argc, char** argv) {
    return qvhost::Run(argc, argv);
}
