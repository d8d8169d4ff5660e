// The program's folder on the virtual file system: Tavrin.exe in C:\Tools\Tavrin, the current
// directory there too, all of it kept in a host folder of the running test's own.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/sim/files.h"
#include "tests/support/temp_folder.h"

namespace testsupport {

inline constexpr char16_t kProgram[] = u"C:\\Tools\\Tavrin\\Tavrin.exe";
inline constexpr char16_t kSettings[] = u"C:\\Tools\\Tavrin\\Tavrin.ini";

class ProgramFolder {
  public:
    explicit ProgramFolder(std::string_view tag) : root(tag) {
        auto& files = sim::Files::Get();
        files.Reset();
        files.SetRoot(root.path());
        files.SetProgramPath(kProgram);
        files.SetCurrentDirectory(u"C:\\Tools\\Tavrin");
        std::filesystem::create_directories(Host(u"C:\\Tools\\Tavrin"));
    }
    ~ProgramFolder() { sim::Files::Get().Reset(); }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    std::filesystem::path Host(std::u16string_view path) const {
        return sim::Files::Get().HostPath(path).value();
    }
    void WriteFile(std::u16string_view path, const std::string& text) const {
        const std::filesystem::path host = Host(path);
        std::filesystem::create_directories(host.parent_path());
        std::ofstream(host, std::ios::binary) << text;
    }
    std::string ReadFile(std::u16string_view path) const {
        std::ifstream in(Host(path), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool Exists(std::u16string_view path) const { return std::filesystem::exists(Host(path)); }

    const TempFolder root;
};

}  // namespace testsupport
