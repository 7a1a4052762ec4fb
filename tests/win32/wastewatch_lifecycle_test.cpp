// Wastewatch's entry points and its life in the host's process: description, defaults, the table's
// limit, and loading and unloading with the monitor thread started and stopped.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "qv_contract.h"
#include "wastewatch_bin_helpers.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

using wwtest::WatchRecord;

constexpr char kDescription[] =
    "ALPHA VERSION PLUGIN. USE AT YOUR OWN RISK.\n\n"
    "A simple QV plugin to notify when the recycle bin content has changed. Message 8750393 is sent whenever "
    "the recycle bin is emptied. Message 8750394 is sent whenever the recycle bin is filled. If you make use of "
    "the bin overflow options, message 8750395 is sent whenever the bin overflows and message 8750396 is sent "
    "whenever the bin receeds back below the overflow level. These 4 messages must be the only messages "
    "specified in order for the plugin to work properly.\n\n"
    "You may also configure the object referencing this plugin with a class of \"custom\" and then set the "
    "class's configuration parameter 1 to \"empty\". Then, when you click on the object the bin will be "
    "emptied.";

constexpr std::uint32_t kSentinel = 0xdeadbeef;
constexpr WatchRecord kSentinelRecord{kSentinel, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel};

// The CPU time of the threads started since it was made: where a test must land at a step of the
// monitor's life, it polls for the step (with a bound) rather than sleeping a guessed time.
class NewThreads {
public:
    NewThreads() : before_(qvtest::ThreadIdsOfThisProcess()) {}

    double CpuMilliseconds() const {
        double total = 0;
        for (const DWORD id : qvtest::ThreadIdsOfThisProcess()) {
            if (before_.count(id) != 0) continue;
            const qv::UniqueHandle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, id));
            if (thread) total += std::max(0.0, qvtest::ThreadCpuMilliseconds(thread.get()));
        }
        return total;
    }

    // Until they have used this much CPU time, or have gone quiet for 100 ms (the monitor sleeps).
    void AwaitWork(double milliseconds) const {
        double last = 0;
        double quietSince = qvtest::NowMs();
        qvtest::PumpUntil(
            [&] {
                const double used = CpuMilliseconds();
                if (used != last) quietSince = qvtest::NowMs();
                last = used;
                return used >= milliseconds || qvtest::NowMs() - quietSince >= 100;
            },
            5000);
    }
    void AwaitSleep() const { AwaitWork(1e9); }

private:
    std::set<DWORD> before_;
};

class WastewatchLifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        // The DLLs Wastewatch imports stay loaded, so each load and unload is Wastewatch's alone.
        for (const char* name : {"shell32.dll", "comctl32.dll", "user32.dll"}) {
            pinned_.emplace_back(::LoadLibraryA(name));
        }
    }
    std::vector<qv::UniqueModule> pinned_;
};

TEST_F(WastewatchLifecycle, DescribesItself) {
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
    std::uint32_t size = kSentinel;
    const char* description = reinterpret_cast<const char*>(kSentinel);
    std::uint32_t flag = kSentinel;
    const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin.entry().getPluginInfo),
                                          {qvtest::Arg(&size), qvtest::Arg(&description), qvtest::Arg(&flag)});
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(call.result, 1u);
    EXPECT_EQ(size, 24u);
    EXPECT_EQ(flag, 1u);
    ASSERT_NE(description, reinterpret_cast<const char*>(kSentinel));
    EXPECT_STREQ(description, kDescription);
    EXPECT_EQ(plugin.entry().commandEx, nullptr);
    EXPECT_NE(plugin.entry().command, nullptr);
}

TEST_F(WastewatchLifecycle, EveryEntryPointRemovesItsOwnArguments) {
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
    WatchRecord record = kSentinelRecord;
    const qv::ObjectRecord object{77, {kSentinel, kSentinel}, 0};
    struct Case {
        const char* name;
        const void* function;
        std::uint32_t first, second;
    };
    const Case cases[] = {
        {"QVDefault", reinterpret_cast<const void*>(plugin.entry().defaultRecord), kSentinel, qvtest::Arg(&record)},
        {"QVInit", reinterpret_cast<const void*>(plugin.entry().init), qvtest::Arg(&object), qvtest::Arg(&record)},
        {"QVCommand", reinterpret_cast<const void*>(plugin.entry().command), kSentinel, kSentinel},
        {"QVUninit", reinterpret_cast<const void*>(plugin.entry().uninit), qvtest::Arg(&object), qvtest::Arg(&record)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.function, nullptr);
        const qvtest::CheckedCall call = qvtest::CallStdcall(c.function, {c.first, c.second});
        EXPECT_TRUE(call.stackBalanced);
        EXPECT_EQ(call.result, 1u);
    }
}

