// Hotrelay2's description, record defaults, hotkey binding and activation, driven through the
// exported entry points as a host drives them, with a window of our own as the object's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "binding_table.h"
#include "hotkey_record.h"
#include "message_log.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

using hotrelay::HotkeyRecord;
using qvtest::Expected;

constexpr char kObjectClass[] = "HotrelayTestObject";
constexpr std::uint32_t kSentinel = 0xDEADBEEF;

// What reached the host's (our) procedure.
qvtest::MessageLog g_seen{WM_HOTKEY, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_DESTROY, WM_APP};

// Runs the std::function<void()> at lParam on the window's own thread.
constexpr UINT kRunHere = WM_APP + 2;

LRESULT CALLBACK ObjectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.Record(message, wParam, lParam);
    if (message == WM_APP || message == WM_APP + 1) return 0x1234;  // proves a message got through to this procedure
    if (message == kRunHere) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

LPARAM Point(int x, int y) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(MAKELONG(x, y)));
}

class Hotrelay : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ObjectProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kObjectClass;
        ::RegisterClassA(&wc);
    }

    void SetUp() override {
        g_seen.clear();
        plugin_ = qvtest::LoadPlugin("Hotrelay2.dll");
    }

    void TearDown() override {
        for (HWND w : windows_)
            if (::IsWindow(w)) ::DestroyWindow(w);
    }

    HWND MakeWindow(int width = 120, int height = 60) {
        HWND w = ::CreateWindowExA(0, kObjectClass, "object", WS_POPUP | WS_VISIBLE, 10, 10, width, height, nullptr,
                                   nullptr, ::GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(w, nullptr);
        windows_.push_back(w);
        return w;
    }

    static qv::ObjectRecord Object(std::int32_t id, HWND window) {
        return {id, {kSentinel, kSentinel}, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window))};
    }

    static HotkeyRecord Settings(std::uint32_t modifiers, std::uint32_t key, std::uint32_t kind) {
        HotkeyRecord r{};
        r.modifiers = modifiers;
        r.virtualKey = key;
        r.activationKind = kind;
        r.reserved[0] = 0xAB;
        r.reserved[1] = 0xCD;
        return r;
    }

    void Init(const qv::ObjectRecord& object, HotkeyRecord& record) {
        const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin_.entry().init),
                                              {qvtest::Arg(&object), qvtest::Arg(&record)});
        EXPECT_EQ(call.result, 1u);
        EXPECT_TRUE(call.stackBalanced);
    }

    void Uninit(const qv::ObjectRecord& object, HotkeyRecord& record) {
        const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin_.entry().uninit),
                                              {qvtest::Arg(&object), qvtest::Arg(&record)});
        EXPECT_EQ(call.result, 1u);
        EXPECT_TRUE(call.stackBalanced);
    }

    // An object bound on a window of its own. It stays where it is while bound: the plug-in keeps the
    // record's address.
    struct Bound {
        HWND window = nullptr;
        qv::ObjectRecord object{};
        HotkeyRecord record{};
    };
    void Bind(Bound& bound, std::int32_t id, std::uint32_t modifiers, std::uint32_t key, std::uint32_t kind,
              int width = 120, int height = 60) {
        bound.window = MakeWindow(width, height);
        bound.object = Object(id, bound.window);
        bound.record = Settings(modifiers, key, kind);
        Init(bound.object, bound.record);
        ASSERT_NE(bound.record.atom, 0u) << "object " << id << " did not bind";
    }

    // Presses the bound hotkey as the system delivers it, then lets the posted input arrive.
    static const std::vector<qvtest::Message>& Press(HWND window, const HotkeyRecord& record) {
        g_seen.clear();
        ::SendMessageA(window, WM_HOTKEY, record.atom, MAKELPARAM(record.modifiers, record.virtualKey));
        qvtest::PumpFor(50);
        return g_seen.messages();
    }

    static LONG_PTR ClassProc() { return reinterpret_cast<LONG_PTR>(&ObjectProc); }

    qv::PluginLibrary plugin_;
    std::vector<HWND> windows_;
};

