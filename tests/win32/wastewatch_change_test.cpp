// The monitor where this run's bin is also where Windows keeps it (a bin folder per fixed drive under
// the user's SID), so that its change watch stands in for measuring: every kind of change is still
// reported within one check interval.
#include "wastewatch_monitor_fixture.h"

#include <string>

namespace {

using namespace wwtest;

constexpr DWORD kWithinOneInterval = 1000 + 1500;  // the interval of 1 s, and room for a slow machine

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

TEST_F(Monitor, EveryKindOfChangeIsReportedWithinOneInterval) {
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

TEST_F(Monitor, StoppingStaysPromptWhileTheFoldersAreWatched) {
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

}  // namespace
