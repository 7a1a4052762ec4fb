// Counts the items of the recycle bin (all local bins, through the shell's bin folder) and their size.
#pragma once

#include <atomic>
#include <cstdint>

namespace wastewatch {

struct BinMeasurement {
    std::uint64_t count;
    std::uint64_t size;  // bytes
};

// No state; runs on any thread in whatever COM state it has. Failures give what was counted so far
// (zeros when the walk could not start).
BinMeasurement MeasureBin() noexcept;

// The same walk, given up between its steps once abandon holds (the result is then partial).
BinMeasurement MeasureBin(const std::atomic<bool>& abandon) noexcept;

// The shell's own count and size of all bins, in one query; the walk only when the shell cannot
// tell (FromShellQuery decides). The query costs no more than the walk, counts what deleted folders
// hold, and on a shell whose bin items describe nothing about themselves it is the only source of
// the size: the monitor and the properties dialog both measure with this, so they never disagree.
BinMeasurement MeasureBinTotals(const std::atomic<bool>& abandon) noexcept;
BinMeasurement MeasureBinTotals() noexcept;

}  // namespace wastewatch
