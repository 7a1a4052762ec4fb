#include "wine_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "process_counts.h"
#include "win32_owner.h"

namespace qvtest {

std::string BesideProgram(const char* fileName) {
    char path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.erase(folder.find_last_of("\\/") + 1);
    return folder + fileName;
}

qv::PluginLibrary LoadPlugin(const char* fileName) {
    std::string error;
    auto library = qv::PluginLibrary::Load(BesideProgram(fileName), error);
    if (!library) {
        ADD_FAILURE() << error;
        throw std::runtime_error(error);  // ends the test; gtest reports it
    }
    return std::move(*library);
}

HWND WindowOfClass(const char* className, WNDPROC procedure, const char* title, DWORD style, int x, int y, int width,
                   int height) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    ::RegisterClassA(&windowClass);  // fails harmlessly once the class exists
    return ::CreateWindowExA(0, className, title, style, x, y, width, height, nullptr, nullptr, windowClass.hInstance,
                             nullptr);
}

bool CombinationFree(UINT modifiers, UINT key) {
    if (!::RegisterHotKey(nullptr, 0x3FFF, modifiers, key)) return false;
    ::UnregisterHotKey(nullptr, 0x3FFF);
    return true;
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

double Worst(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done()) return true;
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMilliseconds) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeoutMilliseconds - elapsed), QS_ALLINPUT);
    }
}

bool ModuleGoneWithin(const char* module, DWORD timeoutMilliseconds) {
    for (DWORD start = ::GetTickCount(); ::GetModuleHandleA(module) != nullptr; ::Sleep(1)) {
        if (::GetTickCount() - start > timeoutMilliseconds) return false;
    }
    return true;
}

namespace {

constexpr char kChildFlag[] = "--qvtest-child=";

// In the child: sets the parent's event once the test has ended and passed. A process can end with
// exit code 0 without finishing its test (Wine ends one whose stack overflowed that way), so the exit
// code alone proves nothing.
class PassSignal : public ::testing::EmptyTestEventListener {
public:
    explicit PassSignal(HANDLE event) : event_(event) {}
    void OnTestEnd(const ::testing::TestInfo& test) override {
        if (test.result()->Passed()) ::SetEvent(event_);
    }

private:
    HANDLE event_;
};

}  // namespace

ProgramRun RunBeside(const char* program, const std::string& arguments, const std::string& outputPath,
                     const std::function<void()>& whileRunning, DWORD timeoutMilliseconds) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    qv::UniqueFile output(::CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        ADD_FAILURE() << "cannot create " << outputPath << ": error " << ::GetLastError();
        return run;
    }
    const std::string path = BesideProgram(program);
    std::string command = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        ADD_FAILURE() << "cannot start " << command << ": error " << ::GetLastError();
        return run;
    }
    qv::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    whileRunning();
    if (::WaitForSingleObject(process.hProcess, timeoutMilliseconds) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 99);
        ::WaitForSingleObject(process.hProcess, 5000);
        ADD_FAILURE() << command << " did not end within " << timeoutMilliseconds << " ms";
    }
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    output.reset();
    run.output = ReadWholeFile(outputPath);
    ::DeleteFileA(outputPath.c_str());
    return run;
}

