// The virtual workstation's file system: the system only ever names Windows paths
// ("C:\Tools\Tavrin\Tavrin.ini", ".\lines\a.pfg"); the simulated backend keeps those files in a
// folder of the host, one subfolder per drive letter (<root>/C/Tools/Tavrin/Tavrin.ini).
#pragma once

#include <array>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

class Files {
  public:
    static Files& Get();

    // No root (no file reaches the host), current directory C:\, program C:\Tavrin\Tavrin.exe,
    // Windows directory C:\Windows.
    void Reset();

    void SetRoot(std::filesystem::path root);
    std::filesystem::path Root() const;
    // A drive kept in a host folder of its own rather than under the root: on a Windows host the
    // machine's own drive ("C:\"). An empty folder puts the drive back under the root.
    void SetDriveFolder(char16_t drive, std::filesystem::path folder);

    // Relative paths resolve against it. False (and unchanged) for a path without a drive.
    bool SetCurrentDirectory(std::u16string_view path);
    std::u16string CurrentDirectory() const;

    // What GetModuleFileNameW(nullptr, ...) answers on the virtual workstation.
    void SetProgramPath(std::u16string_view path);
    std::u16string ProgramPath() const;

    // Where a profile file named without any folder lives, as on Windows.
    bool SetWindowsDirectory(std::u16string_view path);
    std::u16string WindowsDirectory() const;

    // The full path GetFullPathNameW would give: "X:\a\b", '/' read as '\', "." and ".."
    // resolved. Empty for what the virtual workstation has no drive for (UNC and device
    // paths, an empty path).
    std::u16string FullPath(std::u16string_view path) const;

    // The host file behind a Windows path; nullopt without a full path, or without a root for a
    // drive that has no folder of its own.
    std::optional<std::filesystem::path> HostPath(std::u16string_view path) const;

    // Whether the file has the read-only attribute: as the host keeps it, no owner's write.
    bool IsReadOnly(std::u16string_view path) const;
    // Whether files may be made, renamed and deleted in the path's folder: a folder whose host
    // folder has no owner's write stands for one the user may not write (whoever runs the tests).
    bool FolderWritable(std::u16string_view path) const;

    // MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | ...): `from` a file, `to` missing or a file
    // that is not read-only; the host's rename, one step, refuses what else Windows refuses (a
    // folder that cannot be written). False, and nothing changed, when it cannot.
    bool MoveReplacing(std::u16string_view from, std::u16string_view to) const;
    // DeleteFileW: a file that is not read-only.
    bool Remove(std::u16string_view path) const;

    // Whether Windows opens a device rather than a file for the path, as GetFullPathNameW tells
    // it: the device namespace (\\.\NUL, \\.\pipe\x, \\?\pipe\x, but not \\?\C:\x), a pipe or
    // mailslot of another machine, or a DOS device's name in any folder (NUL, C:\a\com1, nul.txt).
    static bool NamesDevice(std::u16string_view path);

  private:
    Files();
    std::u16string FullPathLocked(std::u16string_view path) const;  // under mutex_

    mutable std::mutex mutex_;
    std::filesystem::path root_;
    std::array<std::filesystem::path, 26> driveFolders_;
    std::u16string currentDirectory_;
    std::u16string programPath_;
    std::u16string windowsDirectory_;
};

}  // namespace sim
