#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "bin_total.h"

namespace wastewatch {
namespace {

TEST(BinTotal, CountsEveryBatchWhatever) {
    BinTotal total;
    AddBatch(total, 10);
    AddBatch(total, 10);
    AddBatch(total, 3);
    AddBatch(total, 0);
    EXPECT_EQ(total.count, 23u);
}

TEST(BinTotal, AddsTheFullSixtyFourBitSize) {
    BinTotal total;
    AddBatch(total, 2);
    AddItemData(total, true, true, 1, 0x10);  // 4 GiB + 16
    AddItemData(total, true, true, 0, 5);
    EXPECT_EQ(total.size, (std::uint64_t{1} << 32) + 21);
    EXPECT_FALSE(NeedsShellTotal(total));
}

TEST(BinTotal, ItemsWithoutDataAreCountedButAddNoSize) {
    BinTotal total;
    AddBatch(total, 3);
    AddItemData(total, false, true, 0xdead, 0xbeef);  // unreadable: what it holds means nothing
    AddItemData(total, true, true, 0, 100);
    AddItemData(total, true, false, 0, 0);
    EXPECT_EQ(total.count, 3u);
    EXPECT_EQ(total.size, 100u);
    EXPECT_FALSE(NeedsShellTotal(total));
}

TEST(BinTotal, EmptyDescriptionsAskTheShellTotal) {
    struct Case {
        const char* name;
        std::uint64_t batch;
        bool readable;
        bool named;
        bool shellTotal;
    };
    const Case cases[] = {
        {"empty bin", 0, true, true, false},
        {"all data empty (names missing)", 3, true, false, true},
        {"all data unreadable", 3, false, false, true},
        {"all named, size 0", 3, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BinTotal total;
        AddBatch(total, c.batch);
        for (std::uint64_t i = 0; i < c.batch; ++i) AddItemData(total, c.readable, c.named, 0, 0);
        EXPECT_EQ(NeedsShellTotal(total), c.shellTotal);
    }
}

TEST(BinTotal, ShellQueryWinsUnlessItFails) {
    struct Case {
        const char* name;
        bool answered;
        std::int64_t items, size;
        bool used;
    };
    const Case cases[] = {
        {"answered", true, 3, 5LL << 32, true},  // above 4 GiB: the true size
        {"empty", true, 0, 0, true},
        {"failed", false, 3, 100, false},
        {"negative count", true, -1, 0, false},
        {"negative size", true, 1, -5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto counts = FromShellQuery(c.answered, c.items, c.size);
        ASSERT_EQ(counts.has_value(), c.used);
        if (!c.used) continue;
        EXPECT_EQ(counts->count, static_cast<std::uint64_t>(c.items));
        EXPECT_EQ(counts->size, static_cast<std::uint64_t>(c.size));
    }
}

TEST(BinTotal, SaturatesInsteadOfWrapping) {
    BinTotal total;
    AddBatch(total, std::numeric_limits<std::uint64_t>::max());
    AddBatch(total, 5);
    EXPECT_EQ(total.count, std::numeric_limits<std::uint64_t>::max());
    AddItemData(total, true, true, 0xFFFFFFFF, 0xFFFFFFFF);
    AddItemData(total, true, true, 0, 1);
    EXPECT_EQ(total.size, std::numeric_limits<std::uint64_t>::max());
}

}  // namespace
}  // namespace wastewatch
