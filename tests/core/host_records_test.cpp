// The records file: round trip, and every kind of damage falling back for that record alone.
#include <gtest/gtest.h>

#include "records.h"

namespace {

using qvhost::StoredRecord;

std::vector<StoredRecord> Sample() {
    return {StoredRecord{"default", 1, "Wastewatch.dll", std::vector<std::uint8_t>(24, 0xAB)},
            StoredRecord{"default", 22, "Hotrelay2.dll", {2, 0, 0,    0,    0x79, 0, 0, 0, 1, 0,
                                                          0, 0, 0x43, 0xC0, 0,    0, 1, 2, 3, 4}},
            StoredRecord{"default", 2, "Calculator.dll", {}}};
}

TEST(HostRecords, RoundTripKeepsEveryByte) {
    const std::string text = qvhost::WriteRecords(Sample());
    const qvhost::RecordsFile file = qvhost::ReadRecords(text);
    EXPECT_TRUE(file.valid);
    EXPECT_TRUE(file.problems.empty());
    ASSERT_EQ(file.records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(file.records[i].id, Sample()[i].id);
        EXPECT_EQ(file.records[i].data, Sample()[i].data);
    }
    const auto choice = qvhost::ChooseRecord(file, true, "default", 22, "HOTRELAY2.DLL", 20);
    ASSERT_TRUE(choice.data.has_value());
    EXPECT_EQ(*choice.data, Sample()[1].data);  // run-time values (atom, procedure) come back as stored
    EXPECT_TRUE(choice.warning.empty());
}

TEST(HostRecords, DamagedRecordFallsBackAloneWithAWarning) {
    const std::string good = qvhost::WriteRecords(Sample());
    const std::size_t second = good.find("record\tdefault\t22");
    struct Case {
        const char* name;
        std::string text;
        const char* warning;
    };
    std::string flipped = good;
    flipped[good.find('\n', second) - 1] ^= 0x01;  // last data digit of object 22
    std::string crc = good;
    crc[good.find("Hotrelay2.dll\t20\t") + 17 + 3] = 'x';
    const Case cases[] = {
        {"data altered", flipped, "is damaged: the checksum does not match"},
        {"checksum unreadable", crc, "is damaged: unreadable checksum"},
        {"cut inside the record",
         good.substr(0, good.find('\n', second) - 6) + "\n" + good.substr(good.find('\n', second) + 1),
         "is damaged: the data does not have the recorded size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qvhost::RecordsFile file = qvhost::ReadRecords(c.text);
        const auto bad = qvhost::ChooseRecord(file, true, "default", 22, "Hotrelay2.dll", 20);
        EXPECT_FALSE(bad.data.has_value());
        EXPECT_NE(bad.warning.find(c.warning), std::string::npos) << bad.warning;
        EXPECT_TRUE(qvhost::ChooseRecord(file, true, "default", 1, "Wastewatch.dll", 24).data.has_value());
        EXPECT_TRUE(qvhost::ChooseRecord(file, true, "default", 2, "Calculator.dll", 0).data.has_value());
    }
}

TEST(HostRecords, TruncatedFileKeepsTheRecordsBeforeTheCut) {
    const std::vector<StoredRecord> sample = Sample();
    const std::string good = qvhost::WriteRecords(sample);
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        const qvhost::RecordsFile file = qvhost::ReadRecords(good.substr(0, cut));
        for (const StoredRecord& r : file.records) {
            // Whatever survives the cut is exact: a record is either whole or refused.
            const auto& original = sample[r.id == 1 ? 0 : r.id == 22 ? 1 : 2];
            EXPECT_EQ(r.data, original.data) << "cut at " << cut;
        }
    }
    const std::size_t lastLine = good.rfind("record\t");
    const qvhost::RecordsFile file = qvhost::ReadRecords(good.substr(0, lastLine + 10));
    EXPECT_EQ(file.records.size(), 2u);
}

TEST(HostRecords, MismatchedOrForeignRecordsFallBack) {
    const qvhost::RecordsFile file = qvhost::ReadRecords(qvhost::WriteRecords(Sample()));
    struct Case {
        std::string desktop;
        std::int32_t id;
        const char* plugin;
        std::uint32_t size;
        const char* warning;
    };
    const Case cases[] = {
        {"default", 1, "Wastewatch.dll", 20, "has 24 bytes, the plug-in's has 20"},
        {"default", 1, "Other.dll", 24, "belongs to plug-in \"Wastewatch.dll\""},
        {"default", 9, "Wastewatch.dll", 24, "no stored record"},
        {"office", 1, "Wastewatch.dll", 24, "records of other desktops only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        const auto choice = qvhost::ChooseRecord(file, true, c.desktop, c.id, c.plugin, c.size);
        EXPECT_FALSE(choice.data.has_value());
        EXPECT_NE(choice.warning.find(c.warning), std::string::npos) << choice.warning;
    }
    EXPECT_TRUE(qvhost::ChooseRecord(file, false, "default", 9, "X.dll", 4).warning.empty());  // a new file
    const auto foreign = qvhost::ReadRecords("some other file\nrecord\tdefault\t1\n");
    EXPECT_FALSE(foreign.valid);
    EXPECT_NE(qvhost::ChooseRecord(foreign, true, "default", 1, "Wastewatch.dll", 24).warning.find("not one this host"),
              std::string::npos);
}

TEST(HostRecords, SaveKeepsOthersAndReplacesOwn) {
    auto old = Sample();
    old.push_back(StoredRecord{"office", 1, "Wastewatch.dll", std::vector<std::uint8_t>(24, 1)});
    const qvhost::RecordsFile previous = qvhost::ReadRecords(qvhost::WriteRecords(old));
    const auto merged = qvhost::MergeForSave(previous, {StoredRecord{"default", 1, "Wastewatch.dll",
                                                                     std::vector<std::uint8_t>(24, 7)}});
    ASSERT_EQ(merged.size(), 4u);
    const qvhost::RecordsFile back = qvhost::ReadRecords(qvhost::WriteRecords(merged));
    EXPECT_EQ(*qvhost::ChooseRecord(back, true, "default", 1, "Wastewatch.dll", 24).data,
              std::vector<std::uint8_t>(24, 7));
    EXPECT_EQ(*qvhost::ChooseRecord(back, true, "office", 1, "Wastewatch.dll", 24).data,
              std::vector<std::uint8_t>(24, 1));
    EXPECT_TRUE(qvhost::ChooseRecord(back, true, "default", 22, "Hotrelay2.dll", 20).data.has_value());
}

TEST(HostRecords, Crc32MatchesTheStandardCheckValue) {
    EXPECT_EQ(qvhost::Crc32("123456789", 9), 0xCBF43926u);
}

}  // namespace

namespace {

TEST(HostRecordsRead, OnlyMissingOrEmptyMayBeReplaced) {
    const std::string good = qvhost::WriteRecords(Sample());
    struct Case {
        const char* name;
        qvhost::FileRead outcome;
        std::string text;
        bool existed;
        bool mayReplace;
        const char* error;
    };
    const Case cases[] = {
        {"missing", qvhost::FileRead::kMissing, "", false, true, ""},
        {"empty", qvhost::FileRead::kRead, "", false, true, ""},
        {"read", qvhost::FileRead::kRead, good, true, true, ""},
        {"held open", qvhost::FileRead::kFailed, "", false, false, "sharing violation"},
        {"cut short", qvhost::FileRead::kFailed, good.substr(0, 40), false, false, "sharing violation"},
        {"not records", qvhost::FileRead::kRead, "[Desktop]\nName=x\n" + good, false, false, "header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qvhost::RecordsRead read = qvhost::InterpretRead(c.outcome, c.text, "sharing violation");
        EXPECT_EQ(read.existed, c.existed);
        EXPECT_EQ(read.mayReplace, c.mayReplace);
        EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
        EXPECT_EQ(read.error.empty(), c.mayReplace);
        EXPECT_EQ(read.file.records.size(), c.existed ? 3u : 0u);  // a partial text counts for nothing
    }
}

}  // namespace
