// What a host does that Hotrelay2 must survive: another subclasser on its window, an unload from inside
// the host's own window procedure, an old copy of the record written back while bound, and null
// arguments to every export of both plug-ins. Each scenario runs in a child process: a crash there
// fails its test, not the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "hotkey_record.h"
#include "hotkey_relay/res/resource_ids.h"
#include "message_log.h"
#include "wine_test_support.h"

namespace {

using hotrelay::HotkeyRecord;

constexpr char kObjectClass[] = "HotrelayGuestObject";
constexpr LRESULT kHostAnswer = 0x1234;
constexpr LRESULT kUnloadAnswer = 0x5678;
constexpr LRESULT kHotkeyAnswer = 0x4321;

// The host's side: what reached its procedure, and the message on which it detaches the object and
// unloads the plug-in before returning (0 for none).
qvtest::MessageLog g_seen{WM_HOTKEY, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_SETFOCUS, WM_APP, WM_APP + 1};
UINT g_unloadOn = 0;
HMODULE g_module = nullptr;
qv::UninitFn g_uninit = nullptr;
const qv::ObjectRecord* g_object = nullptr;
HotkeyRecord* g_record = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.Record(message, wParam, lParam);
    if (message != 0 && message == g_unloadOn) {
        g_unloadOn = 0;
        g_uninit(g_object, g_record);
        ::FreeLibrary(std::exchange(g_module, nullptr));
        return kUnloadAnswer;
    }
    if (message == WM_APP) return kHostAnswer;
    if (message == WM_HOTKEY) return kHotkeyAnswer;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// Another component that subclasses the window on top of whatever is there, and counts its calls.
WNDPROC g_below = nullptr;
int g_onTopCalls = 0;
LRESULT CALLBACK OnTopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_onTopCalls;
    return ::CallWindowProcA(g_below, window, message, wParam, lParam);
}

class HotrelayGuest : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        // Loaded by hand: the host's procedure may unload it.
        g_module = ::LoadLibraryA(qvtest::BesideProgram("Hotrelay2.dll").c_str());
        ASSERT_NE(g_module, nullptr);
        init_ = qvtest::Export<qv::InitFn>(g_module, "QVInit");
        g_uninit = qvtest::Export<qv::UninitFn>(g_module, "QVUninit");
        ASSERT_NE(init_, nullptr);
        ASSERT_NE(g_uninit, nullptr);
        bystander_ = qvtest::WindowOfClass(kObjectClass, HostProc, "bystander", WS_POPUP | WS_VISIBLE, 200, 10, 50, 50);
        window_ = qvtest::WindowOfClass(kObjectClass, HostProc, "object", WS_POPUP | WS_VISIBLE, 10, 10, 120, 60);
        ASSERT_NE(window_, nullptr);
        object_ = {7, {0, 0}, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window_))};
        record_ = {MOD_CONTROL, VK_F3, hotrelay::kSingleClick, 0, {0, 0}, 0};
        g_object = &object_;
        g_record = &record_;
    }

    void TearDown() override {
        ::DestroyWindow(window_);
        ::DestroyWindow(bystander_);
        if (g_module != nullptr) ::FreeLibrary(g_module);
    }

    void Bind() {
        ASSERT_EQ(init_(&object_, &record_), 1);
        ASSERT_NE(record_.atom, 0u);
    }

    // Calls the procedure now installed on the window as the system does, checking the stack.
    qvtest::CheckedCall CallWindowProcedure(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        const auto proc = reinterpret_cast<const void*>(::GetWindowLongA(window_, GWL_WNDPROC));
        return qvtest::CallStdcall(proc, {qvtest::Arg(window_), message, static_cast<std::uint32_t>(wParam),
                                          static_cast<std::uint32_t>(lParam)});
    }

    static LONG_PTR HostProcAddress() { return reinterpret_cast<LONG_PTR>(&HostProc); }

    qv::InitFn init_ = nullptr;
    HWND window_ = nullptr;
    HWND bystander_ = nullptr;
    qv::ObjectRecord object_{};
    HotkeyRecord record_{};
};

