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

// The one stop flag and pause gate of a job; `poll()` waits at the gate, then reports the flag.
// Stop ends the loop that polls it (the loop clears it and the job goes on to its next step, as
// the pages' Stop does); an abort, as for a signal, ends every loop of the job and stays set.
class WorkerControl {
public:
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> abortRequested{false};
    PauseGate* gate = nullptr;

    bool poll() const {
        if (gate) gate->pass();
        return stopRequested.load(std::memory_order_acquire) || abortRequested.load(std::memory_order_acquire);
    }
    void requestStop() { stopRequested.store(true, std::memory_order_release); }
    void requestAbort() { abortRequested.store(true, std::memory_order_release); }
    void clear() { stopRequested.store(false, std::memory_order_release); }
    bool aborted() const { return abortRequested.load(std::memory_order_acquire); }
};

}  // namespace quarvell
