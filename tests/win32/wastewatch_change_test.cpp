// The monitor where this run's bin is also where Windows keeps it (a bin folder per fixed drive under
// the user's SID), so that its change watch stands in for measuring: every kind of change is still
// reported within one check interval.
#include "wastewatch_monitor_fixture.h"

#include <dbt.h>

#include <algorithm>
#include <string>

#include "device_events.h"

namespace {

using namespace wwtest;

constexpr DWORD kWithinOneInterval = 1000 + 1500;  // the interval of 1 s, and room for a slow machine
// The bin folders of drives Q: and R: (see cmake/wine-run.sh).
const std::string kBinOnQ = "Q:\\$Recycle.Bin\\S-1-5-21-0-0-0-1000";
const std::string kBinOnR = "R:\\$Recycle.Bin\\S-1-5-21-0-0-0-1000";
constexpr DWORD kAnswerTimeout = 1000;

// Waits for a report of this code and says how long it took.
bool ReportedWithin(std::uint32_t code, DWORD timeout, DWORD& waited) {
    const DWORD start = ::GetTickCount();
    const bool seen = qvtest::PumpUntil(
        [code] {
            for (const Note& note : g_received) {
                if (note.first == code) return true;
            }
            return false;
        },
        timeout);
    waited = ::GetTickCount() - start;
    return seen;
}

TEST_F(Monitor, EveryChangeReportedWithinInterval) {
    HostWindow host;
    Watch(1, WatchRecord{1, 1, 1, 0, 1, 0});  // critical limit 1 MB, notified
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    ASSERT_EQ(WaitForNotes(2), (Notes{{kFilled, 1}, {kFilled, 1}}));
    qvtest::PumpFor(1500);  // several unchanged cycles: from here on the last measurement is reused

    DWORD waited = 0;
    g_received.clear();
    // An item written straight into the trash, outside the shell.
    ASSERT_TRUE(wwtest::FillTrashDirectly(1, 2u << 20, "big"));
    EXPECT_TRUE(ReportedWithin(kCritical, kWithinOneInterval, waited)) << "added outside the shell";

    g_received.clear();
    // The same item removed outside the shell.
    ASSERT_TRUE(::DeleteFileA((wwtest::TrashFolder() + "\\files\\big0.dat").c_str()));
    ASSERT_TRUE(::DeleteFileA((wwtest::TrashFolder() + "\\info\\big0.dat.trashinfo").c_str()));
    qvtest::PumpFor(200);
    g_received.clear();
    EXPECT_TRUE(qvtest::PumpUntil([] { return !g_received.empty(); }, kWithinOneInterval));
    EXPECT_EQ(g_received.back(), (Note{kFilled, 1})) << "removed outside the shell";

    g_received.clear();
    // The bin emptied by another program.
    std::string commandLine = "\"" + qvtest::BesideProgram("wastewatch_exit_probe.exe") + "\" empty";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    qv::UniqueHandle processHandle(process.hProcess);
    qv::UniqueHandle threadHandle(process.hThread);
    ASSERT_EQ(::WaitForSingleObject(processHandle.get(), 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReportedWithin(kEmptied, kWithinOneInterval, waited)) << "emptied by another program";
    EXPECT_EQ(wwtest::QueryBin().count, 0);
}

TEST_F(Monitor, StopStaysPromptWhileFoldersWatched) {
    HostWindow host;
    Watch(1, kEverySecond);
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    ASSERT_EQ(WaitForNotes(2).size(), 2u);
    const DWORD start = ::GetTickCount();
    Unwatch(1);
    plugin_.Unload();
    EXPECT_LT(::GetTickCount() - start, 200u);
    EXPECT_TRUE(qvtest::PumpUntil([] { return ::GetModuleHandleA("Wastewatch.dll") == nullptr; }, 5000));
}

// The monitor's message-only window, through which the system asks it to let go of a drive.
HWND DriveWatchWindow() {
    return ::FindWindowExA(HWND_MESSAGE, nullptr, "WastewatchDriveWatch", nullptr);
}

// The one handle the monitor holds on the folder, once it holds exactly one (a measurement's handles come
// and go). Looking through every handle value is slow under a loaded emulator: the bound is generous.
HANDLE MonitorHandleOn(const std::string& folder) {
    std::vector<HANDLE> held;
    qvtest::PumpUntil([&] { return (held = qvtest::HandlesOnFolder(folder)).size() == 1; }, 20000);
    return held.size() == 1 ? held.front() : nullptr;
}

// Whether the handle is no longer open on the folder. A measurement has handles of its own on the bin
// folders for a moment (Wine gives the resolved path, where the trash is), so only this one counts.
bool Closed(HANDLE handle, const std::string& folder, DWORD timeout) {
    return qvtest::PumpUntil(
        [&] {
            const std::vector<HANDLE> open = qvtest::HandlesOnFolder(folder);
            return std::find(open.begin(), open.end(), handle) == open.end();
        },
        timeout);
}

// Whether, at some moment within the time, nothing is open on the folder (a measurement's handles come
// and go; a watch's stays).
bool NoneOpenOn(const std::string& folder, DWORD timeout) {
    return qvtest::PumpUntil([&] { return qvtest::HandlesOnFolder(folder).empty(); }, timeout);
}

// Sends the device event and says whether the answer, within the time, allows the removal.
bool Allowed(WPARAM event, HANDLE handle) {
    LRESULT answer = 0;
    return qvtest::SendHandleEvent(DriveWatchWindow(), event, handle, kAnswerTimeout, answer) && answer == TRUE;
}

TEST_F(Monitor, DriveLetGoForRemovalAndRewatched) {
    HostWindow host;
    Watch(1, WatchRecord{1, 1, 1, 0, 1, 0});  // critical limit 1 MB, notified
    ASSERT_TRUE(wwtest::FillBin(1, {10}));
    ASSERT_EQ(WaitForNotes(2), (Notes{{kFilled, 1}, {kFilled, 1}}));
    const HANDLE onQ = MonitorHandleOn(kBinOnQ);
    ASSERT_NE(onQ, nullptr);
    const HANDLE onR = MonitorHandleOn(kBinOnR);
    ASSERT_NE(onR, nullptr);

    // A handle that is not the monitor's lets nothing go.
    EXPECT_TRUE(Allowed(DBT_DEVICEQUERYREMOVE, reinterpret_cast<HANDLE>(0x7ffc)));
    EXPECT_FALSE(Closed(onQ, kBinOnQ, 0));

    EXPECT_TRUE(Allowed(DBT_DEVICEQUERYREMOVE, onQ));
    EXPECT_TRUE(Closed(onQ, kBinOnQ, 1000));
    EXPECT_FALSE(Closed(onR, kBinOnR, 0)) << "the other drive stays watched";

    DWORD waited = 0;
    Forget();
    // A change reaches both drives' folders; the released one is only found by measuring.
    ASSERT_TRUE(wwtest::FillTrashDirectly(1, 2u << 20, "big"));
    EXPECT_TRUE(ReportedWithin(kCritical, kWithinOneInterval, waited)) << "changed while released";
    EXPECT_TRUE(NoneOpenOn(kBinOnQ, kWithinOneInterval)) << "released through the cycles";

    EXPECT_TRUE(Allowed(DBT_DEVICEQUERYREMOVEFAILED, onQ));
    EXPECT_NE(MonitorHandleOn(kBinOnQ), nullptr) << "watched again";
    ASSERT_TRUE(::DeleteFileA((wwtest::TrashFolder() + "\\files\\big0.dat").c_str()));
    ASSERT_TRUE(::DeleteFileA((wwtest::TrashFolder() + "\\info\\big0.dat.trashinfo").c_str()));
    qvtest::PumpFor(200);
    g_received.clear();
    EXPECT_TRUE(qvtest::PumpUntil([] { return !g_received.empty(); }, kWithinOneInterval));
    EXPECT_EQ(g_received.back(), (Note{kFilled, 1})) << "changed once watched again";

    // Gone for good: the registration is given up, and the drive is not watched again while it stays.
    EXPECT_TRUE(Allowed(DBT_DEVICEQUERYREMOVE, onQ));
    EXPECT_TRUE(Allowed(DBT_DEVICEREMOVECOMPLETE, onQ));
    qvtest::PumpFor(1500);
    EXPECT_TRUE(NoneOpenOn(kBinOnQ, kWithinOneInterval));
}

TEST_F(Monitor, ARemovalIsAnsweredWhileTheBinIsMeasured) {
    HostWindow host;
    ASSERT_TRUE(wwtest::FillTrashDirectly(3000, 10, "r"));  // seconds to measure under Wine
    Watch(1, kEverySecond);
    ASSERT_EQ(WaitForNotes(2, 30000).size(), 2u);
    const HANDLE onQ = MonitorHandleOn(kBinOnQ);
    ASSERT_NE(onQ, nullptr);
    ASSERT_TRUE(wwtest::FillTrashDirectly(1, 10, "more"));
    qvtest::PumpFor(400);  // let settle, and into the measurement ahead of the cycle
    EXPECT_TRUE(Allowed(DBT_DEVICEQUERYREMOVE, onQ));
    EXPECT_TRUE(Closed(onQ, kBinOnQ, 1000));
}

// Whatever a drive's removal left it in, an unload leaves no window, handle or thread behind.
TEST_F(Monitor, UnloadInAnyDriveStateLeavesNothing) {
    struct Round {
        const char* name;
        std::vector<WPARAM> events;  // sent for the monitor's handle on Q:
        bool uninit;                 // false: unloaded while still watching, as a host that breaks the contract
    };
    const Round rounds[] = {
        {"watched", {}, true},
        {"released", {DBT_DEVICEQUERYREMOVE}, true},
        {"watched again", {DBT_DEVICEQUERYREMOVE, DBT_DEVICEQUERYREMOVEFAILED}, true},
        {"removed", {DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVECOMPLETE}, true},
        {"removed by surprise", {DBT_DEVICEREMOVECOMPLETE}, true},
        {"watched, unloaded without QVUninit", {}, false},
        {"released, unloaded without QVUninit", {DBT_DEVICEQUERYREMOVE}, false},
    };
    plugin_.Unload();
    std::size_t threadsBefore = 0;
    // A first round sets up what the system keeps once per process.
    for (int i = -1; i < static_cast<int>(std::size(rounds)); ++i) {
        const Round& round = rounds[i < 0 ? 0 : i];
        SCOPED_TRACE(round.name);
        if (i == 0) threadsBefore = qvtest::SettledThreadCount();
        plugin_ = qvtest::LoadPlugin("Wastewatch.dll");
        Watch(1, kEverySecond);
        const HANDLE onQ = MonitorHandleOn(kBinOnQ);
        ASSERT_NE(onQ, nullptr);
        for (WPARAM event : round.events) EXPECT_TRUE(Allowed(event, onQ));
        if (round.uninit) Unwatch(1);
        watched_.clear();
        plugin_.Unload();
        ASSERT_TRUE(qvtest::ModuleGoneWithin("Wastewatch.dll", 5000));
        EXPECT_EQ(DriveWatchWindow(), nullptr);
        EXPECT_TRUE(qvtest::HandlesOnFolder(kBinOnQ).empty());
        EXPECT_TRUE(qvtest::HandlesOnFolder(kBinOnR).empty());
        if (i >= 0) {
            EXPECT_EQ(qvtest::SettledThreadCount(), threadsBefore);
        }
    }
}

}  // namespace
