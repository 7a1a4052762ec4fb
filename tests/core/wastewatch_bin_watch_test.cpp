#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "bin_watch.h"

namespace wastewatch {
namespace {

constexpr char kSid[] = "S-1-5-21-0-0-0-1000";
constexpr std::uint32_t kDriveC = 1u << 2;
constexpr std::uint32_t kDriveD = 1u << 3;
constexpr std::uint32_t kDriveZ = 1u << 25;

BinWatchPlan Plan(std::uint32_t drives, const std::set<std::string>& existing, std::string_view sid = kSid) {
    return PlanBinWatch(drives, sid, [&](const char* path) { return existing.count(path) > 0; });
}

std::vector<std::string> Paths(const BinWatchPlan& plan) {
    std::vector<std::string> paths;
    for (const WatchedFolder& folder : plan) paths.push_back(folder.path + std::string(folder.isBin ? " (bin)" : ""));
    return paths;
}

TEST(BinWatchPlan, FindsEachFixedDriveBinNewestFirst) {
    const auto plan = Plan(kDriveC | kDriveD | kDriveZ,
                           {"C:\\$Recycle.Bin", "C:\\$Recycle.Bin\\S-1-5-21-0-0-0-1000",
                            "C:\\RECYCLER\\S-1-5-21-0-0-0-1000", "D:\\RECYCLER\\S-1-5-21-0-0-0-1000", "Z:\\RECYCLED"});
    EXPECT_EQ(Paths(plan), (std::vector<std::string>{"C:\\$Recycle.Bin\\S-1-5-21-0-0-0-1000 (bin)",
                                                     "D:\\RECYCLER\\S-1-5-21-0-0-0-1000 (bin)", "Z:\\RECYCLED (bin)"}));
}

TEST(BinWatchPlan, WithoutABinWatchesWhereOneWouldAppear) {
    const auto plan = Plan(kDriveC | kDriveD | kDriveZ,
                           {"C:\\$Recycle.Bin", "D:\\RECYCLER", "C:\\$Recycle.Bin\\S-1-5-18"});
    EXPECT_EQ(Paths(plan), (std::vector<std::string>{"C:\\$Recycle.Bin", "D:\\RECYCLER", "Z:\\"}));
}

TEST(BinWatchPlan, AnotherUsersBinAndAnUnknownSidAreNotOurs) {
    EXPECT_EQ(Paths(Plan(kDriveC, {"C:\\$Recycle.Bin", "C:\\$Recycle.Bin\\S-1-5-18"})),
              (std::vector<std::string>{"C:\\$Recycle.Bin"}));
    // Without the user's SID only the shared FAT layout can be recognised.
    EXPECT_EQ(Paths(Plan(kDriveC | kDriveD, {"C:\\$Recycle.Bin", "D:\\RECYCLED"}, "")),
              (std::vector<std::string>{"C:\\$Recycle.Bin", "D:\\RECYCLED (bin)"}));
}

TEST(BinWatchPlan, NoFixedDriveGivesNothingToTrust) {
    const auto plan = Plan(0, {"C:\\$Recycle.Bin\\S-1-5-21-0-0-0-1000"});
    EXPECT_TRUE(plan.empty());
}

TEST(BinWatchPlan, ASidTooLongForAPathIsNoSid) {
    // Where the path would not fit, the SID's folders are never asked about, let alone cut to fit.
    const std::string sid = "S-1-5-21-" + std::string(kFolderPathCapacity, '7');
    std::vector<std::string> asked;
    const BinWatchPlan plan = PlanBinWatch(kDriveC, sid, [&](const char* path) {
        asked.emplace_back(path);
        return std::string_view(path) == "C:\\$Recycle.Bin";
    });
    EXPECT_EQ(Paths(plan), (std::vector<std::string>{"C:\\$Recycle.Bin"}));
    EXPECT_EQ(asked, (std::vector<std::string>{"C:\\RECYCLED", "C:\\$Recycle.Bin"}));
    // The longest SID that fits is still found.
    const std::string longest(kFolderPathCapacity - 1 - std::string_view("C:\\$Recycle.Bin\\").size(), 's');
    EXPECT_EQ(Paths(Plan(kDriveC, {"C:\\$Recycle.Bin\\" + longest}, longest)),
              (std::vector<std::string>{"C:\\$Recycle.Bin\\" + longest + " (bin)"}));
}

TEST(BinSnapshotCompare, FolderTimeOrDriveSetDiffers) {
    const BinSnapshot before{kDriveC | kDriveD, {10, 20}, 2};
    EXPECT_EQ(before, (BinSnapshot{kDriveC | kDriveD, {10, 20}, 2}));
    EXPECT_NE(before, (BinSnapshot{kDriveC | kDriveD, {10, 21}, 2}));
    EXPECT_NE(before, (BinSnapshot{kDriveC, {10, 20}, 2}));
    EXPECT_NE(before, (BinSnapshot{kDriveC | kDriveD, {10}, 1}));
}

}  // namespace
}  // namespace wastewatch
