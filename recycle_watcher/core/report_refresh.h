// Where the properties dialog's fill report comes from, and when it is measured again while the
// dialog stays open.
#pragma once

#include <cstdint>

namespace wastewatch {

// The monitor thread's last measurement as it leaves it for the dialog.
struct MonitorMeasurement {
    bool taken = false;  // there is one
    // Taken with a trusted change watch and no change signal since: the bin still holds what it says.
    bool holds = false;
    std::uint64_t count = 0;
    std::uint64_t size = 0;       // bytes
    std::uint32_t tick = 0;       // when the measurement started (the tick count)
    std::uint32_t emptyings = 0;  // emptyings this plug-in had finished when it started
};

enum class ReportSource {
    kLast,     // show the monitor's last measurement
    kMeasure,  // measure the bin now
    kUnknown,  // show "?": the bin cannot be read and nothing was ever measured
};

// binReadable: the bin's gate let this reader in (no emptying of this plug-in runs or waits). While
// the bin is being emptied the last measurement stands, as it does for the monitor. Otherwise it is
// used only while it still holds by the monitor's own rule: nothing emptied since, and not older
// than the monitor would let it stand.
ReportSource ChooseReportSource(const MonitorMeasurement& last, std::uint32_t now, std::uint32_t emptyingsDone,
                                bool binReadable) noexcept;

enum class RefreshKind {
    kNever,   // a refresh interval of 0
    kNotDue,  // look again after waitMs
    kDue,     // measure now
};

struct RefreshDecision {
    RefreshKind kind = RefreshKind::kNever;
    std::uint32_t waitMs = 0;  // kNotDue only
    bool operator==(const RefreshDecision&) const = default;
};

// The report is measured again a whole refresh interval after the last one ended, never while one is
// still under way (the dialog looks again when it ends). The interval's milliseconds are clamped so
// that they never wrap.
RefreshDecision DecideRefresh(std::uint32_t intervalSeconds, bool measuring, std::uint32_t sinceLastMs) noexcept;

}  // namespace wastewatch
