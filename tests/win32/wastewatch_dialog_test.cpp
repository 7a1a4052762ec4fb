// Wastewatch's QVConfig driven as a user would: QVConfig runs its modal dialog on the test thread while a
// second thread finds the dialog by its caption, reads it, types into it and ends it. The bin is the
// run's own empty trash; files are deleted into it through the shell.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_main_window.h"
#include "qv_contract.h"
#include "recycle_watcher/res/resource_ids.h"
#include "screenshot.h"
#include "wastewatch_bin_helpers.h"
#include "watch_record.h"
#include "wine_test_support.h"

namespace {

using wastewatch::WatchRecord;

constexpr char kCaption[] = WATCHER_PROPERTIES_CAPTION;
constexpr std::uint32_t kSentinel = 0xdeadbeef;
constexpr std::uint32_t kCodeFilled = 8750394;
constexpr std::uint32_t kCodeCritical = 8750395;
constexpr DWORD kDialogTimeout = 5000;

std::string EmptyBinReport() {
    return "All local bins are currently holding 0 megabytes of data in 0 object(s), which is 0 percent of your "
           "critical limit and 0 percent of your warning limit.";
}

std::string Report(const char* mb, const char* count, const char* critical, const char* warning) {
    return std::string("All local bins are currently holding ") + mb + " megabytes of data in " + count +
           " object(s), which is " + critical + " percent of your critical limit and " + warning +
           " percent of your warning limit.";
}

// The host's copy of a record with a sentinel word on each side, to show that a call writes exactly
// the 24 bytes of the record.
struct GuardedRecord {
    std::uint32_t before = kSentinel;
    WatchRecord record{};
    std::uint32_t after = kSentinel;
};

void ExpectRecord(const WatchRecord& got, const WatchRecord& want) {
    EXPECT_EQ(got.checkInterval, want.checkInterval);
    EXPECT_EQ(got.refreshInterval, want.refreshInterval);
    EXPECT_EQ(got.notifyCritical, want.notifyCritical);
    EXPECT_EQ(got.notifyWarning, want.notifyWarning);
    EXPECT_EQ(got.criticalLimit, want.criticalLimit);
    EXPECT_EQ(got.warningLimit, want.warningLimit);
}

void ExpectGuardsIntact(const GuardedRecord& guarded) {
    EXPECT_EQ(guarded.before, kSentinel);
    EXPECT_EQ(guarded.after, kSentinel);
}

qv::ObjectRecord Object(std::int32_t id) {
    return qv::ObjectRecord{id, {kSentinel, kSentinel}, 0};
}

// --- the isolated bin ---------------------------------------------------------------------------

std::uint64_t BinItemCount() {
    const wwtest::ShellBinInfo bin = wwtest::QueryBin();
    return bin.ok ? static_cast<std::uint64_t>(bin.count) : ~0ull;
}

// Makes a file of the given size and deletes it into the run's own bin, as Explorer would.
::testing::AssertionResult DeleteIntoBin(const char* name, std::uint64_t size) {
    const std::string path = wwtest::MakeFile(name, size);
    if (path.empty()) return ::testing::AssertionFailure() << "cannot make " << name << " (run through wine-run.sh)";
    const std::uint64_t countBefore = BinItemCount();
    if (!wwtest::DeleteIntoBin({path})) return ::testing::AssertionFailure() << "the shell did not delete " << path;
    if (BinItemCount() != countBefore + 1) {
        return ::testing::AssertionFailure() << "the bin holds " << BinItemCount() << " items, not " << countBefore + 1;
    }
    return ::testing::AssertionSuccess();
}

// --- the user -----------------------------------------------------------------------------------

std::string ControlText(HWND dialog, int id) {
    char text[512];
    std::memset(text, 0x5a, sizeof text);
    const UINT length = ::GetDlgItemTextA(dialog, id, text, static_cast<int>(sizeof text));
    return std::string(text, length);
}

// What the user saw when the dialog came up.
struct DialogView {
    HWND owner = nullptr;
    std::string fillReport, checkInterval, refreshInterval, criticalLimit, warningLimit;
    bool notifyCritical = false, notifyWarning = false;
};

DialogView ReadView(HWND dialog) {
    DialogView view;
    view.owner = ::GetWindow(dialog, GW_OWNER);
    view.fillReport = ControlText(dialog, 1012);
    view.checkInterval = ControlText(dialog, 1002);
    view.refreshInterval = ControlText(dialog, 1010);
    view.criticalLimit = ControlText(dialog, 1006);
    view.warningLimit = ControlText(dialog, 1008);
    view.notifyCritical = ::IsDlgButtonChecked(dialog, 1004) == BST_CHECKED;
    view.notifyWarning = ::IsDlgButtonChecked(dialog, 1005) == BST_CHECKED;
    return view;
}

enum class Ending { kOk, kCancel, kClose };

struct ConfigRun {
    bool dialogSeen = false;
    bool endedByUser = false;  // the dialog went away after the chosen ending
    DialogView view;
    qvtest::CheckedCall call{};
};

// Calls QVConfig on this thread; another thread plays the user: waits for the dialog, reads it, runs
// `act` on it, then ends it with OK, Cancel or WM_CLOSE.
ConfigRun RunConfig(const qv::PluginLibrary& plugin, const qv::ObjectRecord& object, GuardedRecord& guarded, HWND owner,
                    Ending ending, const std::function<void(HWND)>& act = {}) {
    ConfigRun run;
    qvtest::Thread user([&] {
        const HWND dialog = qvtest::WaitForWindow(kCaption, kDialogTimeout);
        if (dialog == nullptr) return;
        run.dialogSeen = true;
        run.view = ReadView(dialog);
        if (act) act(dialog);
        switch (ending) {
            case Ending::kOk: ::SendMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); break;
            case Ending::kCancel: ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0); break;
            case Ending::kClose: ::SendMessageA(dialog, WM_CLOSE, 0, 0); break;
        }
        const DWORD start = ::GetTickCount();
        while (::IsWindow(dialog) && ::GetTickCount() - start < kDialogTimeout) ::Sleep(5);
        run.endedByUser = !::IsWindow(dialog);
        // Never leave QVConfig blocked: a dialog that ignored the user is cancelled.
        if (!run.endedByUser) ::SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    const auto config = reinterpret_cast<const void*>(plugin.entry().config);
    run.call = qvtest::CallStdcall(config, {qvtest::Arg(&object), qvtest::Arg(&guarded.record), qvtest::Arg(owner)});
    user.join();
    return run;
}

void ExpectCleanRun(const ConfigRun& run) {
    EXPECT_TRUE(run.dialogSeen) << "no window \"" << kCaption << "\" appeared";
    EXPECT_TRUE(run.endedByUser);
    EXPECT_EQ(run.call.result, 1u);
    EXPECT_TRUE(run.call.stackBalanced) << "QVConfig did not remove exactly its 12 bytes of arguments";
}

// --- windows of the host ------------------------------------------------------------------------

using qvtest::Notification;

// Whether `pattern` occurs as consecutive notifications at or after `from`.
bool SeenFrom(std::size_t from, const std::vector<Notification>& pattern) {
    const std::vector<Notification>& received = qvtest::FakeMainWindow::Received();
    for (std::size_t i = from; i + pattern.size() <= received.size(); ++i) {
        if (std::equal(pattern.begin(), pattern.end(), received.begin() + static_cast<std::ptrdiff_t>(i))) return true;
    }
    return false;
}

class WastewatchDialog : public ::testing::Test {
protected:
    void SetUp() override {
        plugin_.emplace(qvtest::LoadPlugin("Wastewatch.dll"));
        ASSERT_NE(plugin_->entry().config, nullptr) << "QVConfig is not exported";
        owner_.reset(qvtest::WindowOfClass("WastewatchTestOwner", ::DefWindowProcA, "Owner", WS_OVERLAPPEDWINDOW, 0, 0,
                                           200, 100));
        ASSERT_TRUE(owner_);
    }

