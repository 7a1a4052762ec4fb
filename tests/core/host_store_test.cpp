// The records store over a faked file system: what a save does when the file, the lock or the limit
// stands in its way, what the side file holds, and what the next start and save make of it.
#include <gtest/gtest.h>

#include <map>

#include "record_store.h"

namespace {

using qvhost::FileFault;
using qvhost::SaveOutcome;
using qvhost::StoredRecord;

constexpr char kPath[] = "r.txt";
constexpr char kSide[] = "r.txt.unsaved";
constexpr char kLock[] = "r.txt.lock";

// Files in memory and a clock that moves only when the store pauses. Each fault holds for one
// operation on one path until the clock reaches `until`.
struct FakeFiles : qvhost::FilePort {
    struct Fault {
        std::string operation;
        std::string path;
        FileFault fault;
        std::uint32_t until;
    };
    std::map<std::string, std::string> files;
    std::vector<Fault> faults;
    std::uint32_t now = 0;
    bool locked = false;
    std::vector<bool> writesLocked;

    struct Held : qvhost::HeldLock {
        explicit Held(bool& flag) : flag_(flag) { flag_ = true; }
        ~Held() override { flag_ = false; }
        bool& flag_;
    };

    qvhost::PortResult Check(const std::string& operation, const std::string& path) const {
        for (const Fault& f : faults) {
            if (f.operation == operation && f.path == path && now < f.until) return {f.fault, operation + " refused"};
        }
        return {};
    }
    qvhost::FileText Read(const std::string& path) override {
        const qvhost::PortResult r = Check("read", path);
        if (r.fault != FileFault::kNone) return {qvhost::FileRead::kFailed, "", r.cause};
        const auto at = files.find(path);
        if (at == files.end()) return {qvhost::FileRead::kMissing, "", ""};
        return {qvhost::FileRead::kRead, at->second, ""};
    }
    qvhost::PortResult Write(const std::string& path, const std::string& text) override {
        writesLocked.push_back(locked);
        const qvhost::PortResult r = Check("write", path);
        if (r.fault == FileFault::kNone) files[path] = text;
        return r;
    }
    qvhost::PortResult Replace(const std::string& from, const std::string& to) override {
        const qvhost::PortResult r = Check("replace", to);
        if (r.fault != FileFault::kNone) return r;
        files[to] = files[from];
        files.erase(from);
        return r;
    }
    qvhost::PortResult Remove(const std::string& path) override {
        files.erase(path);
        return {};
    }
    std::unique_ptr<qvhost::HeldLock> Lock(const std::string& path, qvhost::PortResult& result) override {
        result = Check("lock", path);
        if (result.fault != FileFault::kNone) return nullptr;
        return std::make_unique<Held>(locked);
    }
    std::uint32_t NowMs() override { return now; }
    void Pause(std::uint32_t milliseconds) override { now += milliseconds; }
};

StoredRecord Record(const char* desktop, std::int32_t id, std::uint8_t fill) {
    return StoredRecord{desktop, id, "P.dll", std::vector<std::uint8_t>(4, fill)};
}

// What a file holds, by object, as "desktop/id=fill".
std::vector<std::string> Held(const FakeFiles& files, const char* path) {
    const auto at = files.files.find(path);
    if (at == files.files.end()) return {};
    std::vector<std::string> held;
    for (const StoredRecord& r : qvhost::ReadRecords(at->second).records)
        held.push_back(r.desktop + "/" + std::to_string(r.id) + "=" + std::to_string(r.data[0]));
    std::sort(held.begin(), held.end());
    return held;
}

qvhost::RecordStore::Log Into(std::vector<std::string>& log) {
    return [&log](const std::string& line) { log.push_back(line); };
}

bool Logged(const std::vector<std::string>& log, const std::string& text) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

TEST(HostStore, SaveOutcomes) {
    const std::uint32_t kForever = 0xFFFFFFFFu;
    struct Case {
        const char* name;
        std::vector<FakeFiles::Fault> faults;
        std::uint64_t maxBytes;
        SaveOutcome outcome;
        std::vector<std::string> file;  // the records file afterwards
        std::vector<std::string> side;  // the side file afterwards
        std::uint32_t waited;           // the clock afterwards
        const char* logged;
    };
    const std::vector<std::string> old{"a/1=1", "a/2=1", "b/1=1"};
    const std::vector<std::string> saved{"a/1=9", "a/2=1", "b/1=1"};
    const std::vector<std::string> mine{"a/1=9"};
    const Case cases[] = {
        {"nothing in the way", {}, 1 << 20, SaveOutcome::kSaved, saved, {}, 0, "records saved to r.txt"},
        {"file held, let go after 1.5 s",
         {{"replace", kPath, FileFault::kInUse, 1500}},
         1 << 20,
         SaveOutcome::kSaved,
         saved,
         {},
         1550,
         "\"r.txt\" is in use: replace refused; the save tries again for up to 5000 ms"},
        {"file held past the bound",
         {{"replace", kPath, FileFault::kInUse, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         5000,
         "are kept in \"r.txt.unsaved\""},
        {"replace refused otherwise",
         {{"replace", kPath, FileFault::kOther, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         0,
         "cannot replace \"r.txt\": replace refused"},
        {"new file not written",
         {{"write", "r.txt.7.new", FileFault::kOther, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         0,
         "cannot write \"r.txt.7.new\""},
        {"over the limit", {}, 100, SaveOutcome::kKeptAside, old, mine, 0, "bytes, more than the 100 it may"},
        {"neither file nor side file",
         {{"replace", kPath, FileFault::kOther, kForever}, {"replace", kSide, FileFault::kOther, kForever}},
         1 << 20,
         SaveOutcome::kLost,
         old,
         {},
         0,
         "would have gone to r.txt; they are not saved"},
        {"another save holds the lock 3 s",
         {{"lock", kLock, FileFault::kInUse, 3000}},
         1 << 20,
         SaveOutcome::kSaved,
         saved,
         {},
         3000,
         "records saved"},
        {"another save holds the lock",
         {{"lock", kLock, FileFault::kInUse, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         10000,
         "cannot take \"r.txt.lock\": lock refused"},
        {"lock file being deleted",
         {{"lock", kLock, FileFault::kDenied, 100}},
         1 << 20,
         SaveOutcome::kSaved,
         saved,
         {},
         100,
         "records saved"},
        {"lock access denied",
         {{"lock", kLock, FileFault::kDenied, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         200,
         "cannot take"},
        {"lock path a folder",
         {{"lock", kLock, FileFault::kNeverOpens, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         0,
         "cannot take"},
        {"lock path fails otherwise",
         {{"lock", kLock, FileFault::kOther, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         0,
         "cannot take"},
        {"file unreadable at the save",
         {{"read", kPath, FileFault::kOther, kForever}},
         1 << 20,
         SaveOutcome::kKeptAside,
         old,
         mine,
         0,
         "cannot read \"r.txt\": read refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.files[kPath] = qvhost::WriteRecords({Record("a", 1, 1), Record("a", 2, 1), Record("b", 1, 1)});
        qvhost::StoreLimits limits;
        limits.maxFileBytes = c.maxBytes;
        std::vector<std::string> log;
        qvhost::RecordStore store(files, kPath, "a", ".7.new", Into(log), limits);
        store.Open();
        files.faults = c.faults;
        EXPECT_EQ(store.Save({Record("a", 1, 9)}), c.outcome);
        EXPECT_EQ(Held(files, kPath), c.file);
        EXPECT_EQ(Held(files, kSide), c.side);
        EXPECT_EQ(files.now, c.waited);
        EXPECT_TRUE(Logged(log, c.logged)) << testing::PrintToString(log);
        EXPECT_FALSE(files.locked);
        EXPECT_EQ(files.files.count("r.txt.7.new") + files.files.count("r.txt.unsaved.7.new"), 0u);
    }
}

TEST(HostStore, SideFileIsReadAtStartAndTakenInByTheNextSave) {
    struct Case {
        const char* name;
        std::vector<StoredRecord> changed;
        SaveOutcome outcome;
    };
    const Case cases[] = {
        {"nothing changed since", {}, SaveOutcome::kSaved},
        {"changed again", {Record("a", 1, 5)}, SaveOutcome::kSaved},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.files[kPath] = qvhost::WriteRecords({Record("a", 1, 1), Record("a", 2, 1)});
        files.files[kSide] = qvhost::WriteRecords({Record("a", 1, 7), Record("b", 3, 7)});
        std::vector<std::string> log;
        qvhost::RecordStore store(files, kPath, "a", ".7.new", Into(log));
        const qvhost::OpenedRecords opened = store.Open();
        EXPECT_TRUE(Logged(log, "\"r.txt.unsaved\" holds 2 record(s) an earlier run could not save"));
        EXPECT_EQ(*qvhost::ChooseRecord(opened.file, opened.existed, "a", 1, "P.dll", 4).data,
                  std::vector<std::uint8_t>(4, 7));  // the side file's record wins
        EXPECT_TRUE(qvhost::ChooseRecord(opened.file, opened.existed, "a", 2, "P.dll", 4).data.has_value());
        EXPECT_EQ(store.Save(c.changed), c.outcome);
        EXPECT_EQ(Held(files, kPath),
                  (std::vector<std::string>{c.changed.empty() ? "a/1=7" : "a/1=5", "a/2=1", "b/3=7"}));
        EXPECT_EQ(files.files.count(kSide), 0u);
    }
}

TEST(HostStore, WhatASaveNeverDoes) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<StoredRecord> changed;
        SaveOutcome outcome;
        const char* logged;
    };
    const std::string good = qvhost::WriteRecords({Record("a", 1, 1)});
    const Case cases[] = {
        {"save over a file unreadable at start",
         "[Desktop]\n",
         {Record("a", 1, 2)},
         SaveOutcome::kLost,
         "could not be read at start"},
        {"write when nothing changed", good, {}, SaveOutcome::kUnchanged, "no record changed; \"r.txt\" is left"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.files[kPath] = c.file;
        std::vector<std::string> log;
        qvhost::RecordStore store(files, kPath, "a", ".7.new", Into(log));
        store.Open();
        EXPECT_EQ(store.Save(c.changed), c.outcome);
        EXPECT_TRUE(files.writesLocked.empty());
        EXPECT_EQ(files.files[kPath], c.file);
        EXPECT_TRUE(Logged(log, c.logged)) << testing::PrintToString(log);
    }
}

TEST(HostStore, SideFileIsWrittenUnderTheLock) {
    FakeFiles files;
    files.faults = {{"replace", kPath, FileFault::kOther, 1}};
    std::vector<std::string> log;
    qvhost::RecordStore store(files, kPath, "a", ".7.new", Into(log));
    store.Open();
    EXPECT_EQ(store.Save({Record("a", 1, 9)}), SaveOutcome::kKeptAside);
    EXPECT_EQ(files.writesLocked, (std::vector<bool>{true, true}));
}

TEST(HostStore, WaitRules) {
    const qvhost::StoreLimits limits;
    struct Case {
        const char* name;
        FileFault fault;
        std::uint32_t waited;
        bool again;
    };
    const Case locks[] = {
        {"held by another save", FileFault::kInUse, 9999, true},
        {"held by another save, 10 s on", FileFault::kInUse, 10000, false},
        {"being deleted", FileFault::kDenied, 199, true},
        {"denied 200 ms on", FileFault::kDenied, 200, false},
        {"a folder or read-only", FileFault::kNeverOpens, 0, false},
        {"anything else", FileFault::kOther, 0, false},
    };
    for (const Case& c : locks) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qvhost::TryLockAgain(c.fault, c.waited, limits), c.again);
    }
    struct Pause {
        const char* name;
        FileFault fault;
        std::uint32_t waited, pauses;
        std::optional<std::uint32_t> pause;
    };
    const Pause pauses[] = {
        {"first", FileFault::kInUse, 0, 0, 50},
        {"growing", FileFault::kInUse, 150, 2, 200},
        {"up to the bound", FileFault::kInUse, 4900, 6, 100},
        {"at the bound", FileFault::kInUse, 5000, 7, std::nullopt},
        {"not in use", FileFault::kOther, 0, 0, std::nullopt},
    };
    for (const Pause& p : pauses) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(qvhost::ReplacePause(p.fault, p.waited, p.pauses, limits), p.pause);
    }
}

TEST(HostStore, ChangedRecords) {
    const std::vector<std::uint8_t> bytes{1, 2, 3};
    struct Case {
        const char* name;
        std::optional<std::vector<std::uint8_t>> reference;
        bool changed;
    };
    const Case cases[] = {
        {"as QVInit left it", bytes, false},
        {"a byte differs", std::vector<std::uint8_t>{1, 2, 4}, true},
        {"no reference: lacked, damaged or unusable", std::nullopt, true},
        {"another size", std::vector<std::uint8_t>{1, 2}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qvhost::RecordChanged(c.reference, bytes.data(), bytes.size()), c.changed);
    }
}

}  // namespace
