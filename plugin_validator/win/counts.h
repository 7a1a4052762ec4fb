// What a plug-in could wear down in its host's process, counted the ways the platform allows.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "verdicts.h"

namespace qvcheck {

// Threads of this process from a system snapshot; nothing (SIZE_MAX) when no snapshot could be made.
std::size_t ThreadsOfThisProcess();
// The same once it holds still for 20 ms (at most 2 s): a thread that has just unmapped a library on
// its way out is still counted for a moment.
std::size_t SettledThreadCount();
// GetProcessHandleCount gives 0 under Wine: then the handle values the system accepts are counted.
std::size_t HandlesOfThisProcess();
std::size_t FreeTlsIndexes();
std::uint64_t AddressSpaceInUse();
std::uint64_t HeapBytesInUse();
std::size_t GlobalAtomsInUse();

struct Counts {
    std::array<double, kResourceCount> values{};
    std::array<bool, kResourceCount> measured{};
};
Counts MeasureCounts();

}  // namespace qvcheck
