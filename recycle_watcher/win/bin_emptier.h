// Emptying the bin for QVCommand, on a thread of its own: the host's thread never waits for the
// shell, and an unload while the shell empties only drops the host's reference on the library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "bin_gate.h"

namespace wastewatch {

// At library attach and detach (detach comes only once no emptying holds the library).
void PrepareEmptier() noexcept;
void ReleaseEmptier() noexcept;

// QVCommand: empties every drive's bin with no question, no progress window and no sound. A request
// that comes while an emptying runs is folded into it: that emptying goes round once more.
void StartEmptying() noexcept;

// For the monitor threads. Each one joins the bin's readers when it is created and leaves them once
// it reads no more: when it has ended, or after it was terminated (see BinGate). A measurement reads
// the bin only between TryBeginBinRead (false while this plug-in empties the bin) and EndBinRead.
// The idle event is set whenever no emptying runs; EmptyingsDone counts the emptyings finished
// since the library was loaded.
std::optional<BinGate::Reader> JoinBinReaders() noexcept;
void LeaveBinReaders(BinGate::Reader reader) noexcept;
bool TryBeginBinRead(BinGate::Reader reader) noexcept;
void EndBinRead(BinGate::Reader reader) noexcept;
HANDLE EmptierIdleEvent() noexcept;
std::uint32_t EmptyingsDone() noexcept;

}  // namespace wastewatch
