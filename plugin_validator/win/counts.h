// The life-cycle check's counts of one moment, by resource.
#pragma once

#include <array>

#include "verdicts.h"

namespace qvcheck {

struct Counts {
    std::array<double, kResourceCount> values{};
    std::array<bool, kResourceCount> measured{};
};
Counts MeasureCounts();

}  // namespace qvcheck
