#include "binding_table.h"

namespace hotrelay {

bool BindingTable::HasRoomFor(WindowId window) const noexcept {
    return bindingCount_ < kMaxBindings && (chainCount_ < kMaxChains || InChain(window));
}

const BindingTable::Chain* BindingTable::ChainOf(WindowId window) const noexcept {
    for (std::size_t i = 0; i < chainCount_; ++i) {
        if (chains_[i].window == window) return &chains_[i];
    }
    return nullptr;
}

BindingTable::Chain* BindingTable::ChainOf(WindowId window) noexcept {
    return const_cast<Chain*>(static_cast<const BindingTable*>(this)->ChainOf(window));
}

const BindingTable::Binding* BindingTable::TopOf(WindowId window) const noexcept {
    for (std::size_t i = bindingCount_; i-- > 0;) {
        if (bindings_[i].window == window && bindings_[i].windowAlive) return &bindings_[i];
    }
    return nullptr;
}

void BindingTable::EraseBinding(std::size_t index) noexcept {
    for (std::size_t i = index + 1; i < bindingCount_; ++i) bindings_[i - 1] = bindings_[i];
    bindings_[--bindingCount_] = {};
}

void BindingTable::EraseChain(std::size_t index) noexcept {
    for (std::size_t i = index + 1; i < chainCount_; ++i) chains_[i - 1] = chains_[i];
    chains_[--chainCount_] = {};
}

bool BindingTable::InChain(WindowId window) const noexcept {
    return ChainOf(window) != nullptr;
}

void BindingTable::EnterChain(WindowId window, ProcAddress next) noexcept {
    if (chainCount_ < kMaxChains) chains_[chainCount_++] = {window, next, true};
}

void BindingTable::ForgetChain(WindowId window) noexcept {
    for (std::size_t i = chainCount_; i-- > 0;) {
        if (chains_[i].window == window) EraseChain(i);
    }
}

ProcAddress BindingTable::NextProc(WindowId window) const noexcept {
    const Chain* chain = ChainOf(window);
    return chain == nullptr ? 0 : chain->next;
}

bool BindingTable::Bound(const HotkeyRecord* record) const noexcept {
    for (std::size_t i = 0; i < bindingCount_; ++i) {
        if (bindings_[i].record == record) return true;
    }
    return false;
}

void BindingTable::Add(const HotkeyRecord* record, WindowId window, std::uint16_t atom) noexcept {
    if (bindingCount_ < kMaxBindings) bindings_[bindingCount_++] = {record, window, atom, true};
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
    std::size_t index = 0;
    while (index < bindingCount_ && bindings_[index].record != record) ++index;
    if (index == bindingCount_) return std::nullopt;
    Release release;
    release.window = bindings_[index].window;
    release.atom = bindings_[index].atom;
    release.windowAlive = bindings_[index].windowAlive;
    EraseBinding(index);
    const Binding* top = TopOf(release.window);
    release.property = top == nullptr ? nullptr : top->record;
    // TopOf finds only bindings on the window whose destruction has not begun.
    release.lastOnWindow = top == nullptr;
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
    for (std::size_t i = 0; i < bindingCount_; ++i) {
        if (bindings_[i].window == window) bindings_[i].windowAlive = false;
    }
    Destroying destroying;
    Chain* chain = ChainOf(window);
    if (chain == nullptr) return destroying;
    destroying.next = chain->next;
    if (oursInstalled) {
        destroying.restore = true;
        ForgetChain(window);
    } else {
        chain->windowAlive = false;
    }
    return destroying;
}

ProcAddress BindingTable::OnFinalDestroy(WindowId window) noexcept {
    for (std::size_t i = 0; i < bindingCount_; ++i) {
        if (bindings_[i].window == window) bindings_[i].windowAlive = false;
    }
    const ProcAddress next = NextProc(window);
    ForgetChain(window);
    return next;
}

std::optional<BindingTable::Binding> BindingTable::TakeLastBinding() noexcept {
    if (bindingCount_ == 0) return std::nullopt;
    const Binding last = bindings_[bindingCount_ - 1];
    EraseBinding(bindingCount_ - 1);
    return last;
}

std::optional<BindingTable::Chain> BindingTable::LastChain() const noexcept {
    if (chainCount_ == 0) return std::nullopt;
    return chains_[chainCount_ - 1];
}

}  // namespace hotrelay
