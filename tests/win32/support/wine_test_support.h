// Helpers shared by the tests that drive the plug-ins under Wine through their exported entry points.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "desktop_input.h"
#include "plugin_loader.h"

namespace qvtest {

// A file next to the test program (the build puts every DLL and program in one folder).
std::string BesideProgram(const char* fileName);

// A program beside the test program, started with these arguments and its output going to outputPath;
// whileRunning may act on it before it is waited for. One that runs past timeoutMilliseconds is ended
// and fails the test. The output file is read and removed.
struct ProgramRun {
    DWORD exitCode = 0xDEADBEEF;
    std::string output;
};
ProgramRun RunBeside(const char* program, const std::string& arguments, const std::string& outputPath,
                     const std::function<void()>& whileRunning, DWORD timeoutMilliseconds);

// A whole file as it is now; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Loads a plug-in beside the test program; fails the current test (fatally) if it cannot.
qv::PluginLibrary LoadPlugin(const char* fileName);

// An exported function of a loaded module by its name, as the type it is called through; null if missing.
template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A window of the given class, which is registered with this procedure if it does not exist yet.
HWND WindowOfClass(const char* className, WNDPROC procedure, const char* title, DWORD style, int x, int y, int width,
                   int height);

// Whether nobody holds this hotkey combination: it can be registered (and is released again at once).
bool CombinationFree(UINT modifiers, UINT key);

// The performance counter in milliseconds, and the median and the worst of a set of timings (0 if empty).
double NowMs();
double Median(std::vector<double> values);
double Worst(const std::vector<double>& values);

// Dispatches this thread's messages for the given time.
void PumpFor(DWORD milliseconds);
// Dispatches messages until done() holds or the time runs out; returns whether done() held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds);

// Key presses and windows found by caption, as the tour uses them.
using qv::PressCombination;
using qv::WaitForWindow;
using qv::WindowsWithCaption;

// Whether the module is unmapped within the time. A plug-in may keep itself mapped for a moment after
// the host's FreeLibrary: a thread of its own holding a reference while it leaves, a call through its
// window procedure still returning.
bool ModuleGoneWithin(const char* module, DWORD timeoutMilliseconds);

// Runs the current test again, alone, in a child process of this same program, so that a crash or a
// hang of the scenario fails this test and not the whole run. In the parent it waits for the child,
// fails the test unless the child exits with 0 (a crash shows as its exception code) and returns true:
// the test then returns at once. In the child it returns false and the test body runs there.
bool RanInChildProcess(DWORD timeoutMilliseconds = 60000);

// Threads of this process, from a system snapshot.
std::size_t ThreadsOfThisProcess();
// The same once it holds still for 20 ms (at most 2 s): a thread that has just unmapped a library on
// its way out is still counted for a moment after the library is gone.
std::size_t SettledThreadCount();
// Handles of this process: GetProcessHandleCount gives 0 under Wine, so this counts the handle
// values the system accepts.
std::size_t HandlesOfThisProcess();
// TLS indexes still free in this process: takes every one left, counts them and gives them back.
std::size_t FreeTlsIndexes();
// Bytes of this process's address space that are reserved or committed (a VirtualQuery walk).
std::uint64_t AddressSpaceInUse();

// What a plug-in could wear down in the host's process, measured at one moment.
struct ProcessResources {
    std::size_t freeTlsIndexes;
    std::size_t handles;
    std::size_t threads;
    std::uint64_t addressSpaceBytes;
    std::uint64_t heapBytes;  // in use in all of the process's heaps
};
ProcessResources MeasureProcessResources();
std::uint64_t HeapBytesInUse();
// Identifiers of this process's threads, and one thread's CPU time (kernel plus user) in milliseconds.
std::set<DWORD> ThreadIdsOfThisProcess();
double ThreadCpuMilliseconds(HANDLE thread);

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

// A window of a registered class, created on a thread of its own that dispatches its messages (sent
// ones included) until the owner goes; the window is destroyed on that thread.
class WindowThread {
public:
    explicit WindowThread(const char* className);
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    HWND window() const noexcept { return window_; }

private:
    HANDLE ready_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    Thread thread_;  // last: started once the rest is in place
};

// While it lives, a thread closes (WM_CLOSE) every visible top-level window of this process with one
// of the given captions: dialogs and message boxes that a call opens and nobody is to read.
class WindowCloser {
public:
    explicit WindowCloser(std::vector<std::string> captions);
    ~WindowCloser() { stop_ = true; }

private:
    std::vector<std::string> captions_;
    std::atomic<bool> stop_{false};
    Thread thread_;  // last: joined before the rest goes
};

template <typename T>
std::uint32_t Arg(T* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

}  // namespace qvtest
