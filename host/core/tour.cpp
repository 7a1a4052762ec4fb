#include "tour.h"

#include <algorithm>

namespace qvhost {

namespace {

constexpr std::uint32_t kEmpty = 8750393, kHolding = 8750394, kCritical = 8750395, kWarning = 8750396;

const DesktopObject* FindByPlugin(const Desktop& desktop, std::string_view plugin) {
    for (const DesktopObject& o : desktop.objects) {
        if (LibraryKey(o.plugin) == LibraryKey(plugin)) return &o;
    }
    return nullptr;
}

const DesktopObject* FindKey(const Desktop& desktop, char key) {
    for (const DesktopObject& o : desktop.objects) {
        if (IsCustomClass(o.objectClass) && LibraryKey(o.plugin) == "hotrelay2.dll" &&
            LibraryKey(o.param1) == "calculator.dll(key)" && o.param2 == static_cast<unsigned char>(key))
            return &o;
    }
    return nullptr;
}

}  // namespace

std::vector<TourStep> BuildTour(const Desktop& desktop, TourPhase phase, std::string& error) {
    const DesktopObject* bin = FindByPlugin(desktop, "Wastewatch.dll");
    const DesktopObject* display = FindByPlugin(desktop, "Calculator.dll");
    if (bin == nullptr || !IsCustomClass(bin->objectClass)) {
        error = "the tour needs an object of class custom using Wastewatch.dll";
        return {};
    }
    const char* const stateNames[] = {"empty", "holding", "critical", "warning"};
    std::string states[4];
    for (std::uint32_t i = 0; i < 4; ++i) {
        const auto state = StateForCode(*bin, kEmpty + i);
        if (!state) {
            error = "the tour needs the " + std::string(stateNames[i]) + " code " + std::to_string(kEmpty + i) +
                    " in the list of \"" + bin->caption + "\"";
            return {};
        }
        states[i] = std::string(*state);
    }
    // What the bin object shows for one of Wastewatch's codes.
    const auto shows = [&states](std::uint32_t code) { return states[code - kEmpty]; };
    if (display == nullptr) {
        error = "the tour needs a display object using Calculator.dll";
        return {};
    }
    const DesktopObject* keys[7] = {};
    const char keyChars[] = "1237+=C";
    for (int i = 0; i < 7; ++i) {
        keys[i] = FindKey(desktop, keyChars[i]);
        if (keys[i] == nullptr) {
            error = std::string("the tour needs a calculator button for \"") + keyChars[i] +
                    "\" relaying through Hotrelay2.dll to Calculator.dll(Key)";
            return {};
        }
    }
    const auto key = [&](char c) { return keys[std::find(keyChars, keyChars + 7, c) - keyChars]->id; };
    const std::int32_t clear = key('C');

    std::vector<TourStep> steps;
    const auto add = [&](TourAction action, std::int32_t id, std::uint32_t count = 0, std::string text = {}) {
        steps.push_back(TourStep{action, id, count, std::move(text)});
    };
    if (phase == TourPhase::kFirstRun) {
        add(TourAction::kConfigureHotkey, clear, 0, kTourHotkeyName);
        add(TourAction::kConfigureBin, bin->id);
        for (char c : std::string("12+3=")) add(TourAction::kClick, key(c));
        add(TourAction::kExpectCaption, display->id, 0, "15");
        add(TourAction::kDeleteFiles, 0, 1);
        add(TourAction::kExpectState, bin->id, 0, shows(kHolding));
        add(TourAction::kDeleteFiles, 0, 2);  // 1.5 MB: past the warning limit
        add(TourAction::kExpectState, bin->id, 0, shows(kWarning));
        add(TourAction::kDeleteFiles, 0, 2);  // 2.5 MB: past the critical limit
        add(TourAction::kExpectState, bin->id, 0, shows(kCritical));
        add(TourAction::kScreenshot, 0, 0, kTourScreenshot);
        add(TourAction::kClick, bin->id);
        add(TourAction::kExpectState, bin->id, 0, shows(kEmpty));
        add(TourAction::kPressHotkey, clear, 0, kTourHotkeyName);
        add(TourAction::kExpectCaption, display->id, 0, "0");
    } else {
        // The settings and the bound hotkey came back with the records: the defaults have no
        // hotkey and no limits, so the press and the critical state prove it.
        add(TourAction::kExpectRestored, 0);
        add(TourAction::kClick, key('7'));
        add(TourAction::kExpectCaption, display->id, 0, "7");
        add(TourAction::kPressHotkey, clear, 0, kTourHotkeyName);
        add(TourAction::kExpectCaption, display->id, 0, "0");
        add(TourAction::kDeleteFiles, 0, 5);
        add(TourAction::kExpectState, bin->id, 0, shows(kCritical));
        add(TourAction::kClick, bin->id);
        add(TourAction::kExpectState, bin->id, 0, shows(kEmpty));
    }
    return steps;
}

std::string DescribeStep(const TourStep& step, const Desktop& desktop) {
    std::string name = "object " + std::to_string(step.objectId);
    for (const DesktopObject& o : desktop.objects) {
        if (o.id == step.objectId) name = "\"" + o.caption + "\"";
    }
    switch (step.action) {
        case TourAction::kConfigureHotkey: return "Properties... of " + name + ": bind " + step.text + ", single click";
        case TourAction::kConfigureBin:
            return "Properties... of " + name + ": check every " + std::to_string(kTourCheckInterval) +
                   " s, warning at " + std::to_string(kTourWarningLimit) + " MB, critical at " +
                   std::to_string(kTourCriticalLimit) + " MB";
        case TourAction::kExpectRestored: return "every record restored from the records file";
        case TourAction::kClick: return "click " + name;
        case TourAction::kPressHotkey: return "press " + step.text + " (bound to " + name + ")";
        case TourAction::kExpectCaption: return name + " shows \"" + step.text + "\"";
        case TourAction::kDeleteFiles:
            return "delete " + std::to_string(step.count) + " file(s) of " + std::to_string(kTourFileSize / 1024) +
                   " KiB into the recycle bin";
        case TourAction::kExpectState: return name + " shows state \"" + step.text + "\"";
        case TourAction::kScreenshot: return "screenshot of the host window";
    }
    return {};
}

}  // namespace qvhost
