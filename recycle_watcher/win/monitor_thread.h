// The background thread that measures the bin and notifies the watched objects.
#pragma once

namespace wastewatch {

// At library attach: prepares what the thread and its stop need. The thread itself is not created
// here (see EnsureMonitorRunning).
void PrepareMonitor() noexcept;

// From QVInit, outside the loader lock: creates the thread the first time and waits until it runs.
void EnsureMonitorRunning() noexcept;

// At library detach. On unload it stops the thread promptly and makes sure no code of this library
// runs on it afterwards; at process exit the thread is already gone and nothing is waited for.
void StopMonitor(bool processExiting) noexcept;

// From the last QVUninit, outside the loader lock: nothing is watched any more, so a measurement
// under way is abandoned at its next step, and waited for. A shell call cannot be interrupted, and
// the unload that follows must find the thread idle: ending a thread inside a shell call can leave
// the system's locks held for good.
void SettleMonitor() noexcept;

// The check interval in force has changed: a sleep under way starts again with the new one.
void RetimeMonitor() noexcept;

}  // namespace wastewatch
