// QVConfig of Hotrelay2 under Wine: dialog 101 runs modally on the test's thread while a watcher
// thread finds it on screen, reads and sets its controls as a user would, and closes it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "hotkey_record.h"
#include "hotkey_relay/res/resource_ids.h"
#include "screenshot.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

using hotrelay::HotkeyRecord;

constexpr char kCaption[] = HOTKEY_PROPERTIES_CAPTION;
constexpr char kIncomplete[] = "Not configured - select a hotkey, modifier, and command type";
constexpr char kNotRegistered[] = "Not configured - try another hotkey";
constexpr char kInUse[] = "Configured and in use";
constexpr int kKeyList = 1001;
constexpr int kStatus = 1009;
constexpr std::array<int, 4> kModifierButtons = {1002, 1003, 1004, 1005};  // Alt, Ctrl, Shift, WinKey
constexpr std::array<int, 3> kKindButtons = {1006, 1007, 1008};            // single, double, over
constexpr int kIndexF = 15;
constexpr int kIndexF10 = 45;

// What the open dialog showed.
struct DialogView {
    std::string status;
    int selection = CB_ERR;
    std::string selectionText;
    std::vector<std::string> items;
    std::array<bool, 4> modifiers{};
    std::array<bool, 3> kinds{};
    HWND owner = nullptr;
};

DialogView Read(HWND dialog) {
    DialogView view;
    char text[256] = {};
    ::GetDlgItemTextA(dialog, kStatus, text, sizeof text);
    view.status = text;
    HWND list = ::GetDlgItem(dialog, kKeyList);
    const auto count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char item[32] = {};
        ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        view.items.emplace_back(item);
    }
    view.selection = static_cast<int>(::SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (view.selection != CB_ERR) view.selectionText = view.items.at(static_cast<std::size_t>(view.selection));
    for (std::size_t i = 0; i < kModifierButtons.size(); ++i)
        view.modifiers[i] = ::IsDlgButtonChecked(dialog, kModifierButtons[i]) == BST_CHECKED;
    for (std::size_t i = 0; i < kKindButtons.size(); ++i)
        view.kinds[i] = ::IsDlgButtonChecked(dialog, kKindButtons[i]) == BST_CHECKED;
    view.owner = ::GetWindow(dialog, GW_OWNER);
    return view;
}

// What a user does in the dialog, from the watcher thread.
void ChooseKey(HWND dialog, int index) {
    HWND list = ::GetDlgItem(dialog, kKeyList);
    ASSERT_EQ(::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0), index);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kKeyList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}
void Click(HWND dialog, int id) {
    ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}
void PressOkByCommand(HWND dialog) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

struct ConfigRun {
    bool shown = false;
    DialogView view;  // as the dialog opened, before any action
    bool stackBalanced = false;
    std::uint32_t result = 0;
};

