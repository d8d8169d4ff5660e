// A folder of the test's own under the host's temporary directory: made new (never one that
// was there already, so that runs side by side do not meet) and removed with the object.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

class TempFolder {
  public:
    explicit TempFolder(std::string_view tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }
    // Bytes into a file below the folder, its folders made on the way.
    void Write(const std::filesystem::path& name, std::string_view bytes) const;
    // A file's bytes; empty when it cannot be read.
    std::string Read(const std::filesystem::path& name) const;

  private:
    std::filesystem::path path_;
};

}  // namespace testsupport
