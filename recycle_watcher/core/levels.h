// How full the bin is against an object's limits, and which notification code that gives.
#pragma once

#include <cstdint>

#include "watch_record.h"

namespace wastewatch {

// wParam of the host's notification message; lParam is the object identifier.
inline constexpr std::uint32_t kCodeEmptied = 8750393;   // the bin has become empty
inline constexpr std::uint32_t kCodeFilled = 8750394;    // became non-empty; also the routine level report
inline constexpr std::uint32_t kCodeCritical = 8750395;  // critical limit reached, critical notification on
inline constexpr std::uint32_t kCodeWarning = 8750396;   // warning limit reached (and no enabled critical one)

// The bin's size in megabytes of 2^20 bytes; the size is read as a signed 64-bit number.
double Megabytes(std::uint64_t sizeBytes);

// Whole percent (truncated toward zero) of the limit that the size takes up; 0 when the limit is 0.
// Clamped into the int32 range, so no size or limit gives an out-of-range conversion.
std::int32_t LimitPercent(double megabytes, std::uint32_t limitMb);

// The state report for a bin that has just become empty or non-empty.
std::uint32_t StateCode(bool binNonEmpty);

// The level report of one watched object for a non-empty bin of this size.
std::uint32_t LevelCode(double megabytes, const WatchRecord& record);

}  // namespace wastewatch
