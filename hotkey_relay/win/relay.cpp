// QVCommandEx: relays an object's activation to an export of another module already loaded in the
// host, named in parameter 1 as module(function), handing it parameter 2.
#include <windows.h>

#include <cstdint>
#include <string>

#include "module_state.h"
#include "relay_target.h"

namespace hotrelay {
namespace {

// The target takes parameter 2 and removes it from the stack itself; its result is not used.
using RelayFunction = std::int32_t(__stdcall*)(std::uint32_t parameter2);

void ShowRelayError(const char* text) {
    // No owner window, OK only, no icon: the call returns once the user has closed it.
    ::MessageBoxA(nullptr, text, kRelayCaption, MB_OK);
}

void Relay(const char* parameter1, std::uint32_t parameter2) {
    if (parameter1 == nullptr) {
        ShowRelayError(kInvalidFormMessage);
        return;
    }
    const auto target = ParseRelayTarget(parameter1);
    if (!target) {
        ShowRelayError(kInvalidFormMessage);
        return;
    }
    // Each name is copied whole, whatever its length, so a lookup never sees a cut name that could
    // match some other module or export.
    const std::string module(target->module);
    // Only a module the host has already loaded: the relay never loads one, nor takes a reference.
    HMODULE handle = ::GetModuleHandleA(module.c_str());
    if (handle == nullptr) {
        ShowRelayError(MissingModuleMessage(module).c_str());
        return;
    }
    const std::string function(target->function);
    FARPROC address = ::GetProcAddress(handle, function.c_str());
    if (address == nullptr) {
        ShowRelayError(MissingFunctionMessage(function).c_str());
        return;
    }
    reinterpret_cast<RelayFunction>(reinterpret_cast<void*>(address))(parameter2);
}

}  // namespace
}  // namespace hotrelay

extern "C" std::int32_t __stdcall QVCommandEx(const char* parameter1, std::uint32_t parameter2,
                                              std::uint32_t /*hostValue1*/, std::uint32_t /*hostValue2*/) noexcept {
    try {
        hotrelay::Relay(parameter1, parameter2);
    } catch (...) {
        // Only copying a name can throw (out of memory); nothing may cross into the host.
    }
    return qv::kOk;
}
