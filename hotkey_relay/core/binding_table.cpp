#include "binding_table.h"

#include <algorithm>
#include <new>

namespace hotrelay {

bool BindingTable::Reserve() noexcept {
    try {
        bindings_.reserve(bindings_.size() + 1);
        chains_.reserve(chains_.size() + 1);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

const BindingTable::Chain* BindingTable::ChainOf(WindowId window) const noexcept {
    auto it = std::find_if(chains_.begin(), chains_.end(), [window](const Chain& c) { return c.window == window; });
    return it == chains_.end() ? nullptr : &*it;
}

const BindingTable::Binding* BindingTable::TopOf(WindowId window) const noexcept {
    auto it = std::find_if(bindings_.rbegin(), bindings_.rend(),
                           [window](const Binding& b) { return b.window == window && b.windowAlive; });
    return it == bindings_.rend() ? nullptr : &*it;
}

bool BindingTable::InChain(WindowId window) const noexcept {
    return ChainOf(window) != nullptr;
}

void BindingTable::EnterChain(WindowId window, ProcAddress next) noexcept {
    // Reserve made room: push_back cannot reallocate here.
    chains_.push_back({window, next, true});
}

void BindingTable::ForgetChain(WindowId window) noexcept {
    std::erase_if(chains_, [window](const Chain& c) { return c.window == window; });
}

ProcAddress BindingTable::NextProc(WindowId window) const noexcept {
    const Chain* chain = ChainOf(window);
    return chain == nullptr ? 0 : chain->next;
}

bool BindingTable::Bound(const HotkeyRecord* record) const noexcept {
    return std::any_of(bindings_.begin(), bindings_.end(), [record](const Binding& b) { return b.record == record; });
}

void BindingTable::Add(const HotkeyRecord* record, WindowId window, std::uint16_t atom) noexcept {
    bindings_.push_back({record, window, atom, true});
}

BindingTable::Route BindingTable::RouteOf(WindowId window) const noexcept {
    Route route;
    const Chain* chain = ChainOf(window);
    if (chain == nullptr) return route;
    route.next = chain->next;
    if (const Binding* top = TopOf(window); top != nullptr && chain->windowAlive) route.record = top->record;
    return route;
}

std::optional<BindingTable::Release> BindingTable::Remove(const HotkeyRecord* record) noexcept {
    auto it = std::find_if(bindings_.begin(), bindings_.end(), [record](const Binding& b) { return b.record == record; });
    if (it == bindings_.end()) return std::nullopt;
    Release release;
    release.window = it->window;
    release.atom = it->atom;
    release.windowAlive = it->windowAlive;
    bindings_.erase(it);
    const Binding* top = TopOf(release.window);
    release.property = top == nullptr ? nullptr : top->record;
    release.lastOnWindow = std::none_of(bindings_.begin(), bindings_.end(),
                                        [&](const Binding& b) { return b.window == release.window && b.windowAlive; });
    return release;
}

BindingTable::Leaving BindingTable::Leave(WindowId window, bool oursInstalled) const noexcept {
    Leaving leaving;
    const Chain* chain = ChainOf(window);
    if (chain == nullptr || TopOf(window) != nullptr) return leaving;
    // A window whose destruction began with another procedure on top still calls ours until its end.
    if (!oursInstalled || !chain->windowAlive) {
        leaving.action = Leaving::Action::Pin;
        return leaving;
    }
    leaving.action = Leaving::Action::Restore;
    leaving.next = chain->next;
    return leaving;
}

BindingTable::Destroying BindingTable::OnDestroy(WindowId window, bool oursInstalled) noexcept {
    for (Binding& b : bindings_) {
        if (b.window == window) b.windowAlive = false;
    }
    Destroying destroying;
    auto it = std::find_if(chains_.begin(), chains_.end(), [window](const Chain& c) { return c.window == window; });
    if (it == chains_.end()) return destroying;
    destroying.next = it->next;
    if (oursInstalled) {
        destroying.restore = true;
        chains_.erase(it);
    } else {
        it->windowAlive = false;
    }
    return destroying;
}

ProcAddress BindingTable::OnFinalDestroy(WindowId window) noexcept {
    for (Binding& b : bindings_) {
        if (b.window == window) b.windowAlive = false;
    }
    const ProcAddress next = NextProc(window);
    ForgetChain(window);
    return next;
}

std::optional<BindingTable::Binding> BindingTable::TakeLastBinding() noexcept {
    if (bindings_.empty()) return std::nullopt;
    const Binding last = bindings_.back();
    bindings_.pop_back();
    return last;
}

std::optional<BindingTable::Chain> BindingTable::TakeLastChain() noexcept {
    if (chains_.empty()) return std::nullopt;
    const Chain last = chains_.back();
    chains_.pop_back();
    return last;
}

}  // namespace hotrelay
