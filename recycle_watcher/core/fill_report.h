// The one-sentence report of how full the bin is, shown at the top of the properties dialog.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wastewatch {

// Both the loaded format and the formatted report live in buffers of this many characters,
// terminating NUL included.
inline constexpr std::size_t kFillReportCapacity = 256;

// The text of string resource 1; used when the resource cannot be loaded.
inline constexpr char kFillReportFormat[] =
    "All local bins are currently holding %g megabytes of data in %i object(s), which is %i percent of "
    "your critical limit and %i percent of your warning limit.";

using FillReportText = std::array<char, kFillReportCapacity>;

// Formats the report from a printf-style format taking, in this order, the size in megabytes, the
// item count and the critical and warning percents. The format comes from the library's resources,
// so it is never handed to printf as it stands: each directive is checked against the argument it
// would consume (a floating conversion for the megabytes, an integer conversion for the others),
// and a directive that does not fit, or has no argument left, is copied as plain text. The result
// is always NUL-terminated and cut at kFillReportCapacity - 1 characters.
FillReportText FormatFillReport(std::string_view format, double megabytes, std::uint32_t itemCount,
                                std::int32_t criticalPercent, std::int32_t warningPercent) noexcept;

}  // namespace wastewatch