    const qv::PluginLibrary& plugin() const { return *plugin_; }

    qvtest::CheckedCall Init(const qv::ObjectRecord& object, GuardedRecord& guarded) {
        return qvtest::CallStdcall(reinterpret_cast<const void*>(plugin().entry().init),
                                   {qvtest::Arg(&object), qvtest::Arg(&guarded.record)});
    }
    void Uninit(const qv::ObjectRecord& object, GuardedRecord& guarded) {
        qvtest::CallStdcall(reinterpret_cast<const void*>(plugin().entry().uninit),
                            {qvtest::Arg(&object), qvtest::Arg(&guarded.record)});
    }
    WatchRecord Default() {
        GuardedRecord guarded;
        std::memset(&guarded.record, 0xab, sizeof guarded.record);
        qvtest::CallStdcall(reinterpret_cast<const void*>(plugin().entry().defaultRecord),
                            {0x5a5a5a5au, qvtest::Arg(&guarded.record)});
        ExpectGuardsIntact(guarded);
        return guarded.record;
    }

    std::optional<qv::PluginLibrary> plugin_;
    qv::UniqueWindow owner_;
};

TEST_F(WastewatchDialog, ReportsTheBinAgainstTheLimits) {
    struct File {
        const char* name;
        std::uint64_t size;
    };
    const struct {
        const char* what;
        std::vector<File> deleted;
        WatchRecord record;
        std::string report;
        const char* screenshot;
    } cases[] = {
        {"empty bin", {}, {4, 16, 1, 1, 10, 5}, EmptyBinReport(), nullptr},
        {"real content",
         {{"three-mebibytes.bin", 3u << 20}},
         {4, 16, 0, 1, 0, 6},
         Report("3", "1", "0", "50"),
         "wastewatch_properties.png"},
        {"fractional size, percent above a hundred",
         {{"one-mebibyte.bin", 1u << 20}, {"half-mebibyte.bin", 1u << 19}},
         {4, 16, 1, 1, 1, 6},
         Report("1.5", "2", "150", "25"),
         nullptr},
    };
    std::int32_t id = 101;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(wwtest::EmptyBin());
        ASSERT_EQ(BinItemCount(), 0u);
        for (const File& file : c.deleted) ASSERT_TRUE(DeleteIntoBin(file.name, file.size));
        GuardedRecord guarded;
        guarded.record = c.record;
        const auto object = Object(id++);
        bool saved = false;
        const ConfigRun run = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kCancel, [&](HWND dialog) {
            if (c.screenshot == nullptr) return;
            ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            saved = qvtest::SaveWindowPng(dialog, qvtest::ArtifactPath(c.screenshot));
        });
        ExpectCleanRun(run);
        EXPECT_EQ(run.view.owner, owner_.get());
        EXPECT_EQ(run.view.fillReport, c.report);
        EXPECT_EQ(saved, c.screenshot != nullptr) << "a screenshot was due: " << (c.screenshot != nullptr);
    }
}

