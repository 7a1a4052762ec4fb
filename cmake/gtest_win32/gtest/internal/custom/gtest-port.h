// GoogleTest's platform hooks for the win32-threads mingw-w64 runtime, found ahead of the stock ones.
// That runtime (GCC 12) has no std::mutex or std::condition_variable, the only things GoogleTest's
// Windows build takes from them being the start signal of its own thread helper. Everything else of
// its thread support is built on Win32 already.
#pragma once

#include <atomic>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

// Lets a new thread wait until its creator says go. Only GoogleTest's own thread helper uses it,
// and never on a hot path, so a polling wait is enough.
class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }
    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) Sleep(1);
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing
