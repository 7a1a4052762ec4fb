// The host's main window as the plug-ins look for it: class and caption "QVmain", on the thread that
// makes it (whose message loop delivers what is posted to it). It records every notification, so that
// a test can ask what reached the host.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "qv_contract.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace qvtest {

// A notification as the host gets it: its code (wParam) and the object's id (lParam).
using Notification = std::pair<std::uint32_t, std::int32_t>;

class FakeMainWindow {
public:
    FakeMainWindow()
        : window_(WindowOfClass(qv::kMainWindowClass, Procedure, qv::kMainWindowName, WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                100)) {}
    HWND get() const noexcept { return window_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(window_); }

    // What every fake main window of this process got, oldest first; the test clears it as it likes.
    static std::vector<Notification>& Received() {
        static std::vector<Notification> received;
        return received;
    }
    // Fails when a window "QVmain" is already on the desktop: the plug-ins would post to that one.
    static ::testing::AssertionResult NoneOnDesktop() {
        if (::FindWindowA(qv::kMainWindowClass, qv::kMainWindowName) == nullptr) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "another window QVmain exists on this desktop";
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != qv::kNotifyMessage) return ::DefWindowProcA(window, message, wParam, lParam);
        Received().emplace_back(static_cast<std::uint32_t>(wParam), static_cast<std::int32_t>(lParam));
        return 0;
    }

    qv::UniqueWindow window_;
};

}  // namespace qvtest
