// The records file: every object's data record, kept between runs. Platform-free.
//
// A text file: a header line, then one line per record, fields separated by tabs:
//   QVRECORDS<TAB>1
//   record<TAB>desktop<TAB>id<TAB>plug-in<TAB>size<TAB>crc32<TAB>data in hex
// The CRC-32 covers the desktop name, identifier, plug-in, size and the data bytes, so a line that
// was cut short or altered anywhere is refused on its own; the other lines still count. Records of
// other desktops, and of objects no longer on the desktop, are carried over unchanged by a save.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qvhost {

struct StoredRecord {
    std::string desktop;
    std::int32_t id = 0;
    std::string plugin;
    std::vector<std::uint8_t> data;
};

// A line that was refused, and the object it was for when that could still be read.
struct RecordProblem {
    int line = 0;
    std::string desktop;
    std::optional<std::int32_t> id;
    std::string text;
};

struct RecordsFile {
    bool valid = false;  // the header was read; otherwise nothing in the file counts
    std::vector<StoredRecord> records;
    std::vector<RecordProblem> problems;
    // Made by ReadRecords and Reindex, so that finding an object's record takes the same time
    // however many the file holds: by ObjectKey, the index of its record and of its first problem.
    std::unordered_map<std::string, std::size_t> recordAt;
    std::unordered_map<std::string, std::size_t> problemAt;
    std::unordered_set<std::string> desktops;  // of the records
};

inline constexpr std::uint32_t kMaxRecordSize = 65536;
// The most a records file holds: the reader refuses a larger file, and the writer never makes one.
inline constexpr std::uint64_t kMaxRecordsFileBytes = 64u << 20;

// One object of one desktop, as the records file's index names it.
std::string ObjectKey(std::string_view desktop, std::int32_t id);
// The index of a file whose records or problems were changed in place.
void Reindex(RecordsFile& file);

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

RecordsFile ReadRecords(std::string_view text);
std::string WriteRecords(const std::vector<StoredRecord>& records);

// What the host does with one object's stored record.
struct RecordChoice {
    std::optional<std::vector<std::uint8_t>> data;  // the stored bytes, exactly the reported size
    std::string warning;                            // why the defaults are used instead; empty if no warning
};

// fileExisted: a records file was there (a missing record in a new file is no surprise).
RecordChoice ChooseRecord(const RecordsFile& file, bool fileExisted, std::string_view desktop, std::int32_t id,
                          std::string_view plugin, std::uint32_t reportedSize);

// The records to write: the newer records, plus every intact record of the old file that none of
// them replaces.
std::vector<StoredRecord> MergeForSave(const RecordsFile& previous, std::vector<StoredRecord> current);

// Whether a save writes this record: its bytes differ from the reference, which is what they held
// once the object's start-up QVInit returned, and then what was last saved. An object without a
// reference (the file lacked its record, or held it damaged or unusable) counts as changed.
bool RecordChanged(const std::optional<std::vector<std::uint8_t>>& reference, const std::uint8_t* data,
                   std::size_t size);

// How an attempt to read the records file ended, as the platform saw it.
enum class FileRead {
    kRead,     // every byte was read
    kMissing,  // the file does not exist
    kFailed,   // it exists, but could not be read in full (held open, access denied, cut short, too big)
};

// What a read of the records file means for the host, at start and again just before every save.
// Only a missing file (or an empty one, which holds nothing to lose) starts afresh; a file that
// exists and cannot be read, or is not a records file, must not be saved over.
struct RecordsRead {
    RecordsFile file;
    bool existed = false;     // a records file was read
    bool mayReplace = false;  // a save may replace the file
    std::string error;        // why it may not; empty when it may
};

RecordsRead InterpretRead(FileRead outcome, std::string_view text, std::string_view failure);

}  // namespace qvhost
