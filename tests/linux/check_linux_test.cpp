// tavrin-check on Linux: DISK arguments resolved over a built sysfs tree, and a stop that ends
// the device calls at once and interrupts a blocked system call instead of restarting it.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "device/controller.h"
#include "device/scsi.h"
#include "platform/console.h"
#include "platform/device_io.h"
#include "platform/linux/sg_pass_through.h"
#include "platform/linux/usb_sysfs.h"
#include "tests/linux/sysfs_tree.h"
#include "tests/support/temp_folder.h"
#include "tools/check.h"
#include "tools/disk_argument.h"
#include "usb/enum_usb.h"

namespace {

namespace fs = std::filesystem;

class DiskArgument : public ::testing::Test {
  protected:
    void SetUp() override {
        // sdb with its partition sdb1, as the kernel links them; sg1 is sdb's generic node.
        const fs::path disk = root / "sys/devices/pci0000:00/usb1/1-1/host0/block/sdb";
        fs::create_directories(disk / "sdb1");
        std::ofstream(disk / "sdb1/partition") << "1\n";
        fs::create_directories(root / "sys/class/block");
        fs::create_directory_symlink("../../devices/pci0000:00/usb1/1-1/host0/block/sdb",
                                     root / "sys/class/block/sdb");
        fs::create_directory_symlink("../../devices/pci0000:00/usb1/1-1/host0/block/sdb/sdb1",
                                     root / "sys/class/block/sdb1");
        fs::create_directories(root / "sys/class/scsi_generic/sg1/device/block/sdb");
        fs::create_directories(root / "sys/class/scsi_generic/sg2/device");
    }
    const testsupport::TempFolder root{"disk-arg"};
};

TEST_F(DiskArgument, APartitionOrAGenericNodeNamesItsDisk) {
    const struct {
        const char* node;
        fs::file_type type;
        const char* disk;  // null: no disk, with the reason
        const char* why;
    } cases[] = {
        {"/dev/sdb", fs::file_type::block, "/dev/sdb", ""},
        {"/dev/sdb1", fs::file_type::block, "/dev/sdb", ""},
        {"/dev/sg1", fs::file_type::character, "/dev/sdb", ""},
        {"/dev/sg2", fs::file_type::character, nullptr, "a SCSI generic node without a disk"},
        {"/dev/null", fs::file_type::character, nullptr, "not a block device"},
        {"/etc/passwd", fs::file_type::regular, nullptr, "not a block device"},
        {"/dev/sdz", fs::file_type::block, nullptr, "a block device the system does not list"},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto disk = tools::DiskOfNode(c.node, c.type, root.path(), &why);
        if (c.disk != nullptr) {
            EXPECT_EQ(disk, std::optional<std::string>(c.disk)) << c.node;
        } else {
            EXPECT_EQ(disk, std::nullopt) << c.node;
            EXPECT_EQ(why, c.why) << c.node;
        }
    }
}

// Links are followed to what they name; a name that is nothing says so.
TEST_F(DiskArgument, LinksAreFollowedToTheirNode) {
    fs::create_directories(root / "dev/disk/by-id");
    fs::create_symlink("/dev/null", root / "dev/disk/by-id/usb-Generic");
    std::string why;
    EXPECT_EQ(tools::ResolveDiskArgument((root / "dev/disk/by-id/usb-Generic").string(),
                                         root.path(), &why),
              std::nullopt);
    EXPECT_EQ(why, "not a block device") << "the link's target, a character device, was judged";
    why.clear();
    EXPECT_EQ(tools::ResolveDiskArgument((root / "dev/sdq").string(), root.path(), &why),
              std::nullopt);
    EXPECT_FALSE(why.empty());
}

std::atomic<int> stopStatus{0};
void Note(int exitStatus) {
    stopStatus = exitStatus;
}

// After a stop no device call reaches the system, and a blocked call is interrupted, not
// restarted.
TEST(StopDeviceCalls, NothingIsSentAfterAStop) {
    const platform::Handle handle = platform::OpenDeviceFile(u"/dev/null");
    ASSERT_NE(handle, platform::kInvalidHandle);
    platform::linux_os::StopDeviceCalls();
    EXPECT_EQ(platform::OpenDeviceFile(u"/dev/null"), platform::kInvalidHandle);
    EXPECT_EQ(platform::LastDeviceError().code, EINTR);
    std::uint8_t request[platform::kScsiDataOffset + 36] = {};
    std::uint32_t count = 1;
    EXPECT_FALSE(platform::DeviceControl(handle, platform::kIoctlScsiPassThrough, request,
                                         sizeof request, request, sizeof request, &count));
    EXPECT_EQ(platform::LastDeviceError().code, EINTR);
    EXPECT_EQ(count, 0u);
    // A command of four attempts stopped in its first is not sent again: one retry line.
    {
        std::fflush(stderr);
        const int saved = dup(2);
        FILE* lines = std::tmpfile();
        ASSERT_NE(lines, nullptr);
        dup2(fileno(lines), 2);
        const std::uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
        std::uint8_t data[36] = {};
        const device::ScsiResult result = device::ScsiDataInResult(handle, cdb, data, 1, 4);
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        std::rewind(lines);
        char text[256] = {};
        const std::size_t n = std::fread(text, 1, sizeof text - 1, lines);
        std::fclose(lines);
        EXPECT_EQ(result, device::ScsiResult::NotSent);
        EXPECT_EQ(std::string(text, n), "r retry 1\n");
    }
    platform::linux_os::ResumeDeviceCalls();
    const platform::Handle again = platform::OpenDeviceFile(u"/dev/null");
    EXPECT_NE(again, platform::kInvalidHandle);
    platform::CloseDevice(again);
    platform::CloseDevice(handle);

    ASSERT_TRUE(platform::console::CatchStopRequests(Note));
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pthread_t reader = pthread_self();
    std::atomic<bool> returned{false};
    // Signalled until the read returns: a signal that comes before the read begins is not the
    // one that must interrupt it. A read restarted after each signal is let go after ten
    // seconds, to fail rather than hang.
    std::thread signaller([&] {
        for (int i = 0; i < 1000 && !returned; ++i) {
            pthread_kill(reader, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!returned)
            (void)!write(pipeEnds[1], "x", 1);
    });
    char byte = 0;
    const ssize_t n = read(pipeEnds[0], &byte, 1);
    const int error = errno;
    returned = true;
    signaller.join();
    EXPECT_EQ(n, -1);
    EXPECT_EQ(error, EINTR) << "a restarted read would have waited for ever";
    EXPECT_EQ(stopStatus.load(), 128 + SIGTERM);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

// tavrin-check's watch on this machine's kernel (its uevents, the mount table, the stop pipe):
// stop requests at any moment of its life, before it listens, while it walks or waits, while it
// ends. Each run ends with the first stop's status, and none reaches a watch that is gone
// (ThreadSanitizer watches that).
TEST(CheckWatchOnLinux, AStopAtAnyMomentEndsTheWatchItFinds) {
    tools::CheckSystem system;
    system.diskNames = [](char16_t) { return std::vector<std::string>{}; };
    std::mt19937 random(11);
    // A busy wait: a yield would hand a loaded machine's time slices away.
    std::atomic<unsigned> spun{0};
    const auto spin = [&spun](unsigned turns) {
        for (unsigned i = 0; i < turns; ++i)
            spun.fetch_add(1, std::memory_order_relaxed);
    };
    for (int round = 0; round < 1000; ++round) {
        const unsigned first = random() % 400000, second = random() % 2000;
        std::ostringstream out, err;
        int status = -1;
        std::thread run([&] { status = tools::RunCheck({"--watch"}, system, out, err); });
        spin(first);
        tools::StopCheck(130);
        spin(second);
        tools::StopCheck(143);
        run.join();
        ASSERT_EQ(status, 130) << "round " << round << ": " << err.str();
        // The second stop, when it came after the run, is the next run's.
        std::ostringstream more;
        const int next = tools::RunCheck({"--version"}, system, more, more);
        ASSERT_TRUE(next == 0 || next == 143) << next;
    }
}

// The block read of a disk whose node changed since the walk: pulled (the node gone) or swapped
// (the node another device's) is never read, and says so; the walk's own disk, read and wrong,
// is the disk's failure with the system's reason. The machine's null device stands in for the
// disk's generic node, which takes no SCSI command.
TEST(DiskChangedBeforeItsRead, IsNotReadAndSaysSo) {
    linux_test::SysfsTree tree;
    const std::string usb1 = tree.Controller(1, 4, "xHCI Host Controller");
    linux_test::UsbAttributes attributes;
    attributes.productText = "Flash Disk";
    attributes.serialText = "0123456789AB";
    attributes.interfaceDriver = "usb-storage";
    const std::string flash = tree.Device(usb1 + "/1-2", attributes);
    const std::string sdb = tree.Disk(tree.ScsiBlock(flash + "/1-2:1.0", 2), "sdb", 1, true);
    const std::string sg1 = tree.Generic(sdb, "sg1", 1);
    tree.Mount("/dev/sdb1", "/media/a", "vfat");
    tree.Remove("/dev/sg1");
    fs::create_symlink("/dev/null", tree.Root() + "/dev/sg1");
    tree.Link("/sys/dev/char/1:3", sg1);
    platform::linux_os::SetSystemRoot(tree.Root());
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    const auto letter = platform::linux_os::VolumeLetter("sdb1");
    ASSERT_TRUE(letter.has_value());
    const auto& lists = device::SelectionListsFor(device::Language::English);

    const auto read = [&](device::InfoRead expected, int code, std::u16string_view text) {
        device::ValueSlots slots;
        platform::SetLastDeviceError({EACCES, u"Permission denied"});  // an earlier disk's
        EXPECT_EQ(device::DecodeControllerInfo(1, *letter, slots, lists), expected);
        EXPECT_EQ(slots, device::ValueSlots{});
        const platform::DeviceError error = platform::LastDeviceError();
        EXPECT_EQ(error.code, code);
        EXPECT_EQ(error.text, text);
    };
    // The walk's disk, which answers no SCSI command: read, and wrong.
    read(device::InfoRead::NotRead, ENOTTY, u"Inappropriate ioctl for device");
    // Another device under the node.
    tree.Remove("/sys/dev/char/1:3");
    tree.Remove("/dev/sg1");
    fs::create_symlink("/dev/zero", tree.Root() + "/dev/sg1");
    read(device::InfoRead::NotOpened, ESTALE, u"the disk changed during the run");
    // The node gone.
    tree.Remove("/dev/sg1");
    read(device::InfoRead::NotOpened, ESTALE, u"the disk changed during the run");
    platform::linux_os::SetSystemRoot("");
}

// A mount point that cannot be looked at leaves its volume without a usable mount, and says
// why: the disk is not one without a mount. (A loop of links stands in for a folder the user
// may not enter, which root, who runs the tests, always may.)
TEST(MountPointNotReadable, IsToldNotTakenForNoMount) {
    linux_test::SysfsTree tree;
    const std::string usb1 = tree.Controller(1, 4, "xHCI Host Controller");
    linux_test::UsbAttributes attributes;
    attributes.interfaceDriver = "usb-storage";
    const std::string flash = tree.Device(usb1 + "/1-2", attributes);
    tree.Disk(tree.ScsiBlock(flash + "/1-2:1.0", 2), "sdb", 1, true);
    tree.Mount("/dev/sdb1", "/media/a", "vfat");
    platform::linux_os::SetSystemRoot(tree.Root());
    EXPECT_EQ(platform::linux_os::UnreadableMountOf("sdb"), std::nullopt);
    const auto lettered = [] { return !platform::linux_os::MountedLetters().empty(); };
    EXPECT_TRUE(lettered());

    tree.Remove("/media/a");
    fs::create_symlink("a", tree.Root() + "/media/a");
    EXPECT_EQ(platform::linux_os::UnreadableMountOf("sdb"),
              std::optional<std::string>(std::strerror(ELOOP)));
    EXPECT_EQ(platform::linux_os::UnreadableMountOf("sdc"), std::nullopt);
    EXPECT_FALSE(lettered());
    platform::linux_os::SetSystemRoot("");
}

}  // namespace
