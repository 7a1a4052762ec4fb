// QVCommandEx of Hotrelay2 under Wine: relaying to an export of a loaded module, and the message
// boxes for what cannot be relayed, found on screen, read and closed as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

constexpr char kCaption[] = "Hotrelay::QVCommandEx";
constexpr char kInvalidForm[] = "Invalid parameter 1 string. It must be of the form LoadModule(Function)";
constexpr std::size_t kShownNameLength = 256;  // longer names are shown cut, followed by "..."

// What a message box with the relay's caption showed, read from its controls.
struct BoxSeen {
    std::string text;
    HWND owner = nullptr;
    std::vector<int> visibleButtons;
    bool iconShown = false;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* seen = reinterpret_cast<BoxSeen*>(param);
    char className[32] = {};
    ::GetClassNameA(child, className, sizeof className);
    if (!::IsWindowVisible(child)) return TRUE;
    const LONG style = ::GetWindowLongA(child, GWL_STYLE);
    if (::lstrcmpiA(className, "Button") == 0) seen->visibleButtons.push_back(::GetDlgCtrlID(child));
    // The icon control may stay in place while empty: only an icon it holds counts.
    if (::lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
        ::SendMessageA(child, STM_GETICON, 0, 0) != 0) {
        seen->iconShown = true;
    }
    return TRUE;
}

// Watches for the relay's message boxes while a call runs on the test's thread: reads each one and
// presses its OK button, until told to stop.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { Watch(); }) {}
    ~BoxWatcher() { Stop(); }

    std::vector<BoxSeen> Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return boxes_;
    }

private:
    void Watch() {
        const DWORD start = ::GetTickCount();
        while (!stop_ && ::GetTickCount() - start < 20000) {
            HWND box = qvtest::WaitForWindow(kCaption, 20);
            if (box == nullptr) continue;
            BoxSeen seen;
            char text[8192] = {};
            ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // a message box's text control
            seen.text = text;
            seen.owner = ::GetWindow(box, GW_OWNER);
            ::EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&seen));
            boxes_.push_back(seen);
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
            const DWORD closing = ::GetTickCount();
            while (::IsWindow(box) && ::GetTickCount() - closing < 5000) ::Sleep(5);
        }
    }

    std::atomic<bool> stop_{false};
    std::vector<BoxSeen> boxes_;
    qvtest::Thread thread_;
};

class HotrelayRelay : public ::testing::Test {
protected:
    void SetUp() override {
        commandEx_ = plugin_.entry().commandEx;
        ASSERT_NE(commandEx_, nullptr);
        target_.reset(::LoadLibraryA(qvtest::BesideProgram("RelayTarget.dll").c_str()));
        ASSERT_TRUE(target_);
        callCount_ = Export("CallCount");
        lastValue_ = Export("LastValue");
        reset_ = Export("Reset");
        reset_(0xFF);
    }

    using ReadBack = std::int32_t(__stdcall*)(std::uint32_t);
    ReadBack Export(const char* name) {
        auto address = qvtest::Export<ReadBack>(target_.get(), name);
        EXPECT_NE(address, nullptr) << name;
        return address;
    }

    // Calls QVCommandEx as the host would, closing any message box it shows; returns the boxes seen.
    std::vector<BoxSeen> Relay(const char* parameter1, std::uint32_t parameter2) {
        BoxWatcher watcher;
        const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(commandEx_),
                                              {qvtest::Arg(parameter1), parameter2, 0xDEADBEEF, 0xFEEDFACE});
        auto boxes = watcher.Stop();
        EXPECT_EQ(call.result, 1u);
        EXPECT_TRUE(call.stackBalanced) << "QVCommandEx did not remove exactly its four arguments";
        return boxes;
    }

    // Expects exactly one box, shown the way every relay error is shown, with this text.
    void ExpectOneError(const std::vector<BoxSeen>& boxes, const std::string& text) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].owner, nullptr);
        EXPECT_EQ(boxes[0].visibleButtons, std::vector<int>{IDOK});
        EXPECT_FALSE(boxes[0].iconShown);
    }

    void ExpectTargetsUntouched() {
        EXPECT_EQ(callCount_(0), 0);
        EXPECT_EQ(callCount_(1), 0);
    }

    qv::PluginLibrary plugin_ = qvtest::LoadPlugin("Hotrelay2.dll");
    qv::CommandExFn commandEx_ = nullptr;
    qv::UniqueModule target_;
    ReadBack callCount_ = nullptr, lastValue_ = nullptr, reset_ = nullptr;
};

