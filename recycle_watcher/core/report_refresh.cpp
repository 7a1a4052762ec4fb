#include "report_refresh.h"

#include <algorithm>

#include "monitor_schedule.h"

namespace wastewatch {

ReportSource ChooseReportSource(const MonitorMeasurement& last, std::uint32_t now, std::uint32_t emptyingsDone,
                                bool binReadable) noexcept {
    if (!binReadable) return last.taken ? ReportSource::kLast : ReportSource::kUnknown;
    const bool holds = last.taken && last.holds && last.emptyings == emptyingsDone &&
                       now - last.tick < kSafetyRemeasureMs;
    return holds ? ReportSource::kLast : ReportSource::kMeasure;
}

RefreshDecision DecideRefresh(std::uint32_t intervalSeconds, bool measuring, std::uint32_t sinceLastMs) noexcept {
    if (intervalSeconds == 0) return {RefreshKind::kNever, 0};
    constexpr std::uint32_t kLongestSeconds = (kWaitForever - 1) / 1000u;
    const std::uint32_t intervalMs = std::min(intervalSeconds, kLongestSeconds) * 1000u;
    if (measuring) return {RefreshKind::kNotDue, intervalMs};
    if (sinceLastMs >= intervalMs) return {RefreshKind::kDue, 0};
    return {RefreshKind::kNotDue, intervalMs - sinceLastMs};
}

}  // namespace wastewatch
