#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform::console {
namespace {

std::atomic<void (*)(int)> stopCall{nullptr};
static_assert(std::atomic<void (*)(int)>::is_always_lock_free, "read in a signal handler");

void OnSignal(int signal) {
    if (void (*stop)(int) = stopCall.load())
        stop(128 + signal);
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
    if (argc < 1)
        return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

// The terminal takes the bytes as they are.
Utf8Output::Utf8Output() = default;
Utf8Output::~Utf8Output() = default;

long ProcessNumber() {
    return static_cast<long>(getpid());
}

bool CatchStopRequests(void (*stop)(int exitStatus)) {
    stopCall.store(stop);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked call returns, so the run sees the stop.
    action.sa_flags = 0;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace platform::console