class HotrelayConfig : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = plugin_.entry().config;
        ASSERT_NE(config_, nullptr);
        owner_.reset(::CreateWindowExA(0, "STATIC", "Hotrelay test owner", WS_OVERLAPPED, 10, 10, 100, 50, nullptr,
                                       nullptr, nullptr, nullptr));
        ASSERT_TRUE(owner_);
    }

    // Runs QVConfig on this thread; the watcher reads the opened dialog, then acts and must close it.
    ConfigRun Run(HotkeyRecord* record, const std::function<void(HWND)>& act) {
        ConfigRun run;
        qvtest::Thread watcher([&] {
            HWND dialog = qvtest::WaitForWindow(kCaption, 10000);
            if (dialog == nullptr) return;
            run.shown = true;
            run.view = Read(dialog);
            act(dialog);
        });
        qv::ObjectRecord object{12, {0xDEADBEEF, 0xDEADBEEF}, 0};
        const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(config_),
                                              {qvtest::Arg(&object), qvtest::Arg(record), qvtest::Arg(owner_.get())});
        watcher.join();
        run.result = call.result;
        run.stackBalanced = call.stackBalanced;
        EXPECT_TRUE(run.shown) << "the dialog did not appear";
        EXPECT_EQ(run.result, 1u);
        EXPECT_TRUE(run.stackBalanced) << "QVConfig did not remove exactly its three arguments";
        if (run.shown) {
            EXPECT_EQ(run.view.owner, owner_.get());
        }
        return run;
    }

    ConfigRun RunAndCancel(HotkeyRecord* record) {
        return Run(record, [](HWND dialog) { Click(dialog, IDCANCEL); });
    }

    // A record as the host would hold it, its run-time fields and reserved bytes set to sentinels
    // so that writes to them show.
    static HotkeyRecord Record(std::uint32_t modifiers, std::uint32_t key, std::uint32_t kind, std::uint16_t atom = 0) {
        HotkeyRecord record;
        std::memset(&record, 0xAB, sizeof record);
        record.modifiers = modifiers;
        record.virtualKey = key;
        record.activationKind = kind;
        record.atom = atom;
        record.previousProc = 0xDEADBEEF;
        return record;
    }

    static void ExpectSame(const HotkeyRecord& a, const HotkeyRecord& b) {
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "record changed: modifiers " << a.modifiers << ", key 0x"
                                                    << std::hex << a.virtualKey << ", kind " << a.activationKind;
    }

    qv::PluginLibrary plugin_ = qvtest::LoadPlugin("Hotrelay2.dll");
    qv::ConfigFn config_ = nullptr;
    qv::UniqueWindow owner_;
};

TEST_F(HotrelayConfig, FreshRecordOpensWithNothingChosen) {
    HotkeyRecord record = Record(0, 0, 0);
    const HotkeyRecord before = record;
    const auto run = RunAndCancel(&record);
    EXPECT_EQ(run.view.status, kIncomplete);
    EXPECT_EQ(run.view.selection, CB_ERR);
    EXPECT_EQ(run.view.modifiers, (std::array<bool, 4>{}));
    EXPECT_EQ(run.view.kinds, (std::array<bool, 3>{}));
    ExpectSame(record, before);
}

TEST_F(HotrelayConfig, ListsTheFortyEightKeysInOrder) {
    HotkeyRecord record = Record(0, 0, 0);
    const auto run = RunAndCancel(&record);
    std::vector<std::string> expected;
    for (char c = '0'; c <= '9'; ++c) expected.emplace_back(1, c);
    for (char c = 'A'; c <= 'Z'; ++c) expected.emplace_back(1, c);
    for (int n = 1; n <= 12; ++n) expected.push_back(std::string(1, 'F') += std::to_string(n));
    EXPECT_EQ(run.view.items, expected);
}

TEST_F(HotrelayConfig, StatusLineFollowsTheRecord) {
    struct Case {
        const char* what;
        HotkeyRecord record;
        const char* status;
    };
    const Case kCases[] = {
        {"atom held", Record(hotrelay::kModAlt, 'F', hotrelay::kSingleClick, 0xC123), kInUse},
        {"atom held, nothing chosen", Record(0, 0, 0, 0xC123), kInUse},
        {"complete, atom 0", Record(hotrelay::kModWin, 0x79, hotrelay::kMouseOver), kNotRegistered},
        {"no kind", Record(hotrelay::kModWin, 0x79, 0), kIncomplete},
        {"no key", Record(hotrelay::kModWin, 0, hotrelay::kDoubleClick), kIncomplete},
        {"no modifier", Record(0, 0x79, hotrelay::kDoubleClick), kIncomplete},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        HotkeyRecord record = c.record;
        const auto run = RunAndCancel(&record);
        EXPECT_EQ(run.view.status, c.status);
        ExpectSame(record, c.record);
    }
}

