// The host's side of the monitor tests: the shared fake window "QVmain", recording notifications, and a
// fixture that loads Wastewatch and watches objects through its entry points.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "fake_main_window.h"
#include "qv_contract.h"
#include "wastewatch_bin_helpers.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace wwtest {

using Note = qvtest::Notification;
using Notes = std::vector<Note>;

constexpr std::uint32_t kEmptied = 8750393;
constexpr std::uint32_t kFilled = 8750394;
constexpr std::uint32_t kCritical = 8750395;
constexpr std::uint32_t kWarning = 8750396;
constexpr std::uint64_t kMiB = 1u << 20;
// Generous bound for one monitor cycle of 1 s under a loaded machine.
constexpr DWORD kCycleTimeout = 4000;

// What the host's main window got; a test makes the window itself, where its scenario needs it.
inline Notes& g_received = qvtest::FakeMainWindow::Received();
using HostWindow = qvtest::FakeMainWindow;

class Monitor : public ::testing::Test {
protected:
    void SetUp() override {
        g_received.clear();
        ASSERT_FALSE(wwtest::ScratchFolder().empty()) << "run through cmake/wine-run.sh (QV_TRASH_DIR unset)";
        ASSERT_EQ(wwtest::QueryBin().count, 0) << "the run's bin must start empty";
        ASSERT_TRUE(qvtest::FakeMainWindow::NoneOnDesktop());
        plugin_ = qvtest::LoadPlugin("Wastewatch.dll");
    }
    void TearDown() override {
        for (const qv::ObjectRecord& object : watched_) plugin_.entry().uninit(&object, nullptr);
        plugin_.Unload();
        wwtest::EmptyBin();
    }

    void Watch(std::int32_t id, WatchRecord record, std::int32_t expected = 1) {
        records_.push_back(record);
        const qv::ObjectRecord object{id, {0xdeadbeef, 0xdeadbeef}, 0};
        const auto call = qvtest::CallStdcall(reinterpret_cast<const void*>(plugin_.entry().init),
                                              {qvtest::Arg(&object), qvtest::Arg(&records_.back())});
        EXPECT_TRUE(call.stackBalanced);
        EXPECT_EQ(static_cast<std::int32_t>(call.result), expected);
        watched_.push_back(object);
    }

    void Unwatch(std::int32_t id) {
        const qv::ObjectRecord object{id, {}, 0};
        EXPECT_EQ(plugin_.entry().uninit(&object, nullptr), 1);
        std::erase_if(watched_, [id](const qv::ObjectRecord& o) { return o.id == id; });
    }

    // Waits for at least count notifications (beyond those already seen) and returns them all.
    static Notes WaitForNotes(std::size_t count, DWORD timeout = kCycleTimeout) {
        qvtest::PumpUntil([count] { return g_received.size() >= count; }, timeout);
        return g_received;
    }

    // Drops what has arrived so far, then lets the current cycle's posts land too.
    static void Forget() {
        qvtest::PumpFor(200);
        g_received.clear();
    }

    qv::PluginLibrary plugin_;
    std::deque<WatchRecord> records_;  // a record stays at one address while it is watched
    std::vector<qv::ObjectRecord> watched_;
};

inline constexpr WatchRecord kEverySecond{1, 1, 0, 0, 0, 0};

}  // namespace wwtest
