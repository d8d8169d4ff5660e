// The device watch on Linux: the kernel's uevents over netlink (multicast group 1, which an
// unprivileged process may join) for disks and USB devices coming and going, and the mount
// table, whose poll() reports POLLPRI when it changes: a disk is checked only once its volume is
// mounted, which comes after its uevents. Stop writes to a pipe, which a signal handler may do.
#include "platform/device_watch.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string_view>

#include "platform/linux/uevent.h"

namespace platform {

TAVRIN_BACKEND_BEGIN

struct DeviceWatch::State {
    int uevents = -1;
    int mounts = -1;
    int stopRead = -1;
    int stopWrite = -1;
    std::atomic<bool> stopped{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

    ~State() {
        for (int fd : {uevents, mounts, stopRead, stopWrite}) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    // Reads every uevent queued; whether one may have brought or taken a disk.
    bool DrainUevents() const {
        bool changed = false;
        char buffer[8192];
        for (;;) {
            sockaddr_nl sender{};
            iovec io{buffer, sizeof buffer};
            msghdr message{};
            message.msg_name = &sender;
            message.msg_namelen = sizeof sender;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            const ssize_t n = ::recvmsg(uevents, &message, MSG_DONTWAIT);
            if (n < 0) {
                // ENOBUFS: the socket overflowed and uevents were lost; any may have been a disk.
                if (errno == ENOBUFS)
                    changed = true;
                if (errno == EINTR || errno == ENOBUFS)
                    continue;
                return changed;
            }
            if (sender.nl_pid != 0)  // only the kernel speaks for the kernel
                continue;
            if ((message.msg_flags & MSG_TRUNC) != 0) {
                changed = true;
                continue;
            }
            const auto event =
                linux_os::ParseUevent(std::string_view(buffer, static_cast<std::size_t>(n)));
            changed = changed || (event && linux_os::MayChangeDisks(*event));
        }
    }

    void DrainStop() const {
        char bytes[64];
        while (::read(stopRead, bytes, sizeof bytes) > 0) {
        }
    }
};

DeviceWatch::DeviceWatch() : state_(std::make_unique<State>()) {
    State& s = *state_;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        s.stopRead = pipe[0];
        s.stopWrite = pipe[1];
    }
    s.uevents =
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (s.uevents >= 0) {
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = 1;  // the kernel's own uevents
        if (::bind(s.uevents, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(s.uevents);
            s.uevents = -1;
        } else {
            // A hub with its disks brings dozens of uevents at once; the kernel caps the size.
            const int size = 1 << 20;
            ::setsockopt(s.uevents, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
    }
    // Opening it takes the table as it is now as seen: poll reports only later changes.
    s.mounts = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
}

DeviceWatch::~DeviceWatch() = default;

// Either source alone still tells of disks coming: the uevents before mounting, the mount
// table after.
bool DeviceWatch::listening() const {
    const State& s = *state_;
    return s.stopRead >= 0 && (s.uevents >= 0 || s.mounts >= 0);
}

DeviceWatch::Wake DeviceWatch::Wait(std::uint32_t timeoutMs) {
    State& s = *state_;
    using Clock = std::chrono::steady_clock;
    const bool forever = timeoutMs == kForever;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (s.stopped)
            return Wake::Stopped;
        if (!listening())
            return Wake::Failed;
        int timeout = -1;
        if (!forever) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<decltype(left)>(left, 0, 0x7FFFFFFF));
        }
        pollfd fds[3] = {{s.stopRead, POLLIN, 0}, {s.uevents, POLLIN, 0}, {s.mounts, POLLPRI, 0}};
        const int ready = ::poll(fds, 3, timeout);  // a negative descriptor is passed over
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Wake::Failed;
        }
        if (ready == 0) {
            if (timeout == 0)
                return Wake::TimedOut;
            continue;
        }
        if (fds[0].revents != 0)
            s.DrainStop();
        bool changed = false;
        if (fds[1].revents != 0)
            changed = s.DrainUevents();
        // The poll itself takes the change as seen.
        if ((fds[2].revents & (POLLPRI | POLLERR)) != 0)
            changed = true;
        if (s.stopped)
            return Wake::Stopped;
        if (changed)
            return Wake::Changed;
    }
}

void DeviceWatch::Stop() {
    state_->stopped = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(state_->stopWrite, &byte, 1);
}

TAVRIN_BACKEND_END

}  // namespace platform
