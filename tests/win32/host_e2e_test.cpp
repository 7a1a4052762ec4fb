// The reference host end to end, as a separate process on the virtual desktop: the tour's two flows
// (a hotkey press, files deleted into the bin), records that survive a restart or fall back when
// damaged, notifications, and a desktop file with errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "hotkey_record.h"
#include "records.h"
#include "relay_target.h"
#include "screenshot.h"
#include "tour.h"
#include "watch_record.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

// The tour presses its hotkey by these constants; Hotrelay2 stores the modifier as it registers it.
static_assert(qvhost::kTourHotkeyModifier == hotrelay::kModControl);

int g_hostRuns = 0;  // each run's output file is its own: a host may be started while another one runs

using HostRun = qvtest::ProgramRun;

std::string TempPath(const char* name) {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name + std::to_string(::GetCurrentProcessId());
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

// Waits until the host's output so far holds text.
bool WaitForOutput(const std::string& outputPath, const char* text, DWORD timeout = 20000) {
    return qvtest::PumpUntil([&] { return qvtest::ReadWholeFile(outputPath).find(text) != std::string::npos; },
                             timeout);
}

// Starts reference_host.exe with these arguments, its output going to a file. whileRunning gets the
// output file's path and may act on the host before it is waited for.
template <typename Action>
HostRun RunHost(const std::string& arguments, Action whileRunning, DWORD timeout = 90000) {
    const std::string outputPath = TempPath(("host_output_" + std::to_string(++g_hostRuns) + "_").c_str());
    return qvtest::RunBeside(
        "reference_host.exe", arguments, outputPath, [&] { whileRunning(outputPath); }, timeout);
}

HostRun RunHost(const std::string& arguments) {
    return RunHost(arguments, [](const std::string&) {});
}

// The lines appear in the output in this order (other lines may come between them).
::testing::AssertionResult InOrder(const std::string& output, std::initializer_list<std::string> lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = output.find(line, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing (in this order): " << line << "\n--- output:\n" << output;
        at = found + line.size();
    }
    return ::testing::AssertionSuccess();
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

TEST(HostEndToEnd, TourPassesAndSettingsSurviveReopen) {
    const std::string records = TempPath("tour_records_");
    const std::string screenshot = qvtest::ArtifactPath("host_tour.png");
    const HostRun run = RunHost("--tour --records " + Quoted(records) + " --screenshot " + Quoted(screenshot));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    // A calculator button's click reaches Calculator.dll(Key) through Hotrelay2 with its parameter 2.
    EXPECT_TRUE(InOrder(run.output, {"\"1\" (18) clicked: QVCommandEx(\"Calculator.dll(Key)\", 49, 0, 0)",
                                     "\"Display\" (2) shows \"1\"", "(\"Calculator.dll(Key)\", 50, 0, 0)",
                                     "\"Display\" (2) shows \"12\"", "(\"Calculator.dll(Key)\", 43, 0, 0)",
                                     "(\"Calculator.dll(Key)\", 51, 0, 0)", "(\"Calculator.dll(Key)\", 61, 0, 0)",
                                     "\"Display\" (2) shows \"15\""}));
    // Files deleted into the bin move the bin object through its states; a click empties it.
    EXPECT_TRUE(
        InOrder(run.output,
                {"received 9997 code 8750394: shows \"Holding files\"", "received 9997 code 8750396: shows \"Warning\"",
                 "received 9997 code 8750395: shows \"Critical\"", "\"Recycle Bin\" (1) clicked: QVCommand(0, 0)",
                 "received 9997 code 8750393: shows \"Empty\""}));
    // The key press on the bound combination ends in a click on the object, and its command.
    EXPECT_TRUE(
        InOrder(run.output, {"tour: press Ctrl+F10", "\"C\" (22) clicked: QVCommandEx(\"Calculator.dll(Key)\", 67",
                             "\"Display\" (2) shows \"0\""}));
    // Reopened: the records came back, the hotkey saved while bound binds again, the limits hold.
    EXPECT_TRUE(InOrder(run.output, {"tour: every step passed", "tour: reopening the host",
                                     "\"C\" (22) record restored: 02000000 79000000 01000000", "tour: press Ctrl+F10",
                                     "\"C\" (22) clicked", "received 9997 code 8750395: shows \"Critical\"",
                                     "tour: every step passed"}));
    EXPECT_EQ(run.output.find("host: warning"), std::string::npos) << run.output;

    const qvhost::RecordsFile file = qvhost::ReadRecords(qvtest::ReadWholeFile(records));
    const auto hotkey = qvhost::ChooseRecord(file, true, "default", 22, "Hotrelay2.dll",
                                             sizeof(hotrelay::HotkeyRecord));
    ASSERT_TRUE(hotkey.data.has_value()) << hotkey.warning;
    // What the tour set in the plug-ins' dialogs, in the plug-ins' own record layouts.
    hotrelay::HotkeyRecord saved{};
    std::memcpy(&saved, hotkey.data->data(), sizeof saved);
    EXPECT_EQ(saved.modifiers, qvhost::kTourHotkeyModifier);
    EXPECT_EQ(saved.virtualKey, qvhost::kTourHotkeyVirtualKey);
    EXPECT_EQ(saved.virtualKey, static_cast<std::uint32_t>(VK_F10));
    EXPECT_EQ(saved.activationKind, hotrelay::kSingleClick);
    EXPECT_NE(saved.atom, 0u);  // saved while bound: run-time values are stored as they were
    EXPECT_NE(saved.previousProc, 0u);
    const auto bin = qvhost::ChooseRecord(file, true, "default", 1, "Wastewatch.dll", sizeof(wastewatch::WatchRecord));
    ASSERT_TRUE(bin.data.has_value()) << bin.warning;
    wastewatch::WatchRecord watch{};
    std::memcpy(&watch, bin.data->data(), sizeof watch);
    EXPECT_EQ(watch.checkInterval, qvhost::kTourCheckInterval);
    EXPECT_EQ(watch.criticalLimit, qvhost::kTourCriticalLimit);
    EXPECT_EQ(watch.warningLimit, qvhost::kTourWarningLimit);
    EXPECT_NE(watch.notifyCritical, 0u);
    EXPECT_NE(watch.notifyWarning, 0u);
    EXPECT_EQ(qvtest::ReadWholeFile(screenshot).substr(1, 3), "PNG");
    ::DeleteFileA(records.c_str());
}

// Records written as the host would, for the default desktop: the bin with the tour's limits and
// the C button with a hotkey saved while bound (a stale atom and procedure from another process).
std::vector<qvhost::StoredRecord> SavedRecords() {
    const wastewatch::WatchRecord watch{1, 16, 1, 1, 2, 1};
    const hotrelay::HotkeyRecord hotkey{
        hotrelay::kModControl, VK_F9, hotrelay::kSingleClick, 0xC0FF, {0, 0}, 0x12345678};
    std::vector<qvhost::StoredRecord> records;
    const auto bytes = [](const auto& value) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
        return std::vector<std::uint8_t>(p, p + sizeof value);
    };
    records.push_back({"default", 1, "Wastewatch.dll", bytes(watch)});
    records.push_back({"default", 22, "Hotrelay2.dll", bytes(hotkey)});
    records.push_back({"office", 5, "Other.dll", {1, 2, 3}});  // another desktop's: kept
    return records;
}

TEST(HostEndToEnd, DamagedRecordsFallBackAlone) {
    const std::string records = TempPath("damaged_records_");
    const std::string good = qvhost::WriteRecords(SavedRecords());
    std::string damaged = good;
    damaged[damaged.find("Wastewatch.dll\t24\t") + 30] ^= 0x01;  // a digit of the bin's checksum or data
    const std::size_t hotkeyLine = good.find("record\tdefault\t22");
    const std::string cut = good.substr(0, hotkeyLine + 30) + good.substr(good.find('\n', hotkeyLine));  // C cut short
    struct Case {
        const char* name;
        std::string text;
        const char* warning;
        bool binKept;
    };
    const Case cases[] = {
        {"altered", damaged, "object \"Recycle Bin\" (1): its stored record (line 2) is damaged", false},
        {"cut", cut, "object \"C\" (22): its stored record (line 3) is damaged", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(records, c.text);
        const HostRun run = RunHost("--once --records " + Quoted(records));
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_NE(run.output.find("host: warning: " + std::string(c.warning)), std::string::npos) << run.output;
        const qvhost::RecordsFile saved = qvhost::ReadRecords(qvtest::ReadWholeFile(records));
        EXPECT_TRUE(saved.problems.empty());
        const auto bin = qvhost::ChooseRecord(saved, true, "default", 1, "Wastewatch.dll", 24);
        const auto hotkey = qvhost::ChooseRecord(saved, true, "default", 22, "Hotrelay2.dll", 20);
        ASSERT_TRUE(bin.data && hotkey.data);
        // The fallen-back record is QVDefault's (no limits); the good one is as stored.
        EXPECT_EQ((*bin.data)[16], c.binKept ? 2u : 0u);
        EXPECT_EQ((*hotkey.data)[4], c.binKept ? 0u : static_cast<std::uint8_t>(VK_F9));
        EXPECT_TRUE(qvhost::ChooseRecord(saved, true, "office", 5, "Other.dll", 3).data.has_value());
    }
    ::DeleteFileA(records.c_str());
}

// The running host's main window, as the plug-ins find it.
HWND HostWindow() {
    return ::FindWindowA(qv::kMainWindowClass, qv::kMainWindowName);
}

// Waits until the host started has attached its objects, and returns its main window.
HWND AttachedHost(const std::string& output) {
    if (!WaitForOutput(output, "object(s) attached")) return nullptr;
    return HostWindow();
}

TEST(HostEndToEnd, StaleHotkeyBindsFailedSaveKeepsFile) {
    const std::string records = TempPath("stale_records_");
    const std::string text = qvhost::WriteRecords(SavedRecords());
    WriteFile(records, text);
    std::string blocker;
    bool pressed = false;
    const HostRun run = RunHost("--records " + Quoted(records), [&](const std::string& output) {
        HWND main = AttachedHost(output);
        ASSERT_NE(main, nullptr);
        DWORD host = 0;
        ::GetWindowThreadProcessId(main, &host);
        blocker = records + "." + std::to_string(host) + ".new";
        ASSERT_TRUE(::CreateDirectoryA(blocker.c_str(), nullptr));  // the host's new file cannot be written
        EXPECT_TRUE(qvtest::PressCombination(VK_CONTROL, VK_F9));
        pressed = WaitForOutput(output, "\"C\" (22) clicked");
        ::PostMessageA(main, WM_CLOSE, 0, 0);
    });
    ::RemoveDirectoryA(blocker.c_str());
    EXPECT_TRUE(pressed);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(InOrder(run.output, {"\"C\" (22) record restored: 02000000 78000000 01000000 ffc00000 78563412",
                                     "\"C\" (22) clicked: QVCommandEx(\"Calculator.dll(Key)\", 67",
                                     "host: error: records not saved", "are kept in \"" + records + ".unsaved\""}));
    EXPECT_EQ(qvtest::ReadWholeFile(records), text);
    EXPECT_TRUE(qvhost::ReadRecords(qvtest::ReadWholeFile(records + ".unsaved")).valid);
    ::DeleteFileA((records + ".unsaved").c_str());
    ::DeleteFileA(records.c_str());
}

// A desktop of one calculator display: a plug-in with a record, and nothing on the shared desktop.
std::string CalculatorDesktop(const char* name) {
    const std::string path = TempPath((std::string(name) + "_desktop_").c_str());
    WriteFile(path, "[Desktop]\nName=" + std::string(name) +
                        "\n[Object]\nId=3\nCaption=Display\nClass=display\nPlugin=Calculator.dll\n");
    return path;
}

TEST(HostRecordsFile, UnreadableFileIsNotSavedOver) {
    const std::string desktop = CalculatorDesktop("alpha");
    const std::string records = TempPath("held_records_");
    const std::string text = qvhost::WriteRecords({{"office", 5, "Other.dll", {1, 2, 3}}});
    WriteFile(records, text);
    // Held open without sharing while the host starts, let go before it saves.
    qv::UniqueFile held(
        ::CreateFileA(records.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held) << "error " << ::GetLastError();
    const HostRun run = RunHost("--desktop " + Quoted(desktop) + " --records " + Quoted(records),
                                [&](const std::string& output) {
                                    HWND main = AttachedHost(output);
                                    held.reset();
                                    ASSERT_NE(main, nullptr);
                                    ::PostMessageA(main, WM_CLOSE, 0, 0);
                                });
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(InOrder(run.output, {"host: error: cannot read the records file \"" + records + "\"",
                                     "sharing violation", "\"Display\" (3) record from QVDefault",
                                     "host: error: records not saved", "would have gone to " + records}));
    EXPECT_EQ(qvtest::ReadWholeFile(records), text);
    ::DeleteFileA(records.c_str());
    ::DeleteFileA(desktop.c_str());
}

TEST(HostRecordsFile, SaveKeepsWhatAnotherHostSavedMeanwhile) {
    const std::string alpha = CalculatorDesktop("alpha"), beta = CalculatorDesktop("beta");
    const std::string records = TempPath("shared_records_");
    ::DeleteFileA(records.c_str());
    HostRun second;
    const HostRun first = RunHost("--desktop " + Quoted(alpha) + " --records " + Quoted(records),
                                  [&](const std::string& output) {
                                      HWND main = AttachedHost(output);
                                      ASSERT_NE(main, nullptr);
                                      second = RunHost("--once --desktop " + Quoted(beta) + " --records " +
                                                       Quoted(records));
                                      ::PostMessageA(main, WM_CLOSE, 0, 0);
                                  });
    EXPECT_EQ(first.exitCode, 0u) << first.output;
    EXPECT_EQ(second.exitCode, 0u) << second.output;
    const qvhost::RecordsFile saved = qvhost::ReadRecords(qvtest::ReadWholeFile(records));
    EXPECT_TRUE(saved.valid && saved.problems.empty());
    for (const char* name : {"alpha", "beta"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(std::count_if(saved.records.begin(), saved.records.end(),
                                [&](const qvhost::StoredRecord& r) { return r.desktop == name && r.id == 3; }),
                  1);
    }
    for (const std::string& path : {records, alpha, beta}) ::DeleteFileA(path.c_str());
}

// Each record of the file as "desktop/id plug-in".
std::vector<std::string> RecordsIn(const std::string& path) {
    std::vector<std::string> held;
    for (const qvhost::StoredRecord& r : qvhost::ReadRecords(qvtest::ReadWholeFile(path)).records)
        held.push_back(r.desktop + "/" + std::to_string(r.id) + " " + r.plugin);
    std::sort(held.begin(), held.end());
    return held;
}

// The other program's part: it opens the records file as an indexer does, sharing reading and
// writing, while the host closes, and lets go once the host has found the file in use and waited
// holdMs, or only when the host has kept its records aside.
HostRun CloseWhileHeld(const std::string& arguments, const std::string& records, DWORD holdMs) {
    return RunHost(arguments, [&](const std::string& output) {
        HWND main = AttachedHost(output);
        ASSERT_NE(main, nullptr);
        const qv::UniqueFile held(::CreateFileA(records.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held) << "error " << ::GetLastError();
        ::PostMessageA(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitForOutput(output, "is in use"));
        if (holdMs == INFINITE) {
            EXPECT_TRUE(WaitForOutput(output, "are kept in"));
        } else {
            ::Sleep(holdMs);
        }
    });
}

TEST(HostRecordsFile, SaveWaitsForHolderOrKeepsAside) {
    const std::string desktop = CalculatorDesktop("alpha");
    const std::string records = TempPath("indexed_records_"), side = records + ".unsaved";
    ::DeleteFileA(side.c_str());
    const std::string arguments = "--desktop " + Quoted(desktop) + " --records " + Quoted(records);
    const std::string office = qvhost::WriteRecords({{"office", 5, "Other.dll", {1, 2, 3}}});
    const std::vector<std::string> both{"alpha/3 Calculator.dll", "office/5 Other.dll"};

    WriteFile(records, office);
    HostRun run = CloseWhileHeld(arguments, records, 1500);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(InOrder(run.output, {"is in use", "host: records saved to " + records}));
    EXPECT_EQ(RecordsIn(records), both);

    WriteFile(records, office);
    run = CloseWhileHeld(arguments, records, INFINITE);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(InOrder(run.output, {"is in use", "host: error: records not saved: cannot replace",
                                     "are kept in \"" + side + "\""}));
    EXPECT_EQ(qvtest::ReadWholeFile(records), office);
    EXPECT_EQ(RecordsIn(side), std::vector<std::string>{"alpha/3 Calculator.dll"});

    // Another host saved its own record for the object meanwhile: the side file's wins at the next
    // start, and that run's save takes it in.
    WriteFile(records, qvhost::WriteRecords({{"office", 5, "Other.dll", {1, 2, 3}}, {"alpha", 3, "Other.dll", {}}}));
    run = RunHost("--once " + arguments);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(InOrder(run.output, {Quoted(side) + " holds 1 record(s)", "\"Display\" (3) record restored",
                                     "host: records saved to " + records, "are saved too; it is removed"}));
    EXPECT_EQ(run.output.find("host: warning"), std::string::npos) << run.output;
    EXPECT_EQ(RecordsIn(records), both);
    EXPECT_EQ(::GetFileAttributesA(side.c_str()), INVALID_FILE_ATTRIBUTES);
    for (const std::string& path : {records, side, desktop}) ::DeleteFileA(path.c_str());
}

TEST(HostEndToEnd, CloseInPluginCallWaitsForReturn) {
    const std::string desktop = TempPath("relay_desktop_");
    WriteFile(desktop,
              "[Desktop]\nName=alpha\n[Object]\nId=4\nCaption=Relay\nClass=custom\nPlugin=Hotrelay2.dll\n"
              "Param1=NotLoaded.dll(Key)\n[Object]\nId=3\nCaption=Display\nClass=display\nPlugin=Calculator.dll\n");
    const std::string records = TempPath("relay_records_");
    ::DeleteFileA(records.c_str());
    const auto click = [](HWND object) {
        ::PostMessageA(object, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        ::PostMessageA(object, WM_LBUTTONUP, 0, 0);
    };
    const HostRun run = RunHost(
        "--desktop " + Quoted(desktop) + " --records " + Quoted(records), [&](const std::string& output) {
            HWND main = AttachedHost(output);
            ASSERT_NE(main, nullptr);
            HWND relay = ::FindWindowExA(main, nullptr, "QVobject", "Relay");
            click(relay);
            HWND box = nullptr;
            ASSERT_TRUE(
                qvtest::PumpUntil([&] { return (box = ::FindWindowA("#32770", hotrelay::kRelayCaption)) != nullptr; },
                                  20000));
            // The display's caption is the calculator's now: it is the object window that is not the relay.
            HWND display = ::FindWindowExA(main, nullptr, "QVobject", nullptr);
            if (display == relay) display = ::FindWindowExA(main, relay, "QVobject", nullptr);
            click(display);
            EXPECT_TRUE(WaitForOutput(output, "ignored"));
            ::PostMessageA(main, WM_CLOSE, 0, 0);
            EXPECT_TRUE(WaitForOutput(output, "closing is put off"));
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(
        InOrder(run.output,
                {"\"Relay\" (4) clicked: QVCommandEx(\"NotLoaded.dll(Key)\"",
                 "\"Display\" (3) clicked while a plug-in call is running: ignored",
                 "host: closing is put off until the plug-in call that is running returns",
                 "host: the plug-in call has returned; the close asked for meanwhile is carried out",
                 "host: records saved to " + records, "host: every object detached and every library unloaded"}));
    EXPECT_EQ(RecordsIn(records), (std::vector<std::string>{"alpha/3 Calculator.dll", "alpha/4 Hotrelay2.dll"}));
    ::DeleteFileA(records.c_str());
    ::DeleteFileA(desktop.c_str());
}

TEST(HostEndToEnd, NotificationShowsOnlyListedCodes) {
    const std::string desktop = TempPath("notify_desktop_");
    WriteFile(desktop, "[Object]\nId=7\nCaption=Seven\n100=Hundred\n200=Two hundred\n[Object]\nId=8\nCaption=Eight\n");
    const HostRun run = RunHost("--desktop " + Quoted(desktop) + " --records " + Quoted(desktop + ".records"),
                                [](const std::string&) {
                                    HWND main = nullptr;
                                    ASSERT_TRUE(
                                        qvtest::PumpUntil([&] { return (main = HostWindow()) != nullptr; }, 20000));
                                    for (auto [code, id] : {std::pair{100, 7}, {300, 7}, {200, 7}, {100, 8}, {100, 9}})
                                        ::PostMessageA(main, 9997, code, id);
                                    ::PostMessageA(main, WM_CLOSE, 0, 0);
                                });
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(InOrder(run.output, {"\"Seven\" (7) received 9997 code 100: shows \"Hundred\"",
                                     "\"Seven\" (7) ignored message 9997 code 300",
                                     "\"Seven\" (7) received 9997 code 200: shows \"Two hundred\"",
                                     "\"Eight\" (8) ignored message 9997 code 100",
                                     "code 100 for object 9, which is not on the desktop",
                                     "\"Seven\" (7): 9997 code 100 x1; 9997 code 200 x1; 9997 code 300 x1; showed "
                                     "\"Hundred\" -> \"Two hundred\""}));
    ::DeleteFileA(desktop.c_str());
    ::DeleteFileA((desktop + ".records").c_str());
}

TEST(HostEndToEnd, DesktopErrorsNamedOthersStillWork) {
    const std::string desktop = TempPath("bad_desktop_");
    WriteFile(desktop,
              "[Object]\nId=1\nCaption=Missing\nPlugin=NoSuchPlugin.dll\n"
              "[Object]\nId=2\nCaption=Not a plug-in\nPlugin=version.dll\n"
              "[Object]\nId=3\nCaption=Display\nClass=display\nPlugin=Calculator.dll\n"
              "a line that cannot be read\n"
              "[Object]\nId=3\nCaption=Again\n");
    const HostRun run = RunHost("--once --desktop " + Quoted(desktop) + " --records " + Quoted(desktop + ".records"));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(InOrder(run.output, {":14: cannot read this line", ":15: object Id 3 is already used by \"Display\"",
                                     "3 object(s)"}));
    EXPECT_NE(run.output.find("\"Missing\" (1) shows \"Error: cannot load plug-in \"NoSuchPlugin.dll\""),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\"Not a plug-in\" (2) shows \"Error: plug-in \"version.dll\" does not export"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\"Display\" (3) shows \"0\""), std::string::npos) << run.output;
    ::DeleteFileA(desktop.c_str());
    ::DeleteFileA((desktop + ".records").c_str());
}

}  // namespace