TEST_F(HotrelayGuest, RebindUnderSubclasser) {
    if (qvtest::RanInChildProcess()) return;
    Bind();
    g_below = reinterpret_cast<WNDPROC>(::SetWindowLongA(window_, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&OnTopProc)));
    // How a changed hotkey takes effect: detach, then attach again.
    ASSERT_EQ(g_uninit(&object_, &record_), 1);
    Bind();
    EXPECT_EQ(record_.previousProc, static_cast<std::uint32_t>(HostProcAddress()));
    EXPECT_FALSE(qvtest::CombinationFree(MOD_CONTROL, VK_F3));

    g_seen.clear();
    g_onTopCalls = 0;
    EXPECT_EQ(::SendMessageA(window_, WM_APP, 0, 0), kHostAnswer);
    EXPECT_EQ(g_seen.Count(WM_APP), 1);
    EXPECT_EQ(g_onTopCalls, 1);

    // A real press of the combination ends in one click on the object.
    g_seen.clear();
    ASSERT_TRUE(qvtest::PressCombination(VK_CONTROL, VK_F3));
    EXPECT_TRUE(qvtest::PumpUntil([] { return g_seen.Count(WM_MOUSEMOVE) > 0; }, 5000)) << "no click arrived";
    EXPECT_EQ(g_seen.Count(WM_HOTKEY), 1);
    EXPECT_EQ(g_seen.Count(WM_LBUTTONDOWN), 1);
    EXPECT_EQ(g_seen.Count(WM_LBUTTONUP), 1);

    ASSERT_EQ(g_uninit(&object_, &record_), 1);
    EXPECT_TRUE(qvtest::CombinationFree(MOD_CONTROL, VK_F3));
    g_seen.clear();
    EXPECT_EQ(::SendMessageA(window_, WM_APP, 0, 0), kHostAnswer);
    EXPECT_EQ(g_seen.Count(WM_APP), 1);
}

TEST_F(HotrelayGuest, UnloadInsideProcedureGetsAnswer) {
    if (qvtest::RanInChildProcess()) return;
    Bind();
    g_unloadOn = WM_APP + 1;
    const auto call = CallWindowProcedure(WM_APP + 1);
    EXPECT_EQ(call.result, static_cast<std::uint32_t>(kUnloadAnswer));
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(::GetModuleHandleA("Hotrelay2.dll"), nullptr);
    EXPECT_EQ(::GetWindowLongA(window_, GWL_WNDPROC), HostProcAddress());
    EXPECT_EQ(::SendMessageA(window_, WM_APP, 0, 0), kHostAnswer);
}

TEST_F(HotrelayGuest, UnloadOnHotkeyClick) {
    if (qvtest::RanInChildProcess()) return;
    Bind();
    ::SetFocus(bystander_);
    g_seen.clear();
    g_unloadOn = WM_LBUTTONUP;
    EXPECT_EQ(::SendMessageA(window_, WM_HOTKEY, record_.atom, 0), kHotkeyAnswer);
    ASSERT_TRUE(qvtest::PumpUntil([] { return g_seen.Count(WM_MOUSEMOVE) > 0; }, 2000));
    EXPECT_EQ(::GetModuleHandleA("Hotrelay2.dll"), nullptr);
    EXPECT_TRUE(qvtest::SameSequence(g_seen.messages(),
                                     {{WM_SETFOCUS}, {WM_HOTKEY}, {WM_LBUTTONDOWN}, {WM_LBUTTONUP}, {WM_MOUSEMOVE}}));
    EXPECT_TRUE(qvtest::CombinationFree(MOD_CONTROL, VK_F3));
}

TEST_F(HotrelayGuest, UnloadOnHotkeyFocus) {
    if (qvtest::RanInChildProcess()) return;
    Bind();
    ::SetFocus(bystander_);
    ASSERT_EQ(::GetFocus(), bystander_);
    g_seen.clear();
    // The focus moves inside the hotkey's handling, before the host's procedure gets the hotkey.
    g_unloadOn = WM_SETFOCUS;
    const auto call = CallWindowProcedure(WM_HOTKEY, record_.atom);
    EXPECT_EQ(call.result, static_cast<std::uint32_t>(kHotkeyAnswer));
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(::GetModuleHandleA("Hotrelay2.dll"), nullptr);
    qvtest::PumpFor(50);
    EXPECT_TRUE(qvtest::SameSequence(g_seen.messages(),
                                     {{WM_SETFOCUS}, {WM_HOTKEY}, {WM_LBUTTONDOWN}, {WM_LBUTTONUP}, {WM_MOUSEMOVE}}));
}

