#include "records.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "desktop.h"

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

template <typename T>
std::optional<T> Number(std::string_view text, int base = 10) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || at != end) return std::nullopt;
    return value;
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
        problem.id = Number<std::int32_t>(f[2]);
    }
    auto refuse = [&](std::string text) {
        problem.text = std::move(text);
        file.problems.push_back(std::move(problem));
    };
    if (f.size() != 7 || f[0] != kRecordTag) return refuse("not a record line");
    if (!problem.id) return refuse("unreadable object identifier");
    const auto size = Number<std::uint32_t>(f[4]);
    if (!size || *size > kMaxRecordSize) return refuse("unreadable size");
    const auto crc = f[5].size() == 8 ? Number<std::uint32_t>(f[5], 16) : std::nullopt;
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
    const bool repeated = std::any_of(file.records.begin(), file.records.end(),
                                      [&](const StoredRecord& r) { return r.desktop == f[1] && r.id == *problem.id; });
    if (repeated) return refuse("a second record for the same object");
    file.records.push_back(StoredRecord{std::string(f[1]), *problem.id, std::string(f[3]), std::move(data)});
}

}  // namespace

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
    std::string text(kHeader);
    text += '\n';
    for (const StoredRecord& r : records) {
        if (!Storable(r.desktop) || !Storable(r.plugin) || r.data.size() > kMaxRecordSize ||
            r.desktop.find('\t') != std::string::npos || r.plugin.find('\t') != std::string::npos)
            continue;  // cannot be read back; the desktop parser never lets such names through
        char crc[9] = {};
        const std::uint32_t value = RecordCrc(r.desktop, r.id, r.plugin, r.data);
        for (int i = 0; i < 8; ++i) crc[i] = kHexDigits[(value >> (28 - 4 * i)) & 0xF];
        text += std::string(kRecordTag) + '\t' + r.desktop + '\t' + std::to_string(r.id) + '\t' + r.plugin + '\t' +
                std::to_string(r.data.size()) + '\t' + crc + '\t';
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
    auto stored = std::find_if(file.records.begin(), file.records.end(),
                               [&](const StoredRecord& r) { return r.desktop == desktop && r.id == id; });
    if (stored == file.records.end()) {
        auto damaged = std::find_if(file.problems.begin(), file.problems.end(),
                                    [&](const RecordProblem& p) { return p.desktop == desktop && p.id == id; });
        const bool otherDesktopsOnly = !file.records.empty() &&
                                       std::none_of(file.records.begin(), file.records.end(),
                                                    [&](const StoredRecord& r) { return r.desktop == desktop; });
        if (damaged != file.problems.end()) {
            choice.warning = "its stored record (line " + std::to_string(damaged->line) +
                             ") is damaged: " + damaged->text + "; defaults are used";
        } else if (otherDesktopsOnly) {
            choice.warning = "the records file holds records of other desktops only; defaults are used";
        } else {
            choice.warning = "no stored record; defaults are used";
        }
        return choice;
    }
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
    std::vector<StoredRecord> merged;
    for (const StoredRecord& old : previous.records) {
        const bool replaced = std::any_of(current.begin(), current.end(), [&](const StoredRecord& r) {
            return r.desktop == old.desktop && r.id == old.id;
        });
        if (!replaced) merged.push_back(old);
    }
    for (StoredRecord& r : current) merged.push_back(std::move(r));
    return merged;
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
