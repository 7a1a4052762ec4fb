// Prints what Hotrelay2's window procedure costs per message it forwards: a window without the plug-in,
// a bound window on one thread, and two threads sending to bound windows of their own at once (every
// bound window's messages look the binding table up). Sixteen windows are bound in all, so each lookup
// scans a table of some size. Run it through cmake/wine-run.sh.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hotkey_record.h"
#include "plugin_loader.h"
#include "qv_contract.h"
#include "wine_test_support.h"

namespace {

constexpr char kObjectClass[] = "HotrelayBenchObject";
constexpr int kMessages = 200000;
constexpr int kRepeats = 5;
constexpr int kWindows = 16;

LRESULT CALLBACK ObjectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEMOVE) return 1;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

using qvtest::Median;

// Nanoseconds per message sent to a window of this thread.
double SendCost(HWND window) {
    const double start = qvtest::NowMs();
    for (int i = 0; i < kMessages; ++i) ::SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(i & 63, 7));
    return (qvtest::NowMs() - start) * 1e6 / kMessages;
}

HWND MakeWindow() {
    return qvtest::WindowOfClass(kObjectClass, ObjectProc, "object", WS_POPUP, 0, 0, 40, 20);
}

struct Bound {
    qv::ObjectRecord object;
    hotrelay::HotkeyRecord record;
};

// Binds a window of this thread (only the owner of a window can register a hotkey on it).
bool Bind(const qv::PluginEntryPoints& entry, HWND window, int index, Bound& bound) {
    bound.object = {1000 + index, {0, 0}, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window))};
    bound.record = {MOD_CONTROL | MOD_ALT | MOD_SHIFT,
                    static_cast<std::uint32_t>(VK_F1 + index % 12),
                    hotrelay::kSingleClick,
                    0,
                    {0, 0},
                    0};
    if (index >= 12) bound.record.virtualKey = 'A' + index;
    entry.init(&bound.object, &bound.record);
    return bound.record.atom != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: hotrelay_bench   (through cmake/wine-run.sh)\n");
        return 0;
    }
    const char* runner = std::getenv("QV_I386_RUNNER");
    std::printf("Windows side: %s\n", runner != nullptr ? runner : "run outside cmake/wine-run.sh");

    std::string error;
    auto plugin = qv::PluginLibrary::Load(qvtest::BesideProgram("Hotrelay2.dll"), error);
    if (!plugin) {
        std::printf("cannot load Hotrelay2.dll: %s\n", error.c_str());
        return 1;
    }
    const qv::PluginEntryPoints& entry = plugin->entry();

    // Bound windows of no thread's measurement, so that every lookup has a table to scan.
    std::vector<Bound> others(kWindows - 2);
    std::vector<HWND> otherWindows;
    for (int i = 0; i < kWindows - 2; ++i) {
        otherWindows.push_back(MakeWindow());
        if (!Bind(entry, otherWindows.back(), i + 2, others[i])) std::printf("window %d: not bound\n", i + 2);
    }

    HWND plain = MakeWindow();
    std::vector<double> unbound, bound;
    Bound mine{};
    HWND window = MakeWindow();
    if (!Bind(entry, window, 0, mine)) std::printf("window 0: not bound\n");
    for (int r = 0; r < kRepeats; ++r) {
        unbound.push_back(SendCost(plain));
        bound.push_back(SendCost(window));
    }

    // Two threads at once, each on a window of its own: both without the plug-in, then both bound.
    struct Pair {
        std::vector<double> cost[2];
    };
    auto together = [&](bool bindSecond, HWND first) {
        Pair pair;
        for (int r = 0; r < kRepeats; ++r) {
            HANDLE go = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
            HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
            double cost[2] = {0, 0};
            {
                qvtest::Thread second([&] {
                    HWND own = MakeWindow();
                    Bound ownBound{};
                    if (bindSecond && !Bind(entry, own, 1, ownBound)) std::printf("window 1: not bound\n");
                    ::SetEvent(ready);
                    ::WaitForSingleObject(go, INFINITE);
                    cost[1] = SendCost(own);
                    if (bindSecond) entry.uninit(&ownBound.object, &ownBound.record);
                    ::DestroyWindow(own);
                });
                ::WaitForSingleObject(ready, INFINITE);
                ::SetEvent(go);
                cost[0] = SendCost(first);
            }
            pair.cost[0].push_back(cost[0]);
            pair.cost[1].push_back(cost[1]);
            ::CloseHandle(go);
            ::CloseHandle(ready);
        }
        return pair;
    };
    const Pair plainPair = together(false, plain);
    const Pair boundPair = together(true, window);

    const double alone = Median(bound), base = Median(unbound);
    std::printf("ns per message sent (median of %d runs of %d, %d windows bound):\n", kRepeats, kMessages, kWindows);
    std::printf("  window without the plug-in:      %7.0f\n", base);
    std::printf("  bound window, one thread:        %7.0f  (forwarding adds %.0f)\n", alone, alone - base);
    const double base2[2] = {Median(plainPair.cost[0]), Median(plainPair.cost[1])};
    const double bound2[2] = {Median(boundPair.cost[0]), Median(boundPair.cost[1])};
    std::printf("  two threads, windows without:    %7.0f and %.0f\n", base2[0], base2[1]);
    std::printf("  two threads, bound windows:      %7.0f and %.0f  (forwarding adds %.0f and %.0f)\n", bound2[0],
                bound2[1], bound2[0] - base2[0], bound2[1] - base2[1]);

    entry.uninit(&mine.object, &mine.record);
    for (int i = 0; i < kWindows - 2; ++i) entry.uninit(&others[i].object, &others[i].record);
    for (HWND w : otherWindows) ::DestroyWindow(w);
    ::DestroyWindow(window);
    ::DestroyWindow(plain);
    return 0;
}
