#include <cerrno>
#include <csignal>
#include <iostream>

#include "platform/text.h"
#include "tools/check.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/device_io.h"
#elif defined(TAVRIN_OS_LINUX)
#include "platform/linux/sg_pass_through.h"
#include "platform/linux/usb_sysfs.h"
#include "tools/disk_argument.h"
#else
#include <unistd.h>

#include <filesystem>

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
#elif defined(TAVRIN_OS_LINUX)
// Nothing more is sent to a disk, and the command in hand is not sent again.
void OnSignal(int signal) {
    platform::linux_os::StopDeviceCalls();
    tools::StopCheck(128 + signal);
}

std::string LinuxAdvice(int code) {
    if (code == EACCES || code == EPERM)
        return "needs read and write access to the disk's devices (the disk group, or root)";
    if (code == EBUSY)
        return "another program holds the disk";
    return "";
}
#else
void OnSignal(int signal) {
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
#else
    args.assign(argv + 1, argv + argc);
#if defined(TAVRIN_OS_LINUX)
    platform::linux_os::CatchStopSignals(OnSignal);
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
#else
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    // Built natively the disks are a virtual station's, the files the machine's.
    std::error_code error;
    const std::filesystem::path links =
        std::filesystem::temp_directory_path(error) /
        ("tavrin-check-" + std::to_string(static_cast<long>(getpid())));
    system.loadStation = [&links](const std::string& path, std::string* why) {
        return tools::LoadStationOnHostFiles(path, links, why);
    };
    system.diskNames = DriveNames;
    system.adviceFor = tools::WindowsAdvice;
#endif
#endif
    const int status = tools::RunCheck(args, system, std::cout, std::cerr);
#if !defined(_WIN32) && !defined(TAVRIN_OS_LINUX)
    std::filesystem::remove(links / "C", error);
    std::filesystem::remove(links, error);
#endif
    return status;
}
