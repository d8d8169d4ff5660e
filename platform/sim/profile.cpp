// The simulated backend of platform/profile.h: private-profile files on the virtual
// workstation's file system (sim::Files), with the INI semantics of platform::ini.
#include "platform/profile.h"

#include <filesystem>
#include <optional>

#include "platform/device_io.h"
#include "platform/ini.h"
#include "platform/sim/faults.h"
#include "platform/sim/files.h"
#include "platform/sim/station.h"

namespace platform {
namespace {

// The station's code page.
constexpr ini::CodePage kAnsi{AnsiToWide, sim::WideToAnsi};

// A name without any folder is looked for in the Windows directory, as the real functions do.
ini::HostPath HostFile(std::u16string_view file) {
    if (file.empty())
        return std::nullopt;
    auto& files = sim::Files::Get();
    const bool bare = file.find_first_of(u"\\/") == std::u16string_view::npos &&
                      !(file.size() >= 2 && file[1] == u':');
    if (bare)
        return files.HostPath(files.WindowsDirectory() + u'\\' + std::u16string(file));
    return files.HostPath(file);
}

// The read-only attribute, as the host keeps it: the real functions cannot write or empty such a
// file, whoever runs them.
bool ReadOnly(const ini::HostPath& path) {
    std::error_code ec;
    const auto status = path ? std::filesystem::status(*path, ec) : std::filesystem::file_status{};
    return !ec && std::filesystem::is_regular_file(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) ==
               std::filesystem::perms::none;
}

}  // namespace

TAVRIN_BACKEND_BEGIN

int GetProfileInt(std::u16string_view section, std::u16string_view key, int fallback,
                  std::u16string_view file) {
    // A file that cannot be read answers as a missing one.
    if (sim::Faults::Fail(sim::FaultCall::ProfileRead))
        return fallback;
    return static_cast<int>(
        ini::GetInt(ini::LoadFile(HostFile(file), kAnsi).text, section, key, fallback));
}

std::u16string GetProfileString(std::u16string_view section, std::u16string_view key,
                                std::u16string_view fallback, std::size_t bufferSize,
                                std::u16string_view file) {
    if (sim::Faults::Fail(sim::FaultCall::ProfileRead))
        return std::u16string(fallback.substr(0, bufferSize == 0 ? 0 : bufferSize - 1));
    return ini::GetString(ini::LoadFile(HostFile(file), kAnsi).text, section, key, fallback,
                          bufferSize);
}

bool HasProfileSection(std::u16string_view section, std::u16string_view file) {
    if (sim::Faults::Fail(sim::FaultCall::ProfileRead))
        return false;
    return ini::HasSection(ini::LoadFile(HostFile(file), kAnsi).text, section);
}

bool WriteProfileString(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value, std::u16string_view file) {
    if (sim::Faults::Fail(sim::FaultCall::ProfileWrite))
        return false;
    const ini::HostPath path = HostFile(file);
    return !ReadOnly(path) && ini::StoreValue(path, section, key, value, kAnsi);
}

bool CreateEmptyFile(std::u16string_view path) {
    if (sim::Faults::Fail(sim::FaultCall::CreateFile))
        return false;
    auto& files = sim::Files::Get();
    const ini::HostPath host = files.HostPath(path);
    std::error_code ec;
    // A new file needs a folder that may be written; an existing one only itself.
    const bool exists = host && std::filesystem::exists(*host, ec);
    return !ReadOnly(host) && (exists || files.FolderWritable(path)) && ini::MakeEmptyFile(host);
}

bool FlushProfileFile(std::u16string_view file) {
    if (sim::Faults::Fail(sim::FaultCall::ProfileFlush))
        return false;
    // Written through already: the flush only needs the file, open for writing.
    auto& files = sim::Files::Get();
    const ini::HostPath host = files.HostPath(file);
    std::error_code ec;
    return host && std::filesystem::is_regular_file(*host, ec) && !files.IsReadOnly(file);
}

bool MoveFileReplacing(std::u16string_view from, std::u16string_view to) {
    if (sim::Faults::Fail(sim::FaultCall::MoveFile))
        return false;
    return sim::Files::Get().MoveReplacing(from, to);
}

bool RemoveFile(std::u16string_view path) {
    if (sim::Faults::Fail(sim::FaultCall::DeleteFile))
        return false;
    return sim::Files::Get().Remove(path);
}

std::u16string ModuleFileName() {
    std::u16string path = sim::Files::Get().ProgramPath();
    if (path.size() > 259)  // a 260-character buffer, NUL included
        path.resize(259);
    return path;
}

TAVRIN_BACKEND_END

}  // namespace platform
