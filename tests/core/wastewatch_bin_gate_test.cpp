// The bin gate: reads and the emptying in every order, each decided in one atomic step.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "bin_gate.h"

namespace wastewatch {
namespace {

TEST(BinGate, ReadsAndEmptyingExcludeEachOther) {
    BinGate gate;
    const auto a = gate.JoinReader(), b = gate.JoinReader();
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_TRUE(gate.TryBeginRead(*a));
    EXPECT_TRUE(gate.TryBeginRead(*b));
    EXPECT_FALSE(gate.TryBeginEmpty());
    gate.EndRead(*a);
    EXPECT_FALSE(gate.TryBeginRead(*a));  // an emptying waits: no new reads
    EXPECT_FALSE(gate.TryBeginEmpty());
    gate.EndRead(*b);
    EXPECT_TRUE(gate.TryBeginEmpty());
    EXPECT_FALSE(gate.TryBeginRead(*a));
    gate.EndEmpty();
    EXPECT_TRUE(gate.TryBeginRead(*a));
}

TEST(BinGate, ReaderEndedByForceDoesNotHoldTheEmptying) {
    BinGate gate;
    const auto dead = gate.JoinReader();
    ASSERT_TRUE(dead);
    ASSERT_TRUE(gate.TryBeginRead(*dead));
    EXPECT_FALSE(gate.TryBeginEmpty());
    gate.LeaveReader(*dead);  // on its behalf, after it was terminated
    EXPECT_TRUE(gate.TryBeginEmpty());
    gate.EndEmpty();
    gate.EndRead(*dead);  // its own late release, had it come, changes nothing
    EXPECT_TRUE(gate.TryBeginEmpty());
}

TEST(BinGate, ReaderBitsRunOutAndComeBack) {
    BinGate gate;
    std::vector<BinGate::Reader> readers;
    while (const auto r = gate.JoinReader()) readers.push_back(*r);
    EXPECT_EQ(readers.size(), static_cast<std::size_t>(BinGate::kMaxReaders));
    gate.LeaveReader(readers[7]);
    const auto again = gate.JoinReader();
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, readers[7]);
}

TEST(BinGate, StressNeverReadsWhileEmptying) {
    BinGate gate;
    std::atomic<int> reading{0}, emptying{0};
    std::atomic<bool> overlap{false}, done{false};
    auto reader = [&] {
        const auto me = gate.JoinReader();
        ASSERT_TRUE(me);
        while (!done.load()) {
            if (!gate.TryBeginRead(*me)) continue;
            reading.fetch_add(1);
            if (emptying.load() != 0) overlap.store(true);
            reading.fetch_sub(1);
            gate.EndRead(*me);
        }
        gate.LeaveReader(*me);
    };
    std::thread r1(reader), r2(reader);
    for (int i = 0; i < 20000; ++i) {
        while (!gate.TryBeginEmpty()) {
        }
        emptying.store(1);
        if (reading.load() != 0) overlap.store(true);
        emptying.store(0);
        gate.EndEmpty();
    }
    done.store(true);
    r1.join();
    r2.join();
    EXPECT_FALSE(overlap.load());
}

}  // namespace
}  // namespace wastewatch
