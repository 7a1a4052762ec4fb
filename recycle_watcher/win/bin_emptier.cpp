#include "bin_emptier.h"

#include <shellapi.h>

#include <atomic>

#include "library_reference.h"
#include "win32_owner.h"

namespace wastewatch {

namespace {

constexpr DWORD kEmptyFlags = SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND;
static_assert(kEmptyFlags == 7);

// How often an emptying looks again whether the measurements under way have finished.
constexpr DWORD kReadersPollMs = 10;

SRWLOCK g_lock = SRWLOCK_INIT;
// Read by the monitors' measurements, and closed to them while the shell empties the bin: a shell
// reading the bin while it is being emptied can leave parts of items behind.
BinGate g_binAccess;
bool g_busy = false;   // an emptying thread runs (guarded by g_lock)
bool g_again = false;  // a request came while it ran (guarded by g_lock)
std::atomic<std::uint32_t> g_done{0};
qv::UniqueHandle g_idle;  // manual reset: set while no emptying runs

void EmptyAllBins() noexcept {
    // A measurement ends within its own time; one of a thread ended by force was cleared for it.
    while (!g_binAccess.TryBeginEmpty()) ::Sleep(kReadersPollMs);
    ::SHEmptyRecycleBinA(nullptr, nullptr, kEmptyFlags);
    g_binAccess.EndEmpty();
}

// Ends the emptying unless another request came in meanwhile; returns whether to go round again.
bool FinishOrRepeat() noexcept {
    const qv::ExclusiveLock lock(g_lock);
    if (g_again) {
        g_again = false;
        return true;
    }
    g_busy = false;
    g_done.fetch_add(1);
    ::SetEvent(g_idle.get());
    return false;
}

DWORD WINAPI EmptierMain(void* reference) {
    do {
        EmptyAllBins();
    } while (FinishOrRepeat());
    ::FreeLibraryAndExitThread(static_cast<HMODULE>(reference), 0);
}

}  // namespace

void PrepareEmptier() noexcept {
    g_idle.reset(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
}

void ReleaseEmptier() noexcept {
    g_idle.reset();
}

void StartEmptying() noexcept {
    {
        const qv::ExclusiveLock lock(g_lock);
        if (g_busy) {
            g_again = true;
            return;
        }
        g_busy = true;
        ::ResetEvent(g_idle.get());
    }
    // The thread keeps the library mapped until it has left: its own reference, given up on the way
    // out by FreeLibraryAndExitThread.
    qv::UniqueModule reference(qv::TakeLibraryReference());
    if (reference) {
        const qv::UniqueHandle thread(::CreateThread(nullptr, 0, EmptierMain, reference.get(), 0, nullptr));
        if (thread) {
            reference.release();  // the thread's own now
            return;
        }
    }
    // No thread to do it: the bin is still emptied, on the host's thread as a last resort.
    do {
        EmptyAllBins();
    } while (FinishOrRepeat());
}

std::optional<BinGate::Reader> JoinBinReaders() noexcept {
    return g_binAccess.JoinReader();
}

void LeaveBinReaders(BinGate::Reader reader) noexcept {
    g_binAccess.LeaveReader(reader);
}

bool TryBeginBinRead(BinGate::Reader reader) noexcept {
    return g_binAccess.TryBeginRead(reader);
}

void EndBinRead(BinGate::Reader reader) noexcept {
    g_binAccess.EndRead(reader);
}

HANDLE EmptierIdleEvent() noexcept {
    return g_idle.get();
}

std::uint32_t EmptyingsDone() noexcept {
    return g_done.load();
}

}  // namespace wastewatch
