#include "message_log.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace qvtest {

namespace {

std::string Name(UINT message) {
    switch (message) {
        case WM_DESTROY: return "WM_DESTROY";
        case WM_SETFOCUS: return "WM_SETFOCUS";
        case WM_HOTKEY: return "WM_HOTKEY";
        case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
        case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
        case WM_LBUTTONUP: return "WM_LBUTTONUP";
        case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
        default: break;
    }
    char text[32];
    if (message >= WM_APP && message < WM_APP + 0x100) std::snprintf(text, sizeof text, "WM_APP+%u", message - WM_APP);
    else std::snprintf(text, sizeof text, "0x%04x", message);
    return text;
}

std::string Row(const Expected& row) {
    char text[32];
    std::snprintf(text, sizeof text, row.wParam ? " 0x%x" : " *", row.wParam.value_or(0));
    std::string shown = Name(row.message) + text;
    std::snprintf(text, sizeof text, row.lParam ? " 0x%lx" : " *", static_cast<unsigned long>(row.lParam.value_or(0)));
    return shown + text;
}

bool Matches(const Message& got, const Expected& want) {
    return got.message == want.message && (!want.wParam || *want.wParam == got.wParam) &&
           (!want.lParam || *want.lParam == got.lParam);
}

}  // namespace

int MessageLog::Count(UINT message) const {
    return static_cast<int>(std::count_if(messages_.begin(), messages_.end(),
                                          [message](const Message& m) { return m.message == message; }));
}

::testing::AssertionResult SameSequence(const std::vector<Message>& recorded, const std::vector<Expected>& expected) {
    bool same = recorded.size() == expected.size();
    for (std::size_t i = 0; same && i < recorded.size(); ++i) same = Matches(recorded[i], expected[i]);
    if (same) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << "message sequences differ (* any parameter)\n";
    char line[160];
    std::snprintf(line, sizeof line, "  %-40s %s\n", "expected", "recorded");
    failure << line;
    for (std::size_t i = 0; i < std::max(recorded.size(), expected.size()); ++i) {
        const bool inRecorded = i < recorded.size(), inExpected = i < expected.size();
        const bool match = inRecorded && inExpected && Matches(recorded[i], expected[i]);
        const std::string got = inRecorded ? Row({recorded[i].message, recorded[i].wParam, recorded[i].lParam}) : "-";
        std::snprintf(line, sizeof line, "%c %-40s %s\n", match ? ' ' : '!',
                      inExpected ? Row(expected[i]).c_str() : "-", got.c_str());
        failure << line;
    }
    return failure;
}

}  // namespace qvtest
