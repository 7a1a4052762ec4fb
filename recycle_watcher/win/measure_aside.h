// A measurement of the bin taken on a thread of its own while the calling thread keeps dispatching
// its messages: a drive's removal asked for meanwhile is answered at once, not after the measurement.
#pragma once

#include <atomic>

#include "bin_measurement.h"

namespace wastewatch {

// Returns once the measurement has ended (given up early once abandon holds). Measures on the calling
// thread when no thread can be started.
BinMeasurement MeasureAside(const std::atomic<bool>& abandon) noexcept;

}  // namespace wastewatch