TEST_F(WastewatchDialog, ShowsTheRecordAndOkWritesItBack) {
    GuardedRecord guarded;
    guarded.record = {11, 22, 5, 0, 33, 44};
    const auto object = Object(105);
    const ConfigRun run = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kOk);
    ExpectCleanRun(run);
    EXPECT_EQ(run.view.checkInterval, "11");
    EXPECT_EQ(run.view.refreshInterval, "22");
    EXPECT_TRUE(run.view.notifyCritical);
    EXPECT_FALSE(run.view.notifyWarning);
    EXPECT_EQ(run.view.criticalLimit, "33");
    EXPECT_EQ(run.view.warningLimit, "44");
    // The dialog stores a switch as 1.
    ExpectRecord(guarded.record, {11, 22, 1, 0, 33, 44});
    ExpectGuardsIntact(guarded);
}

TEST_F(WastewatchDialog, OkStoresWhatWasTyped) {
    struct Case {
        const char* check;
        const char* refresh;
        const char* critical;
        const char* warning;
        bool toggleCritical, toggleWarning;
        WatchRecord expected;
    };
    // Values beyond the spinners' ranges are stored as typed; text that is no number reads as 0.
    const Case cases[] = {
        {"7200", "0", "100", "0", true, false, {7200, 0, 1, 1, 100, 0}},
        {"0", "3600", "4294967295", "101", false, true, {0, 3600, 0, 0, 4294967295u, 101}},
        {"abc", "", "99999999999", "12", true, true, {0, 0, 1, 0, 0, 12}},
    };
    std::int32_t id = 106;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.check) + " " + c.refresh + " " + c.critical + " " + c.warning);
        GuardedRecord guarded;
        guarded.record = {4, 16, 0, 7, 8, 9};
        const auto object = Object(id++);
        const ConfigRun run = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kOk, [&](HWND dialog) {
            ::SetDlgItemTextA(dialog, 1002, c.check);
            ::SetDlgItemTextA(dialog, 1010, c.refresh);
            ::SetDlgItemTextA(dialog, 1006, c.critical);
            ::SetDlgItemTextA(dialog, 1008, c.warning);
            if (c.toggleCritical) ::SendMessageA(::GetDlgItem(dialog, 1004), BM_CLICK, 0, 0);
            if (c.toggleWarning) ::SendMessageA(::GetDlgItem(dialog, 1005), BM_CLICK, 0, 0);
        });
        ExpectCleanRun(run);
        ExpectRecord(guarded.record, c.expected);
        ExpectGuardsIntact(guarded);
    }
}

