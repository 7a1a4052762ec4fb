// RelayTarget: a small plug-in of our own whose exports a relaying object can name, for example
// RelayTarget.dll(Press). Each relay function takes one 32-bit value and records it, so that tests
// (and the reference host's calculator sample) can read back what arrived through another export.
// It is a complete if minimal plug-in, so that a host can load it like any other.
#include <windows.h>

#include <cstdint>

#include "qv_contract.h"

namespace {

// Which relay function a read-back export asks about.
enum Target : std::uint32_t { kRun = 0, kPress = 1, kTargetCount = 2 };

struct Record {
    volatile LONG calls;
    volatile LONG lastValue;
};
Record g_records[kTargetCount] = {};

std::int32_t Note(Target target, std::uint32_t value) {
    ::InterlockedExchange(&g_records[target].lastValue, static_cast<LONG>(value));
    return ::InterlockedIncrement(&g_records[target].calls);
}

constexpr char kDescription[] =
    "RelayTarget.\n\nA sample plugin whose functions Run and Press can be named in a relaying "
    "object's parameter 1, for example RelayTarget.dll(Press). Each records the value it receives.";

}  // namespace

extern "C" {

// Relay functions: record the value and return the number of calls so far.
std::int32_t __stdcall Run(std::uint32_t value) {
    return Note(kRun, value);
}
std::int32_t __stdcall Press(std::uint32_t key) {
    return Note(kPress, key);
}

// Read-back: the number of calls and the last value received by Run (0) or Press (1); 0 for others.
std::int32_t __stdcall CallCount(std::uint32_t target) {
    return target < kTargetCount ? g_records[target].calls : 0;
}
std::int32_t __stdcall LastValue(std::uint32_t target) {
    return target < kTargetCount ? g_records[target].lastValue : 0;
}
// Forgets what Run (0) or Press (1) received; any other value forgets both.
std::int32_t __stdcall Reset(std::uint32_t target) {
    for (std::uint32_t i = 0; i < kTargetCount; ++i) {
        if (target == i || target >= kTargetCount) {
            ::InterlockedExchange(&g_records[i].calls, 0);
            ::InterlockedExchange(&g_records[i].lastValue, 0);
        }
    }
    return qv::kOk;
}

// The host contract's entry points: no data record of its own and nothing to do per object.
std::int32_t __stdcall QVGetPluginInfo(std::uint32_t* recordSize, const char** description, std::uint32_t* flag) {
    if (recordSize != nullptr) *recordSize = 0;
    if (description != nullptr) *description = kDescription;
    if (flag != nullptr) *flag = 1;
    return qv::kOk;
}
std::int32_t __stdcall QVDefault(std::uint32_t /*hostValue*/, void* /*record*/) {
    return qv::kOk;
}
std::int32_t __stdcall QVInit(const qv::ObjectRecord* /*object*/, void* /*record*/) {
    return qv::kOk;
}
std::int32_t __stdcall QVCommand(std::uint32_t /*hostValue1*/, std::uint32_t /*hostValue2*/) {
    return qv::kOk;
}
std::int32_t __stdcall QVUninit(const qv::ObjectRecord* /*object*/, void* /*record*/) {
    return qv::kOk;
}

}  // extern "C"