// The sample target loads like any plug-in, so the reference host can load it by file name.
TEST(RelayTargetSample, LoadsAsAPlugin) {
    auto target = qvtest::LoadPlugin("RelayTarget.dll");
    EXPECT_NE(target.entry().command, nullptr);
    EXPECT_EQ(target.entry().commandEx, nullptr);
    std::uint32_t size = 0xDEADBEEF, flag = 0xDEADBEEF;
    const char* description = nullptr;
    EXPECT_EQ(target.entry().getPluginInfo(&size, &description, &flag), 1);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(flag, 1u);
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(std::string(description).rfind("RelayTarget.", 0), 0u);
    auto press = reinterpret_cast<std::int32_t(__stdcall*)(std::uint32_t)>(
        reinterpret_cast<void*>(target.Find("Press")));
    auto count = reinterpret_cast<std::int32_t(__stdcall*)(std::uint32_t)>(
        reinterpret_cast<void*>(target.Find("CallCount")));
    ASSERT_NE(press, nullptr);
    ASSERT_NE(count, nullptr);
    const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(press), {0x37});
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(static_cast<std::int32_t>(call.result), count(1));
    EXPECT_EQ(count(7), 0);  // no such target
}

// The watcher itself tells an icon and extra buttons apart, so the checks above can fail.
TEST(HotrelayRelayWatcher, SeesIconsAndButtons) {
    BoxWatcher watcher;
    const int result = ::MessageBoxA(nullptr, "probe", kCaption, MB_OKCANCEL | MB_ICONERROR);
    const auto boxes = watcher.Stop();
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "probe");
    EXPECT_TRUE(boxes[0].iconShown);
    EXPECT_EQ(boxes[0].visibleButtons, (std::vector<int>{IDOK, IDCANCEL}));
}

TEST_F(HotrelayRelay, CallsNamedExportWithParameter2) {
    const std::uint32_t kValues[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xDEADBEEF, 0xFFFFFFFF};
    std::int32_t calls = 0;
    for (std::uint32_t value : kValues) {
        SCOPED_TRACE(value);
        EXPECT_TRUE(Relay("RelayTarget.dll(Run)", value).empty());
        EXPECT_EQ(callCount_(0), ++calls);
        EXPECT_EQ(static_cast<std::uint32_t>(lastValue_(0)), value);
    }
    EXPECT_EQ(callCount_(1), 0);
}

TEST_F(HotrelayRelay, ReadsModuleAndFunctionAsTheRulesSay) {
    struct Case {
        const char* parameter1;
        int target;  // 0 Run, 1 Press
    };
    const Case kCases[] = {
        {"RelayTarget.dll(Press)", 1},      {"RelayTarget.dll(Run)trailing text", 0},  // text after ')' is ignored
        {"RelayTarget.dll(Press", 1},                                   // without ')' the function runs to the end
        {"RelayTarget.dll(Run)(Press)", 0}, {"RelayTarget(Press)", 1},  // the system supplies ".dll"
        {"relaytarget.DLL(Run)", 0},                                    // module names ignore case
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.parameter1);
        reset_(0xFF);
        EXPECT_TRUE(Relay(c.parameter1, 0x1234).empty());
        EXPECT_EQ(callCount_(c.target), 1);
        EXPECT_EQ(callCount_(1 - c.target), 0);
        EXPECT_EQ(lastValue_(c.target), 0x1234);
    }
}

TEST_F(HotrelayRelay, MalformedTextsGiveTheInvalidFormError) {
    const char* const kCases[] = {
        "(Run)",                 // empty module name
        "RelayTarget.dllRun",    // no parentheses at all
        "RelayTarget.dll)Run(",  // closing before opening
        "RelayTarget.dll)",
        "",
        ")(",
    };
    for (const char* parameter1 : kCases) {
        SCOPED_TRACE(parameter1);
        ExpectOneError(Relay(parameter1, 7), kInvalidForm);
    }
    ExpectTargetsUntouched();
}