TEST_F(HotrelayConfig, OpensWithTheRecordsChoicesChecked) {
    struct Case {
        std::uint32_t modifiers, kind;
        std::array<bool, 4> modifierChecks;
        std::array<bool, 3> kindChecks;
    };
    const Case kCases[] = {
        {1, 1, {true, false, false, false}, {true, false, false}},
        {2, 2, {false, true, false, false}, {false, true, false}},
        {4, 3, {false, false, true, false}, {false, false, true}},
        {8, 0, {false, false, false, true}, {false, false, false}},
        {3, 4, {}, {}},  // not a single modifier, not a kind: nothing checked
        {16, 0xFFFFFFFF, {}, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "modifiers " << c.modifiers << ", kind " << c.kind);
        HotkeyRecord record = Record(c.modifiers, 0x41, c.kind);
        const auto run = RunAndCancel(&record);
        EXPECT_EQ(run.view.modifiers, c.modifierChecks);
        EXPECT_EQ(run.view.kinds, c.kindChecks);
        EXPECT_EQ(run.view.selectionText, "A");
    }
}

TEST_F(HotrelayConfig, ChoosingFStoresItsCodeAndReopensSelected) {
    HotkeyRecord record = Record(0, 0, 0, 0xBEEF);
    Run(&record, [](HWND dialog) {
        ChooseKey(dialog, kIndexF);
        Click(dialog, kModifierButtons[1]);
        Click(dialog, kKindButtons[1]);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(record.virtualKey, 0x46u);
    EXPECT_EQ(record.modifiers, hotrelay::kModControl);
    EXPECT_EQ(record.activationKind, hotrelay::kDoubleClick);
    // Run-time state and the host's reserved bytes are never written here.
    EXPECT_EQ(record.atom, 0xBEEF);
    EXPECT_EQ(record.reserved[0], 0xAB);
    EXPECT_EQ(record.reserved[1], 0xAB);
    EXPECT_EQ(record.previousProc, 0xDEADBEEFu);

    const auto reopened = RunAndCancel(&record);
    EXPECT_EQ(reopened.view.selection, kIndexF);
    EXPECT_EQ(reopened.view.selectionText, "F");  // the letter, not "F1" that also begins with F
    EXPECT_EQ(reopened.view.modifiers, (std::array<bool, 4>{false, true, false, false}));
    EXPECT_EQ(reopened.view.kinds, (std::array<bool, 3>{false, true, false}));
}

TEST_F(HotrelayConfig, F10StoresItsCodeAndReopensSelected) {
    HotkeyRecord record = Record(0, 0, 0);
    Run(&record, [](HWND dialog) {
        ChooseKey(dialog, kIndexF10);
        Click(dialog, kModifierButtons[3]);
        Click(dialog, kKindButtons[2]);
        PressOkByCommand(dialog);
    });
    EXPECT_EQ(record.virtualKey, 0x79u);
    EXPECT_EQ(record.modifiers, hotrelay::kModWin);
    EXPECT_EQ(record.activationKind, hotrelay::kMouseOver);
    EXPECT_EQ(record.atom, 0u);

    const auto reopened = RunAndCancel(&record);
    EXPECT_EQ(reopened.view.selection, kIndexF10);
    EXPECT_EQ(reopened.view.selectionText, "F10");
    EXPECT_EQ(reopened.view.status, kNotRegistered);
}

TEST_F(HotrelayConfig, LowerCaseKeyOpensAndStoresCapital) {
    HotkeyRecord record = Record(hotrelay::kModAlt, 0x61, hotrelay::kSingleClick);
    const auto run = Run(&record, [](HWND dialog) { Click(dialog, IDOK); });
    EXPECT_EQ(run.view.selectionText, "A");
    EXPECT_EQ(record.virtualKey, 0x41u);
    EXPECT_EQ(record.modifiers, hotrelay::kModAlt);
    EXPECT_EQ(record.activationKind, hotrelay::kSingleClick);
}

TEST_F(HotrelayConfig, KeysOutsideTheListOpenWithNoSelection) {
    // 0x100's name is empty: on Windows an empty prefix would select the first entry (Wine's list
    // finds nothing for it, so there this case passes either way).
    for (std::uint32_t key : {0x20u, 0x7Cu, 0x100u, 0x5Bu}) {
        SCOPED_TRACE(key);
        HotkeyRecord record = Record(hotrelay::kModShift, key, hotrelay::kMouseOver);
        const HotkeyRecord before = record;
        const auto run = RunAndCancel(&record);
        EXPECT_EQ(run.view.selection, CB_ERR);
        ExpectSame(record, before);
    }
}

TEST_F(HotrelayConfig, OkWithNothingSelectedStoresKeyZero) {
    for (std::uint32_t key : {0x0u, 0x20u}) {
        SCOPED_TRACE(key);
        HotkeyRecord record = Record(hotrelay::kModShift, key, hotrelay::kMouseOver, 0x1234);
        Run(&record, [](HWND dialog) { Click(dialog, IDOK); });
        EXPECT_EQ(record.virtualKey, 0u);
        EXPECT_EQ(record.modifiers, hotrelay::kModShift);
        EXPECT_EQ(record.activationKind, hotrelay::kMouseOver);
        EXPECT_EQ(record.atom, 0x1234);
    }
}

TEST_F(HotrelayConfig, OkWithNothingCheckedStoresZeros) {
    HotkeyRecord record = Record(16, 0x46, 9);  // values no button stands for
    Run(&record, [](HWND dialog) { Click(dialog, IDOK); });
    EXPECT_EQ(record.modifiers, 0u);
    EXPECT_EQ(record.activationKind, 0u);
    EXPECT_EQ(record.virtualKey, 0x46u);
}

TEST_F(HotrelayConfig, LeavingLeavesTheRecordUntouched) {
    struct Way {
        const char* name;
        int key;
        int modifier;
        int kind;
        void (*leave)(HWND);
    };
    const Way ways[] = {
        {"Cancel", kIndexF10, 2, 2, [](HWND dialog) { Click(dialog, IDCANCEL); }},
        {"close box", kIndexF, 3, 1, [](HWND dialog) { ::PostMessageA(dialog, WM_CLOSE, 0, 0); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        HotkeyRecord record = Record(hotrelay::kModAlt, 0x31, hotrelay::kSingleClick);
        const HotkeyRecord before = record;
        Run(&record, [&way](HWND dialog) {
            ChooseKey(dialog, way.key);
            Click(dialog, kModifierButtons[way.modifier]);
            Click(dialog, kKindButtons[way.kind]);
            way.leave(dialog);
        });
        ExpectSame(record, before);
    }
}

TEST_F(HotrelayConfig, NullRecordShowsInternalErrorAndIgnoresOk) {
    bool stayedOpen = false;
    const auto run = Run(nullptr, [&](HWND dialog) {
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
        stayedOpen = ::IsWindow(dialog) && ::IsWindowVisible(dialog);
        ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(run.view.status, "Internal error - please contact developer");
    EXPECT_EQ(run.view.items.size(), 48u);
    EXPECT_TRUE(stayedOpen);
}

// The host's owner window for object A: from inside A's dialog loop it opens B's properties.
struct NestedConfig {
    qv::ConfigFn config;
    HotkeyRecord* record;
    HWND owner;
};
NestedConfig g_nested{};

LRESULT CALLBACK NestingOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        qv::ObjectRecord object{13, {0, 0}, 0};
        g_nested.config(&object, g_nested.record, g_nested.owner);
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(HotrelayConfig, TwoDialogsStoreIntoTheirOwnRecords) {
    qv::UniqueWindow ownerA(
        qvtest::WindowOfClass("HotrelayNestingOwner", NestingOwnerProc, "owner A", WS_OVERLAPPED, 10, 10, 100, 50));
    ASSERT_TRUE(ownerA);
    HWND ownerB = owner_.get();

    for (const bool aFirst : {true, false}) {
        SCOPED_TRACE(aFirst ? "OK in A while B is open" : "OK in B, then in A");
        HotkeyRecord a = Record(0, 0, 0), b = Record(0, 0, 0);
        g_nested = {config_, &b, ownerB};
        bool bothShown = false;
        qvtest::Thread watcher([&] {
            HWND dialogA = qvtest::WaitForWindow(kCaption, 10000);
            HWND dialogB = nullptr;
            // A's dialog is up: the host now opens B's from inside A's loop.
            ::PostMessageA(ownerA.get(), WM_APP, 0, 0);
            qvtest::PumpUntil(
                [&] {
                    for (HWND dialog : qvtest::WindowsWithCaption(kCaption)) {
                        (::GetWindow(dialog, GW_OWNER) == ownerA.get() ? dialogA : dialogB) = dialog;
                    }
                    return dialogA != nullptr && dialogB != nullptr;
                },
                10000);
            bothShown = dialogA != nullptr && dialogB != nullptr;
            auto choose = [](HWND dialog, int modifier, int keyIndex, int kind) {
                Click(dialog, modifier);
                ChooseKey(dialog, keyIndex);
                Click(dialog, kind);
                Click(dialog, IDOK);
            };
            if (bothShown && aFirst) {
                choose(dialogA, kModifierButtons[0], kIndexF, kKindButtons[0]);
                choose(dialogB, kModifierButtons[1], kIndexF10, kKindButtons[1]);
            } else if (bothShown) {
                choose(dialogB, kModifierButtons[1], kIndexF10, kKindButtons[1]);
                choose(dialogA, kModifierButtons[0], kIndexF, kKindButtons[0]);
            }
            // A dialog whose OK went unheard stays open: cancel it so that the test ends.
            if (!qvtest::PumpUntil([] { return qvtest::WindowsWithCaption(kCaption).empty(); }, 2000)) {
                for (HWND dialog : qvtest::WindowsWithCaption(kCaption)) Click(dialog, IDCANCEL);
            }
        });
        qv::ObjectRecord object{12, {0, 0}, 0};
        const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(config_),
                                              {qvtest::Arg(&object), qvtest::Arg(&a), qvtest::Arg(ownerA.get())});
        watcher.join();
        EXPECT_TRUE(bothShown);
        EXPECT_EQ(call.result, 1u);
        EXPECT_TRUE(call.stackBalanced);
        EXPECT_EQ(a.modifiers, hotrelay::kModAlt);
        EXPECT_EQ(a.virtualKey, static_cast<std::uint32_t>('F'));
        EXPECT_EQ(a.activationKind, hotrelay::kSingleClick);
        EXPECT_EQ(b.modifiers, hotrelay::kModControl);
        EXPECT_EQ(b.virtualKey, 0x79u);
        EXPECT_EQ(b.activationKind, hotrelay::kDoubleClick);
        EXPECT_EQ(a.previousProc, 0xDEADBEEF);
        EXPECT_EQ(b.previousProc, 0xDEADBEEF);
    }
}

TEST_F(HotrelayConfig, ScreenshotOfTheOpenDialog) {
    HotkeyRecord record = Record(hotrelay::kModWin, 0x79, hotrelay::kSingleClick, 0xC001);
    const std::string path = qvtest::ArtifactPath("hotrelay_dialog101.png");
    bool saved = false;
    RECT area{};
    Run(&record, [&](HWND dialog) {
        // Drawing happens on the dialog's thread; wait for it to finish before the capture.
        ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        ::GetWindowRect(dialog, &area);
        saved = qvtest::SaveWindowPng(dialog, path);
        Click(dialog, IDCANCEL);
    });
    ASSERT_TRUE(saved) << path;
    std::cout << "screenshot: " << path << std::endl;
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 24> head{};
    file.read(reinterpret_cast<char*>(head.data()), head.size());
    ASSERT_TRUE(file);
    const std::array<unsigned char, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), head.begin()));
    const auto width = (std::uint32_t{head[16]} << 24) | (head[17] << 16) | (head[18] << 8) | head[19];
    const auto height = (std::uint32_t{head[20]} << 24) | (head[21] << 16) | (head[22] << 8) | head[23];
    EXPECT_EQ(width, static_cast<std::uint32_t>(area.right - area.left));
    EXPECT_EQ(height, static_cast<std::uint32_t>(area.bottom - area.top));
}

}  // namespace
