// The background thread that measures the bin and notifies the watched objects.
#pragma once

namespace wastewatch {

// At library attach: creates the thread (attach succeeds whether or not that works).
void StartMonitor() noexcept;

// At library detach. On unload it stops the thread promptly and makes sure no code of this library
// runs on it afterwards; at process exit the thread is already gone and nothing is waited for.
void StopMonitor(bool processExiting) noexcept;

// The check interval in force has changed: a sleep under way starts again with the new one.
void RetimeMonitor() noexcept;

}  // namespace wastewatch
