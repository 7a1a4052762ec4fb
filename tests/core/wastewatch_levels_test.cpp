#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "levels.h"

namespace wastewatch {
namespace {

constexpr std::uint64_t kMiB = 1u << 20;

TEST(Megabytes, ConvertsBytesInUnitsOfTwoToTheTwenty) {
    EXPECT_EQ(Megabytes(0), 0.0);
    EXPECT_EQ(Megabytes(kMiB), 1.0);
    EXPECT_EQ(Megabytes(3 * kMiB), 3.0);
    EXPECT_EQ(Megabytes(kMiB / 2), 0.5);
    EXPECT_EQ(Megabytes(5ull << 30), 5120.0);  // beyond 32 bits
}

TEST(Megabytes, ReadsTheSizeAsSigned) {
    EXPECT_LT(Megabytes(std::numeric_limits<std::uint64_t>::max()), 0.0);
    EXPECT_TRUE(std::isfinite(Megabytes(std::uint64_t{1} << 63)));
}

TEST(LimitPercent, TruncatesAndGuardsTheLimits) {
    struct Case {
        double megabytes;
        std::uint32_t limit;
        std::int32_t percent;
    };
    const Case cases[] = {
        {0.0, 0, 0},
        {1000.0, 0, 0},
        {1.0, 1, 100},
        {0.999999, 1, 99},
        {3.0, 6, 50},
        {1.0, 3, 33},
        {2.0, 3, 66},
        {4095.0, 4096, 99},
        {4096.0, 4096, 100},
        {-1.0, 3, -33},  // sizes above 2^63 read as negative: truncated toward zero
        {1e300, 1, std::numeric_limits<std::int32_t>::max()},
        {-1e300, 1, std::numeric_limits<std::int32_t>::min()},
        {21474836.0, 1, 2147483600},
        {21474836.48, 1, std::numeric_limits<std::int32_t>::max()},
        {std::numeric_limits<double>::infinity(), 1, std::numeric_limits<std::int32_t>::max()},
        {std::numeric_limits<double>::quiet_NaN(), 1, 0},
        {Megabytes(std::numeric_limits<std::uint64_t>::max() >> 1), 1, std::numeric_limits<std::int32_t>::max()},
        {Megabytes(std::numeric_limits<std::uint64_t>::max() >> 1), 0xFFFFFFFFu, 204800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.megabytes) + " MB of " + std::to_string(c.limit));
        EXPECT_EQ(LimitPercent(c.megabytes, c.limit), c.percent);
    }
}

TEST(StateCode, TellsEmptiedAndFilled) {
    EXPECT_EQ(StateCode(false), 8750393u);
    EXPECT_EQ(StateCode(true), 8750394u);
}

TEST(LevelCode, PicksTheCodeFromTheEnabledLimitsReached) {
    struct Case {
        const char* name;
        std::uint64_t size;
        WatchRecord record;  // check, refresh, notify critical, notify warning, critical MB, warning MB
        std::uint32_t code;
    };
    const Case cases[] = {
        {"under every limit", 3 * kMiB, {1, 1, 1, 1, 10, 5}, 8750394},
        {"exactly 1 MiB against 1 MB critical", kMiB, {1, 1, 1, 0, 1, 0}, 8750395},
        {"one byte short of the critical limit", kMiB - 1, {1, 1, 1, 0, 1, 0}, 8750394},
        {"critical reached but its switch off", kMiB, {1, 1, 0, 0, 1, 0}, 8750394},
        {"warning reached", 5 * kMiB, {1, 1, 1, 1, 10, 5}, 8750396},
        {"both reached", 20 * kMiB, {1, 1, 1, 1, 10, 5}, 8750395},
        {"both reached, critical switch off", 20 * kMiB, {1, 1, 0, 1, 10, 5}, 8750396},
        {"warning reached but its switch off", 1000 * kMiB, {1, 1, 0, 0, 10, 5}, 8750394},
        {"warning switch off, critical below", 7 * kMiB, {1, 1, 1, 0, 10, 5}, 8750394},
        {"limit 0 means no limit", 1000 * kMiB, {1, 1, 1, 1, 0, 0}, 8750394},
        {"any non-zero switch counts", 2 * kMiB, {1, 1, 0xdeadbeef, 0, 1, 0}, 8750395},
        {"5 GiB against 4096 MB", 5ull << 30, {1, 1, 1, 0, 4096, 0}, 8750395},
        {"largest limit",
         std::numeric_limits<std::uint64_t>::max() >> 1,
         {1, 1, 1, 1, 0xFFFFFFFF, 0xFFFFFFFF},
         8750395},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LevelCode(Megabytes(c.size), c.record), c.code);
    }
}

}  // namespace
}  // namespace wastewatch