TEST_F(WastewatchLifecycle, DefaultsFollowTheIntervalsInForce) {
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
    WatchRecord fresh = kSentinelRecord;
    EXPECT_EQ(plugin.entry().defaultRecord(kSentinel, &fresh), 1);
    EXPECT_EQ(std::vector<std::uint32_t>({fresh.checkInterval, fresh.refreshInterval, fresh.notifyCritical,
                                          fresh.notifyWarning, fresh.criticalLimit, fresh.warningLimit}),
              std::vector<std::uint32_t>({4, 16, 0, 0, 0, 0}));

    WatchRecord first{9, 33, 1, 1, 5, 6};
    const qv::ObjectRecord object{1, {}, 0};
    ASSERT_EQ(plugin.entry().init(&object, &first), 1);
    WatchRecord second{100, 200, 1, 1, 1, 1};
    const qv::ObjectRecord other{2, {}, 0};
    ASSERT_EQ(plugin.entry().init(&other, &second), 1);
    WatchRecord later = kSentinelRecord;
    EXPECT_EQ(plugin.entry().defaultRecord(0, &later), 1);
    EXPECT_EQ(later.checkInterval, 9u);
    EXPECT_EQ(later.refreshInterval, 33u);
    EXPECT_EQ(later.warningLimit, 0u);
    // QVInit only reads the host's record.
    EXPECT_EQ(second.checkInterval, 100u);
    plugin.entry().uninit(&object, &first);
    plugin.entry().uninit(&other, &second);
}

TEST_F(WastewatchLifecycle, TheFifthObjectFindsTheTableFull) {
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
    WatchRecord records[6] = {};
    qv::ObjectRecord objects[6] = {};
    for (std::int32_t i = 0; i < 6; ++i) objects[i].id = 100 + i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(plugin.entry().init(&objects[i], &records[i]), 1) << i;
    EXPECT_EQ(plugin.entry().init(&objects[4], &records[4]), 0);
    // Removing one makes room again; removing one that is not there changes nothing.
    EXPECT_EQ(plugin.entry().uninit(&objects[5], &records[5]), 1);
    EXPECT_EQ(plugin.entry().init(&objects[5], &records[5]), 0);
    EXPECT_EQ(plugin.entry().uninit(&objects[1], &records[1]), 1);
    EXPECT_EQ(plugin.entry().init(&objects[5], &records[5]), 1);
    for (int i : {0, 2, 3, 5}) plugin.entry().uninit(&objects[i], &records[i]);
}

TEST_F(WastewatchLifecycle, UnloadIsPrompt) {
    std::vector<double> latencies;
    for (int round = 0; round < 6; ++round) {
        qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
        WatchRecord record{1, 1, 0, 0, 0, 0};
        const qv::ObjectRecord object{round, {}, 0};
        const NewThreads monitor;
        // Odd rounds leave an object watched, so the thread is cycling when the library goes: it has
        // measured and sleeps.
        if (round % 2 == 1) {
            ASSERT_EQ(plugin.entry().init(&object, &record), 1);
            monitor.AwaitSleep();
        }
        const double start = qvtest::NowMs();
        plugin.Unload();
        latencies.push_back(qvtest::NowMs() - start);
    }
    const double worst = *std::max_element(latencies.begin(), latencies.end());
    EXPECT_LT(worst, 100.0) << "the stop waited for the thread's sleep to end";
    ::testing::Test::RecordProperty("worst_unload_ms", std::to_string(worst));
}

using InitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, const WatchRecord*);
using UninitFn = std::int32_t(__stdcall*)(const qv::ObjectRecord*, const WatchRecord*);

