// The background thread that measures the bin and notifies the watched objects.
#pragma once

namespace wastewatch {

// From QVInit, outside the loader lock: makes sure a thread runs for the watched objects, creating
// one (and waiting until it runs) when none does. False when the watch is refused because no thread
// could be created: then nothing would ever be measured.
bool EnsureMonitorRunning() noexcept;

// From the last QVUninit, outside the loader lock: the thread is told to go and given its own
// reference on the library, so that it leaves by itself whatever it is doing, without anyone waiting
// for it. Returns at once.
void ReleaseMonitor() noexcept;

// At library detach. On an unload that came without the last QVUninit it ends the thread promptly
// and makes sure no code of this library runs on it afterwards; at process exit the thread is already
// gone and nothing is waited for.
void StopMonitor(bool processExiting) noexcept;

// The check interval in force has changed: a sleep under way starts again with the new one.
void RetimeMonitor() noexcept;

}  // namespace wastewatch
