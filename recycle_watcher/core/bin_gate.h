// Who may still use the bin: the monitor threads' measurements or this plug-in's emptying.
// Platform-free: each decision is one atomic step, so whichever side comes first decides.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace wastewatch {

// The bin's gate between the monitor threads' measurements and this plug-in's emptying (a shell that
// reads the bin while it is being emptied can leave parts of items behind). Each reader has a bit of
// its own, set and cleared in one atomic step, so the bit of a thread ended by force can be cleared
// on its behalf: nothing then waits for a reader that is gone.
class BinGate {
public:
    using Reader = std::uint32_t;  // one bit
    static constexpr int kMaxReaders = 30;

    // A bit of its own for a new monitor thread; none while kMaxReaders hold one.
    std::optional<Reader> JoinReader() noexcept;
    // The reader reads no more and its bit is free again; also for a thread that was ended by force.
    void LeaveReader(Reader reader) noexcept;

    // False while the bin is being emptied or an emptying waits for readers to finish.
    bool TryBeginRead(Reader reader) noexcept;
    void EndRead(Reader reader) noexcept;  // harmless when the reader does not read

    // True when the emptying may start (no reader reads); otherwise new reads are refused until it
    // has started and ended, and the caller tries again.
    bool TryBeginEmpty() noexcept;
    void EndEmpty() noexcept;

private:
    static constexpr std::uint32_t kEmptying = 1u << 31;
    static constexpr std::uint32_t kEmptyWanted = 1u << 30;
    static constexpr std::uint32_t kReaderBits = kEmptyWanted - 1;
    std::atomic<std::uint32_t> state_{0};    // readers reading, and the emptying's bits
    std::atomic<std::uint32_t> claimed_{0};  // readers' bits in use
};

}  // namespace wastewatch
