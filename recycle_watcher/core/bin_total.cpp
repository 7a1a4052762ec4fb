#include "bin_total.h"

#include <limits>

namespace wastewatch {

namespace {

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum < a ? std::numeric_limits<std::uint64_t>::max() : sum;
}

}  // namespace

void AddBatch(BinTotal& total, std::uint64_t fetched) {
    total.count = SaturatingAdd(total.count, fetched);
}

void AddItemData(BinTotal& total, bool readable, bool hasName, std::uint32_t sizeHigh, std::uint32_t sizeLow) {
    if (!readable || !hasName) return;
    ++total.describedItems;
    total.size = SaturatingAdd(total.size, (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow);
}

bool NeedsShellTotal(const BinTotal& total) {
    return total.count > 0 && total.describedItems == 0;
}

std::optional<BinCounts> FromShellQuery(bool answered, std::int64_t items, std::int64_t size) {
    if (!answered || items < 0 || size < 0) return std::nullopt;
    return BinCounts{static_cast<std::uint64_t>(items), static_cast<std::uint64_t>(size)};
}

}  // namespace wastewatch
