// The boundary between the host application and its plug-ins: entry-point signatures, the object
// record the host passes in, and the notification message. Everything here is fixed by the host;
// the layouts are checked at compile time so that no change can silently move a field.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define QV_STDCALL __stdcall
#else
#define QV_STDCALL
#endif

namespace qv {

// The host's record of one object, passed by address and only read. Only the identifier and the
// window handle are used; the bytes between them belong to the host.
struct ObjectRecord {
    std::int32_t id;
    std::uint32_t hostReserved[2];
    std::uint32_t window;  // HWND of the object's own window, 0 if it has none
};
static_assert(offsetof(ObjectRecord, id) == 0);
static_assert(offsetof(ObjectRecord, window) == 12);
static_assert(sizeof(ObjectRecord) == 16);

// Posted to the host's main window: wParam is a notification code, lParam the object identifier.
inline constexpr std::uint32_t kNotifyMessage = 9997;
inline constexpr char kMainWindowClass[] = "QVmain";
inline constexpr char kMainWindowName[] = "QVmain";

// Value every entry point returns, except Wastewatch's QVInit for a full table.
inline constexpr std::int32_t kOk = 1;

// Exported entry points, by undecorated name. Every argument is 32 bits wide and the callee pops
// them (__stdcall). The data record's layout belongs to each plug-in, hence void* here.
using GetPluginInfoFn = std::int32_t(QV_STDCALL*)(std::uint32_t* recordSize, const char** description,
                                                  std::uint32_t* flag);
using DefaultFn = std::int32_t(QV_STDCALL*)(std::uint32_t hostValue, void* record);
using InitFn = std::int32_t(QV_STDCALL*)(const ObjectRecord* object, void* record);
using ConfigFn = std::int32_t(QV_STDCALL*)(const ObjectRecord* object, void* record, void* ownerWindow);
using CommandFn = std::int32_t(QV_STDCALL*)(std::uint32_t hostValue1, std::uint32_t hostValue2);
using CommandExFn = std::int32_t(QV_STDCALL*)(const char* parameter1, std::uint32_t parameter2,
                                              std::uint32_t hostValue1, std::uint32_t hostValue2);
using UninitFn = std::int32_t(QV_STDCALL*)(const ObjectRecord* object, void* record);

inline constexpr char kGetPluginInfoName[] = "QVGetPluginInfo";
inline constexpr char kDefaultName[] = "QVDefault";
inline constexpr char kInitName[] = "QVInit";
inline constexpr char kConfigName[] = "QVConfig";
inline constexpr char kCommandName[] = "QVCommand";
inline constexpr char kCommandExName[] = "QVCommandEx";
inline constexpr char kUninitName[] = "QVUninit";

// A plug-in's answer to QVGetPluginInfo: its record's size, its description and the flag 1. A null
// pointer, which the contract does not allow, is not written through.
inline std::int32_t DescribePlugin(std::uint32_t size, const char* text, std::uint32_t* recordSize,
                                   const char** description, std::uint32_t* flag) noexcept {
    if (recordSize != nullptr) *recordSize = size;
    if (description != nullptr) *description = text;
    if (flag != nullptr) *flag = 1;
    return kOk;
}

#if defined(_WIN32)
static_assert(sizeof(void*) == 4, "the host contract is 32-bit: build with the i686 toolchain");
#endif

}  // namespace qv
