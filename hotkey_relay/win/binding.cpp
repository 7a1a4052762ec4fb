#include <windows.h>

#include <algorithm>
#include <vector>

#include "hotkey_rules.h"
#include "module_state.h"
#include "win32_owner.h"

namespace hotrelay {
namespace {

// What this library registered. A record's atom field alone cannot tell: the host stores records
// between runs, so an atom value there may name something this process never created.
struct Binding {
    HotkeyRecord* record;
    HWND window;
    ATOM atom;
};
std::vector<Binding> g_bindings;

auto FindBinding(const HotkeyRecord* record) {
    return std::find_if(g_bindings.begin(), g_bindings.end(), [record](const Binding& b) { return b.record == record; });
}

HWND WindowOf(const qv::ObjectRecord& object) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(object.window));
}

void Release(const Binding& binding) {
    HWND window = binding.window;
    // The property leads to the most recent record still bound on this window, if any.
    if (::GetPropA(window, kRecordProperty) == binding.record) {
        auto other = std::find_if(g_bindings.rbegin(), g_bindings.rend(), [&](const Binding& b) {
            return b.window == window && b.record != binding.record;
        });
        if (other != g_bindings.rend())
            ::SetPropA(window, kRecordProperty, other->record);
        else
            ::RemovePropA(window, kRecordProperty);
    }
    ::UnregisterHotKey(window, binding.atom);
    ::GlobalDeleteAtom(binding.atom);
}

bool WindowStillBound(HWND window) {
    return std::any_of(g_bindings.begin(), g_bindings.end(), [window](const Binding& b) { return b.window == window; });
}

void ClearRunTimeFields(HotkeyRecord& record) {
    record.atom = 0;
    record.previousProc = 0;
}

// Puts ours in front of the window's procedure, or notes the existing previous one when ours is
// already installed; returns the procedure messages go on to, 0 on failure.
LONG_PTR Subclass(HWND window) {
    const LONG_PTR current = ::GetWindowLongA(window, GWL_WNDPROC);
    const auto ours = reinterpret_cast<LONG_PTR>(&HotrelayWindowProc);
    if (current == ours) {
        // Already ours (another binding on this window): never record ourselves as the previous one.
        return reinterpret_cast<LONG_PTR>(::GetPropA(window, kPreviousProcProperty));
    }
    if (current == 0 || !::SetPropA(window, kPreviousProcProperty, reinterpret_cast<HANDLE>(current))) return 0;
    ::SetLastError(ERROR_SUCCESS);
    if (::SetWindowLongA(window, GWL_WNDPROC, ours) == 0 && ::GetLastError() != ERROR_SUCCESS) {
        ::RemovePropA(window, kPreviousProcProperty);
        return 0;
    }
    return current;
}

// Hands the window back its previous procedure while ours is the installed one. When another
// procedure sits on top of ours, ours must stay reachable: the library is then pinned in memory.
void Unsubclass(HWND window) {
    if (!::IsWindow(window)) return;
    const HANDLE previous = ::GetPropA(window, kPreviousProcProperty);
    if (previous == nullptr) return;  // not in this window's chain any more
    if (::GetWindowLongA(window, GWL_WNDPROC) == reinterpret_cast<LONG_PTR>(&HotrelayWindowProc)) {
        ::SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropA(window, kPreviousProcProperty);
        return;
    }
    // Someone subclassed the window after us and holds our procedure as theirs to call: it keeps
    // forwarding through the property, and the library stays loaded for it.
    HMODULE pinned = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCSTR>(&HotrelayWindowProc), &pinned);
}

}  // namespace

void Bind(const qv::ObjectRecord& object, HotkeyRecord& record) {
    // A second QVInit for the same record first lets go of what the first one registered.
    if (FindBinding(&record) != g_bindings.end()) Unbind(record);
    // Whatever run-time values the record still holds are not this process's: drop them.
    ClearRunTimeFields(record);

    HWND window = WindowOf(object);
    if (!SettingsComplete(record) || window == nullptr) return;

    const AtomName name = MakeAtomName(object.id);
    qv::UniqueGlobalAtom atom(::GlobalAddAtomA(name.data()));
    if (!atom) return;

    if (!::RegisterHotKey(window, atom.get(), record.modifiers, record.virtualKey)) return;
    qv::ScopeExit hotkey([&] { ::UnregisterHotKey(window, atom.get()); });

    HANDLE earlierProperty = ::GetPropA(window, kRecordProperty);
    if (!::SetPropA(window, kRecordProperty, &record)) return;
    qv::ScopeExit property([&] {
        if (earlierProperty != nullptr)
            ::SetPropA(window, kRecordProperty, earlierProperty);
        else
            ::RemovePropA(window, kRecordProperty);
    });

    const LONG_PTR previous = Subclass(window);
    if (previous == 0) return;

    record.atom = atom.get();
    record.previousProc = static_cast<std::uint32_t>(previous);
    g_bindings.push_back({&record, window, atom.release()});
    property.release();
    hotkey.release();
}

void Unbind(HotkeyRecord& record) {
    auto it = FindBinding(&record);
    if (it == g_bindings.end()) {
        // Nothing of this process's: a non-zero atom is a leftover that names nothing to release,
        // and it must not make the record look bound. A record with atom 0 is left exactly as it is.
        if (record.atom != 0) ClearRunTimeFields(record);
        return;
    }
    const Binding binding = *it;
    Release(binding);
    g_bindings.erase(it);
    if (!WindowStillBound(binding.window)) Unsubclass(binding.window);
    ClearRunTimeFields(record);
}

void ReleaseAllBindings() {
    while (!g_bindings.empty()) {
        const Binding binding = g_bindings.back();
        Release(binding);
        g_bindings.pop_back();
        if (!WindowStillBound(binding.window)) Unsubclass(binding.window);
    }
}

}  // namespace hotrelay