TEST_F(WastewatchDialog, CancelAndCloseLeaveTheRecordUntouched) {
    const std::pair<const char*, Ending> endings[] = {{"Cancel", Ending::kCancel}, {"WM_CLOSE", Ending::kClose}};
    for (const auto& [name, ending] : endings) {
        SCOPED_TRACE(name);
        // Freshly loaded each time, so that every dialog is the first of its process and no interval
        // overwrite is expected either.
        plugin_.reset();
        plugin_.emplace(qvtest::LoadPlugin("Wastewatch.dll"));
        GuardedRecord guarded;
        guarded.record = {kSentinel, kSentinel, kSentinel, 0, kSentinel, kSentinel};
        const GuardedRecord original = guarded;
        const auto object = Object(110);
        const ConfigRun run = RunConfig(plugin(), object, guarded, owner_.get(), ending, [](HWND dialog) {
            ::SetDlgItemTextA(dialog, 1002, "9");
            ::SetDlgItemTextA(dialog, 1010, "9");
            ::SetDlgItemTextA(dialog, 1006, "9");
            ::SetDlgItemTextA(dialog, 1008, "9");
            ::SendMessageA(::GetDlgItem(dialog, 1004), BM_CLICK, 0, 0);
            ::SendMessageA(::GetDlgItem(dialog, 1005), BM_CLICK, 0, 0);
        });
        ExpectCleanRun(run);
        EXPECT_EQ(run.view.checkInterval, "3735928559");
        EXPECT_EQ(std::memcmp(&guarded, &original, sizeof guarded), 0);
        // Nothing reached the process-wide intervals either.
        const WatchRecord fresh = Default();
        EXPECT_EQ(fresh.checkInterval, 4u);
        EXPECT_EQ(fresh.refreshInterval, 16u);
    }
}

TEST_F(WastewatchDialog, LaterDialogsShowTheProcessWideIntervals) {
    const auto watched = Object(120);
    GuardedRecord watchedRecord;
    watchedRecord.record = {10, 20, 0, 0, 0, 0};
    ASSERT_EQ(Init(watched, watchedRecord).result, 1u);  // the first QVInit adopts 10 and 20

    const auto object = Object(121);
    GuardedRecord guarded;
    guarded.record = {30, 40, 1, 1, 5, 6};
    const ConfigRun first = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kCancel);
    ExpectCleanRun(first);
    EXPECT_EQ(first.view.checkInterval, "30");
    EXPECT_EQ(first.view.refreshInterval, "40");
    ExpectRecord(guarded.record, {30, 40, 1, 1, 5, 6});

    const ConfigRun second = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kCancel);
    ExpectCleanRun(second);
    EXPECT_EQ(second.view.checkInterval, "10");
    EXPECT_EQ(second.view.refreshInterval, "20");
    EXPECT_EQ(second.view.criticalLimit, "5");
    // Cancel keeps the intervals in force that the dialog was opened with.
    ExpectRecord(guarded.record, {10, 20, 1, 1, 5, 6});
    ExpectGuardsIntact(guarded);
    Uninit(watched, watchedRecord);
}

TEST_F(WastewatchDialog, OkSetsTheProcessWideIntervals) {
    const WatchRecord before = Default();
    EXPECT_EQ(before.checkInterval, 4u);
    EXPECT_EQ(before.refreshInterval, 16u);

    // An object that is not watched still sets the intervals for everyone.
    const auto object = Object(130);
    GuardedRecord guarded;
    guarded.record = {30, 40, 0, 0, 0, 0};
    const ConfigRun run = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kOk, [](HWND dialog) {
        ::SetDlgItemTextA(dialog, 1002, "7");
        ::SetDlgItemTextA(dialog, 1010, "9");
    });
    ExpectCleanRun(run);
    ExpectRecord(guarded.record, {7, 9, 0, 0, 0, 0});
    ExpectRecord(Default(), {7, 9, 0, 0, 0, 0});

    GuardedRecord other;
    other.record = {1, 2, 0, 0, 0, 0};
    const ConfigRun later = RunConfig(plugin(), Object(131), other, owner_.get(), Ending::kCancel);
    ExpectCleanRun(later);
    EXPECT_EQ(later.view.checkInterval, "7");
    EXPECT_EQ(later.view.refreshInterval, "9");
}

