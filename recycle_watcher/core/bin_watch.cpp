#include "bin_watch.h"

#include <utility>

namespace wastewatch {

namespace {

constexpr int kDriveLetters = 26;

}  // namespace

std::vector<WatchedFolder> PlanBinWatch(std::uint32_t fixedDrives, std::string_view sid,
                                        const std::function<bool(const std::string&)>& folderExists) {
    std::vector<WatchedFolder> plan;
    for (int drive = 0; drive < kDriveLetters; ++drive) {
        if ((fixedDrives & (1u << drive)) == 0) continue;
        const std::string root = std::string(1, static_cast<char>('A' + drive)) + ":\\";
        std::vector<std::string> bins;
        if (!sid.empty()) {
            bins.push_back(root + "$Recycle.Bin\\" + std::string(sid));
            bins.push_back(root + "RECYCLER\\" + std::string(sid));
        }
        bins.push_back(root + "RECYCLED");
        WatchedFolder watched{root, false};
        for (const std::string& bin : bins) {
            if (folderExists(bin)) {
                watched = {bin, true};
                break;
            }
        }
        if (!watched.isBin) {
            for (const char* parent : {"$Recycle.Bin", "RECYCLER"}) {
                if (folderExists(root + parent)) {
                    watched.path = root + parent;
                    break;
                }
            }
        }
        plan.push_back(std::move(watched));
    }
    return plan;
}

bool WatchIsTrustworthy(const std::vector<WatchedFolder>& plan, std::size_t signalsOpened) {
    bool anyBin = false;
    for (const WatchedFolder& folder : plan) anyBin = anyBin || folder.isBin;
    return anyBin && signalsOpened == plan.size();
}

CycleMeasurement ChooseMeasurement(const CycleFacts& facts) {
    if (facts.emptyingNow) return facts.haveLast ? CycleMeasurement::kReuse : CycleMeasurement::kAwaitEmptying;
    if (!facts.haveLast || !facts.trustworthy) return CycleMeasurement::kMeasure;
    if (facts.signalled || facts.snapshotChanged || facts.emptiedSince) return CycleMeasurement::kMeasure;
    if (facts.sinceLastMs >= kSafetyRemeasureMs) return CycleMeasurement::kMeasure;
    return CycleMeasurement::kReuse;
}

bool ShouldMeasureAhead(bool measuredAheadThisSleep, bool trustworthy, bool emptyingNow) {
    return trustworthy && !measuredAheadThisSleep && !emptyingNow;
}

}  // namespace wastewatch
