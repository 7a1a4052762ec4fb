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
// Here: the options and the modes, the second run of the tour and the event log's summary. The host
// itself is one object (host.h).
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host.h"
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

bool ReadDesktop(Host& host, const Options& options) {
    std::string text(DefaultDesktopText());
    std::string name = "(built-in desktop)";
    if (!options.desktopPath.empty()) {
        FileText file = ReadWholeFile(options.desktopPath);
        if (file.outcome != FileRead::kRead) {
            host.LogLine("host: error: cannot read the desktop file \"" + options.desktopPath + "\"" +
                         (file.failure.empty() ? "" : ": " + file.failure));
            return false;
        }
        text = std::move(file.text);
        name = options.desktopPath;
    }
    ParsedDesktop parsed = ParseDesktop(text, name);
    for (const std::string& error : parsed.errors) host.LogLine("host: error: " + error);
    host.SetDesktop(std::move(parsed.desktop));
    const Desktop& desktop = host.CurrentDesktop();
    host.LogLine(Format("host: desktop \"%s\" from %s: %u object(s)", desktop.name.c_str(), name.c_str(),
                        static_cast<unsigned>(desktop.objects.size())));
    return true;
}

void PrintSummary(Host& host) {
    host.LogLine("host: event log summary (what each object received and showed)");
    for (const auto& o : host.Objects()) {
        std::string line = "  " + Name(*o) + ":";
        {
            const Host::Shared lock(host);
            if (o->clicks != 0) line += Format(" %u click(s);", o->clicks);
            for (const auto& [code, count] : o->received) line += Format(" 9997 code %u x%u;", code, count);
            if (!o->shown.empty()) {
                line += " showed";
                for (std::size_t i = 0; i < o->shown.size(); ++i)
                    line += (i == 0 ? " \"" : " -> \"") + o->shown[i] + "\"";
            }
            if (o->caption != o->desc.caption) line += " caption now \"" + o->caption + "\"";
        }
        if (line.back() != ':') host.LogLine(line);
    }
}

// The tour's second half: the same program, started again on the same records file.
int RunReopened(Host& host, char** argv, int argc) {
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
    host.LogLine("tour: reopening the host on the same records file");
    if (!::CreateProcessA(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        host.LogLine(Format("tour: cannot start the host again (error %lu)", ::GetLastError()));
        return 1;
    }
    qv::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

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
    Host host;
    if (!ReadDesktop(host, *options)) return 1;

    std::vector<TourStep> steps;
    if (options->mode == Mode::kTour || options->mode == Mode::kTourReopened) {
        std::string error;
        steps = BuildTour(host.CurrentDesktop(),
                          options->mode == Mode::kTour ? TourPhase::kFirstRun : TourPhase::kReopened, error);
        if (steps.empty()) {
            host.LogLine("tour: cannot run on this desktop: " + error);
            return 1;
        }
    }

    if (!host.CreateWindows(::GetModuleHandleA(nullptr))) {
        host.LogLine(
            Format("host: error: cannot create the windows (error %lu; is there a display?)", ::GetLastError()));
        return 1;
    }
    host.AttachObjects(options->recordsPath);
    host.LogLine(Format("host: %u object(s) attached", static_cast<unsigned>(host.Objects().size())));
    ::ShowWindow(host.MainWindow(), SW_SHOWNORMAL);
    ::UpdateWindow(host.MainWindow());

    qv::UniqueHandle tour;
    if (!steps.empty()) {
        tour.reset(StartTour(host, std::move(steps), options->screenshotPath));
        if (!tour) ::PostMessageA(host.MainWindow(), kMsgTourDone, 0, 0);
    } else if (options->mode == Mode::kOnce) {
        ::SetTimer(host.MainWindow(), 1, 300, nullptr);
    }

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    host.DetachObjects();  // when the loop ended without WM_CLOSE
    if (tour) ::WaitForSingleObject(tour.get(), INFINITE);
    PrintSummary(host);
    if (options->mode == Mode::kTour) return host.TourPassed() ? RunReopened(host, argv, argc) : 1;
    if (options->mode == Mode::kTourReopened) return host.TourPassed() ? 0 : 1;
    return 0;
}

}  // namespace

}  // namespace qvhost

int main(int argc, char** argv) {
    return qvhost::Run(argc, argv);
}
