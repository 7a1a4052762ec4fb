// How the monitor thread and the host's side agree on how a thread ends, and on who may still use
// the bin. Platform-free: each decision is one atomic step, so whichever side comes first decides.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace wastewatch {

// The end of one monitor thread. The last QVUninit releases it (hands it a library reference and
// tells it to go); a thread that can no longer wait gives up by itself, leaving as at a stop. Exactly
// one of the two happens first, and the other side learns so.
class MonitorExit {
public:
    // The host's side: true when the thread takes the reference handed over; false when it gave up
    // first (it leaves with a reference of its own, and the one at hand is the caller's to drop).
    bool Release() noexcept;
    // The thread: true when it gives up on its own; false when it was released first (it leaves with
    // the reference it was handed, as at a stop).
    bool GiveUp() noexcept;
    // The thread gave up: nobody waits for it or ends it, and a new one takes its place.
    bool GaveUp() const noexcept;

private:
    enum State : int { kRunning, kReleased, kGaveUp };
    std::atomic<int> state_{kRunning};
};

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