InitFn FindInit(HMODULE module) {
    return qvtest::Export<InitFn>(module, "QVInit");
}

TEST_F(WastewatchLifecycle, ReloadsLeakNothing) {
    const std::string path = qvtest::BesideProgram("Wastewatch.dll");
    const qv::ObjectRecord object{3, {}, 0};
    const WatchRecord record{1, 1, 0, 0, 0, 0};
    // One round first: whatever the system sets up once per process is not a leak.
    {
        HMODULE module = ::LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr);
        const NewThreads monitor;
        ASSERT_EQ(FindInit(module)(&object, &record), 1);
        monitor.AwaitSleep();  // the thread has set up its watch on the bin's folders
        ASSERT_TRUE(::FreeLibrary(module));
    }
    const std::size_t threadsBefore = qvtest::ThreadsOfThisProcess();
    const std::size_t handlesBefore = qvtest::HandlesOfThisProcess();
    // No SCOPED_TRACE in this loop: the test framework starts a thread of its own for it.
    for (int round = 0; round < 60; ++round) {
        HMODULE module = ::LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr) << "round " << round;
        // Unload at once, or right after the thread started. (A thread ended by force once it has
        // settled into its sleep leaves a handle behind under Wine: the last resort's cost.)
        if (round % 2 != 0) {
            ASSERT_EQ(FindInit(module)(&object, &record), 1) << "round " << round;
        }
        ASSERT_TRUE(::FreeLibrary(module)) << "round " << round;
        ASSERT_EQ(::GetModuleHandleA("Wastewatch.dll"), nullptr) << "round " << round << ": the library is still held";
    }
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore);
    EXPECT_EQ(qvtest::HandlesOfThisProcess(), handlesBefore);
}

TEST_F(WastewatchLifecycle, ThreadRunsWhileSomethingIsWatched) {
    const std::size_t threadsBefore = qvtest::ThreadsOfThisProcess();
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
    // Nothing is watched yet, so there is nothing for a thread to do.
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore);
    const qv::ObjectRecord object{3, {}, 0};
    const qv::ObjectRecord other{4, {}, 0};
    WatchRecord record{1, 1, 0, 0, 0, 0};
    ASSERT_EQ(plugin.entry().init(&object, &record), 1);
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore + 1);
    // A second object does not add one; the last one going ends it, and a new first one starts one.
    ASSERT_EQ(plugin.entry().init(&other, &record), 1);
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore + 1);
    ASSERT_EQ(plugin.entry().uninit(&object, &record), 1);
    ASSERT_EQ(plugin.entry().uninit(&other, &record), 1);
    EXPECT_TRUE(qvtest::PumpUntil([&] { return qvtest::ThreadsOfThisProcess() == threadsBefore; }, 5000));
    ASSERT_EQ(plugin.entry().init(&object, &record), 1);
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore + 1);
    plugin.Unload();
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore);
}

// The host's side of the contract, timed: the last QVUninit lands inside a long measurement of a big
// bin, and the unload comes right after it. Neither may wait for the measurement; the library stays
// mapped until the thread is gone, and then nothing of it is left.
TEST_F(WastewatchLifecycle, UninitAndUnloadSkipMeasurement) {
    ASSERT_TRUE(wwtest::FillTrashDirectly(3000, 10, "w"));
    const std::size_t threadsBefore = qvtest::ThreadsOfThisProcess();
    // No SCOPED_TRACE: the test framework would start a thread of its own for it.
    for (int round = 0; round < 6; ++round) {
        qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
        WatchRecord record{1, 1, 0, 0, 0, 0};
        const qv::ObjectRecord object{round, {}, 0};
        const NewThreads monitor;
        ASSERT_EQ(plugin.entry().init(&object, &record), 1);
        // The thread measures as soon as it starts: the rounds land at different steps of it, the
        // first at once and the last after it.
        monitor.AwaitWork(round == 5 ? 1e9 : 40.0 * round);
        double start = qvtest::NowMs();
        ASSERT_EQ(plugin.entry().uninit(&object, &record), 1);
        const double uninit = qvtest::NowMs() - start;
        start = qvtest::NowMs();
        plugin.Unload();
        const double unload = qvtest::NowMs() - start;
        // Waiting for the measurement took 1.4 s and more here; the bounds leave room for a slow machine.
        EXPECT_LT(uninit, 500.0) << "round " << round;
        EXPECT_LT(unload, 200.0) << "round " << round;
        EXPECT_TRUE(qvtest::ModuleGoneWithin("Wastewatch.dll", 30000))
            << "round " << round << ": the thread never let go of the library";
        EXPECT_TRUE(qvtest::PumpUntil([&] { return qvtest::ThreadsOfThisProcess() == threadsBefore; }, 5000))
            << "round " << round;
    }
    wwtest::EmptyBin();
}

