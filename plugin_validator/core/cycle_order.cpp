#include "cycle_order.h"

#include <utility>

namespace qvcheck {

std::uint32_t Prng::Next() noexcept {
    std::uint32_t z = (state_ += 0x9E3779B9u);
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    return z ^ (z >> 16);
}

std::vector<Call> RoundCalls(std::uint32_t seed, std::uint32_t round, RoundExports exports) {
    Prng prng(seed ^ (round * 0x2545F491u));
    std::vector<Call> calls = {Call::kInfo};
    const bool aFirst = prng.Coin();
    const Call firstDefault = aFirst ? Call::kDefaultA : Call::kDefaultB;
    const Call secondDefault = aFirst ? Call::kDefaultB : Call::kDefaultA;
    const Call firstInit = aFirst ? Call::kInitA : Call::kInitB;
    const Call secondInit = aFirst ? Call::kInitB : Call::kInitA;
    // Both records first, or each just before its own init.
    if (prng.Coin()) {
        calls.insert(calls.end(), {firstDefault, secondDefault, firstInit, secondInit});
    } else {
        calls.insert(calls.end(), {firstDefault, firstInit, secondDefault, secondInit});
    }
    std::vector<Call> commands;
    if (exports.command) commands.push_back(Call::kCommand);
    if (exports.commandEx) commands.push_back(Call::kCommandEx);
    if (commands.size() == 2 && prng.Coin()) std::swap(commands[0], commands[1]);
    calls.insert(calls.end(), commands.begin(), commands.end());
    if (prng.Coin()) {
        calls.insert(calls.end(), {Call::kUninitA, Call::kUninitB});
    } else {
        calls.insert(calls.end(), {Call::kUninitB, Call::kUninitA});
    }
    return calls;
}

}  // namespace qvcheck
