// The records store over a faked file system: what a save does when the file, the lock or the limit
// stands in its way, what the side file holds, and what the next start and save make of it.
#include <gtest/gtest.h>

#include <algorithm>
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
// operation on one path (every path when empty) until the clock reaches `until`.
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
            const bool here = f.operation == operation && (f.path.empty() || f.path == path);
            if (here && now < f.until) return {f.fault, operation + " refused"};
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
    constexpr std::uint32_t kEver = 0xFFFFFFFFu;
    constexpr auto kInUse = FileFault::kInUse, kDenied = FileFault::kDenied, kOther = FileFault::kOther;
    struct Case {
        const char* name;
        FakeFiles::Fault fault;
        SaveOutcome outcome;  // saved: the file has the change; kept aside: the side file has it, the file is old
        std::uint32_t waited;
        const char* logged;
        std::uint64_t maxBytes = 1 << 20;
    };
    const Case cases[] = {
        {"nothing in the way", {}, SaveOutcome::kSaved, 0, "records saved to r.txt"},
        {"file held 1.5 s", {"replace", kPath, kInUse, 1500}, SaveOutcome::kSaved, 1550, "tries again for up to 5000"},
        {"file held past the bound", {"replace", kPath, kInUse, kEver}, SaveOutcome::kKeptAside, 5000, "kept in"},
        {"replace refused otherwise", {"replace", kPath, kOther, kEver}, SaveOutcome::kKeptAside, 0, "cannot replace"},
        {"new file not written", {"write", "r.txt.7.new", kOther, kEver}, SaveOutcome::kKeptAside, 0, "cannot write"},
        {"over the limit", {}, SaveOutcome::kKeptAside, 0, "bytes, more than the 100 it may", 100},
        {"side file not written either", {"replace", "", kOther, kEver}, SaveOutcome::kLost, 0, "they are not saved"},
        {"another save holds the lock 3 s", {"lock", kLock, kInUse, 3000}, SaveOutcome::kSaved, 3000, "saved"},
        {"another save holds the lock", {"lock", kLock, kInUse, kEver}, SaveOutcome::kKeptAside, 10000, "take"},
        {"lock file being deleted", {"lock", kLock, kDenied, 100}, SaveOutcome::kSaved, 100, "saved"},
        {"lock access denied", {"lock", kLock, kDenied, kEver}, SaveOutcome::kKeptAside, 200, "cannot take"},
        {"lock path a folder", {"lock", kLock, FileFault::kNeverOpens, kEver}, SaveOutcome::kKeptAside, 0, "take"},
        {"lock path fails otherwise", {"lock", kLock, kOther, kEver}, SaveOutcome::kKeptAside, 0, "cannot take"},
        {"file unreadable at the save", {"read", kPath, kOther, kEver}, SaveOutcome::kKeptAside, 0, "cannot read"},
    };
    // Another host changed a/2 after this one started: the save keeps that change.
    const std::vector<std::string> old{"a/1=1", "a/2=5", "b/1=1"}, saved{"a/1=9", "a/2=5", "b/1=1"}, mine{"a/1=9"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.files[kPath] = qvhost::WriteRecords({Record("a", 1, 1), Record("a", 2, 1), Record("b", 1, 1)});
        qvhost::StoreLimits limits;
        limits.maxFileBytes = c.maxBytes;
        std::vector<std::string> log;
        qvhost::RecordStore store(files, kPath, "a", ".7.new", Into(log), limits);
        store.Open();
        files.files[kPath] = qvhost::WriteRecords({Record("a", 1, 1), Record("a", 2, 5), Record("b", 1, 1)});
        files.faults = {c.fault};
        EXPECT_EQ(store.Save({Record("a", 1, 9)}), c.outcome);
        EXPECT_EQ(Held(files, kPath), c.outcome == SaveOutcome::kSaved ? saved : old);
        EXPECT_EQ(Held(files, kSide), c.outcome == SaveOutcome::kKeptAside ? mine : std::vector<std::string>{});
        EXPECT_EQ(files.now, c.waited);
        EXPECT_TRUE(Logged(log, c.logged)) << testing::PrintToString(log);
        EXPECT_FALSE(files.locked);
        EXPECT_EQ(files.files.count("r.txt.7.new") + files.files.count("r.txt.unsaved.7.new"), 0u);
        // The side file is written under the save lock whenever the lock could be had.
        if (c.fault.operation != "lock") {
            EXPECT_EQ(std::count(files.writesLocked.begin(), files.writesLocked.end(), false), 0);
        }
    }
}

TEST(HostStore, SideFileTakenInByTheNextSave) {
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