TEST_F(Hotrelay, ExportsContractButNotQVCommand) {
    for (const char* name : {"QVGetPluginInfo", "QVDefault", "QVInit", "QVUninit"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(plugin_.Find(name), nullptr);
    }
    EXPECT_EQ(plugin_.Find("QVCommand"), nullptr);
    EXPECT_EQ(plugin_.Find("QVInit@8"), nullptr);
    EXPECT_EQ(plugin_.Find("_QVInit@8"), nullptr);
}

TEST_F(Hotrelay, PluginInfoGivesSizeTextAndFlag) {
    std::uint32_t size = kSentinel;
    const char* text = nullptr;
    std::uint32_t flag = kSentinel;
    const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin_.entry().getPluginInfo),
                                          {qvtest::Arg(&size), qvtest::Arg(&text), qvtest::Arg(&flag)});
    EXPECT_EQ(call.result, 1u);
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(size, 20u);
    EXPECT_EQ(flag, 1u);
    ASSERT_NE(text, nullptr);
    const std::string description(text);
    const std::string first =
        "Hotrelay Version 0.2.2 Build 4 Beta.\n\nA QV plugin which may be used to extend other QV plugins, or to "
        "assign a hotkey to its associated object, or both.";
    EXPECT_EQ(description.substr(0, first.size()), first);
    EXPECT_EQ(description.substr(first.size(), 2), "\n\n");
    for (const char* point : {"custom", "parameter 1", "parameter 2", "calculator", "***** NEW MOD *****", "configured",
                              "WinKey + F10", "\"Show Desktop\"", "\"toggle\""}) {
        SCOPED_TRACE(point);
        EXPECT_NE(description.find(point), std::string::npos);
    }
    EXPECT_GT(description.size(), 1400u);
    EXPECT_LT(description.size(), 1800u);
}

TEST_F(Hotrelay, DefaultZeroesAllButReservedBytes) {
    HotkeyRecord record;
    std::memset(&record, 0xEE, sizeof record);
    const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin_.entry().defaultRecord),
                                          {kSentinel, qvtest::Arg(&record)});
    EXPECT_EQ(call.result, 1u);
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(record.modifiers, 0u);
    EXPECT_EQ(record.virtualKey, 0u);
    EXPECT_EQ(record.activationKind, 0u);
    EXPECT_EQ(record.atom, 0u);
    EXPECT_EQ(record.previousProc, 0u);
    EXPECT_EQ(record.reserved[0], 0xEE);
    EXPECT_EQ(record.reserved[1], 0xEE);
}

TEST_F(Hotrelay, IncompleteSettingsBindNothing) {
    HWND window = MakeWindow();
    const HotkeyRecord complete = Settings(MOD_CONTROL, VK_F9, hotrelay::kSingleClick);
    struct Case {
        const char* what;
        HotkeyRecord record;
        HWND window;
    } cases[] = {
        {"no modifier", Settings(0, VK_F9, 1), window},
        {"no key", Settings(MOD_CONTROL, 0, 1), window},
        {"no kind", Settings(MOD_CONTROL, VK_F9, 0), window},
        {"default record", HotkeyRecord{}, window},
        {"no window", complete, nullptr},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        const qv::ObjectRecord object = Object(5, c.window);
        const HotkeyRecord before = c.record;
        Init(object, c.record);
        EXPECT_EQ(std::memcmp(&before, &c.record, sizeof before), 0);
        EXPECT_EQ(::GetPropA(window, "Hotrelay"), nullptr);
        EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
        EXPECT_EQ(::GlobalFindAtomA("Hotrelay5"), 0);
        EXPECT_TRUE(qvtest::CombinationFree(MOD_CONTROL, VK_F9));
    }
}