std::string ReadWholeFile(const std::string& path) {
    std::string text;
    const qv::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

bool RanInChildProcess(DWORD timeoutMilliseconds) {
    const std::string ownCommandLine = ::GetCommandLineA();
    if (const auto flag = ownCommandLine.find(kChildFlag); flag != std::string::npos) {
        const auto value = std::strtoul(ownCommandLine.c_str() + flag + sizeof kChildFlag - 1, nullptr, 10);
        ::testing::UnitTest::GetInstance()->listeners().Append(new PassSignal(reinterpret_cast<HANDLE>(value)));
        return false;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    qv::UniqueHandle passed(::CreateEventA(&inheritable, TRUE, FALSE, nullptr));
    if (!passed) {
        ADD_FAILURE() << "cannot create the child's pass event: error " << ::GetLastError();
        return true;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    char program[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string commandLine = std::string("\"") + program + "\" --gtest_filter=" + test->test_suite_name() + "." +
                              test->name() + " " + kChildFlag +
                              std::to_string(reinterpret_cast<std::uintptr_t>(passed.get()));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::fflush(stdout);
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        ADD_FAILURE() << "cannot start the child process: error " << ::GetLastError();
        return true;
    }
    qv::UniqueHandle processHandle(process.hProcess);
    qv::UniqueHandle threadHandle(process.hThread);
    // Messages are dispatched meanwhile: the child's windows send activation messages to this one's.
    const HANDLE child = processHandle.get();
    if (!PumpUntil([child] { return ::WaitForSingleObject(child, 0) == WAIT_OBJECT_0; }, timeoutMilliseconds)) {
        ::TerminateProcess(processHandle.get(), 0xDEAD);
        ::WaitForSingleObject(processHandle.get(), 5000);
        ADD_FAILURE() << "the scenario did not end within " << timeoutMilliseconds << " ms";
        return true;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    const bool finished = ::WaitForSingleObject(passed.get(), 0) == WAIT_OBJECT_0;
    EXPECT_TRUE(exitCode == 0 && finished) << "the scenario's process ended with 0x" << std::hex << exitCode
                                           << (exitCode >= 0xC0000000u ? " (it crashed)"
                                               : finished              ? ""
                                                                       : " before its test passed (see above)");
    return true;
}

WindowCloser::WindowCloser(std::vector<std::string> captions)
    : captions_(std::move(captions)), thread_([this] {
          while (!stop_) {
              for (const std::string& caption : captions_) {
                  for (HWND window : WindowsWithCaption(caption.c_str())) ::PostMessageA(window, WM_CLOSE, 0, 0);
              }
              ::Sleep(20);
          }
      }) {}

std::size_t ThreadsOfThisProcess() {
    const std::size_t threads = qv::ThreadsOfThisProcess();
    if (threads != SIZE_MAX) return threads;
    ADD_FAILURE() << "no thread snapshot, error " << ::GetLastError();
    return 0;
}

std::size_t SettledThreadCount() {
    return qv::SettledThreadCount();
}

std::size_t HandlesOfThisProcess() {
    return qv::HandlesOfThisProcess();
}

std::size_t FreeTlsIndexes() {
    return qv::FreeTlsIndexes();
}

std::set<DWORD> ThreadIdsOfThisProcess() {
    return qv::ThreadIdsOfThisProcess();
}

double ThreadCpuMilliseconds(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

std::uint64_t AddressSpaceInUse() {
    return qv::AddressSpaceInUse();
}

std::uint64_t HeapBytesInUse() {
    return qv::HeapBytesInUse();
}

ProcessResources MeasureProcessResources() {
    ProcessResources resources{};
    resources.freeTlsIndexes = FreeTlsIndexes();
    resources.handles = HandlesOfThisProcess();
    resources.threads = SettledThreadCount();
    resources.addressSpaceBytes = AddressSpaceInUse();
    resources.heapBytes = HeapBytesInUse();
    return resources;
}

CheckedCall CallStdcall(const void* function, std::initializer_list<std::uint32_t> arguments) {
    const std::vector<std::uint32_t> args(arguments);
    std::uint32_t result = 0;
    std::uint32_t espAfter = static_cast<std::uint32_t>(args.size());
    std::uint32_t espBefore = 0;
    // Pushes the arguments right to left, calls, and puts the stack pointer back from a callee-saved
    // register, so an unbalanced callee cannot break this frame.
    asm volatile(
        "movl %%esp, %%edi\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "1:\n\t"
        "pushl -4(%%esi,%%ecx,4)\n\t"
        "loop 1b\n\t"
        "2:\n\t"
        "call *%%ebx\n\t"
        "movl %%esp, %%ecx\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(result), "+c"(espAfter), "=D"(espBefore)
        : "b"(function), "S"(args.data())
        : "edx", "memory", "cc");
    return {result, espAfter == espBefore};
}

Thread::Thread(std::function<void()> body) : body_(std::move(body)) {
    handle_ = ::CreateThread(nullptr, 0, &Thread::Main, this, 0, nullptr);
    if (handle_ == nullptr) throw std::runtime_error("CreateThread failed");
}

DWORD WINAPI Thread::Main(void* self) {
    static_cast<Thread*>(self)->body_();
    return 0;
}

void Thread::join() noexcept {
    if (handle_ == nullptr) return;
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
}

WindowThread::WindowThread(const char* className)
    : ready_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_([this, className] {
          threadId_ = ::GetCurrentThreadId();
          window_ = ::CreateWindowExA(0, className, "object", WS_POPUP | WS_VISIBLE, 10, 10, 120, 60, nullptr, nullptr,
                                      ::GetModuleHandleA(nullptr), nullptr);
          // A message queue exists from here on, so a WM_QUIT posted once the owner is told cannot go astray.
          MSG msg;
          ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
          ::SetEvent(ready_);
          while (window_ != nullptr && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
          if (window_ != nullptr) ::DestroyWindow(window_);
      }) {
    if (ready_ == nullptr) throw std::runtime_error("CreateEventA failed");
    ::WaitForSingleObject(ready_, INFINITE);
    if (window_ == nullptr) throw std::runtime_error("the window thread could not create its window");
}

WindowThread::~WindowThread() {
    ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    ::CloseHandle(ready_);
}

}  // namespace qvtest
