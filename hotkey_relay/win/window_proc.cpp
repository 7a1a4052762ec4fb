// The procedure installed on a bound object's window. Its entry is a few instructions of assembly: the
// decisions and the hotkey's input are made in C++ first, then the message is handed on by a tail jump,
// so that no frame of this library is on the stack while the host's procedure runs. The host may then
// unload the library from inside its own procedure, and nothing returns into unmapped code.
#include <windows.h>

#include <cstdint>

#include "hotkey_rules.h"
#include "library_reference.h"
#include "module_state.h"

namespace hotrelay {

static_assert(kWmMouseMove == WM_MOUSEMOVE && kWmLButtonDown == WM_LBUTTONDOWN && kWmLButtonUp == WM_LBUTTONUP &&
              kWmLButtonDblClk == WM_LBUTTONDBLCLK && kWmHotkey == WM_HOTKEY);

namespace {

// Turns a hotkey press into the input of its kind; returns the reference held across SetFocus, which
// sends focus messages to the window (and so to the host, which may unload the library) before it
// returns to us.
HMODULE PostHotkeyInput(HWND window, std::uint32_t activationKind) noexcept {
    RECT client{};
    ::GetClientRect(window, &client);
    const InputPlan plan = PlanInput(activationKind, client.right, client.bottom);
    HMODULE held = nullptr;
    if (plan.setFocus) {
        held = qv::TakeLibraryReference();
        ::SetFocus(window);
    }
    for (std::size_t i = 0; i < plan.count; ++i)
        ::PostMessageA(window, plan.steps[i].message, 0, static_cast<LPARAM>(plan.steps[i].lParam));
    return held;
}

// Where the entry jumps: the procedure the message goes on to (0: default processing) in the low half,
// a library reference to drop on the way (0: none) in the high half. A window not in the table any
// more was handed back while this message was on its way into ours: the message follows it.
std::uint64_t Forward(HWND window, ProcAddress next, HMODULE held = nullptr) noexcept {
    if (next == 0)
        next = BindingTable::Unrouted(static_cast<ProcAddress>(::GetWindowLongA(window, GWL_WNDPROC)),
                                      reinterpret_cast<ProcAddress>(&HotrelayWindowProc));
    return (std::uint64_t{reinterpret_cast<std::uintptr_t>(held)} << 32) | next;
}

}  // namespace
}  // namespace hotrelay

// Called by the entry below with the message; decides and acts, and says where the message goes on to.
// Referenced only from assembly: kept, and kept under its own name, whatever the optimiser sees.
extern "C" __attribute__((used, externally_visible)) std::uint64_t HotrelayRouteMessage(HWND window, UINT message,
                                                                                        WPARAM /*wParam*/,
                                                                                        LPARAM /*lParam*/) noexcept {
    using namespace hotrelay;
    const auto id = reinterpret_cast<WindowId>(window);
    switch (message) {
        case WM_DESTROY: {
            const bool installed = OursInstalled(window);
            const BindingTable::Destroying destroying = LockedTable()->OnDestroy(id, installed);
            if (destroying.restore) ::SetWindowLongA(window, GWL_WNDPROC, static_cast<LONG_PTR>(destroying.next));
            // The property entry stays, with a null value: no binding acts on the window any more.
            if (::GetPropA(window, kRecordProperty) != nullptr) ::SetPropA(window, kRecordProperty, nullptr);
            // The host's procedure still sees its window being destroyed, so its clean-up runs.
            return Forward(window, destroying.next);
        }
        case WM_NCDESTROY: return Forward(window, LockedTable()->OnFinalDestroy(id));
        case WM_HOTKEY: {
            ProcAddress next = 0;
            std::uint32_t activationKind = 0;
            bool bound = false;
            {
                ReadTable table;
                const BindingTable::Route route = table->RouteOf(id);
                next = route.next;
                // Read at every press: the dialog may have changed it since the binding.
                if (route.record != nullptr) {
                    bound = true;
                    activationKind = route.record->activationKind;
                }
            }
            if (!bound) return Forward(window, next);
            return Forward(window, next, PostHotkeyInput(window, activationKind));
        }
        default: return Forward(window, ReadTable()->NextProc(id));
    }
}

// The window procedure (window, message, wParam, lParam), __stdcall. It copies its four arguments for
// HotrelayRouteMessage, then jumps on with the caller's own arguments still in place:
//  - to CallWindowProcA, with the next procedure inserted as an extra first argument below the return
//    address (CallWindowProcA removes five arguments: the caller's four and the inserted one), or
//  - to DefWindowProcA, which removes the caller's four.
// When a library reference is to be dropped, the jump goes to FreeLibrary instead, with the forwarding
// call as its return address: FreeLibrary removes its one argument and "returns" into the forwarding
// call exactly as if the caller had called it. Should that release unmap the library, no instruction of
// it runs again. ebx, esi, edi and ebp are never touched here.
extern "C" __attribute__((naked)) LRESULT CALLBACK HotrelayWindowProc(HWND, UINT, WPARAM, LPARAM) {
    asm(R"(
        pushl 16(%esp)
        pushl 16(%esp)
        pushl 16(%esp)
        pushl 16(%esp)
        call _HotrelayRouteMessage
        addl $16, %esp
        popl %ecx
        testl %eax, %eax
        jz 1f
        pushl %eax
        movl __imp__CallWindowProcA@20, %eax
        jmp 2f
    1:
        movl __imp__DefWindowProcA@16, %eax
    2:
        pushl %ecx
        testl %edx, %edx
        jz 3f
        pushl %edx
        pushl %eax
        jmp *__imp__FreeLibrary@4
    3:
        jmp *%eax
    )");
}
