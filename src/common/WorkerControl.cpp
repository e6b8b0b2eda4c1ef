#include "common/WorkerControl.h"

namespace quarvell {

void PauseGate::pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_.store(true, std::memory_order_release);
}

void PauseGate::resume() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_.store(false, std::memory_order_release);
    }
    opened_.notify_all();
}

void PauseGate::pass() const {
    if (!paused_.load(std::memory_order_acquire)) return;
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return !paused_.load(std::memory_order_acquire); });
}

}  // namespace quarvell