TEST_F(WastewatchDialog, OkReplacesFirstEntryOnly) {
    ASSERT_TRUE(qvtest::FakeMainWindow::NoneOnDesktop());
    qvtest::FakeMainWindow mainWindow;
    ASSERT_TRUE(mainWindow);
    qvtest::FakeMainWindow::Received().clear();

    // Entries 140, 141 and 140 again, none with a switch on; the first QVInit makes the check
    // interval 1 second for everyone.
    GuardedRecord first, second, third;
    first.record = {1, 1, 0, 0, 1, 1};
    second.record = {1, 1, 0, 0, 1, 1};
    third.record = {1, 1, 0, 0, 1, 1};
    const auto objectA = Object(140), objectB = Object(141);
    ASSERT_EQ(Init(objectA, first).result, 1u);
    ASSERT_EQ(Init(objectB, second).result, 1u);
    ASSERT_EQ(Init(objectA, third).result, 1u);
    ASSERT_TRUE(DeleteIntoBin("over-the-limit.bin", 3u << 20));

    const std::vector<Notification> routine = {{kCodeFilled, 140}, {kCodeFilled, 141}, {kCodeFilled, 140}};
    ASSERT_TRUE(qvtest::PumpUntil([&] { return SeenFrom(0, routine); }, 6000)) << "no level reports came";

    // Critical notification on for 140 with 1 MB: the bin's 3 MiB reach it.
    const std::size_t mark = qvtest::FakeMainWindow::Received().size();
    const ConfigRun run = RunConfig(plugin(), objectA, first, owner_.get(), Ending::kOk,
                                    [](HWND dialog) { ::SendMessageA(::GetDlgItem(dialog, 1004), BM_CLICK, 0, 0); });
    ExpectCleanRun(run);
    ExpectRecord(first.record, {1, 1, 1, 0, 1, 1});

    const std::vector<Notification> afterOk = {{kCodeCritical, 140}, {kCodeFilled, 141}, {kCodeFilled, 140}};
    EXPECT_TRUE(qvtest::PumpUntil([&] { return SeenFrom(mark, afterOk); }, 6000))
        << "the first entry of object 140 did not take the new record";

    Uninit(objectA, third);
    Uninit(objectB, second);
    Uninit(objectA, first);
}

// Also run where the bin's folders are watched (BinFolders.*): the dialog then opens with the
// monitor's measurement and refreshes from it while it holds.
TEST_F(WastewatchDialog, ReportRefreshesEveryRefreshInterval) {
    struct Case {
        const char* name;
        const char* refresh;
        bool follows;
    };
    const Case cases[] = {{"every second", "1", true}, {"0: never", "0", false}};
    const auto watched = Object(170), object = Object(171);
    GuardedRecord watchedRecord;
    watchedRecord.record = {1, 1, 0, 0, 0, 0};
    int file = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedRecord guarded;
        // OK makes the refresh interval the one in force; the monitor then checks every second.
        ExpectCleanRun(RunConfig(plugin(), object, guarded, owner_.get(), Ending::kOk, [&](HWND dialog) {
            ::SetDlgItemTextA(dialog, 1002, "1");
            ::SetDlgItemTextA(dialog, 1010, c.refresh);
        }));
        ASSERT_EQ(Init(watched, watchedRecord).result, 1u);
        qvtest::PumpFor(1500);  // a cycle has measured the bin

        const std::string before = std::to_string(BinItemCount());
        const std::string after = std::to_string(BinItemCount() + 1);
        std::string opened, shown;
        bool deleted = false;
        const ConfigRun run = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kCancel, [&](HWND dialog) {
            opened = ControlText(dialog, 1012);
            deleted = DeleteIntoBin(("refresh-" + std::to_string(file++) + ".bin").c_str(), 1u << 20);
            qvtest::PumpUntil([&] { return (shown = ControlText(dialog, 1012)) != opened; }, 5000);
        });
        ExpectCleanRun(run);
        EXPECT_TRUE(deleted);
        EXPECT_EQ(opened, Report(before.c_str(), before.c_str(), "0", "0"));
        EXPECT_EQ(shown, c.follows ? Report(after.c_str(), after.c_str(), "0", "0") : opened);
        Uninit(watched, watchedRecord);
    }
    // No refresh thread keeps the library once the dialog is gone.
    plugin_.reset();
    EXPECT_TRUE(qvtest::ModuleGoneWithin("Wastewatch.dll", 5000));
}

