#include "record_store.h"

#include <algorithm>
#include <utility>

namespace qvhost {

namespace {

// What a file holds that an earlier save could not write into the records file.
struct SideRead {
    bool usable = true;  // missing, empty or read; otherwise it is left as it is
    std::vector<StoredRecord> records;
    std::string error;
};

SideRead ReadSide(FilePort& port, const std::string& path) {
    const FileText text = port.Read(path);
    RecordsRead read = InterpretRead(text.outcome, text.text, text.failure);
    if (!read.mayReplace) return SideRead{false, {}, read.error};
    return SideRead{true, std::move(read.file.records), {}};
}

RecordsFile Indexed(std::vector<StoredRecord> records) {
    RecordsFile file;
    file.valid = true;
    file.records = std::move(records);
    Reindex(file);
    return file;
}

std::string Quote(const std::string& path) {
    return "\"" + path + "\"";
}

// Whether a save tries the lock again after an attempt that failed so, this long after the first one.
bool TryLockAgain(FileFault fault, std::uint32_t waited, const StoreLimits& limits) {
    switch (fault) {
        case FileFault::kInUse: return waited < limits.lockWait;
        case FileFault::kDenied: return waited < limits.deniedWait;
        default: return false;
    }
}

// How long to pause before the next attempt at a replace that failed so, after this many pauses;
// nothing: give up.
std::optional<std::uint32_t> ReplacePause(FileFault fault, std::uint32_t waited, std::uint32_t pauses,
                                          const StoreLimits& limits) {
    if (fault != FileFault::kInUse || waited >= limits.replaceBound) return std::nullopt;
    const std::uint32_t pause = limits.firstPause << std::min<std::uint32_t>(pauses, 16);
    return std::min(pause, limits.replaceBound - waited);
}

}  // namespace

std::string LockFilePath(std::string_view recordsPath) {
    return std::string(recordsPath) + ".lock";
}

std::string SideFilePath(std::string_view recordsPath) {
    return std::string(recordsPath) + ".unsaved";
}

RecordStore::RecordStore(FilePort& port, std::string path, std::string desktop, std::string temporarySuffix, Log log,
                         StoreLimits limits)
    : port_(port),
      path_(std::move(path)),
      desktop_(std::move(desktop)),
      temporarySuffix_(std::move(temporarySuffix)),
      log_(std::move(log)),
      limits_(limits) {}

OpenedRecords RecordStore::Open() {
    const FileText text = port_.Read(path_);
    RecordsRead read = InterpretRead(text.outcome, text.text, text.failure);
    if (!read.mayReplace) {
        unsafe_ = true;
        log_("host: error: cannot read the records file " + Quote(path_) + ": " + read.error +
             "; every object starts from its defaults, and the file is not saved over in this run");
    }
    for (const RecordProblem& p : read.file.problems) {
        if (!p.id) log_("host: warning: " + path_ + ":" + std::to_string(p.line) + ": " + p.text);
    }
    OpenedRecords opened{std::move(read.file), read.existed};
    const std::string side = SideFilePath(path_);
    SideRead aside = ReadSide(port_, side);
    if (!aside.usable) {
        log_("host: warning: cannot read " + Quote(side) + ", which holds records an earlier run could not save: " +
             aside.error + "; they are not used, and the file is left as it is");
    } else if (!aside.records.empty()) {
        log_("host: " + Quote(side) + " holds " + std::to_string(aside.records.size()) +
             " record(s) an earlier run could not save; they are used over those of " + Quote(path_));
        opened.file.records = MergeForSave(opened.file, std::move(aside.records));
        opened.file.valid = true;
        Reindex(opened.file);
        opened.existed = true;
    }
    return opened;
}

SaveOutcome RecordStore::Save(std::vector<StoredRecord> changed) {
    if (unsafe_) {
        log_("host: error: records not saved: " + Quote(path_) +
             " could not be read at start, and is not saved over in this run");
        log_("host: the records of desktop \"" + desktop_ + "\" would have gone to " + path_ + "; they are not saved");
        return SaveOutcome::kLost;
    }
    const std::unique_ptr<HeldLock> lock = TakeLock();
    if (!lock) return KeepAside(std::move(changed));
    const FileText text = port_.Read(path_);
    const RecordsRead latest = InterpretRead(text.outcome, text.text, text.failure);
    if (!latest.mayReplace) {
        log_("host: error: records not saved: cannot read " + Quote(path_) + ": " + latest.error +
             "; the old file is unchanged");
        return KeepAside(std::move(changed));
    }
    const std::string side = SideFilePath(path_);
    SideRead aside = ReadSide(port_, side);
    if (!aside.usable) {
        log_("host: warning: cannot read " + Quote(side) + ": " + aside.error + "; the records in it are left there");
    }
    if (changed.empty() && aside.records.empty()) {
        log_("host: no record changed; " + Quote(path_) + " is left as it is");
        return SaveOutcome::kUnchanged;
    }
    const bool takesAside = !aside.records.empty();
    const std::string merged = WriteRecords(
        MergeForSave(latest.file, MergeForSave(Indexed(std::move(aside.records)), changed)));
    std::string error;
    if (merged.size() > limits_.maxFileBytes) {
        error = Quote(path_) + " would hold " + std::to_string(merged.size()) + " bytes, more than the " +
                std::to_string(limits_.maxFileBytes) + " it may";
    }
    if (!error.empty() || !WriteAndReplace(path_, merged, true, error)) {
        log_("host: error: records not saved: " + error + "; the old file is unchanged");
        return KeepAside(std::move(changed));
    }
    log_("host: records saved to " + path_);
    if (takesAside) {
        const PortResult removed = port_.Remove(side);
        if (removed.fault == FileFault::kNone) {
            log_("host: the records kept in " + Quote(side) + " are saved too; it is removed");
        } else {
            log_("host: warning: the records kept in " + Quote(side) +
                 " are saved too, but it cannot be removed: " + removed.cause);
        }
    }
    return SaveOutcome::kSaved;
}

std::unique_ptr<HeldLock> RecordStore::TakeLock() {
    const std::string path = LockFilePath(path_);
    const std::uint32_t start = port_.NowMs();
    for (;;) {
        PortResult result;
        std::unique_ptr<HeldLock> lock = port_.Lock(path, result);
        if (lock) return lock;
        if (!TryLockAgain(result.fault, port_.NowMs() - start, limits_)) {
            log_("host: error: records not saved: cannot take " + Quote(path) + ": " + result.cause +
                 "; the old file is unchanged");
            return nullptr;
        }
        port_.Pause(limits_.lockPoll);
    }
}

bool RecordStore::WriteAndReplace(const std::string& path, const std::string& text, bool retry, std::string& error) {
    const std::string temporary = path + temporarySuffix_;
    PortResult result = port_.Write(temporary, text);
    if (result.fault != FileFault::kNone) {
        error = "cannot write " + Quote(temporary) + ": " + result.cause;
        port_.Remove(temporary);
        return false;
    }
    const std::uint32_t start = port_.NowMs();
    for (std::uint32_t pauses = 0;; ++pauses) {
        result = port_.Replace(temporary, path);
        if (result.fault == FileFault::kNone) return true;
        const auto pause = retry ? ReplacePause(result.fault, port_.NowMs() - start, pauses, limits_) : std::nullopt;
        if (!pause) break;
        if (pauses == 0) {
            log_("host: " + Quote(path) + " is in use: " + result.cause + "; the save tries again for up to " +
                 std::to_string(limits_.replaceBound) + " ms");
        }
        port_.Pause(*pause);
    }
    error = "cannot replace " + Quote(path) + ": " + result.cause;
    port_.Remove(temporary);
    return false;
}

SaveOutcome RecordStore::KeepAside(std::vector<StoredRecord> changed) {
    const std::string unsaved = "host: the records of desktop \"" + desktop_ + "\" would have gone to " + path_ +
                                "; they are not saved";
    if (changed.empty()) {
        log_("host: no record of desktop \"" + desktop_ + "\" changed in this run; none is lost");
        return SaveOutcome::kUnchanged;
    }
    const std::string side = SideFilePath(path_);
    SideRead aside = ReadSide(port_, side);
    std::string error = aside.error;
    const std::string text = aside.usable
                                 ? WriteRecords(MergeForSave(Indexed(std::move(aside.records)), std::move(changed)))
                                 : "";
    if (aside.usable && text.size() > limits_.maxFileBytes) {
        error = "it would hold " + std::to_string(text.size()) + " bytes, more than the " +
                std::to_string(limits_.maxFileBytes) + " it may";
    }
    if (!error.empty() || !WriteAndReplace(side, text, false, error)) {
        log_("host: error: cannot keep them in " + Quote(side) + ": " + error);
        log_(unsaved);
        return SaveOutcome::kLost;
    }
    log_("host: the changed records of desktop \"" + desktop_ + "\" are kept in " + Quote(side) +
         "; the next start reads them, and the next save takes them into " + path_);
    return SaveOutcome::kKeptAside;
}

}  // namespace qvhost
