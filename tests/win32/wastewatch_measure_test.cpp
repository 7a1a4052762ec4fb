// The bin walk against a real (isolated) bin filled through the shell.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <numeric>
#include <vector>

#include "bin_measurement.h"
#include "wastewatch_bin_helpers.h"
#include "wine_test_support.h"

namespace {

class BinMeasure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(wwtest::ScratchFolder().empty()) << "run through cmake/wine-run.sh (QV_TRASH_DIR unset)";
        ASSERT_TRUE(wwtest::EmptyBin());
        const wwtest::ShellBinInfo info = wwtest::QueryBin();
        ASSERT_TRUE(info.ok);
        ASSERT_EQ(info.count, 0);
    }
    void TearDown() override { wwtest::EmptyBin(); }
};

TEST_F(BinMeasure, EmptyBinMeasuresZero) {
    const wastewatch::BinMeasurement measured = wastewatch::MeasureBin();
    EXPECT_EQ(measured.count, 0u);
    EXPECT_EQ(measured.size, 0u);
}

TEST_F(BinMeasure, BinsAroundTheBatchSizeMeasureExactly) {
    // Sizes differ per item so that a missed or doubled item shows in the total too.
    const std::vector<std::uint64_t> sizes{1, 100, 1000, 4097, 65536, 7};
    for (std::size_t count : {0u, 3u, 10u, 11u, 25u}) {
        SCOPED_TRACE(count);
        ASSERT_TRUE(wwtest::EmptyBin());
        ASSERT_TRUE(wwtest::FillBin(count, sizes, "n" + std::to_string(count) + "_"));
        std::uint64_t expectedSize = 0;
        for (std::size_t i = 0; i < count; ++i) expectedSize += sizes[i % sizes.size()];
        const wwtest::ShellBinInfo shell = wwtest::QueryBin();
        ASSERT_EQ(shell.count, static_cast<std::int64_t>(count)) << "the shell did not take every file";

        wastewatch::BinMeasurement measured{0xdeadbeef, 0xdeadbeef};
        measured = wastewatch::MeasureBin();
        EXPECT_EQ(measured.count, count);
        EXPECT_EQ(measured.size, expectedSize);
    }
}

TEST_F(BinMeasure, AnItemBeyondFourGigabytesCountsInFull) {
    constexpr std::uint64_t kSize = (5ull << 30) + 12345;  // sparse: takes no disk space
    const std::string path = wwtest::MakeFile("huge.bin", kSize);
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(wwtest::DeleteIntoBin({path}));
    const wastewatch::BinMeasurement measured = wastewatch::MeasureBin();
    EXPECT_EQ(measured.count, 1u);
    EXPECT_EQ(measured.size, kSize);
}

TEST_F(BinMeasure, ADeletedFolderIsOneItem) {
    const std::string folder = wwtest::ScratchFolder() + "\\folder";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_FALSE(wwtest::MakeFile("folder\\a.txt", 10).empty());
    ASSERT_FALSE(wwtest::MakeFile("folder\\b.txt", 20).empty());
    ASSERT_TRUE(wwtest::DeleteIntoBin({folder}));
    ASSERT_FALSE(wwtest::MakeFile("single.txt", 5).empty());
    ASSERT_TRUE(wwtest::DeleteIntoBin({wwtest::ScratchFolder() + "\\single.txt"}));
    EXPECT_EQ(wastewatch::MeasureBin().count, 2u);
}

TEST_F(BinMeasure, TwoThreadsMeasureAtOnce) {
    ASSERT_TRUE(wwtest::FillBin(23, {1000}, "t"));
    wastewatch::BinMeasurement results[2]{};
    {
        qvtest::Thread first([&] { results[0] = wastewatch::MeasureBin(); });
        qvtest::Thread second([&] { results[1] = wastewatch::MeasureBin(); });
        first.join();
        second.join();
    }
    for (const auto& measured : results) {
        EXPECT_EQ(measured.count, 23u);
        EXPECT_EQ(measured.size, 23000u);
    }
}

TEST_F(BinMeasure, AnAbandonedWalkStopsEarly) {
    ASSERT_TRUE(wwtest::FillBin(25, {1}, "a"));
    const std::atomic<bool> abandon{true};
    const wastewatch::BinMeasurement measured = wastewatch::MeasureBin(abandon);
    EXPECT_EQ(measured.count, 0u);
    const std::atomic<bool> carryOn{false};
    EXPECT_EQ(wastewatch::MeasureBin(carryOn).count, 25u);
}

}  // namespace
