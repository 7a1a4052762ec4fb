#include "process_counts.h"

#include <tlhelp32.h>

#include <vector>

#include "win32_owner.h"

namespace qv {

std::size_t ThreadsOfThisProcess() {
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return SIZE_MAX;
    std::size_t threads = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++threads;
    }
    return threads;
}

std::size_t SettledThreadCount() {
    std::size_t count = ThreadsOfThisProcess();
    for (int i = 0; i < 100; ++i) {
        ::Sleep(20);
        const std::size_t now = ThreadsOfThisProcess();
        if (now == count) break;
        count = now;
    }
    return count;
}

std::set<DWORD> ThreadIdsOfThisProcess() {
    std::set<DWORD> ids;
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    return ids;
}

std::size_t HandlesOfThisProcess() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
    std::size_t handles = 0;
    for (std::uintptr_t value = 4; value < 0x8000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++handles;
    }
    return handles;
}

std::size_t FreeTlsIndexes() {
    std::vector<DWORD> taken;
    taken.reserve(1100);
    for (DWORD index = ::TlsAlloc(); index != TLS_OUT_OF_INDEXES; index = ::TlsAlloc()) taken.push_back(index);
    for (DWORD index : taken) ::TlsFree(index);
    return taken.size();
}

std::uint64_t AddressSpaceInUse() {
    std::uint64_t inUse = 0;
    const auto* address = static_cast<const BYTE*>(nullptr);
    MEMORY_BASIC_INFORMATION region{};
    while (::VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State != MEM_FREE) inUse += region.RegionSize;
        const auto* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;  // wrapped round the top of the address space
        address = next;
    }
    return inUse;
}

std::uint64_t HeapBytesInUse() {
    // The C runtime keeps a heap of its own besides the process heap: walk them all.
    HANDLE heaps[64];
    const DWORD count = ::GetProcessHeaps(64, heaps);
    std::uint64_t inUse = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!::HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) inUse += entry.cbData;
        }
        ::HeapUnlock(heaps[i]);
    }
    return inUse;
}

std::size_t GlobalAtomsInUse() {
    std::size_t atoms = 0;
    char name[256];
    for (unsigned atom = 0xC000; atom <= 0xFFFF; ++atom) {
        if (::GlobalGetAtomNameA(static_cast<ATOM>(atom), name, sizeof name) != 0) ++atoms;
    }
    return atoms;
}

}  // namespace qv
