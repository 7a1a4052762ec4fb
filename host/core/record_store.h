// The records file as the hosts sharing it keep it: read at start together with what an earlier run
// kept aside, and saved under a lock that every host's save takes, writing only this host's changed
// records. A save the file refuses is tried again for a while; records it cannot write go into a
// side file named after the records file, which the next start reads and the next save takes in.
// Platform-free: the files are reached through FilePort, which the host implements with the
// system's calls and the tests fake.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records.h"

namespace qvhost {

// How one attempt by the platform ended.
enum class FileFault {
    kNone,
    kInUse,       // another program holds the file or the lock (a sharing violation)
    kDenied,      // access denied, which may pass: a lock file being deleted as another host lets go
    kNeverOpens,  // access denied to a folder or a read-only file: trying again cannot help
    kOther,
};

struct PortResult {
    FileFault fault = FileFault::kNone;
    std::string cause;  // as the log gives it; empty when fault is kNone
};

struct FileText {
    FileRead outcome = FileRead::kFailed;
    std::string text;
    std::string failure;  // why it could not be read, when it exists
};

// Held while a save runs; the lock goes with the object, also when the host dies.
class HeldLock {
public:
    virtual ~HeldLock() = default;
};

class FilePort {
public:
    virtual ~FilePort() = default;
    // The whole file, or why not; shared with other programs for reading, writing and deleting.
    virtual FileText Read(const std::string& path) = 0;
    // A new file of exactly this text, flushed; one of that name is overwritten.
    virtual PortResult Write(const std::string& path, const std::string& text) = 0;
    // The file from takes the place of the file to in one step.
    virtual PortResult Replace(const std::string& from, const std::string& to) = 0;
    virtual PortResult Remove(const std::string& path) = 0;
    // One attempt at the lock file; null when it is not taken, with result saying why.
    virtual std::unique_ptr<HeldLock> Lock(const std::string& path, PortResult& result) = 0;
    virtual std::uint32_t NowMs() = 0;
    virtual void Pause(std::uint32_t milliseconds) = 0;
};

struct StoreLimits {
    std::uint32_t lockWait = 10000;     // for another host's save to end
    std::uint32_t deniedWait = 200;     // for a lock file being deleted
    std::uint32_t lockPoll = 20;        // between attempts at the lock
    std::uint32_t replaceBound = 5000;  // a replace refused while the file is in use is tried again this long,
                                        // less than another host waits for the lock
    std::uint32_t firstPause = 50;      // before the second attempt; twice as long before each next one
    std::uint64_t maxFileBytes = kMaxRecordsFileBytes;  // for the records file and the side file alike
};

std::string LockFilePath(std::string_view recordsPath);
std::string SideFilePath(std::string_view recordsPath);

enum class SaveOutcome {
    kSaved,      // the records file holds them
    kUnchanged,  // nothing changed and nothing was kept aside: the file is left as it is
    kKeptAside,  // the side file holds them
    kLost,       // neither holds them
};

struct OpenedRecords {
    RecordsFile file;      // the records file's records, the side file's over them
    bool existed = false;  // either file held records (a missing record is then worth a warning)
};

class RecordStore {
public:
    // temporarySuffix is this process's own, so that hosts sharing the file never write into,
    // rename or remove each other's new files.
    // log takes each line for the event log as it happens.
    using Log = std::function<void(const std::string& line)>;
    RecordStore(FilePort& port, std::string path, std::string desktop, std::string temporarySuffix, Log log,
                StoreLimits limits = {});

    // At start. A records file that exists and cannot be read is not saved over in this run.
    OpenedRecords Open();
    // The records of this host's desktop that changed since they were last read or saved.
    SaveOutcome Save(std::vector<StoredRecord> changed);

private:
    std::unique_ptr<HeldLock> TakeLock();
    bool WriteAndReplace(const std::string& path, const std::string& text, bool retry, std::string& error);
    SaveOutcome KeepAside(std::vector<StoredRecord> changed);

    FilePort& port_;
    std::string path_;
    std::string desktop_;
    std::string temporarySuffix_;
    Log log_;
    StoreLimits limits_;
    bool unsafe_ = false;
};

}  // namespace qvhost
