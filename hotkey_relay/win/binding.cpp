// QVInit and QVUninit on the object's window: a straight run of checked calls, each step held by a
// guard until the binding is committed. What to do with the window's procedure chain is the binding
// table's decision.
#include <windows.h>

#include "hotkey_rules.h"
#include "library_reference.h"
#include "module_state.h"
#include "win32_owner.h"

namespace hotrelay {
namespace {

BindingTable g_table;
SRWLOCK g_tableLock = SRWLOCK_INIT;

HWND WindowOf(const qv::ObjectRecord& object) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(object.window));
}

WindowId IdOf(HWND window) {
    return reinterpret_cast<WindowId>(window);
}

HWND WindowFrom(WindowId id) {
    return reinterpret_cast<HWND>(id);
}

const auto kOurProc = reinterpret_cast<LONG_PTR>(&HotrelayWindowProc);

void ClearRunTimeFields(HotkeyRecord& record) {
    record.atom = 0;
    record.previousProc = 0;
}

// Puts ours in front of the window's procedure, noting first where messages go on to, so that none
// arriving meanwhile is lost. False when the window's procedure cannot be replaced.
bool EnterChain(HWND window) {
    const LONG_PTR current = ::GetWindowLongA(window, GWL_WNDPROC);
    if (current == 0 || current == kOurProc) return false;  // never our own procedure as the next one
    LockedTable()->EnterChain(IdOf(window), static_cast<ProcAddress>(current));
    ::SetLastError(ERROR_SUCCESS);
    if (::SetWindowLongA(window, GWL_WNDPROC, kOurProc) == 0 && ::GetLastError() != ERROR_SUCCESS) {
        LockedTable()->ForgetChain(IdOf(window));
        return false;
    }
    return true;
}

// A window with nothing bound on it any more.
void LeaveChain(HWND window) {
    const bool installed = OursInstalled(window);
    const BindingTable::Leaving leaving = ReadTable()->Leave(IdOf(window), installed);
    switch (leaving.action) {
        case BindingTable::Leaving::Action::Restore:
            // Handed back first, forgotten after: a message that entered ours meanwhile, on the window's
            // own thread, still finds where to go on to.
            ::SetWindowLongA(window, GWL_WNDPROC, static_cast<LONG_PTR>(leaving.next));
            LockedTable()->ForgetChain(IdOf(window));
            break;
        case BindingTable::Leaving::Action::Pin:
            // Another procedure on top calls ours as its previous one: the library stays mapped for good.
            qv::PinLibrary();
            break;
        case BindingTable::Leaving::Action::Stay: break;
    }
}

// How long an unload waits for the thread of a window it handed back to be done with our procedure.
constexpr UINT kInFlightTimeoutMs = 1000;

// A message of another thread's window may have entered our procedure just before the window was
// handed back, and the library is unmapped as soon as the unload returns. Once that thread takes a
// sent message it is between messages, and every later one goes to the procedure handed back.
void AwaitMessagesInFlight(HWND window) {
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) return;
    DWORD_PTR ignored = 0;
    // Blocking: under the loader lock this thread must not run the host's procedures meanwhile.
    ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kInFlightTimeoutMs, &ignored);
}

}  // namespace

bool OursInstalled(HWND window) noexcept {
    return ::GetWindowLongA(window, GWL_WNDPROC) == kOurProc;
}

LockedTable::LockedTable() noexcept : lock_(g_tableLock) {}

BindingTable* LockedTable::operator->() const noexcept {
    return &g_table;
}

ReadTable::ReadTable() noexcept : lock_(g_tableLock) {}

const BindingTable* ReadTable::operator->() const noexcept {
    return &g_table;
}

void Bind(const qv::ObjectRecord& object, HotkeyRecord& record) noexcept {
    // A second QVInit for the same record first lets go of what the first one registered.
    if (ReadTable()->Bound(&record)) Unbind(record);
    // Whatever run-time values the record still holds are not this process's: drop them.
    ClearRunTimeFields(record);

    HWND window = WindowOf(object);
    if (!SettingsComplete(record) || window == nullptr) return;
    // A full table binds nothing, as a hotkey that is taken does.
    if (!LockedTable()->HasRoomFor(IdOf(window))) return;

    const AtomName name = MakeAtomName(object.id);
    qv::UniqueGlobalAtom atom(::GlobalAddAtomA(name.data()));
    if (!atom) return;

    if (!::RegisterHotKey(window, atom.get(), record.modifiers, record.virtualKey)) return;
    qv::ScopeExit hotkey([&] { ::UnregisterHotKey(window, atom.get()); });

    HANDLE earlierProperty = ::GetPropA(window, kRecordProperty);
    if (!::SetPropA(window, kRecordProperty, &record)) return;
    qv::ScopeExit property([&] {
        if (earlierProperty != nullptr) ::SetPropA(window, kRecordProperty, earlierProperty);
        else ::RemovePropA(window, kRecordProperty);
    });

    // Ours may still be in the chain from an earlier binding, even under another procedure installed
    // since: then it is not installed again.
    const bool inChain = ReadTable()->InChain(IdOf(window));
    if (!inChain && !EnterChain(window)) return;

    record.atom = atom.get();
    {
        LockedTable table;
        // Written as the record's layout says; never read back for forwarding.
        record.previousProc = static_cast<std::uint32_t>(table->NextProc(IdOf(window)));
        table->Add(&record, IdOf(window), atom.release());
    }
    property.release();
    hotkey.release();
}

void Unbind(HotkeyRecord& record) noexcept {
    const auto release = LockedTable()->Remove(&record);
    if (!release) {
        // Nothing of this process's: a non-zero atom is a leftover that names nothing to release,
        // and it must not make the record look bound. A record with atom 0 is left exactly as it is.
        if (record.atom != 0) ClearRunTimeFields(record);
        return;
    }
    HWND window = WindowFrom(release->window);
    if (release->windowAlive) {
        if (release->property != nullptr)
            ::SetPropA(window, kRecordProperty, const_cast<HotkeyRecord*>(release->property));
        else ::RemovePropA(window, kRecordProperty);
    }
    ::UnregisterHotKey(window, release->atom);
    ::GlobalDeleteAtom(release->atom);
    if (release->lastOnWindow) LeaveChain(window);
    ClearRunTimeFields(record);
}

void ReleaseAllBindings() noexcept {
    while (const auto binding = LockedTable()->TakeLastBinding()) {
        HWND window = WindowFrom(binding->window);
        if (binding->windowAlive && ::GetPropA(window, kRecordProperty) == binding->record)
            ::RemovePropA(window, kRecordProperty);
        ::UnregisterHotKey(window, binding->atom);
        ::GlobalDeleteAtom(binding->atom);
    }
    while (const auto chain = ReadTable()->LastChain()) {
        HWND window = WindowFrom(chain->window);
        // With another procedure on top, an unload without QVUninit cannot take ours out of the chain.
        const bool restore = chain->windowAlive && OursInstalled(window);
        // Handed back before it is forgotten, as in LeaveChain.
        if (restore) ::SetWindowLongA(window, GWL_WNDPROC, static_cast<LONG_PTR>(chain->next));
        LockedTable()->ForgetChain(chain->window);
        if (restore) AwaitMessagesInFlight(window);
    }
}

}  // namespace hotrelay
