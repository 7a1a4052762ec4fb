#include "levels.h"

#include <cmath>
#include <limits>

namespace wastewatch {

double Megabytes(std::uint64_t sizeBytes) {
    return static_cast<double>(static_cast<std::int64_t>(sizeBytes)) * (1.0 / 1048576.0);
}

std::int32_t LimitPercent(double megabytes, std::uint32_t limitMb) {
    if (limitMb == 0 || std::isnan(megabytes)) return 0;
    const double percent = std::trunc(megabytes * 100.0 / static_cast<double>(limitMb));
    // Converting a double outside the int32 range is undefined; clamp first.
    constexpr double kHighest = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    constexpr double kLowest = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    if (percent >= kHighest) return std::numeric_limits<std::int32_t>::max();
    if (percent <= kLowest) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(percent);
}

std::uint32_t StateCode(bool binNonEmpty) {
    return binNonEmpty ? kCodeFilled : kCodeEmptied;
}

std::uint32_t LevelCode(double megabytes, const WatchRecord& record) {
    if (record.notifyCritical != 0 && LimitPercent(megabytes, record.criticalLimit) > 99) return kCodeCritical;
    if (record.notifyWarning != 0 && LimitPercent(megabytes, record.warningLimit) > 99) return kCodeWarning;
    return kCodeFilled;
}

}  // namespace wastewatch
