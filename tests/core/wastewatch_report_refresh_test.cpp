#include <gtest/gtest.h>

#include <cstdint>

#include "monitor_schedule.h"
#include "report_refresh.h"

namespace wastewatch {
namespace {

TEST(ReportSource, LastMeasurementOnlyWhileItStillHolds) {
    constexpr std::uint32_t kTick = 0xFFFFF000u;  // the clock wraps while the measurement stands
    const MonitorMeasurement fresh{true, true, 10000, 1u << 20, kTick, 3};
    struct Case {
        const char* name;
        MonitorMeasurement last;
        std::uint32_t now;
        std::uint32_t emptyings;
        bool readable;
        ReportSource expected;
    };
    MonitorMeasurement doubted = fresh;
    doubted.holds = false;
    const Case cases[] = {
        {"holds", fresh, kTick + 5000, 3, true, ReportSource::kLast},
        {"never measured", {}, kTick, 0, true, ReportSource::kMeasure},
        {"a change signal since", doubted, kTick + 5000, 3, true, ReportSource::kMeasure},
        {"emptied since", fresh, kTick + 5000, 4, true, ReportSource::kMeasure},
        {"just inside the safety time", fresh, kTick + kSafetyRemeasureMs - 1, 3, true, ReportSource::kLast},
        {"as old as the safety time", fresh, kTick + kSafetyRemeasureMs, 3, true, ReportSource::kMeasure},
        {"being emptied: the last stands", doubted, kTick + kSafetyRemeasureMs, 4, false, ReportSource::kLast},
        {"being emptied, never measured", {}, kTick, 0, false, ReportSource::kUnknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChooseReportSource(c.last, c.now, c.emptyings, c.readable), c.expected);
    }
}

TEST(ReportRefresh, DueNotDueOrNever) {
    struct Case {
        const char* name;
        std::uint32_t intervalSeconds;
        bool measuring;
        std::uint32_t sinceLastMs;
        RefreshDecision expected;
    };
    const Case cases[] = {
        {"interval 0: never", 0, false, 0xFFFFFFFFu, {RefreshKind::kNever, 0}},
        {"just measured", 1, false, 0, {RefreshKind::kNotDue, 1000}},
        {"part of the interval gone", 5, false, 1200, {RefreshKind::kNotDue, 3800}},
        {"a whole interval gone", 1, false, 1000, {RefreshKind::kDue, 0}},
        {"long overdue", 1, false, 90000, {RefreshKind::kDue, 0}},
        {"overdue while measuring", 1, true, 90000, {RefreshKind::kNotDue, 1000}},
        {"interval beyond the clock", 0xFFFFFFFFu, false, 0, {RefreshKind::kNotDue, 4294967000u}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecideRefresh(c.intervalSeconds, c.measuring, c.sinceLastMs), c.expected);
    }
}

}  // namespace
}  // namespace wastewatch
