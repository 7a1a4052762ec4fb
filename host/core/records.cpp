#include "records.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "desktop.h"
#include "numbers.h"

namespace qvhost {

namespace {

constexpr std::string_view kHeader = "QVRECORDS\t1";
constexpr std::string_view kRecordTag = "record";
constexpr char kHexDigits[] = "0123456789abcdef";

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line = line.substr(tab + 1);
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::uint32_t RecordCrc(std::string_view desktop, std::int32_t id, std::string_view plugin,
                        const std::vector<std::uint8_t>& data) {
    const std::string head = std::string(desktop) + '\t' + std::to_string(id) + '\t' + std::string(plugin) + '\t' +
                             std::to_string(data.size()) + '\t';
    return Crc32(data.data(), data.size(), Crc32(head.data(), head.size()));
}

bool Storable(std::string_view name) {
    return !name.empty() &&
           std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

void ReadLine(std::string_view line, int number, RecordsFile& file) {
    const std::vector<std::string_view> f = SplitTabs(line);
    RecordProblem problem{number, {}, std::nullopt, {}};
    if (f.size() >= 3 && f[0] == kRecordTag) {
        problem.desktop = std::string(f[1]);
        problem.id = ParseInteger<std::int32_t>(f[2]);
    }
    auto refuse = [&](std::string text) {
        problem.text = std::move(text);
        if (problem.id) file.problemAt.emplace(ObjectKey(problem.desktop, *problem.id), file.problems.size());
        file.problems.push_back(std::move(problem));
    };
    if (f.size() != 7 || f[0] != kRecordTag) return refuse("not a record line");
    if (!problem.id) return refuse("unreadable object identifier");
    const auto size = ParseInteger<std::uint32_t>(f[4]);
    if (!size || *size > kMaxRecordSize) return refuse("unreadable size");
    const auto crc = f[5].size() == 8 ? ParseInteger<std::uint32_t>(f[5], 16) : std::nullopt;
    if (!crc) return refuse("unreadable checksum");
    if (f[6].size() != std::size_t{*size} * 2) return refuse("the data does not have the recorded size (cut short?)");
    std::vector<std::uint8_t> data(*size);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const int high = HexValue(f[6][2 * i]), low = HexValue(f[6][2 * i + 1]);
        if (high < 0 || low < 0) return refuse("the data is not hexadecimal");
        data[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (RecordCrc(f[1], *problem.id, f[3], data) != *crc) return refuse("the checksum does not match");
    if (!Storable(f[1]) || !Storable(f[3])) return refuse("an empty desktop or plug-in name");
    if (!file.recordAt.emplace(ObjectKey(f[1], *problem.id), file.records.size()).second)
        return refuse("a second record for the same object");
    file.desktops.emplace(f[1]);
    file.records.push_back(StoredRecord{std::string(f[1]), *problem.id, std::string(f[3]), std::move(data)});
}

}  // namespace

std::string ObjectKey(std::string_view desktop, std::int32_t id) {
    return std::string(desktop) + '\t' + std::to_string(id);
}

void Reindex(RecordsFile& file) {
    file.recordAt.clear();
    file.problemAt.clear();
    file.desktops.clear();
    file.recordAt.reserve(file.records.size());
    for (std::size_t i = 0; i < file.records.size(); ++i) {
        file.recordAt.emplace(ObjectKey(file.records[i].desktop, file.records[i].id), i);
        file.desktops.insert(file.records[i].desktop);
    }
    for (std::size_t i = 0; i < file.problems.size(); ++i) {
        const RecordProblem& p = file.problems[i];
        if (p.id) file.problemAt.emplace(ObjectKey(p.desktop, *p.id), i);
    }
}

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc) {
    static const auto kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return table;
    }();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = kTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

RecordsFile ReadRecords(std::string_view text) {
    RecordsFile file;
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    file.records.reserve(lines);
    file.recordAt.reserve(lines);
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (number == 1) {
            if (line != kHeader) {
                file.problems.push_back(RecordProblem{1, {}, std::nullopt, "not a records file"});
                return file;
            }
            file.valid = true;
            continue;
        }
        if (line.empty()) continue;
        ReadLine(line, number, file);
    }
    return file;
}

std::string WriteRecords(const std::vector<StoredRecord>& records) {
    std::size_t capacity = kHeader.size() + 1;
    for (const StoredRecord& r : records) capacity += r.desktop.size() + r.plugin.size() + 2 * r.data.size() + 40;
    std::string text;
    text.reserve(capacity);
    text += kHeader;
    text += '\n';
    for (const StoredRecord& r : records) {
        if (!Storable(r.desktop) || !Storable(r.plugin) || r.data.size() > kMaxRecordSize ||
            r.desktop.find('\t') != std::string::npos || r.plugin.find('\t') != std::string::npos)
            continue;  // cannot be read back; the desktop parser never lets such names through
        char crc[9] = {};
        const std::uint32_t value = RecordCrc(r.desktop, r.id, r.plugin, r.data);
        for (int i = 0; i < 8; ++i) crc[i] = kHexDigits[(value >> (28 - 4 * i)) & 0xF];
        const std::string id = std::to_string(r.id), size = std::to_string(r.data.size());
        for (const std::string_view field :
             {kRecordTag, std::string_view(r.desktop), std::string_view(id), std::string_view(r.plugin),
              std::string_view(size), std::string_view(crc, 8)}) {
            text += field;
            text += '\t';
        }
        for (std::uint8_t byte : r.data) {
            text += kHexDigits[byte >> 4];
            text += kHexDigits[byte & 0xF];
        }
        text += '\n';
    }
    return text;
}

RecordChoice ChooseRecord(const RecordsFile& file, bool fileExisted, std::string_view desktop, std::int32_t id,
                          std::string_view plugin, std::uint32_t reportedSize) {
    RecordChoice choice;
    if (!fileExisted) return choice;
    if (!file.valid) {
        choice.warning = "the records file is not one this host wrote; defaults are used";
        return choice;
    }
    const std::string key = ObjectKey(desktop, id);
    const auto found = file.recordAt.find(key);
    if (found == file.recordAt.end()) {
        const auto damaged = file.problemAt.find(key);
        const bool otherDesktopsOnly = !file.records.empty() && file.desktops.count(std::string(desktop)) == 0;
        if (damaged != file.problemAt.end()) {
            const RecordProblem& problem = file.problems[damaged->second];
            choice.warning = "its stored record (line " + std::to_string(problem.line) +
                             ") is damaged: " + problem.text + "; defaults are used";
        } else if (otherDesktopsOnly) {
            choice.warning = "the records file holds records of other desktops only; defaults are used";
        } else {
            choice.warning = "no stored record; defaults are used";
        }
        return choice;
    }
    const StoredRecord* stored = &file.records[found->second];
    if (LibraryKey(stored->plugin) != LibraryKey(plugin)) {
        choice.warning = "its stored record belongs to plug-in \"" + stored->plugin + "\"; defaults are used";
    } else if (stored->data.size() != reportedSize) {
        choice.warning = "its stored record has " + std::to_string(stored->data.size()) + " bytes, the plug-in's has " +
                         std::to_string(reportedSize) + "; defaults are used";
    } else {
        choice.data = stored->data;
    }
    return choice;
}

std::vector<StoredRecord> MergeForSave(const RecordsFile& previous, std::vector<StoredRecord> current) {
    std::unordered_set<std::string> replaced;
    replaced.reserve(current.size());
    for (const StoredRecord& r : current) replaced.insert(ObjectKey(r.desktop, r.id));
    std::vector<StoredRecord> merged;
    merged.reserve(previous.records.size() + current.size());
    for (const StoredRecord& old : previous.records) {
        if (replaced.count(ObjectKey(old.desktop, old.id)) == 0) merged.push_back(old);
    }
    for (StoredRecord& r : current) merged.push_back(std::move(r));
    return merged;
}

bool RecordChanged(const std::optional<std::vector<std::uint8_t>>& reference, const std::uint8_t* data,
                   std::size_t size) {
    return !reference || reference->size() != size || !std::equal(reference->begin(), reference->end(), data);
}

RecordsRead InterpretRead(FileRead outcome, std::string_view text, std::string_view failure) {
    RecordsRead read;
    if (outcome == FileRead::kMissing || (outcome == FileRead::kRead && text.empty())) {
        read.mayReplace = true;
        return read;
    }
    if (outcome == FileRead::kFailed) {
        read.error = failure.empty() ? "it cannot be read" : std::string(failure);
        return read;
    }
    read.file = ReadRecords(text);
    if (!read.file.valid) {
        read.file = RecordsFile{};
        read.error = "its first line is not a records file's header";
        return read;
    }
    read.existed = true;
    read.mayReplace = true;
    return read;
}

}  // namespace qvhost
