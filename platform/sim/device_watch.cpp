// The device watch on the virtual station: a hook on its port changes. The hook and Stop only
// set a flag and ring a bell; the bell is a pipe where a signal handler may ring it (the native
// tools run on a station file until interrupted), and a condition variable on Windows, whose
// console control handlers run on a thread of their own.
#include "platform/device_watch.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/sim/station.h"

#ifdef _WIN32
#include <condition_variable>
#include <mutex>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

#ifdef _WIN32

class Bell {
  public:
    bool ok() const { return true; }
    void Ring() {
        {
            std::lock_guard lock(mutex_);
            rung_ = true;
        }
        rang_.notify_all();
    }
    // Whether it rang within `ms`; a ring is answered once.
    bool Wait(std::chrono::milliseconds ms) {
        std::unique_lock lock(mutex_);
        const bool rung = rang_.wait_for(lock, ms, [this] { return rung_; });
        rung_ = false;
        return rung;
    }

  private:
    std::mutex mutex_;
    std::condition_variable rang_;
    bool rung_ = false;
};

#else

class Bell {
  public:
    Bell() {
        if (::pipe(fds_) != 0) {
            fds_[0] = fds_[1] = -1;
            return;
        }
        for (int fd : fds_) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    ~Bell() {
        for (int fd : fds_) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    Bell(const Bell&) = delete;
    Bell& operator=(const Bell&) = delete;
    bool ok() const { return fds_[0] >= 0; }
    // A full pipe already rings: the byte that did not fit is not needed.
    void Ring() {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(fds_[1], &byte, 1);
    }
    bool Wait(std::chrono::milliseconds ms) {
        pollfd p{fds_[0], POLLIN, 0};
        const int timeout = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
            ms.count(), std::chrono::milliseconds::rep{0x7FFFFFFF}));
        if (::poll(&p, 1, timeout) <= 0)
            return false;
        char drain[64];
        while (::read(fds_[0], drain, sizeof drain) > 0) {
        }
        return true;
    }

  private:
    int fds_[2] = {-1, -1};
};

#endif

}  // namespace

TAVRIN_BACKEND_BEGIN

// Shared with the station's hook, which may still run on another thread after the watch is gone.
struct DeviceWatch::State {
    struct Shared {
        Bell bell;
        std::atomic<bool> changed{false};
        std::atomic<bool> stopped{false};
        static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    };
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    std::uint64_t hook = 0;
};

DeviceWatch::DeviceWatch() : state_(std::make_unique<State>()) {
    if (!state_->shared->bell.ok())
        return;
    state_->hook = sim::Station::Get().Usb().AddDeviceChangeHook(
        [shared = state_->shared](sim::UsbChange, const sim::UsbPortAddress&) {
            shared->changed = true;
            shared->bell.Ring();
        });
}

DeviceWatch::~DeviceWatch() {
    sim::Station::Get().Usb().RemoveDeviceChangeHook(state_->hook);
}

bool DeviceWatch::listening() const {
    return state_->hook != 0;
}

DeviceWatch::Wake DeviceWatch::Wait(std::uint32_t timeoutMs) {
    State::Shared& s = *state_->shared;
    using Clock = std::chrono::steady_clock;
    const bool forever = timeoutMs == kForever;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (s.stopped)
            return Wake::Stopped;
        if (!listening())
            return Wake::Failed;
        if (s.changed.exchange(false))
            return Wake::Changed;
        const auto left =
            forever ? std::chrono::milliseconds(kForever)
                    : std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Wake::TimedOut;
        s.bell.Wait(left);
    }
}

void DeviceWatch::Stop() {
    state_->shared->stopped = true;
    state_->shared->bell.Ring();
}

TAVRIN_BACKEND_END

}  // namespace platform
