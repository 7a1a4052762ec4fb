// Filling and reading this run's own recycle bin for the Wastewatch tests and the benchmark, and the
// record they hand Wastewatch for an object.
// The bin is the run's private XDG trash (QV_TRASH_DIR); files to delete are made beside it, on the
// same file system, so that deleting moves them instead of copying.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wwtest {

struct WatchRecord {
    std::uint32_t checkInterval, refreshInterval, notifyCritical, notifyWarning, criticalLimit, warningLimit;
};
static_assert(sizeof(WatchRecord) == 24);

// The run's trash (a Windows path, holding "files" and "info"); empty outside the isolating runner.
std::string TrashFolder();

// The run's folder for files about to be deleted (a Windows path, created if needed); empty when
// QV_TRASH_DIR is not set, i.e. the program was not started through the isolating runner.
std::string ScratchFolder();

// Creates a file of exactly this many bytes (sparse beyond a few megabytes). Empty path on failure.
std::string MakeFile(const std::string& name, std::uint64_t size);

// Moves the files (or folders) into the bin through the shell, quietly. True when the shell says so.
bool DeleteIntoBin(const std::vector<std::string>& paths);

// Makes count files of the given sizes (cycled) and deletes them into the bin in one operation.
bool FillBin(std::size_t count, const std::vector<std::uint64_t>& sizes, const std::string& prefix = "item");

// Writes count items straight into the trash folder (file plus .trashinfo), far faster than the
// shell; each item holds itemSize bytes.
bool FillTrashDirectly(std::size_t count, std::uint32_t itemSize, const std::string& prefix);

// The shell's own view of all bins.
struct ShellBinInfo {
    bool ok;
    std::int64_t count;
    std::int64_t size;
};
ShellBinInfo QueryBin();

// Empties every bin through the shell, quietly.
bool EmptyBin();

}  // namespace wwtest
