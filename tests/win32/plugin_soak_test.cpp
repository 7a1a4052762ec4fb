// Load and unload each plug-in the way a host does while the user edits objects, 1,200 times over:
// LoadLibrary, QVInit, QVUninit, FreeLibrary. Nothing of the host's process may wear down: TLS
// indexes, handles, threads and address space end where they started, and the last load still works.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fake_main_window.h"
#include "hotkey_record.h"
#include "qv_contract.h"
#include "wastewatch_bin_helpers.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

constexpr int kCycles = 1200;

// Level to the handle and the byte here. The allowance is for what the test process does itself
// meanwhile (its own heap may grow by one of Wine's steps; Wine may keep a handle it opens on first
// use), far below what a leak of one per cycle adds over 1,200 cycles.
constexpr std::size_t kHandleSlack = 2;
constexpr std::uint64_t kAddressSpaceSlack = 2u << 20;
// A heap block of a few dozen bytes left per load (a critical section's debug record, say) stays inside
// the address space's slack but adds up to tens of KiB here.
constexpr std::uint64_t kHeapSlack = 16u << 10;

using wwtest::WatchRecord;

constexpr std::uint32_t kFilled = 8750394;

double MiB(std::uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

void Report(const char* plugin, int cycles, const qvtest::ProcessResources& start,
            const qvtest::ProcessResources& end) {
    std::printf(
        "%s soak, %d cycles:\n"
        "  free TLS indexes %zu -> %zu\n  handles %zu -> %zu\n  threads %zu -> %zu\n"
        "  address space in use %.2f MiB -> %.2f MiB\n  heap bytes in use %llu -> %llu\n",
        plugin, cycles, start.freeTlsIndexes, end.freeTlsIndexes, start.handles, end.handles, start.threads,
        end.threads, MiB(start.addressSpaceBytes), MiB(end.addressSpaceBytes),
        static_cast<unsigned long long>(start.heapBytes), static_cast<unsigned long long>(end.heapBytes));
    std::fflush(stdout);
}

void ExpectLevel(const qvtest::ProcessResources& start, const qvtest::ProcessResources& end) {
    EXPECT_EQ(end.freeTlsIndexes, start.freeTlsIndexes);
    EXPECT_LE(end.handles, start.handles + kHandleSlack);
    EXPECT_EQ(end.threads, start.threads);
    EXPECT_LE(end.addressSpaceBytes, start.addressSpaceBytes + kAddressSpaceSlack)
        << "grew by " << MiB(end.addressSpaceBytes - start.addressSpaceBytes) << " MiB";
    EXPECT_LE(end.heapBytes, start.heapBytes + kHeapSlack)
        << "heap grew by " << (end.heapBytes - start.heapBytes) << " bytes";
}

// A leak that would use up the address space before the end stops the soak early, while the test
// framework still has room to report it.
constexpr std::uint64_t kAddressSpaceGiveUp = 256u << 20;

// Returns why the soak must stop, or an empty text. Failures are reported only once the end figures
// are taken: the test framework starts a thread of its own for its first failure.
std::string AddressSpaceRunningOut(int cyclesDone, const qvtest::ProcessResources& start) {
    if (cyclesDone % 100 != 0) return {};
    const std::uint64_t now = qvtest::AddressSpaceInUse();
    if (now <= start.addressSpaceBytes + kAddressSpaceGiveUp) return {};
    return "address space grew by " + std::to_string((now - start.addressSpaceBytes) >> 20) + " MiB in " +
           std::to_string(cyclesDone) + " cycles: stopped early";
}

// The end figures, once a thread that has just let go of the library has had a moment to be gone.
qvtest::ProcessResources SettledResources(const qvtest::ProcessResources& start) {
    for (DWORD begin = ::GetTickCount(); qvtest::ThreadsOfThisProcess() > start.threads; ::Sleep(10)) {
        if (::GetTickCount() - begin > 2000) break;
    }
    return qvtest::MeasureProcessResources();
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        // The system DLLs the plug-ins import stay loaded, so each cycle loads and unloads the plug-in alone.
        for (const char* name : {"shell32.dll", "comctl32.dll", "user32.dll", "ole32.dll"}) {
            pinned_.emplace_back(::LoadLibraryA(name));
        }
    }
    std::vector<qv::UniqueModule> pinned_;
};

