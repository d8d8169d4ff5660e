#include <cerrno>
#include <csignal>
#include <iostream>

#include "platform/text.h"
#include "tools/check.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/device_io.h"
#else
#include <filesystem>

#include "platform/linux/sg_pass_through.h"
#include "tools/disk_argument.h"
#endif
#if defined(TAVRIN_OS_LINUX) || defined(TAVRIN_OS_DISPATCH)
#include "platform/linux/usb_sysfs.h"
#endif
#if defined(TAVRIN_OS_DISPATCH)
#include "platform/dispatch.h"
#endif
#if !defined(_WIN32) && !defined(TAVRIN_OS_LINUX)
#include <unistd.h>

#include "tools/station_host.h"
#endif

namespace {

#if defined(_WIN32)
// Ctrl+C and Ctrl+Break end the run as SIGINT would.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    tools::StopCheck(128 + SIGINT);
    return TRUE;
}
#else
// Nothing more is sent to a disk, and the command in hand is not sent again.
void OnSignal(int signal) {
    platform::linux_os::StopDeviceCalls();
    tools::StopCheck(128 + signal);
}
#endif

#if !defined(TAVRIN_OS_LINUX)
// "E:" as the system names the drive, and "E:\" as one may type it.
std::vector<std::string> DriveNames(char16_t letter) {
    const std::string drive = platform::ToUtf8(std::u16string{letter, u':'});
    return {drive, drive + "\\"};
}
#endif

#if defined(TAVRIN_OS_LINUX) || defined(TAVRIN_OS_DISPATCH)
std::string LinuxAdvice(int code) {
    if (code == EACCES || code == EPERM)
        return "needs read and write access to the disk's devices (the disk group, or root)";
    if (code == EBUSY)
        return "another program holds the disk";
    return "";
}

// The machine's own disks through the kernel.
void CheckTheMachine(tools::CheckSystem& system) {
    // The disk by its device, and the volume's own device where it is a partition.
    system.diskNames = [](char16_t letter) {
        std::vector<std::string> names;
        const auto volume = platform::linux_os::VolumeOfLetter(letter);
        const auto disk = volume ? platform::linux_os::WholeDiskOf(*volume) : std::nullopt;
        if (disk)
            names.push_back("/dev/" + *disk);
        if (volume && volume != disk)
            names.push_back("/dev/" + *volume);
        return names;
    };
    system.resolveDisk = [](const std::string& arg, std::string* why) {
        return tools::ResolveDiskArgument(arg, "/", why);
    };
    system.adviceFor = LinuxAdvice;
    system.volumeName = [](char16_t letter) {
        const auto volume = platform::linux_os::VolumeOfLetter(letter);
        return volume ? platform::FromUtf8(*volume) : std::u16string();
    };
    // A disk is the one the walk saw, not whichever disk has its name now.
    system.diskIdentity = [](char16_t letter) {
        return platform::linux_os::DiskIdentity(letter).value_or("");
    };
    system.kernelMicroseconds = platform::linux_os::SgIoMicroseconds;
}
#endif

#if !defined(_WIN32) && !defined(TAVRIN_OS_LINUX)
// A virtual station's disks, the machine's files: its drive C: is the machine's root.
void CheckAStation(tools::CheckSystem& system, const std::filesystem::path& links) {
    system.loadStation = [links](const std::string& path, std::string* why) {
        return tools::LoadStationOnHostFiles(path, links, why);
    };
    system.diskNames = DriveNames;
    system.adviceFor = tools::WindowsAdvice;
}

// Whether the arguments ask for a station, the values of other options aside.
bool AsksForStation(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--station")
            return true;
        if (arg == "--lang" || arg == "--check" || arg == "--ports" || arg == "--format" ||
            arg == "--log")
            ++i;
    }
    return false;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    tools::CheckSystem system;
#if defined(_WIN32)
    // The arguments come in the console's code page; the command reads UTF-8.
    for (int i = 1; i < argc; ++i)
        args.push_back(platform::ToUtf8(platform::AnsiToWide(argv[i])));
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    system.diskNames = DriveNames;
    system.adviceFor = tools::WindowsAdvice;
    return tools::RunCheck(args, system, std::cout, std::cerr);
#else
    args.assign(argv + 1, argv + argc);
    platform::linux_os::CatchStopSignals(OnSignal);
#if defined(TAVRIN_OS_LINUX)
    CheckTheMachine(system);
    return tools::RunCheck(args, system, std::cout, std::cerr);
#else
    std::error_code error;
    const std::filesystem::path links =
        std::filesystem::temp_directory_path(error) /
        ("tavrin-check-" + std::to_string(static_cast<long>(getpid())));
#if defined(TAVRIN_OS_DISPATCH)
    // One program for both: the machine's disks unless a station is asked for, chosen before
    // any other platform call.
    if (!AsksForStation(args)) {
        CheckTheMachine(system);
        return tools::RunCheck(args, system, std::cout, std::cerr);
    }
    platform::UseBackend(platform::Backend::Station);
#endif
    CheckAStation(system, links);
    const int status = tools::RunCheck(args, system, std::cout, std::cerr);
    std::filesystem::remove(links / "C", error);
    std::filesystem::remove(links, error);
    return status;
#endif
#endif
}