TEST_F(HotrelayRelay, NullParameter1GivesTheInvalidFormError) {
    ExpectOneError(Relay(nullptr, 7), kInvalidForm);
    ExpectTargetsUntouched();
}

TEST_F(HotrelayRelay, EmptyNameGivesMissingFunctionError) {
    ExpectOneError(Relay("RelayTarget.dll()", 7), "Unable to locate plugin function \"\"");
    ExpectOneError(Relay("RelayTarget.dll(", 7), "Unable to locate plugin function \"\"");
    ExpectTargetsUntouched();
}

TEST_F(HotrelayRelay, MissingFunctionLeavesTheModuleAsItWas) {
    ExpectOneError(Relay("RelayTarget.dll(Stop)", 7), "Unable to locate plugin function \"Stop\"");
    ExpectOneError(Relay("RelayTarget.dll(run)", 7), "Unable to locate plugin function \"run\"");
    ExpectTargetsUntouched();
    // Our own reference is the only one: once it is dropped the module is gone.
    target_.reset();
    EXPECT_EQ(::GetModuleHandleA("RelayTarget.dll"), nullptr);
}

TEST_F(HotrelayRelay, ModuleOnDiskButNotLoadedIsNotLoaded) {
    // A copy of the sample under another name: on disk, loadable, and loaded by nobody.
    const std::string idle = qvtest::BesideProgram("RelayIdle.dll");
    ASSERT_TRUE(::CopyFileA(qvtest::BesideProgram("RelayTarget.dll").c_str(), idle.c_str(), FALSE));
    ASSERT_NE(::GetFileAttributesA(idle.c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(::GetModuleHandleA("RelayIdle.dll"), nullptr);

    ExpectOneError(Relay("RelayIdle.dll(Run)", 7), "Unable to locate plugin \"RelayIdle.dll\"");
    EXPECT_EQ(::GetModuleHandleA("RelayIdle.dll"), nullptr);
    ExpectOneError(Relay((idle + "(Run)").c_str(), 7), "Unable to locate plugin \"" + idle + "\"");
    EXPECT_EQ(::GetModuleHandleA("RelayIdle.dll"), nullptr);
    ::DeleteFileA(idle.c_str());
}

std::string Pattern(std::size_t length, char first) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>(first + i % 26));
    return text;
}

std::string Shown(const std::string& name) {
    return name.size() > 259 ? name.substr(0, kShownNameLength) + "..." : name;
}

TEST_F(HotrelayRelay, LongModuleNamesAreNamedSafely) {
    // 54 and 200 already overflow an 80-character message; 260 and more do not fit a path.
    for (std::size_t length : {54, 200, 259, 260, 300, 5000}) {
        SCOPED_TRACE(length);
        const std::string module = Pattern(length, 'a');
        const auto boxes = Relay((module + "(Run)").c_str(), 7);
        ExpectOneError(boxes, "Unable to locate plugin \"" + Shown(module) + "\"");
    }
    ExpectTargetsUntouched();
}

TEST_F(HotrelayRelay, LongFunctionNamesAreNamedSafely) {
    for (std::size_t length : {45, 200, 259, 260, 300, 5000}) {
        SCOPED_TRACE(length);
        const std::string function = Pattern(length, 'A');
        const auto boxes = Relay(("RelayTarget.dll(" + function + ")").c_str(), 7);
        ExpectOneError(boxes, "Unable to locate plugin function \"" + Shown(function) + "\"");
    }
    ExpectTargetsUntouched();
}

TEST_F(HotrelayRelay, LongTextAroundAValidTargetStillRelays) {
    const std::string parameter1 = "RelayTarget.dll(Press)" + std::string(5000, 'x');
    EXPECT_TRUE(Relay(parameter1.c_str(), 42).empty());
    EXPECT_EQ(callCount_(1), 1);
    EXPECT_EQ(lastValue_(1), 42);
}

}  // namespace