TEST_F(Hotrelay, BindNamesAtomAndRegistersHotkey) {
    const struct {
        std::int32_t id;
        const char* name;
    } cases[] = {{12, "Hotrelay12"}, {0, "Hotrelay0"}, {static_cast<std::int32_t>(0x80000005u), "Hotrelay-2147483643"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = MakeWindow();
        const qv::ObjectRecord object = Object(c.id, window);
        HotkeyRecord record = Settings(MOD_ALT, 'Q', hotrelay::kMouseOver);
        Init(object, record);

        ASSERT_NE(record.atom, 0u);
        EXPECT_EQ(::GlobalFindAtomA(c.name), record.atom);
        EXPECT_FALSE(qvtest::CombinationFree(MOD_ALT, 'Q'));
        EXPECT_EQ(::GetPropA(window, "Hotrelay"), &record);
        EXPECT_EQ(record.previousProc, static_cast<std::uint32_t>(ClassProc()));
        EXPECT_NE(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
        EXPECT_EQ(record.reserved[0], 0xAB);
        EXPECT_EQ(record.reserved[1], 0xCD);

        Uninit(object, record);
        EXPECT_EQ(::GlobalFindAtomA(c.name), 0);
        EXPECT_TRUE(qvtest::CombinationFree(MOD_ALT, 'Q'));
        EXPECT_EQ(::GetPropA(window, "Hotrelay"), nullptr);
        // The window gets its own procedure back, and messages reach it again.
        EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
        EXPECT_EQ(::SendMessageA(window, WM_APP, 0, 0), 0x1234);
        // No longer bound: the record says so.
        EXPECT_EQ(record.atom, 0u);
    }
}

TEST_F(Hotrelay, TakenCombinationLeavesUnbound) {
    HWND other = MakeWindow();
    ASSERT_TRUE(::RegisterHotKey(other, 0x2000, MOD_SHIFT, VK_F11));
    HWND window = MakeWindow();
    const qv::ObjectRecord object = Object(33, window);
    HotkeyRecord record = Settings(MOD_SHIFT, VK_F11, hotrelay::kSingleClick);
    Init(object, record);
    EXPECT_EQ(record.atom, 0u);
    EXPECT_EQ(::GlobalFindAtomA("Hotrelay33"), 0);
    EXPECT_EQ(::GetPropA(window, "Hotrelay"), nullptr);
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
    ::UnregisterHotKey(other, 0x2000);
    Uninit(object, record);
}

TEST_F(Hotrelay, UninitOfAnUnboundRecordTouchesNothing) {
    HWND window = MakeWindow();
    const qv::ObjectRecord object = Object(8, window);
    HotkeyRecord record = Settings(MOD_CONTROL, 'Z', hotrelay::kSingleClick);
    record.previousProc = kSentinel;
    const HotkeyRecord before = record;
    Uninit(object, record);
    EXPECT_EQ(std::memcmp(&before, &record, sizeof before), 0);
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
}

struct ActivationCase {
    const char* what;
    std::uint32_t kind;
    int width, height;
    std::vector<Expected> posted;  // after the hotkey message itself
    bool focus;
};

TEST_F(Hotrelay, HotkeyBecomesMouseInput) {
    const ActivationCase cases[] = {
        {"single click",
         hotrelay::kSingleClick,
         120,
         61,
         {{WM_LBUTTONDOWN, 0, Point(60, 30)}, {WM_LBUTTONUP, 0, Point(60, 30)}, {WM_MOUSEMOVE, 0, Point(130, 71)}},
         true},
        {"double click",
         hotrelay::kDoubleClick,
         121,
         60,
         {{WM_LBUTTONDOWN, 0, Point(60, 30)},
          {WM_LBUTTONUP, 0, Point(60, 30)},
          {WM_LBUTTONDOWN, 0, Point(60, 30)},
          {WM_LBUTTONDBLCLK, 0, Point(60, 30)},
          {WM_MOUSEMOVE, 0, Point(60, 70)}},
         true},
        {"mouse over", hotrelay::kMouseOver, 120, 60, {{WM_MOUSEMOVE, 0, Point(60, 30)}}, false},
        {"single click, empty client area",
         hotrelay::kSingleClick,
         0,
         0,
         {{WM_LBUTTONDOWN, 0, Point(0, 0)}, {WM_LBUTTONUP, 0, Point(0, 0)}, {WM_MOUSEMOVE, 0, Point(10, 10)}},
         true},
        {"double click, empty client area",
         hotrelay::kDoubleClick,
         0,
         0,
         {{WM_LBUTTONDOWN, 0, Point(0, 0)},
          {WM_LBUTTONUP, 0, Point(0, 0)},
          {WM_LBUTTONDOWN, 0, Point(0, 0)},
          {WM_LBUTTONDBLCLK, 0, Point(0, 0)},
          {WM_MOUSEMOVE, 0, Point(0, 10)}},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HWND bystander = MakeWindow();
        HWND window = MakeWindow(c.width, c.height);
        RECT client;
        ::GetClientRect(window, &client);
        ASSERT_EQ(client.right, c.width);
        ASSERT_EQ(client.bottom, c.height);
        const qv::ObjectRecord object = Object(40, window);
        HotkeyRecord record = Settings(MOD_CONTROL, VK_F12, c.kind);
        Init(object, record);
        ASSERT_NE(record.atom, 0u);

        ::SetFocus(bystander);
        ASSERT_EQ(::GetFocus(), bystander);
        std::vector<Expected> expected = {{WM_HOTKEY, record.atom, MAKELPARAM(record.modifiers, record.virtualKey)}};
        expected.insert(expected.end(), c.posted.begin(), c.posted.end());
        EXPECT_TRUE(qvtest::SameSequence(Press(window, record), expected));
        EXPECT_EQ(::GetFocus(), c.focus ? window : bystander);
        Uninit(object, record);
    }
}

TEST_F(Hotrelay, UnknownKindPostsNothing) {
    Bound bound;
    ASSERT_NO_FATAL_FAILURE(Bind(bound, 41, MOD_CONTROL, VK_F12, hotrelay::kSingleClick));
    auto& [window, object, record] = bound;
    for (std::uint32_t kind : {0u, 4u}) {
        SCOPED_TRACE(kind);
        record.activationKind = kind;  // read afresh at every press
        EXPECT_TRUE(qvtest::SameSequence(Press(window, record),
                                         {{WM_HOTKEY, record.atom, MAKELPARAM(record.modifiers, record.virtualKey)}}));
    }
    Uninit(object, record);
}

TEST_F(Hotrelay, DestroyReachesHost) {
    Bound bound;
    ASSERT_NO_FATAL_FAILURE(Bind(bound, 42, MOD_CONTROL, VK_F10, hotrelay::kSingleClick));
    auto& [window, object, record] = bound;
    g_seen.clear();
    ::DestroyWindow(window);
    EXPECT_TRUE(qvtest::SameSequence(g_seen.messages(), {{WM_DESTROY}}));
    // The hotkey and the atom stay until the host detaches the object.
    EXPECT_NE(::GlobalFindAtomA("Hotrelay42"), 0);
    Uninit(object, record);
    EXPECT_EQ(::GlobalFindAtomA("Hotrelay42"), 0);
}

TEST_F(Hotrelay, RepeatedInitDoesNotRecurse) {
    HWND window = MakeWindow();
    const qv::ObjectRecord object = Object(50, window);
    HotkeyRecord record = Settings(MOD_WIN, 'K', hotrelay::kMouseOver);
    Init(object, record);
    Init(object, record);
    ASSERT_NE(record.atom, 0u);
    // Never our own procedure as the previous one: messages end in the host's procedure.
    EXPECT_EQ(record.previousProc, static_cast<std::uint32_t>(ClassProc()));
    EXPECT_EQ(::SendMessageA(window, WM_APP, 0, 0), 0x1234);
    EXPECT_EQ(Press(window, record).size(), 2u);
    Uninit(object, record);
    // One QVUninit releases everything the two QVInit calls took.
    EXPECT_TRUE(qvtest::CombinationFree(MOD_WIN, 'K'));
    EXPECT_EQ(::GlobalFindAtomA("Hotrelay50"), 0);
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
}

TEST_F(Hotrelay, TwoOnOneWindowReleaseInAnyOrder) {
    HWND window = MakeWindow();
    const qv::ObjectRecord first = Object(61, window), second = Object(62, window);
    HotkeyRecord a = Settings(MOD_CONTROL, '1', hotrelay::kMouseOver);
    HotkeyRecord b = Settings(MOD_CONTROL, '2', hotrelay::kSingleClick);
    Init(first, a);
    Init(second, b);
    ASSERT_NE(a.atom, 0u);
    ASSERT_NE(b.atom, 0u);
    EXPECT_EQ(b.previousProc, static_cast<std::uint32_t>(ClassProc()));
    Uninit(second, b);
    // The remaining binding still works through the window.
    EXPECT_EQ(Press(window, a).size(), 2u);
    EXPECT_EQ(::SendMessageA(window, WM_APP, 0, 0), 0x1234);
    Uninit(first, a);
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
    EXPECT_EQ(::GetPropA(window, "Hotrelay"), nullptr);
}

TEST_F(Hotrelay, FullTableRefusesMore) {
    HWND window = MakeWindow();
    // One more combination than the table holds, of modifiers nothing else on the desktop uses.
    std::vector<HotkeyRecord> records;
    for (std::uint32_t modifiers :
         {MOD_ALT | MOD_CONTROL | MOD_SHIFT, MOD_WIN | MOD_ALT | MOD_SHIFT, MOD_WIN | MOD_CONTROL | MOD_SHIFT}) {
        for (char key : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
            records.push_back(Settings(modifiers, key, hotrelay::kMouseOver));
        for (std::uint32_t key = VK_F1; key <= VK_F12; ++key)
            records.push_back(Settings(modifiers, key, hotrelay::kMouseOver));
    }
    ASSERT_GT(records.size(), hotrelay::kMaxBindings);
    records.resize(hotrelay::kMaxBindings + 1);
    std::vector<qv::ObjectRecord> objects;
    for (std::size_t i = 0; i < records.size(); ++i)
        objects.push_back(Object(static_cast<std::int32_t>(7000 + i), window));

    for (std::size_t i = 0; i < hotrelay::kMaxBindings; ++i) {
        Init(objects[i], records[i]);
        ASSERT_NE(records[i].atom, 0u) << i;
    }
    HotkeyRecord& refused = records.back();
    refused.atom = 0x1234;  // whatever it held, a refused binding leaves atom 0
    Init(objects.back(), refused);
    EXPECT_EQ(refused.atom, 0u);
    EXPECT_EQ(::GlobalFindAtomA("Hotrelay7128"), 0);
    EXPECT_TRUE(qvtest::CombinationFree(refused.modifiers, refused.virtualKey));
    EXPECT_EQ(::GetPropA(window, "Hotrelay"), &records[hotrelay::kMaxBindings - 1]);
    EXPECT_EQ(Press(window, records[hotrelay::kMaxBindings - 1]).size(), 2u);
    EXPECT_EQ(::SendMessageA(window, WM_APP, 0, 0), 0x1234);

    // Room again after one QVUninit.
    Uninit(objects[0], records[0]);
    Init(objects.back(), refused);
    EXPECT_NE(refused.atom, 0u);
    EXPECT_EQ(::GetPropA(window, "Hotrelay"), &refused);
    for (std::size_t i = 1; i < records.size(); ++i) Uninit(objects[i], records[i]);
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
    EXPECT_EQ(::GetPropA(window, "Hotrelay"), nullptr);
}

TEST_F(Hotrelay, StaleRunTimeFieldsAreIgnored) {
    HWND window = MakeWindow();
    const qv::ObjectRecord object = Object(70, window);
    // An atom that somebody else owns, left in a record the host stored earlier.
    const ATOM foreign = ::GlobalAddAtomA("SomebodyElsesAtom");
    ASSERT_NE(foreign, 0);

    HotkeyRecord incomplete = Settings(MOD_CONTROL, 0, hotrelay::kSingleClick);
    incomplete.atom = foreign;
    incomplete.previousProc = kSentinel;
    Init(object, incomplete);
    EXPECT_EQ(incomplete.atom, 0u);  // not reported as in use
    EXPECT_EQ(incomplete.previousProc, 0u);

    HotkeyRecord stale = Settings(MOD_CONTROL, 'S', hotrelay::kSingleClick);
    stale.atom = foreign;
    Uninit(object, stale);
    char name[64] = {};
    EXPECT_NE(::GlobalGetAtomNameA(foreign, name, sizeof name), 0u);
    EXPECT_STREQ(name, "SomebodyElsesAtom");
    EXPECT_EQ(stale.atom, 0u);
    ::GlobalDeleteAtom(foreign);
}

TEST_F(Hotrelay, UnloadRestoresWindows) {
    Bound bound;
    ASSERT_NO_FATAL_FAILURE(Bind(bound, 80, MOD_ALT, VK_F7, hotrelay::kSingleClick));
    auto& [window, object, record] = bound;
    plugin_.Unload();
    EXPECT_EQ(::GetModuleHandleA("Hotrelay2.dll"), nullptr);
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
    EXPECT_EQ(::SendMessageA(window, WM_APP, 0, 0), 0x1234);
    EXPECT_TRUE(qvtest::CombinationFree(MOD_ALT, VK_F7));
    EXPECT_EQ(::GlobalFindAtomA("Hotrelay80"), 0);
}

WNDPROC g_below = nullptr;
LRESULT CALLBACK OnTopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcA(g_below, window, message, wParam, lParam);
}

TEST_F(Hotrelay, SubclassOnTopSurvivesUnload) {
    Bound bound;
    ASSERT_NO_FATAL_FAILURE(Bind(bound, 81, MOD_ALT, VK_F8, hotrelay::kSingleClick));
    auto& [window, object, record] = bound;
    g_below = reinterpret_cast<WNDPROC>(::SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&OnTopProc)));
    Uninit(object, record);
    plugin_.Unload();
    // Our procedure is still in the chain, so the library must have stayed in memory for it.
    EXPECT_NE(::GetModuleHandleA("Hotrelay2.dll"), nullptr);
    EXPECT_EQ(::SendMessageA(window, WM_APP, 0, 0), 0x1234);
    g_seen.clear();
    ::DestroyWindow(window);
    ASSERT_FALSE(g_seen.messages().empty());
    EXPECT_EQ(g_seen.messages()[0].message, static_cast<UINT>(WM_DESTROY));
}

// The host lets go of an object whose window another thread owns, by QVUninit or by unloading the
// library without it, while that thread keeps sending itself messages: every one of them must reach
// the host's procedure, before, during and after each release.
TEST_F(Hotrelay, ReleaseLosesNoOtherThreadMessage) {
    qvtest::WindowThread owner(kObjectClass);
    HWND window = owner.window();
    const qv::ObjectRecord object = Object(96, window);
    // Each unload costs a load and a wait for the window's thread: fewer rounds catch a lost message.
    constexpr int kUninitRounds = 3000, kUnloadRounds = 300;
    std::atomic<bool> stop{false};
    long sent = 0, lost = 0;
    qv::UniqueHandle finished(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const std::function<void()> receive = [&] {
        while (!stop) {
            for (int i = 0; i < 32; ++i, ++sent)
                if (::SendMessageA(window, WM_APP + 1, 0, 0) != 0x1234) ++lost;
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // takes in the test thread's requests
        }
        ::SetEvent(finished.get());
    };
    ASSERT_TRUE(::PostMessageA(window, kRunHere, 0, reinterpret_cast<LPARAM>(&receive)));
    int bound = 0;
    for (int round = 0; round < kUninitRounds + kUnloadRounds; ++round) {
        const bool unload = round >= kUninitRounds;
        if (unload) plugin_ = qvtest::LoadPlugin("Hotrelay2.dll");
        HotkeyRecord record = Settings(MOD_CONTROL | MOD_SHIFT, VK_F11, hotrelay::kSingleClick);
        // Only the window's own thread can register a hotkey on it, and only that thread can
        // unregister it again: the test thread releases everything else.
        const std::function<void()> init = [&] { Init(object, record); };
        ::SendMessageA(window, kRunHere, 0, reinterpret_cast<LPARAM>(&init));
        const int hotkey = record.atom;
        if (hotkey != 0) ++bound;
        if (unload) plugin_.Unload();
        else Uninit(object, record);
        const std::function<void()> release = [&] { ::UnregisterHotKey(window, hotkey); };
        ::SendMessageA(window, kRunHere, 0, reinterpret_cast<LPARAM>(&release));
    }
    stop = true;
    ASSERT_EQ(::WaitForSingleObject(finished.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(bound, kUninitRounds + kUnloadRounds);
    EXPECT_EQ(lost, 0) << "of " << sent << " messages sent";
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), ClassProc());
}

TEST_F(Hotrelay, RealKeyPressClicks) {
    Bound bound;
    ASSERT_NO_FATAL_FAILURE(Bind(bound, 90, MOD_CONTROL, VK_F10, hotrelay::kSingleClick, 80, 40));
    auto& [window, object, record] = bound;
    g_seen.clear();
    ASSERT_TRUE(qvtest::PressCombination(VK_CONTROL, VK_F10));
    ASSERT_TRUE(qvtest::PumpUntil([] { return g_seen.Count(WM_LBUTTONUP) > 0; }, 5000))
        << "no click arrived after the key press";
    std::vector<qvtest::Message> click = g_seen.messages();
    click.resize(std::min<std::size_t>(click.size(), 3));  // what follows the click may still be on its way
    EXPECT_TRUE(qvtest::SameSequence(
        click, {{WM_HOTKEY, record.atom}, {WM_LBUTTONDOWN, 0, Point(40, 20)}, {WM_LBUTTONUP, 0, Point(40, 20)}}));
    EXPECT_EQ(::GetFocus(), window);
    Uninit(object, record);
}

}  // namespace

namespace {

TEST(HotrelayLifecycle, ReloadsLeakNothing) {
    HWND window = qvtest::WindowOfClass("HotrelayCycleObject", ::DefWindowProcA, "object", WS_POPUP, 0, 0, 50, 50);
    ASSERT_NE(window, nullptr);
    const qv::ObjectRecord object{91, {0, 0}, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window))};
    const std::string path = qvtest::BesideProgram("Hotrelay2.dll");
    auto round = [&](int i) {
        HMODULE module = ::LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr) << "round " << i;
        auto init = qvtest::Export<qv::InitFn>(module, "QVInit");
        HotkeyRecord record{MOD_ALT, VK_F6, hotrelay::kSingleClick, 0, {0, 0}, 0};
        ASSERT_EQ(init(&object, &record), 1);
        ASSERT_NE(record.atom, 0u) << "round " << i;
        // Unloaded while still bound: the unload itself must let go of everything.
        ASSERT_TRUE(::FreeLibrary(module));
        ASSERT_EQ(::GetModuleHandleA("Hotrelay2.dll"), nullptr) << "round " << i;
    };
    round(-1);  // whatever the system sets up once per process is not a leak
    const std::size_t handlesBefore = qvtest::HandlesOfThisProcess();
    const std::size_t threadsBefore = qvtest::ThreadsOfThisProcess();
    for (int i = 0; i < 40; ++i) round(i);
    EXPECT_EQ(qvtest::HandlesOfThisProcess(), handlesBefore);
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore);
    EXPECT_EQ(::GlobalFindAtomA("Hotrelay91"), 0);
    EXPECT_EQ(::GetWindowLongA(window, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
    ::DestroyWindow(window);
}

}  // namespace
