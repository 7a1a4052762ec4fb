#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fill_report.h"
#include "levels.h"

namespace {

using wastewatch::FormatFillReport;
using wastewatch::kFillReportCapacity;
using wastewatch::kFillReportFormat;

std::string Report(std::string_view format, double mb, std::uint32_t count, std::int32_t critical,
                   std::int32_t warning) {
    const auto text = FormatFillReport(format, mb, count, critical, warning);
    const void* nul = std::memchr(text.data(), '\0', text.size());
    EXPECT_NE(nul, nullptr) << "report is not NUL-terminated";
    return nul != nullptr ? std::string(text.data()) : std::string(text.data(), text.size());
}

std::string Expected(const char* mb, const char* count, const char* critical, const char* warning) {
    return std::string("All local bins are currently holding ") + mb + " megabytes of data in " + count +
           " object(s), which is " + critical + " percent of your critical limit and " + warning +
           " percent of your warning limit.";
}

TEST(FillReport, FormatIsTheResourceText) {
    EXPECT_STREQ(kFillReportFormat,
                 "All local bins are currently holding %g megabytes of data in %i object(s), which is %i percent "
                 "of your critical limit and %i percent of your warning limit.");
    EXPECT_LT(std::strlen(kFillReportFormat), kFillReportCapacity);
}

TEST(FillReport, FillsTheResourceFormat) {
    struct Case {
        double mb;
        std::uint32_t count;
        std::int32_t critical, warning;
        std::string expected;
    };
    const Case cases[] = {
        {0.0, 0, 0, 0, Expected("0", "0", "0", "0")},
        {3.0, 1, 0, 50, Expected("3", "1", "0", "50")},
        {1.5, 2, 150, 25, Expected("1.5", "2", "150", "25")},
        {0.000123, 7, 0, 0, Expected("0.000123", "7", "0", "0")},
        {1234567.0, 10, 1, 2, Expected("1.23457e+06", "10", "1", "2")},
        {8796093022208.0, 25, 2147483647, 2147483647, Expected("8.79609e+12", "25", "2147483647", "2147483647")},
        {1.0, 4294967295u, -2147483647 - 1, -1, Expected("1", "4294967295", "-2147483648", "-1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(Report(kFillReportFormat, c.mb, c.count, c.critical, c.warning), c.expected);
    }
}

// The dialog's path from a measurement to the text: megabytes and both percents from the size.
TEST(FillReport, FromMeasurementAgainstTheLimits) {
    struct Case {
        std::uint64_t count, sizeBytes;
        std::uint32_t criticalLimit, warningLimit;
        std::string expected;
    };
    const Case cases[] = {
        {0, 0, 0, 0, Expected("0", "0", "0", "0")},
        {0, 0, 100, 100, Expected("0", "0", "0", "0")},
        {1, 3ull << 20, 0, 6, Expected("3", "1", "0", "50")},
        {2, 3ull << 19, 1, 6, Expected("1.5", "2", "150", "25")},
        {1, 1ull << 20, 1, 1, Expected("1", "1", "100", "100")},
        {1, (1ull << 20) - 1, 1, 0, Expected("0.999999", "1", "99", "0")},
        {0x100000003ull, 5ull << 30, 4096, 10240, Expected("5120", "3", "125", "50")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const double mb = wastewatch::Megabytes(c.sizeBytes);
        EXPECT_EQ(Report(kFillReportFormat, mb, static_cast<std::uint32_t>(c.count),
                         wastewatch::LimitPercent(mb, c.criticalLimit), wastewatch::LimitPercent(mb, c.warningLimit)),
                  c.expected);
    }
}

TEST(FillReport, CopiesDirectivesItCannotFillAsText) {
    struct Case {
        const char* format;
        const char* expected;
    };
    const Case cases[] = {
        {"", ""},
        {"no directives", "no directives"},
        {"100%% full", "100% full"},
        {"%g|%i|%i|%i", "2.5|3|40|50"},
        {"%.2f MB, %05i items, %+d, %x", "2.50 MB, 00003 items, +40, 32"},
        {"%-4g|", "2.5 |"},
        {"%s %g", "%s 2.5"},
        {"%n%g", "%n2.5"},
        {"%i %g %i", "%i 2.5 3"},
        {"%g %g", "2.5 %g"},
        {"%g %i %i %i %i", "2.5 3 40 50 %i"},
        {"%*g", "%*g"},
        {"%.*g", "%.*g"},
        {"%lg %li", "%lg %li"},
        {"%256g", "%256g"},
        {"%1.256g", "%1.256g"},
        {"%p %c", "%p %c"},
        {"end %", "end %"},
        {"end %5", "end %5"},
        {"%-", "%-"},
        // Written at any length, a directive means what its shortest spelling means.
        {"%--------------------------------4g|", "2.5 |"},
        {"%.0000000000000000000000000000002f", "2.50"},
        {"%+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-g %0-0-0-0-0-0-0-0-0-0-0-0-3i|", "+2.5 3  |"},
        {"%g %5.i|", "2.5     3|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(Report(c.format, 2.5, 3, 40, 50), c.expected);
    }
}

TEST(FillReport, CountFormatsAsUnsigned) {
    EXPECT_EQ(Report("%g %d", 0.0, 3000000000u, 0, 0), "0 3000000000");
    EXPECT_EQ(Report("%g %i", 0.0, 3000000000u, 0, 0), "0 3000000000");
    EXPECT_EQ(Report("%g %X", 0.0, 0xdeadbeefu, 0, 0), "0 DEADBEEF");
}

TEST(FillReport, LongFormatIsCutAtCapacity) {
    const std::string longText(400, 'x');
    const std::string report = Report(longText, 0.0, 0, 0, 0);
    EXPECT_EQ(report, std::string(kFillReportCapacity - 1, 'x'));
}

TEST(FillReport, WideFieldsAreCutAtCapacity) {
    const std::string format = "%255g%255i";
    const std::string report = Report(format, 1.0, 2, 0, 0);
    EXPECT_EQ(report, std::string(kFillReportCapacity - 2, ' ') + "1");
}

}  // namespace
