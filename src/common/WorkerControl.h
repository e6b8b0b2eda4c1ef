#pragma once
// Stop flags and the pause gate that every long loop polls.
// POSIX has no thread suspension: Pause closes the gate, and a worker waits at its next poll.
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace quarvell {

class PauseGate {
public:
    void pause();
    void resume();
    bool isPaused() const { return paused_.load(std::memory_order_acquire); }
    // Blocks while the gate is closed.
    void pass() const;

private:
    std::atomic<bool> paused_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable opened_;
};

// A stop flag with an optional pause gate; `poll()` waits at the gate, then reports the flag.
class WorkerControl {
public:
    std::atomic<bool> stopRequested{false};
    PauseGate* gate = nullptr;

    bool poll() const {
        if (gate) gate->pass();
        return stopRequested.load(std::memory_order_acquire);
    }
    void requestStop() { stopRequested.store(true, std::memory_order_release); }
    void clear() { stopRequested.store(false, std::memory_order_release); }
};

}  // namespace quarvell
