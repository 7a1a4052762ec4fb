// A small plug-in that keeps the host contract but for one fault, chosen when it is built
// (QV_FIXTURE_FAULT), so that the validator's tests can show it finds that fault and names it. Built
// without a fault, it is the control: a plug-in the validator must pass.
#include <windows.h>

#include <cstdint>

#include "qv_contract.h"

namespace {

enum class Fault {
    kNone,
    kCdecl,                // entry points built as __cdecl (see QV_FIXTURE_CALL)
    kThreadPerInit,        // each QVInit starts a thread that never ends
    kHandlePerInit,        // each QVInit opens an event and never closes it
    kTrustsRecordCount,    // reads as many table entries as the record says, however many that is
    kDefaultProcOnUninit,  // QVUninit puts the default procedure on the object's window
    kDefaultPastRecord,    // QVDefault writes a longer record than QVGetPluginInfo reports
    kHangInUninit,         // QVUninit waits for something that never happens
};
constexpr Fault kFault = Fault::QV_FIXTURE_FAULT;

struct Record {
    std::uint32_t count;  // how many weights QVInit adds up
    std::uint32_t sum;
};
// A later layout that QVDefault was changed to write while QVGetPluginInfo still reports the old one.
struct RecordWithFlags {
    Record record;
    std::uint32_t flags;
};

constexpr std::uint32_t kWeightCount = 4;
const std::uint32_t kWeights[kWeightCount] = {3, 5, 7, 11};

constexpr char kDescription[] = "A test plug-in of the validator's tests.";

std::uint32_t SumOf(const Record& record) noexcept {
    std::uint32_t count = record.count;
    if (kFault != Fault::kTrustsRecordCount && count > kWeightCount) count = kWeightCount;
    // Read through a volatile pointer, so that the optimiser keeps every read the count asks for.
    const volatile std::uint32_t* weights = kWeights;
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < count; ++i) sum += weights[i];
    return sum;
}

}  // namespace

#if QV_FIXTURE_CDECL
#define QV_FIXTURE_CALL __cdecl
#else
#define QV_FIXTURE_CALL __stdcall
#endif

extern "C" {

std::int32_t QV_FIXTURE_CALL QVGetPluginInfo(std::uint32_t* recordSize, const char** description,
                                             std::uint32_t* flag) noexcept {
    if (recordSize != nullptr) *recordSize = sizeof(Record);
    if (description != nullptr) *description = kDescription;
    if (flag != nullptr) *flag = 1;
    return qv::kOk;
}

std::int32_t QV_FIXTURE_CALL QVDefault(std::uint32_t /*hostValue*/, void* record) noexcept {
    if (record == nullptr) return qv::kOk;
    if constexpr (kFault == Fault::kDefaultPastRecord) {
        *static_cast<RecordWithFlags*>(record) = RecordWithFlags{{kWeightCount, 0}, 1};
    } else {
        *static_cast<Record*>(record) = Record{kWeightCount, 0};
    }
    return qv::kOk;
}

std::int32_t QV_FIXTURE_CALL QVInit(const qv::ObjectRecord* /*object*/, void* record) noexcept {
    if (record == nullptr) return qv::kOk;
    auto& data = *static_cast<Record*>(record);
    data.sum = SumOf(data);
    if constexpr (kFault == Fault::kThreadPerInit) {
        // The thread runs a system function, not this library's code: only the thread leaks.
        const auto park = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(&::Sleep));
        const HANDLE thread = ::CreateThread(nullptr, 64 * 1024, park, reinterpret_cast<void*>(INFINITE),
                                             STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (thread != nullptr) ::CloseHandle(thread);
    }
    if constexpr (kFault == Fault::kHandlePerInit) ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return qv::kOk;
}

std::int32_t QV_FIXTURE_CALL QVCommand(std::uint32_t /*hostValue1*/, std::uint32_t /*hostValue2*/) noexcept {
    return qv::kOk;
}

std::int32_t QV_FIXTURE_CALL QVUninit(const qv::ObjectRecord* object, void* record) noexcept {
    if (record != nullptr) static_cast<Record*>(record)->sum = SumOf(*static_cast<Record*>(record));
    if constexpr (kFault == Fault::kDefaultProcOnUninit) {
        // Meant to hand back the procedure it found, but it never replaced one: the host's is lost.
        if (object != nullptr && object->window != 0)
            ::SetWindowLongA(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(object->window)), GWL_WNDPROC,
                             reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
    }
    if constexpr (kFault == Fault::kHangInUninit) ::Sleep(INFINITE);
    return qv::kOk;
}

}  // extern "C"
