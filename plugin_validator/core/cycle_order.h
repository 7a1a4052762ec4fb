// The order of a life cycle's calls, drawn from a seed so that a run can be repeated: which of the two
// objects gets its default record, its init and its uninit first, and where the commands go.
#pragma once

#include <cstdint>
#include <vector>

namespace qvcheck {

// A small generator of its own (SplitMix32 style), so that an order never depends on a library's.
class Prng {
public:
    explicit Prng(std::uint32_t seed) noexcept : state_(seed) {}
    std::uint32_t Next() noexcept;
    bool Coin() noexcept { return (Next() & 0x100u) != 0; }

private:
    std::uint32_t state_;
};

enum class Call { kInfo, kDefaultA, kDefaultB, kInitA, kInitB, kCommand, kCommandEx, kUninitA, kUninitB };

struct RoundExports {
    bool command = false;    // QVCommand is exported and commands were asked for
    bool commandEx = false;  // the same for QVCommandEx
};

// The calls of one round between load and unload. Always: QVGetPluginInfo first; each object's
// QVDefault before its QVInit; commands only while both objects are attached; both QVUninit last.
std::vector<Call> RoundCalls(std::uint32_t seed, std::uint32_t round, RoundExports exports);

}  // namespace qvcheck
