#include "bin_gate.h"

namespace wastewatch {

std::optional<BinGate::Reader> BinGate::JoinReader() noexcept {
    std::uint32_t claimed = claimed_.load();
    for (;;) {
        int free = 0;
        while (free < kMaxReaders && (claimed & (1u << free)) != 0) ++free;
        if (free == kMaxReaders) return std::nullopt;
        const Reader reader = 1u << free;
        if (claimed_.compare_exchange_weak(claimed, claimed | reader)) return reader;
    }
}

void BinGate::LeaveReader(Reader reader) noexcept {
    EndRead(reader);
    claimed_.fetch_and(~reader);
}

bool BinGate::TryBeginRead(Reader reader) noexcept {
    std::uint32_t state = state_.load();
    for (;;) {
        if ((state & (kEmptying | kEmptyWanted)) != 0) return false;
        if (state_.compare_exchange_weak(state, state | (reader & kReaderBits))) return true;
    }
}

void BinGate::EndRead(Reader reader) noexcept {
    state_.fetch_and(~(reader & kReaderBits));
}

bool BinGate::TryBeginEmpty() noexcept {
    std::uint32_t state = state_.load();
    for (;;) {
        if ((state & kReaderBits) != 0) {
            state_.fetch_or(kEmptyWanted);
            return false;
        }
        if (state_.compare_exchange_weak(state, kEmptying)) return true;
    }
}

void BinGate::EndEmpty() noexcept {
    state_.fetch_and(~(kEmptying | kEmptyWanted));
}

}  // namespace wastewatch
