// The kernel test's yardstick for the speed figures: what any program must do to read one disk
// as the station does (open, identify, close; open, read the block in both lengths, the free
// space, close), timed whole and inside SG_IO alone, with nothing else around it.
//   tavrin-bare-read DISK GENERIC-NODE MOUNT-POINT ...
// prints "bare DISK <microseconds> <microseconds in SG_IO>" per disk.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

long long Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

long long sgIo = 0;

void VendorRead(int fd, std::uint8_t subCode, std::uint16_t length) {
    std::uint8_t cdb[16] = {0xA1, subCode, 0, static_cast<std::uint8_t>(length >> 8),
                            static_cast<std::uint8_t>(length)};
    std::uint8_t data[1024] = {};
    std::uint8_t sense[32] = {};
    sg_io_hdr_t h{};
    h.interface_id = 'S';
    h.dxfer_direction = SG_DXFER_FROM_DEV;
    h.cmd_len = sizeof cdb;
    h.cmdp = cdb;
    h.dxfer_len = length;
    h.dxferp = data;
    h.mx_sb_len = 24;
    h.sbp = sense;
    h.timeout = 10000;
    const auto start = Clock::now();
    ioctl(fd, SG_IO, &h);
    sgIo += Since(start);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 2 < argc; i += 3) {
        sgIo = 0;
        const auto start = Clock::now();
        int fd = open(argv[i + 1], O_RDWR | O_NONBLOCK | O_CLOEXEC);
        VendorRead(fd, 0, 36);
        close(fd);
        fd = open(argv[i + 1], O_RDWR | O_NONBLOCK | O_CLOEXEC);
        VendorRead(fd, 1, 512);
        VendorRead(fd, 1, 1024);
        struct statvfs fs {};
        statvfs(argv[i + 2], &fs);
        close(fd);
        std::printf("bare %s %lld %lld\n", argv[i], Since(start), sgIo);
    }
    return 0;
}
