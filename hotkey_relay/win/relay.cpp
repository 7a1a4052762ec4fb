// QVCommandEx: relays an object's activation to an export of another module already loaded in the
// host, named in parameter 1 as module(function), handing it parameter 2.
#include <windows.h>

#include <cstdint>

#include "module_state.h"
#include "relay_target.h"

namespace hotrelay {
namespace {

// The target takes parameter 2 and removes it from the stack itself; its result is not used.
using RelayFunction = std::int32_t(__stdcall*)(std::uint32_t parameter2);

void ShowRelayError(const char* text) noexcept {
    // No owner window, OK only, no icon: the call returns once the user has closed it.
    ::MessageBoxA(nullptr, text, kRelayCaption, MB_OK);
}

void Relay(const char* parameter1, std::uint32_t parameter2) noexcept {
    if (parameter1 == nullptr) {
        ShowRelayError(kInvalidFormMessage);
        return;
    }
    const auto target = ParseRelayTarget(parameter1);
    if (!target) {
        ShowRelayError(kInvalidFormMessage);
        return;
    }
    // Each name is copied whole into one buffer (the module's, then the function's over it); a name that
    // does not fit names nothing, so a lookup never sees a cut name that could match another one.
    LookupName name;
    // Only a module the host has already loaded: the relay never loads one, nor takes a reference.
    HMODULE handle = CopyLookupName(target->module, name) ? ::GetModuleHandleA(name.data()) : nullptr;
    if (handle == nullptr) {
        ShowRelayError(MissingModuleMessage(target->module).data());
        return;
    }
    FARPROC address = CopyLookupName(target->function, name) ? ::GetProcAddress(handle, name.data()) : nullptr;
    if (address == nullptr) {
        ShowRelayError(MissingFunctionMessage(target->function).data());
        return;
    }
    reinterpret_cast<RelayFunction>(reinterpret_cast<void*>(address))(parameter2);
}

}  // namespace
}  // namespace hotrelay

extern "C" std::int32_t __stdcall QVCommandEx(const char* parameter1, std::uint32_t parameter2,
                                              std::uint32_t /*hostValue1*/, std::uint32_t /*hostValue2*/) noexcept {
    hotrelay::Relay(parameter1, parameter2);
    return qv::kOk;
}
