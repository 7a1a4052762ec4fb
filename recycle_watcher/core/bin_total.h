// Adds up the bin walk: items counted per batch, sizes per item, and the rule for when the walk's
// own sizes cannot be trusted as the bin's total.
#pragma once

#include <cstdint>
#include <optional>

namespace wastewatch {

struct BinTotal {
    std::uint64_t count = 0;
    std::uint64_t size = 0;  // sum of the sizes of the items that described themselves
    std::uint64_t describedItems = 0;
};

// A batch of items fetched from the enumerator, all counted whatever else is known of them.
void AddBatch(BinTotal& total, std::uint64_t fetched);

// One item's find data. An item describes itself when its data could be read and names a file:
// a real item always has a name, so all-empty data (what some shells give for bin items) says
// nothing about its size. The size is the full 64 bits.
void AddItemData(BinTotal& total, bool readable, bool hasName, std::uint32_t sizeHigh, std::uint32_t sizeLow);

// True when the walk found items but none described itself: then the bin's size is to come from the
// shell's own bin query instead.
bool NeedsShellTotal(const BinTotal& total);

// The bin's count and size as the monitor and the properties dialog both take them: the shell's
// query of all bins when it answers with sane numbers (true 64-bit sizes, deleted folders counted
// with what they hold); nothing when it does not, and then the caller walks the bin instead.
struct BinCounts {
    std::uint64_t count = 0;
    std::uint64_t size = 0;
};
std::optional<BinCounts> FromShellQuery(bool answered, std::int64_t items, std::int64_t size);

}  // namespace wastewatch
