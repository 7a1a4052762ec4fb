// Helpers shared by the tests that drive the plug-ins under Wine through their exported entry points.
#pragma once

#include <windows.h>

#include <cstdint>
#include <algorithm>
#include <functional>
#include <stdexcept>
#include <initializer_list>
#include <set>
#include <string>

#include "plugin_loader.h"

namespace qvtest {

// A file next to the test program (the build puts every DLL and program in one folder).
std::string BesideProgram(const char* fileName);

// Loads a plug-in beside the test program; fails the current test (fatally) if it cannot.
qv::PluginLibrary LoadPlugin(const char* fileName);

// Dispatches this thread's messages for the given time.
void PumpFor(DWORD milliseconds);
// Dispatches messages until done() holds or the time runs out; returns whether done() held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds);

// Finds a visible top-level window of this process with exactly this caption, waiting for it to
// appear (for a message box or dialog shown by a call on another thread). Null on time-out.
HWND WaitForWindow(const char* caption, DWORD timeoutMilliseconds);

// Threads of this process, from a system snapshot.
std::size_t ThreadsOfThisProcess();
// Handles of this process: GetProcessHandleCount gives 0 under Wine, so this counts the handle
// values the system accepts.
std::size_t HandlesOfThisProcess();
// Identifiers of this process's threads, and one thread's CPU time (kernel plus user) in milliseconds.
std::set<DWORD> ThreadIdsOfThisProcess();
double ThreadCpuMilliseconds(HANDLE thread);

// Bytes of this process's address space reserved or committed (everything not free).
std::uint64_t AddressSpaceInUse();

// Calls a __stdcall function with 32-bit arguments and reports whether the stack pointer after the
// call is where it was before it (the callee removed exactly its own arguments).
struct CheckedCall {
    std::uint32_t result;
    bool stackBalanced;
};
CheckedCall CallStdcall(const void* function, std::initializer_list<std::uint32_t> arguments);

// A thread running a function, joined at the latest when the owner goes. Built on CreateThread so
// that the tests need nothing of the C++ runtime's threads library.
class Thread {
public:
    explicit Thread(std::function<void()> body);
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread() { join(); }
    bool joinable() const noexcept { return handle_ != nullptr; }
    void join() noexcept;

private:
    static DWORD WINAPI Main(void* self);
    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

template <typename T>
std::uint32_t Arg(T* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

}  // namespace qvtest
