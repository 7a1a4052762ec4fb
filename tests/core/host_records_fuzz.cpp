// libFuzzer target: any records file must be read without fault; every record it accepts must
// survive a save and a second read unchanged and be handed back only at its stored size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "records.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const qvhost::RecordsFile file = qvhost::ReadRecords(text);
    if (!file.valid) Require(file.records.empty());
    for (const qvhost::StoredRecord& r : file.records) {
        Require(r.data.size() <= qvhost::kMaxRecordSize);
        const auto choice = qvhost::ChooseRecord(file, true, r.desktop, r.id, r.plugin,
                                                 static_cast<std::uint32_t>(r.data.size()));
        Require(choice.data.has_value() && *choice.data == r.data);
        const auto wrongSize = qvhost::ChooseRecord(file, true, r.desktop, r.id, r.plugin,
                                                    static_cast<std::uint32_t>(r.data.size() + 1));
        Require(!wrongSize.data.has_value() && !wrongSize.warning.empty());
    }
    const qvhost::RecordsFile again = qvhost::ReadRecords(qvhost::WriteRecords(file.records));
    Require(again.valid && again.problems.empty() && again.records.size() == file.records.size());
    for (std::size_t i = 0; i < file.records.size(); ++i) {
        Require(again.records[i].desktop == file.records[i].desktop && again.records[i].id == file.records[i].id &&
                again.records[i].plugin == file.records[i].plugin && again.records[i].data == file.records[i].data);
    }
    return 0;
}
