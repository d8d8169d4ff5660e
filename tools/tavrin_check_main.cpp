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
#else
#include <unistd.h>

#include <filesystem>

#include "tools/station_host.h"
#endif

namespace {

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD) {
    tools::StopCheckWatch();
    return TRUE;
}
#else
void OnSignal(int) {
    tools::StopCheckWatch();
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
#else
    args.assign(argv + 1, argv + argc);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#if defined(TAVRIN_OS_LINUX)
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
    system.kernelMicroseconds = platform::linux_os::SgIoMicroseconds;
#else
    // Built natively the disks are a virtual station's, the files the machine's.
    std::error_code error;
    const std::filesystem::path links =
        std::filesystem::temp_directory_path(error) /
        ("tavrin-check-" + std::to_string(static_cast<long>(getpid())));
    system.loadStation = [&links](const std::string& path, std::string* why) {
        return tools::LoadStationOnHostFiles(path, links, why);
    };
    system.diskNames = DriveNames;
#endif
#endif
    const int status = tools::RunCheck(args, system, std::cout, std::cerr);
#if !defined(_WIN32) && !defined(TAVRIN_OS_LINUX)
    std::filesystem::remove(links / "C", error);
    std::filesystem::remove(links, error);
#endif
    return status;
}