// A host that follows the contract, over and over, with the bin big enough that the thread is often
// measuring when the last QVUninit comes: nothing wears down, and the last QVInit still starts a
// monitor. A thread ended by force would leave its stack behind each time (about 3 MiB under Wine).
TEST_F(WastewatchLifecycle, ContractCyclesLeaveNothing) {
    ASSERT_TRUE(wwtest::FillTrashDirectly(300, 10, "c"));
    const std::string path = qvtest::BesideProgram("Wastewatch.dll");
    const WatchRecord record{1, 1, 0, 0, 0, 0};
    const auto cycle = [&](int round, bool settle) {
        HMODULE module = ::LoadLibraryA(path.c_str());
        if (module == nullptr) return false;
        const qv::ObjectRecord object{round, {}, 0};
        const auto init = FindInit(module);
        const auto uninit = qvtest::Export<UninitFn>(module, "QVUninit");
        const NewThreads monitor;
        if (init(&object, &record) != 1) return false;
        if (round % 4 == 1) monitor.AwaitWork(5);
        uninit(&object, &record);
        ::FreeLibrary(module);
        return !settle || qvtest::ModuleGoneWithin("Wastewatch.dll", 30000);
    };
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(cycle(-1, true));  // whatever the system sets up once per process is not a leak
    const std::size_t threadsBefore = qvtest::SettledThreadCount();
    // Handles are not compared here: the C++ runtime's own per-load records are the subject of the
    // long load/unload soak of both libraries.
    const std::uint64_t addressSpaceBefore = qvtest::AddressSpaceInUse();
    // No SCOPED_TRACE in this loop: the test framework starts a thread of its own for it.
    for (int round = 0; round < 100; ++round) {
        ASSERT_TRUE(cycle(round, false)) << "round " << round;
    }
    ASSERT_TRUE(qvtest::ModuleGoneWithin("Wastewatch.dll", 30000));
    EXPECT_TRUE(qvtest::PumpUntil([&] { return qvtest::ThreadsOfThisProcess() == threadsBefore; }, 5000))
        << qvtest::ThreadsOfThisProcess() << " threads, " << threadsBefore << " before";
    const std::int64_t grown = static_cast<std::int64_t>(qvtest::AddressSpaceInUse() - addressSpaceBefore);
    // A thread ended by force would account for about 300 MiB here.
    EXPECT_LT(grown, 64 << 20) << "address space grew by " << grown << " bytes over 100 cycles";
    wwtest::EmptyBin();
}

// QVInit must not say an object is watched when no thread could be started to watch it. Here the
// process's address space is used up first, so that there is no room for a thread's stack.
TEST_F(WastewatchLifecycle, InitFailsWhenNoMonitorThreadCanStart) {
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
    const qv::ObjectRecord object{8, {}, 0};
    WatchRecord record{1, 1, 0, 0, 0, 0};
    // Counted before the address space is used up: a thread snapshot needs memory of its own.
    const std::size_t threadsBefore = qvtest::ThreadsOfThisProcess();
    std::vector<void*> reserved;
    reserved.reserve(4096);
    for (SIZE_T chunk = 64u << 20; chunk >= (64u << 10); chunk /= 2) {
        while (reserved.size() < reserved.capacity()) {
            void* block = ::VirtualAlloc(nullptr, chunk, MEM_RESERVE, PAGE_NOACCESS);
            if (block == nullptr) break;
            reserved.push_back(block);
        }
    }
    const std::int32_t starved = plugin.entry().init(&object, &record);
    for (void* block : reserved) ::VirtualFree(block, 0, MEM_RELEASE);
    EXPECT_EQ(starved, 0) << "QVInit said the object is watched without a thread to watch it";
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore);
    // The object was not kept: with room again it is watched, and alone in the table.
    EXPECT_EQ(plugin.entry().init(&object, &record), 1);
    EXPECT_EQ(qvtest::ThreadsOfThisProcess(), threadsBefore + 1);
    EXPECT_EQ(plugin.entry().uninit(&object, &record), 1);
    const qv::ObjectRecord others[] = {{1, {}, 0}, {2, {}, 0}, {3, {}, 0}, {4, {}, 0}};
    for (const qv::ObjectRecord& other : others) EXPECT_EQ(plugin.entry().init(&other, &record), 1);
    for (const qv::ObjectRecord& other : others) plugin.entry().uninit(&other, &record);
}

