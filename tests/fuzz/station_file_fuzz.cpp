// The virtual station file reader on random text: an error with a line number within the text,
// never a crash; what it accepts installs and reads back the same.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "fuzz_files.h"
#include "fuzz_input.h"
#include "platform/sim/station.h"
#include "platform/sim/station_file.h"

namespace {

using tavrin_fuzz::Fail;

// A block file the text may name ("block file sample.bin"), and one too short.
const std::filesystem::path& Folder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path f = tavrin_fuzz::ScratchFolder() / "station";
        std::filesystem::create_directories(f);
        std::vector<std::uint8_t> block(1024, 0);
        const std::uint8_t magic[] = {0x8B, 0x1C, 0xDB, 0xFA};
        std::copy(std::begin(magic), std::end(magic), block.begin());
        tavrin_fuzz::WriteFile(f / "sample.bin", block);
        tavrin_fuzz::WriteFile(f / "short.bin", {1, 2, 3});
        return f;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::StationDescription description;
    const sim::StationFileResult result = sim::ParseStation(text, Folder(), description);
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (result.ok != result.error.empty())
        Fail("an error without a message, or a message without an error");
    if (!result.ok && (result.line < 1 || result.line > lines))
        Fail("an error on a line the text does not have");
    if (result.ok) {
        sim::InstallStation(description);
        sim::Station::Get().Reset();
    }
    return 0;
}