TEST_F(Soak, Hotrelay2StaysLevel) {
    qv::UniqueWindow window(
        qvtest::WindowOfClass("HotrelaySoakObject", ::DefWindowProcA, "object", WS_POPUP, 0, 0, 50, 50));
    ASSERT_NE(window.get(), nullptr);
    const qv::ObjectRecord object{92, {0, 0}, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window.get()))};
    const std::string path = qvtest::BesideProgram("Hotrelay2.dll");

    // Returns an empty text when the cycle went as a host expects, else what went wrong.
    auto cycle = [&]() -> std::string {
        HMODULE module = ::LoadLibraryA(path.c_str());
        if (module == nullptr) return "LoadLibrary failed with error " + std::to_string(::GetLastError());
        auto init = qvtest::Export<qv::InitFn>(module, "QVInit");
        auto uninit = qvtest::Export<qv::UninitFn>(module, "QVUninit");
        hotrelay::HotkeyRecord record{hotrelay::kModAlt, VK_F7, hotrelay::kSingleClick, 0, {0, 0}, 0};
        std::string fault;
        if (init == nullptr || uninit == nullptr) {
            fault = "entry points missing";
        } else if (init(&object, &record) != 1 || record.atom == 0) {
            fault = "QVInit did not bind the hotkey";
        } else if (uninit(&object, &record) != 1 || record.atom != 0) {
            fault = "QVUninit did not release the hotkey";
        }
        if (!::FreeLibrary(module)) return "FreeLibrary failed";
        if (!qvtest::ModuleGoneWithin("Hotrelay2.dll", 5000)) return "the library stayed loaded";
        return fault;
    };

    ASSERT_EQ(cycle(), "");  // whatever the system sets up once per process is not a leak
    const qvtest::ProcessResources start = qvtest::MeasureProcessResources();
    int done = 0;
    std::string stop;
    while (done < kCycles && stop.empty()) {
        stop = cycle();
        if (!stop.empty()) stop = "cycle " + std::to_string(done + 1) + ": " + stop;
        else stop = AddressSpaceRunningOut(++done, start);
    }
    const qvtest::ProcessResources end = SettledResources(start);
    Report("Hotrelay2", done, start, end);
    EXPECT_EQ(stop, "");
    ExpectLevel(start, end);
    EXPECT_EQ(::GetWindowLongA(window.get(), GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
}

TEST_F(Soak, WastewatchStaysLevelWhileWatching) {
    ASSERT_FALSE(wwtest::ScratchFolder().empty()) << "run through cmake/wine-run.sh (QV_TRASH_DIR unset)";
    ASSERT_EQ(wwtest::QueryBin().count, 0) << "the run's bin must start empty";
    ASSERT_TRUE(qvtest::FakeMainWindow::NoneOnDesktop());

    const std::string path = qvtest::BesideProgram("Wastewatch.dll");
    const qv::ObjectRecord object{93, {0, 0}, 0};
    WatchRecord record{1, 1, 0, 0, 0, 0};
    using WatchInitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, WatchRecord*);
    using WatchUninitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, WatchRecord*);

    // Loads, watches the object (which starts the monitor thread), lets go of it and unloads. Before
    // letting go, whileWatched runs with the library loaded. Empty text when all went as expected.
    auto cycle = [&](const std::function<void()>& whileWatched) -> std::string {
        HMODULE module = ::LoadLibraryA(path.c_str());
        if (module == nullptr) return "LoadLibrary failed with error " + std::to_string(::GetLastError());
        auto init = qvtest::Export<WatchInitFn>(module, "QVInit");
        auto uninit = qvtest::Export<WatchUninitFn>(module, "QVUninit");
        std::string fault;
        if (init == nullptr || uninit == nullptr) {
            fault = "entry points missing";
        } else if (init(&object, &record) != 1) {
            fault = "QVInit refused the object";
        } else {
            if (whileWatched) whileWatched();
            if (uninit(&object, &record) != 1) fault = "QVUninit failed";
        }
        if (!::FreeLibrary(module)) return "FreeLibrary failed";
        if (!qvtest::ModuleGoneWithin("Wastewatch.dll", 5000)) return "the library stayed loaded";
        return fault;
    };

    ASSERT_EQ(cycle(nullptr), "");  // whatever the system sets up once per process is not a leak
    const qvtest::ProcessResources start = qvtest::MeasureProcessResources();
    int done = 0;
    std::string stop;
    while (done < kCycles - 1 && stop.empty()) {
        stop = cycle(nullptr);
        if (!stop.empty()) stop = "cycle " + std::to_string(done + 1) + ": " + stop;
        else stop = AddressSpaceRunningOut(++done, start);
    }
    // The heap is read before the last load: its main window, message pump and shell calls fill caches
    // of Wine's own (up to about 20 KB under Wine 10) that stay after the window has gone.
    const std::uint64_t heapAfterPlainCycles = qvtest::HeapBytesInUse();
    // The last load must still monitor: a file going into the bin reaches the host's main window.
    bool notified = false;
    std::size_t threadsWhileWatching = 0;
    if (stop.empty()) {
        qvtest::FakeMainWindow mainWindow;
        stop = cycle([&] {
            threadsWhileWatching = qvtest::ThreadsOfThisProcess();
            if (!wwtest::FillTrashDirectly(1, 10, "soak")) return;
            const auto& received = qvtest::FakeMainWindow::Received();
            const qvtest::Notification filled{kFilled, 93};
            notified = qvtest::PumpUntil(
                [&] { return std::find(received.begin(), received.end(), filled) != received.end(); }, 5000);
        });
        if (stop.empty()) ++done;
        else stop = "last cycle: " + stop;
    }
    qvtest::ProcessResources end = SettledResources(start);
    end.heapBytes = heapAfterPlainCycles;
    Report("Wastewatch", done, start, end);
    std::printf("  threads while the last load watched: %zu\n", threadsWhileWatching);
    wwtest::EmptyBin();
    ExpectLevel(start, end);
    ASSERT_EQ(stop, "");
    EXPECT_TRUE(notified) << "the last load's monitor did not report the filled bin";
    EXPECT_GT(threadsWhileWatching, start.threads);
}

}  // namespace