std::size_t FilesIn(const std::string& folder) {
    std::size_t files = 0;
    WIN32_FIND_DATAA found{};
    const qv::UniqueFileSearch search(::FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search) return 1000000;  // not even a folder
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0) ++files;
    } while (::FindNextFileA(search.get(), &found));
    return files;
}

// Activating the object empties a big bin without making the host wait for the shell, and the host
// may unload the library at once: the library stays mapped until the emptying is done, and the bin
// ends up empty, with nothing of its items left behind.
TEST_F(WastewatchLifecycle, CommandEmptiesInBackground) {
    ASSERT_TRUE(wwtest::FillTrashDirectly(3000, 10, "e"));
    ASSERT_EQ(wwtest::QueryBin().count, 3000);
    qv::PluginLibrary plugin = qvtest::LoadPlugin("Wastewatch.dll");
    double start = qvtest::NowMs();
    const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin.entry().command), {0xdeadbeef, 0});
    const double command = qvtest::NowMs() - start;
    EXPECT_TRUE(call.stackBalanced);
    EXPECT_EQ(call.result, 1u);
    start = qvtest::NowMs();
    plugin.Unload();
    const double unload = qvtest::NowMs() - start;
    // Emptying 3,000 items takes seconds here; the bounds leave room for a slow machine.
    EXPECT_LT(command, 200.0);
    EXPECT_LT(unload, 200.0);
    EXPECT_NE(::GetModuleHandleA("Wastewatch.dll"), nullptr) << "unmapped while the shell was still emptying";
    ASSERT_TRUE(qvtest::ModuleGoneWithin("Wastewatch.dll", 60000)) << "the emptying never let go of the library";
    EXPECT_EQ(wwtest::QueryBin().count, 0);
    const std::string trash = wwtest::TrashFolder();
    ASSERT_FALSE(trash.empty());
    EXPECT_EQ(FilesIn(trash + "\\files"), 0u);
    EXPECT_EQ(FilesIn(trash + "\\info"), 0u);
}

// A separate process that loads the library, watches an object and returns from main while the monitor
// sleeps. At process exit the thread is already gone, and the exit must not wait for it.
DWORD RunExitProbe(const char* mode, double& milliseconds) {
    std::string commandLine = "\"" + qvtest::BesideProgram("wastewatch_exit_probe.exe") + "\" " + mode;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = qvtest::NowMs();
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return 0xFFFFFFFF;
    }
    qv::UniqueHandle processHandle(process.hProcess);
    qv::UniqueHandle threadHandle(process.hThread);
    if (::WaitForSingleObject(processHandle.get(), 20000) != WAIT_OBJECT_0) {
        ::TerminateProcess(processHandle.get(), 99);
        return 0xFFFFFFFE;
    }
    milliseconds = qvtest::NowMs() - start;
    DWORD exitCode = 0xFFFFFFFD;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    return exitCode;
}

TEST_F(WastewatchLifecycle, ProcessExitDoesNotWaitForTheMonitor) {
    double withoutLibrary = 0;
    double withLibrary = 0;
    ASSERT_EQ(RunExitProbe("none", withoutLibrary), 0u);
    ASSERT_EQ(RunExitProbe("watch", withLibrary), 0u);
    // The probe itself sleeps 300 ms after loading; the stop's 2-second wait would show on top.
    EXPECT_LT(withLibrary - withoutLibrary, 1500.0) << "without: " << withoutLibrary << " ms, with: " << withLibrary;
}

}  // namespace