TEST_F(WastewatchDialog, SpinnersBoundToEditsWithRanges) {
    struct Spinner {
        int id, buddy;
        int lowest, highest;
    };
    const Spinner spinners[] = {{1003, 1002, 1, 3600},
                                {1011, 1010, 1, 3600},
                                {1007, 1006, 0, 100},
                                {1009, 1008, 0, 100}};
    GuardedRecord guarded;
    guarded.record = {3600, 5, 0, 0, 0, 100};
    struct Seen {
        char className[64] = {};
        HWND buddy = nullptr, expectedBuddy = nullptr;
        LRESULT range = 0;
    } seen[std::size(spinners)];
    std::string afterUpFromTop, afterUpFromFive;

    const ConfigRun run = RunConfig(plugin(), Object(150), guarded, owner_.get(), Ending::kCancel, [&](HWND dialog) {
        for (std::size_t i = 0; i < std::size(spinners); ++i) {
            const HWND spinner = ::GetDlgItem(dialog, spinners[i].id);
            ::GetClassNameA(spinner, seen[i].className, sizeof seen[i].className);
            seen[i].buddy = reinterpret_cast<HWND>(::SendMessageA(spinner, UDM_GETBUDDY, 0, 0));
            seen[i].expectedBuddy = ::GetDlgItem(dialog, spinners[i].buddy);
            seen[i].range = ::SendMessageA(spinner, UDM_GETRANGE, 0, 0);
        }
        // The arrow keys step the number within the range.
        ::SendMessageA(::GetDlgItem(dialog, 1002), WM_KEYDOWN, VK_UP, 0);
        afterUpFromTop = ControlText(dialog, 1002);
        ::SendMessageA(::GetDlgItem(dialog, 1010), WM_KEYDOWN, VK_UP, 0);
        afterUpFromFive = ControlText(dialog, 1010);
    });
    ExpectCleanRun(run);
    for (std::size_t i = 0; i < std::size(spinners); ++i) {
        SCOPED_TRACE("spinner " + std::to_string(spinners[i].id));
        EXPECT_STREQ(seen[i].className, "msctls_updown32");
        EXPECT_EQ(seen[i].buddy, seen[i].expectedBuddy);
        EXPECT_EQ(LOWORD(seen[i].range), spinners[i].highest);
        EXPECT_EQ(HIWORD(seen[i].range), spinners[i].lowest);
    }
    EXPECT_EQ(afterUpFromTop, "3600");
    EXPECT_EQ(afterUpFromFive, "6");
}

TEST_F(WastewatchDialog, MissingRecordsShowNoDialog) {
    GuardedRecord guarded;
    guarded.record = {kSentinel, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel};
    const GuardedRecord original = guarded;
    const auto object = Object(160);
    const auto config = reinterpret_cast<const void*>(plugin().entry().config);
    // Each returns at once: no modal dialog was run.
    const auto noObject = qvtest::CallStdcall(config, {0u, qvtest::Arg(&guarded.record), 0u});
    EXPECT_EQ(noObject.result, 1u);
    EXPECT_TRUE(noObject.stackBalanced);
    const auto noRecord = qvtest::CallStdcall(config, {qvtest::Arg(&object), 0u, 0u});
    EXPECT_EQ(noRecord.result, 1u);
    EXPECT_TRUE(noRecord.stackBalanced);
    EXPECT_EQ(std::memcmp(&guarded, &original, sizeof guarded), 0);

    // And the first-config rule was not used up: the next dialog shows the record's own intervals.
    guarded.record = {31, 41, 0, 0, 0, 0};
    const ConfigRun run = RunConfig(plugin(), object, guarded, owner_.get(), Ending::kCancel);
    ExpectCleanRun(run);
    EXPECT_EQ(run.view.checkInterval, "31");
}

}  // namespace
