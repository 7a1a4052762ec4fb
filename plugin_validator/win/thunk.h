// Calls a plug-in's export the way a host does (arguments pushed right to left, the callee removes
// them) and reports what the callee did to the stack and to the callee-saved registers.
#pragma once

#include <cstdint>

namespace qvcheck {

struct ThunkOutcome {
    std::uint32_t result;
    std::int64_t removedBytes;         // how far the callee moved the stack pointer up
    std::uint32_t ebx, esi, edi, ebp;  // after the call
};

// The values the callee-saved registers hold when the callee starts.
inline constexpr std::uint32_t kEbxBefore = 0xB0B0B0B0u;
inline constexpr std::uint32_t kEsiBefore = 0x51515151u;
inline constexpr std::uint32_t kEdiBefore = 0xD1D1D1D1u;
inline constexpr std::uint32_t kEbpBefore = 0xBEBEBEBEu;

// slot: 0 or 1, one per thread calling at the same time (each slot keeps its caller's frame).
ThunkOutcome CallThroughThunk(int slot, const void* function, const std::uint32_t* arguments, std::uint32_t count);

}  // namespace qvcheck
