// Hotrelay2's bindings and window procedure chains, as this process holds them. Every decision about a
// bound window is taken here, from values alone: which record its messages use, which procedure they go
// on to, what releasing a record hands back, when our procedure can leave a window's chain and when the
// library must stay mapped for it. The host's record is never trusted for any of it: the host may store
// it and write an old copy back at any time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "hotkey_record.h"

namespace hotrelay {

// A window handle and a window procedure, as plain values.
using WindowId = std::uintptr_t;
using ProcAddress = std::uintptr_t;

// Fixed capacities: a binding past kMaxBindings is refused before any platform step, as a hotkey that
// is taken is. Windows stay in the chain list after their last binding while another procedure sits
// on top of ours, so that list has room for every binding and as many such windows again.
inline constexpr std::size_t kMaxBindings = 128;
inline constexpr std::size_t kMaxChains = 2 * kMaxBindings;

class BindingTable {
public:
    // Room for one more binding, and for the window unless ours is in its chain already: checked before
    // any platform step, so that committing a binding cannot fail half-way.
    bool HasRoomFor(WindowId window) const noexcept;

    // Whether our procedure is in this window's chain: installed earlier and never taken out. A binding
    // on such a window must not install it a second time, whatever sits on top of it now.
    bool InChain(WindowId window) const noexcept;
    // Our procedure has just been put in front of `next` on this window (HasRoomFor first).
    void EnterChain(WindowId window, ProcAddress next) noexcept;
    // Installing it failed after all: forget the window again.
    void ForgetChain(WindowId window) noexcept;
    // The procedure this window's messages go on to; 0 when the window is not in our hands.
    ProcAddress NextProc(WindowId window) const noexcept;

    bool Bound(const HotkeyRecord* record) const noexcept;
    // Commits a binding (HasRoomFor first). The most recent binding on a window is the one in force.
    void Add(const HotkeyRecord* record, WindowId window, std::uint16_t atom) noexcept;

    // What one message to a window needs: where it goes on to, and the record a hotkey press acts on
    // (none after the window's destruction began, or when nothing is bound on it).
    struct Route {
        ProcAddress next = 0;
        const HotkeyRecord* record = nullptr;
    };
    Route RouteOf(WindowId window) const noexcept;

    // What releasing a record hands back to the platform.
    struct Release {
        WindowId window = 0;
        std::uint16_t atom = 0;                  // hotkey identifier and global atom, both to give back
        bool windowAlive = false;                // false once the window's destruction began: leave it alone
        const HotkeyRecord* property = nullptr;  // the window's record property from now on (null: remove it)
        bool lastOnWindow = false;               // nothing else is bound on the window: see Leave
    };
    std::optional<Release> Remove(const HotkeyRecord* record) noexcept;

    // A window with nothing bound on it any more. Our procedure can leave its chain only while it is the
    // installed one; when another procedure sits on top, that one calls ours as its previous procedure,
    // so ours stays in the chain and the library must stay mapped for good.
    // For Restore the window stays in the chain until ForgetChain, to be called once `next` is back in
    // place: until then a message on the window's own thread can still enter ours, and it must find
    // where to go on to.
    struct Leaving {
        enum class Action { Stay, Restore, Pin } action = Action::Stay;
        ProcAddress next = 0;  // what to put back for Restore
    };
    Leaving Leave(WindowId window, bool oursInstalled) const noexcept;

    // The window's destruction begins: the host's procedure gets the window back when ours is the
    // installed one, and no binding acts on the window from now on.
    struct Destroying {
        ProcAddress next = 0;  // where the destroy message goes on to
        bool restore = false;  // put `next` back as the window's procedure
    };
    Destroying OnDestroy(WindowId window, bool oursInstalled) noexcept;
    // The window's last message: its handle may soon name another window, so it is forgotten.
    ProcAddress OnFinalDestroy(WindowId window) noexcept;

    // At unload: everything still held, most recent first. Bindings are removed as they are handed
    // out; a window stays in the chain until ForgetChain, once its procedure is back in place.
    struct Binding {
        const HotkeyRecord* record;
        WindowId window;
        std::uint16_t atom;
        bool windowAlive;
    };
    struct Chain {
        WindowId window;
        ProcAddress next;
        bool windowAlive;
    };
    std::optional<Binding> TakeLastBinding() noexcept;
    std::optional<Chain> LastChain() const noexcept;

    bool Empty() const noexcept { return bindingCount_ == 0 && chainCount_ == 0; }

    // Where a message goes that entered our procedure on a window no longer in our hands (`installed`
    // is the window's procedure now, `ours` our own): it entered just before the window was handed
    // back and looked it up just after, so it goes on to the procedure now installed. 0: default
    // processing, which only a window that never was in our hands gets.
    static ProcAddress Unrouted(ProcAddress installed, ProcAddress ours) noexcept {
        return installed == ours ? 0 : installed;
    }

private:
    const Binding* TopOf(WindowId window) const noexcept;
    Chain* ChainOf(WindowId window) noexcept;
    const Chain* ChainOf(WindowId window) const noexcept;
    void EraseBinding(std::size_t index) noexcept;
    void EraseChain(std::size_t index) noexcept;

    Binding bindings_[kMaxBindings] = {};  // in the order bound
    std::size_t bindingCount_ = 0;
    Chain chains_[kMaxChains] = {};
    std::size_t chainCount_ = 0;
};

}  // namespace hotrelay
