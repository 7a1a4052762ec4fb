// The tour's script, the host's PNG writer and the calculator sample's arithmetic.
#include <gtest/gtest.h>

#include "calculator_core.h"
#include "desktop.h"
#include "png.h"
#include "records.h"
#include "tour.h"

namespace {

using qvhost::TourAction;

qvhost::Desktop DefaultDesktop() {
    return qvhost::ParseDesktop(qvhost::DefaultDesktopText(), "default").desktop;
}

TEST(HostTour, FirstRunConfiguresThenWalksTheBin) {
    std::string error;
    const auto steps = qvhost::BuildTour(DefaultDesktop(), qvhost::TourPhase::kFirstRun, error);
    ASSERT_FALSE(steps.empty()) << error;
    EXPECT_EQ(steps[0].action, TourAction::kConfigureHotkey);
    EXPECT_EQ(steps[1].action, TourAction::kConfigureBin);
    std::vector<std::string> states;
    bool pressed = false, shot = false;
    for (const auto& s : steps) {
        if (s.action == TourAction::kExpectState) states.push_back(s.text);
        pressed |= s.action == TourAction::kPressHotkey;
        shot |= s.action == TourAction::kScreenshot;
    }
    EXPECT_EQ(states, (std::vector<std::string>{"Holding files", "Warning", "Critical", "Empty"}));
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(shot);
    // Enough files for each limit, not more: 1 file under the warning limit, 3 past it, 5 past critical.
    std::uint32_t files = 0;
    for (const auto& s : steps) {
        if (s.action == TourAction::kDeleteFiles) files += s.count;
        if (s.action != TourAction::kExpectState) continue;
        const std::uint32_t bytes = files * qvhost::kTourFileSize;
        if (s.text == "Holding files") {
            EXPECT_LT(bytes, qvhost::kTourWarningLimit << 20);
        } else if (s.text == "Warning") {
            EXPECT_GE(bytes, qvhost::kTourWarningLimit << 20);
            EXPECT_LT(bytes, qvhost::kTourCriticalLimit << 20);
        } else if (s.text == "Critical") {
            EXPECT_GE(bytes, qvhost::kTourCriticalLimit << 20);
        }
    }
}

TEST(HostTour, ReopenedRunChecksRestoredRecordsFirst) {
    std::string error;
    const auto steps = qvhost::BuildTour(DefaultDesktop(), qvhost::TourPhase::kReopened, error);
    ASSERT_FALSE(steps.empty()) << error;
    EXPECT_EQ(steps[0].action, TourAction::kExpectRestored);
    EXPECT_EQ(steps.back().action, TourAction::kExpectState);
    EXPECT_EQ(steps.back().text, "Empty");
}

TEST(HostTour, UnfitDesktopRefusedWithAReason) {
    std::string error;
    auto desktop = DefaultDesktop();
    desktop.objects.erase(desktop.objects.begin());  // the bin
    EXPECT_TRUE(qvhost::BuildTour(desktop, qvhost::TourPhase::kFirstRun, error).empty());
    EXPECT_NE(error.find("Wastewatch.dll"), std::string::npos) << error;
    desktop = DefaultDesktop();
    desktop.objects[0].messages.pop_back();
    EXPECT_TRUE(qvhost::BuildTour(desktop, qvhost::TourPhase::kFirstRun, error).empty());
    EXPECT_NE(error.find("8750396"), std::string::npos) << error;
}

TEST(HostPng, WritesSignatureHeaderAndChunkChecksums) {
    const std::vector<std::uint8_t> rgb(2 * 3 * 3, 0x80);
    const auto png = qvhost::EncodePng(2, 3, rgb);
    ASSERT_GT(png.size(), 8u + 25u);
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin(), png.begin() + 8),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_EQ(png[19], 2u);  // width, big-endian
    EXPECT_EQ(png[23], 3u);  // height
    const std::uint32_t crc = qvhost::Crc32(png.data() + 12, 17);
    EXPECT_EQ(png[29], crc >> 24);
    EXPECT_EQ(png[32], crc & 0xFF);
    EXPECT_TRUE(qvhost::EncodePng(2, 2, rgb).empty());  // sizes that do not match the pixels
}

TEST(CalculatorSample, KeysGiveTheDisplayAPocketCalculatorShows) {
    struct Case {
        const char* keys;
        const char* display;
    };
    const Case cases[] = {
        {"12+3=", "15"},
        {"7", "7"},
        {"12+3=C", "0"},
        {"9-12=", "-3"},
        {"6*7=", "42"},
        {"7/2=", "3"},
        {"1/0=", "Error"},
        {"1/0=5", "Error"},
        {"1/0=C5", "5"},
        {"2+3+4=", "9"},
        {"0007", "7"},
        {"999999999999*9=", "Error"},
        {"1234567890123", "123456789012"},
        {"5x", "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        calculator::Calculator calc;
        for (const char* k = c.keys; *k != '\0'; ++k) calc.Press(static_cast<unsigned char>(*k));
        EXPECT_EQ(calc.Display(), c.display);
    }
}

}  // namespace
