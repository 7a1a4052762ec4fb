// The Calculator sample plug-in through its exports: the display object's window shows what the keys
// (the relay target Key, with a button's parameter 2) compute, and load/unload cycles leak nothing.
#include <gtest/gtest.h>

#include "wine_test_support.h"

namespace {

using KeyFn = std::int32_t(__stdcall*)(std::uint32_t);

HWND MakeDisplayWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "CalculatorDisplay";
    ::RegisterClassA(&wc);
    return ::CreateWindowA("CalculatorDisplay", "display", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

std::string TextOf(HWND window) {
    char text[64] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

TEST(CalculatorPlugin, DisplayShowsWhatRelayedKeysCompute) {
    HWND window = MakeDisplayWindow();
    ASSERT_NE(window, nullptr);
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Calculator.dll");
    auto key = reinterpret_cast<KeyFn>(reinterpret_cast<void*>(plugin.Find("Key")));
    auto lastKey = reinterpret_cast<KeyFn>(reinterpret_cast<void*>(plugin.Find("LastKey")));
    ASSERT_NE(key, nullptr);
    ASSERT_NE(lastKey, nullptr);
    std::uint32_t size = 0xDEADBEEF, flag = 0;
    const char* description = nullptr;
    plugin.entry().getPluginInfo(&size, &description, &flag);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(flag, 1u);
    const qv::ObjectRecord object{2, {0, 0}, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window))};
    std::uint8_t none = 0;
    EXPECT_EQ(plugin.entry().init(&object, &none), 1);
    EXPECT_EQ(TextOf(window), "0");
    for (char c : std::string("12+3=")) {
        const qvtest::CheckedCall call = qvtest::CallStdcall(reinterpret_cast<const void*>(key), {std::uint32_t(c)});
        EXPECT_TRUE(call.stackBalanced);
    }
    EXPECT_EQ(TextOf(window), "15");
    EXPECT_EQ(lastKey(0), '=');
    EXPECT_EQ(plugin.entry().uninit(&object, &none), 1);
    key('C');  // after QVUninit the window is no longer the display
    EXPECT_EQ(TextOf(window), "15");
    ::DestroyWindow(window);
}

TEST(CalculatorPlugin, LoadUnloadCyclesLeakNoHandleOrThread) {
    const std::string path = qvtest::BesideProgram("Calculator.dll");
    auto round = [&](int i) {
        HMODULE module = ::LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr) << "round " << i;
        auto key = qvtest::Export<KeyFn>(module, "Key");
        ASSERT_NE(key, nullptr);
        key('7');
        key('/');
        key('0');
        key('=');  // an error path too
        ASSERT_TRUE(::FreeLibrary(module));
        ASSERT_EQ(::GetModuleHandleA("Calculator.dll"), nullptr) << "round " << i;
    };
    round(-1);
    const std::size_t handlesBefore = qvtest::HandlesOfThisProcess();
    const std::size_t threadsBefore = qvtest::ThreadsOfThisProcess();
    for (int i = 0; i < 100; ++i) round(i);
    EXPECT_EQ(qvtest::HandlesOfThisProcess(), handlesBefore);
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore);
}

}  // namespace