TEST_F(HotrelayGuest, StaleRecordRedirectsNothing) {
    if (qvtest::RanInChildProcess()) return;
    const ATOM foreign = ::GlobalAddAtomA("HotrelayGuestEarlierRun");
    ASSERT_NE(foreign, 0);
    Bind();
    const ATOM bound = record_.atom;
    // The host reverts the object: its stored record from an earlier run, with that run's run-time values.
    HotkeyRecord stored = record_;
    stored.atom = foreign;
    stored.previousProc = 0x00000010;
    std::memcpy(&record_, &stored, sizeof stored);

    g_seen.clear();
    const auto call = CallWindowProcedure(WM_APP);
    EXPECT_EQ(call.result, static_cast<std::uint32_t>(kHostAnswer));
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(::SendMessageA(window_, WM_HOTKEY, bound, 0), kHotkeyAnswer);
    qvtest::PumpFor(50);
    EXPECT_EQ(g_seen.Count(WM_APP), 1);
    EXPECT_EQ(g_seen.Count(WM_LBUTTONUP), 1);

    ASSERT_EQ(g_uninit(&object_, &record_), 1);
    EXPECT_TRUE(qvtest::CombinationFree(MOD_CONTROL, VK_F3));
    EXPECT_EQ(::GetWindowLongA(window_, GWL_WNDPROC), HostProcAddress());
    char name[64] = {};
    EXPECT_NE(::GlobalGetAtomNameA(foreign, name, sizeof name), 0u) << "an atom this run never created was deleted";
    ::GlobalDeleteAtom(foreign);
}

// Every export of both plug-ins with null pointers (and zero values) where the host passes addresses:
// each returns its usual value, removes exactly its own arguments and writes through no null.
struct NullCall {
    const char* library;
    const char* name;
    int arguments;
    std::uint32_t result;
};

constexpr NullCall kNullCalls[] = {
    {"Hotrelay2.dll", "QVGetPluginInfo", 3, 1},  {"Hotrelay2.dll", "QVDefault", 2, 1},
    {"Hotrelay2.dll", "QVInit", 2, 1},           {"Hotrelay2.dll", "QVConfig", 3, 1},
    {"Hotrelay2.dll", "QVCommandEx", 4, 1},      {"Hotrelay2.dll", "QVUninit", 2, 1},
    {"Wastewatch.dll", "QVGetPluginInfo", 3, 1}, {"Wastewatch.dll", "QVDefault", 2, 1},
    {"Wastewatch.dll", "QVInit", 2, 0},  // 0 as for a full table: nothing is watched
    {"Wastewatch.dll", "QVConfig", 3, 1},        {"Wastewatch.dll", "QVCommand", 2, 1},
    {"Wastewatch.dll", "QVUninit", 2, 1},
};

TEST(PluginExports, NullArgumentsNeitherCrashNorThrow) {
    if (qvtest::RanInChildProcess()) return;
    // What a null record or parameter opens: dialogs and the relay's message box, closed unread.
    qvtest::WindowCloser closer({HOTKEY_PROPERTIES_CAPTION, "Hotrelay::QVCommandEx"});
    for (const NullCall& c : kNullCalls) {
        const std::string row = std::string(c.library) + " " + c.name;
        SCOPED_TRACE(row);
        std::printf("calling %s with nulls\n", row.c_str());
        std::fflush(stdout);
        qv::PluginLibrary plugin = qvtest::LoadPlugin(c.library);
        const auto* entry = reinterpret_cast<const void*>(plugin.Find(c.name));
        ASSERT_NE(entry, nullptr);
        const auto call = c.arguments == 2   ? qvtest::CallStdcall(entry, {0, 0})
                          : c.arguments == 3 ? qvtest::CallStdcall(entry, {0, 0, 0})
                                             : qvtest::CallStdcall(entry, {0, 0, 0, 0});
        EXPECT_EQ(call.result, c.result);
        EXPECT_TRUE(call.stackBalanced);
    }
    // Each out pointer of QVGetPluginInfo null in turn: the others are still written.
    for (const char* library : {"Hotrelay2.dll", "Wastewatch.dll"}) {
        qv::PluginLibrary plugin = qvtest::LoadPlugin(library);
        for (int missing = 0; missing < 3; ++missing) {
            SCOPED_TRACE(std::string(library) + " without out pointer " + std::to_string(missing));
            std::uint32_t size = 0xDEADBEEF, flag = 0xDEADBEEF;
            const char* text = nullptr;
            const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin.Find("QVGetPluginInfo")),
                                                  {missing == 0 ? 0 : qvtest::Arg(&size),
                                                   missing == 1 ? 0 : qvtest::Arg(&text),
                                                   missing == 2 ? 0 : qvtest::Arg(&flag)});
            EXPECT_EQ(call.result, 1u);
            EXPECT_TRUE(call.stackBalanced);
            EXPECT_EQ(size != 0xDEADBEEF, missing != 0);
            EXPECT_EQ(text != nullptr, missing != 1);
            EXPECT_EQ(flag, missing == 2 ? 0xDEADBEEF : 1u);
        }
    }
}

}  // namespace
