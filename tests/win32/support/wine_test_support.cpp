#include "wine_test_support.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <utility>
#include <vector>

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
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeoutMilliseconds - elapsed),
                                    QS_ALLINPUT);
    }
}

namespace {

struct WindowSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char text[256] = {};
    ::GetWindowTextA(window, text, sizeof text);
    if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window) && lstrcmpA(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForWindow(const char* caption, DWORD timeoutMilliseconds) {
    WindowSearch search{caption, nullptr};
    const DWORD start = ::GetTickCount();
    do {
        ::EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        ::Sleep(10);
    } while (::GetTickCount() - start < timeoutMilliseconds);
    return nullptr;
}

std::size_t ThreadsOfThisProcess() {
    qv::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    std::size_t threads = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++threads;
    }
    return threads;
}

std::size_t HandlesOfThisProcess() {
    std::size_t handles = 0;
    for (std::uintptr_t value = 4; value < 0x8000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++handles;
    }
    return handles;
}

std::set<DWORD> ThreadIdsOfThisProcess() {
    std::set<DWORD> ids;
    qv::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    return ids;
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
    std::uint64_t inUse = 0;
    MEMORY_BASIC_INFORMATION region{};
    std::uintptr_t address = 0;
    while (::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == sizeof region) {
        if (region.State != MEM_FREE) inUse += region.RegionSize;
        const std::uintptr_t next = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;  // the top of the address space
        address = next;
    }
    return inUse;
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

}  // namespace qvtest
