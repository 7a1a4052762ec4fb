#include "counts.h"

#include "process_counts.h"

namespace qvcheck {

Counts MeasureCounts() {
    Counts counts;
    const auto set = [&counts](Resource resource, double value, bool measured) {
        counts.values[static_cast<std::size_t>(resource)] = value;
        counts.measured[static_cast<std::size_t>(resource)] = measured;
    };
    const std::size_t threads = qv::SettledThreadCount();
    set(Resource::kThreads, static_cast<double>(threads), threads != SIZE_MAX);
    set(Resource::kHandles, static_cast<double>(qv::HandlesOfThisProcess()), true);
    // Indexes in use rise as free ones fall.
    set(Resource::kTlsIndexes, -static_cast<double>(qv::FreeTlsIndexes()), true);
    set(Resource::kHeapBytes, static_cast<double>(qv::HeapBytesInUse()), true);
    set(Resource::kAddressSpace, static_cast<double>(qv::AddressSpaceInUse()), true);
    set(Resource::kAtoms, static_cast<double>(qv::GlobalAtomsInUse()), true);
    // Wine answers 0 for both: no count rather than a count of nothing.
    const DWORD user = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    const DWORD gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    set(Resource::kUserObjects, user, user != 0);
    set(Resource::kGdiObjects, gdi, gdi != 0);
    return counts;
}

}  // namespace qvcheck
