// How long the records file takes to load and save as it grows: a records file of N records, all
// of one desktop, read with the store at start (every object choosing its record) and saved with
// every record changed (the file read again, merged, written and put in place). The files are in
// memory, so the figures are the host's own work, without the disk's.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

#include "record_store.h"

namespace {

struct MemoryFiles : qvhost::FilePort {
    std::map<std::string, std::string> files;
    struct Held : qvhost::HeldLock {};

    qvhost::FileText Read(const std::string& path) override {
        const auto at = files.find(path);
        if (at == files.end()) return {qvhost::FileRead::kMissing, "", ""};
        return {qvhost::FileRead::kRead, at->second, ""};
    }
    qvhost::PortResult Write(const std::string& path, const std::string& text) override {
        files[path] = text;
        return {};
    }
    qvhost::PortResult Replace(const std::string& from, const std::string& to) override {
        files[to] = std::move(files[from]);
        files.erase(from);
        return {};
    }
    qvhost::PortResult Remove(const std::string& path) override {
        files.erase(path);
        return {};
    }
    std::unique_ptr<qvhost::HeldLock> Lock(const std::string&, qvhost::PortResult&) override {
        return std::make_unique<Held>();
    }
    std::uint32_t NowMs() override { return 0; }
    void Pause(std::uint32_t) override {}
};

// The process's processor time: on a machine shared with other work it is the figure that holds
// still, where the wall clock also counts the time others had the processor.
double CpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Figures {
    double load = 0, save = 0;
    std::size_t bytes = 0;
};

Figures Measure(int count) {
    std::vector<qvhost::StoredRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back({"default", i, "Hotrelay2.dll", std::vector<std::uint8_t>(20, static_cast<std::uint8_t>(i))});
    MemoryFiles files;
    files.files["records.txt"] = qvhost::WriteRecords(records);
    Figures figures;
    figures.bytes = files.files["records.txt"].size();
    qvhost::RecordStore store(files, "records.txt", "default", ".1.new", [](const std::string&) {});

    double start = CpuMs();
    const qvhost::OpenedRecords opened = store.Open();
    std::size_t restored = 0;
    for (int i = 0; i < count; ++i)
        restored += qvhost::ChooseRecord(opened.file, opened.existed, "default", i, "Hotrelay2.dll", 20).data ? 1 : 0;
    figures.load = CpuMs() - start;

    for (auto& r : records) r.data[0] ^= 0xFF;
    start = CpuMs();
    const qvhost::SaveOutcome outcome = store.Save(std::move(records));
    figures.save = CpuMs() - start;
    if (restored != static_cast<std::size_t>(count) || outcome != qvhost::SaveOutcome::kSaved)
        std::fprintf(stderr, "records_bench: %d records: the store did not load or save them all\n", count);
    return figures;
}

}  // namespace

int main() {
    std::printf("%9s %12s %10s %10s   (processor time, median of 5 runs)\n", "records", "file bytes", "load ms",
                "save ms");
    for (const int count : {1000, 10000, 100000}) {
        std::vector<double> loads, saves;
        std::size_t bytes = 0;
        for (int run = 0; run < 5; ++run) {
            const Figures f = Measure(count);
            loads.push_back(f.load);
            saves.push_back(f.save);
            bytes = f.bytes;
        }
        std::sort(loads.begin(), loads.end());
        std::sort(saves.begin(), saves.end());
        std::printf("%9d %12zu %10.1f %10.1f\n", count, bytes, loads[2], saves[2]);
    }
    return 0;
}
