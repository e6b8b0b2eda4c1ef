#include "cli/JobControl.h"

#include <signal.h>

#include <atomic>

namespace quarvell::cli {

namespace {
WorkerControl control;
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler only touches lock-free atomics");

extern "C" void onStopSignal(int number) {
    caught.store(number);
    control.requestAbort();
}

void install() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}
}  // namespace

WorkerControl& jobControl() {
    static const bool installed = (install(), true);
    (void)installed;
    return control;
}

int stopSignal() { return caught.load(); }

int exitCodeAfterSignals(int code) {
    const int number = stopSignal();
    return number ? 128 + number : code;
}

}  // namespace quarvell::cli
