#include "tools/station_host.h"

#include "platform/console.h"
#include "platform/sim/files.h"
#include "platform/sim/station_file.h"
#include "platform/text.h"

namespace tools {

bool LoadStationOnHostFiles(const std::string& stationFile, const std::filesystem::path& linkFolder,
                            std::string* error) {
    namespace fs = std::filesystem;
    const sim::StationFileResult result = sim::LoadStationFile(stationFile);
    *error = result.error;
    if (!result.ok)
        return false;
    std::error_code ignored;
#ifdef _WIN32
    // A Windows host's paths are the station's as they are: each drive is the machine's own.
    (void)linkFolder;
    for (char16_t drive = u'A'; drive <= u'Z'; ++drive)
        sim::Files::Get().SetDriveFolder(drive, fs::path(std::u16string{drive, u':', u'\\'}));
    sim::Files::Get().SetCurrentDirectory(fs::current_path(ignored).u16string());
#else
    fs::create_directories(linkFolder, ignored);
    fs::create_directory_symlink("/", linkFolder / "C", ignored);
    sim::Files::Get().SetRoot(linkFolder);
    std::u16string current = u"C:" + platform::FromUtf8(fs::current_path(ignored).string());
    for (char16_t& c : current)
        c = c == u'/' ? u'\\' : c;
    sim::Files::Get().SetCurrentDirectory(current);
#endif
    return true;
}

std::filesystem::path StationLinkFolder() {
    std::error_code ignored;
    return std::filesystem::temp_directory_path(ignored) /
           ("tavrin-check-" + std::to_string(platform::console::ProcessNumber()));
}

void UseStation(CheckSystem& system, const std::filesystem::path& linkFolder) {
    system.loadStation = [linkFolder](const std::string& path, std::string* why) {
        return LoadStationOnHostFiles(path, linkFolder, why);
    };
    system.diskNames = WindowsDiskNames;
    system.adviceFor = WindowsAdvice;
    system.diskIdentity = WindowsDiskIdentity;
}

}  // namespace tools
