// tavrin-block on random arguments and random file bytes: it answers 0, 1 or 2 and never
// crashes; with just a file, 0 exactly for the bytes the decoder takes, one line per slot.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "device/controller.h"
#include "fuzz_files.h"
#include "fuzz_input.h"
#include "tools/block_tool.h"

namespace {

using tavrin_fuzz::Fail;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavrin_fuzz::Input in(data, size);
    const std::string file = (tavrin_fuzz::ScratchFolder() / "block.bin").string();

    // Arguments from the tool's own words, numbers and plain names (never a path of the
    // host: the tool would read it).
    static const char* const kWords[] = {"--lang",
                                         "--free",
                                         "en",
                                         "zh-CN",
                                         "zh-TW",
                                         "-",
                                         "-x",
                                         "",
                                         "0x10",
                                         "-1",
                                         "18446744073709551616"};
    std::vector<std::string> args;
    const std::size_t count = in.Below(5);
    bool plain = count == 0;  // just the file
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t kind = in.Byte();
        if (kind < 64)
            args.push_back(file);
        else if (kind < 160)
            args.push_back(kWords[kind % std::size(kWords)]);
        else if (kind < 200)
            args.push_back(std::to_string(in.U32()) + (in.Bool() ? "" : "000000000"));
        else {
            std::string name;
            for (std::uint8_t c : in.Bytes(8))
                name += static_cast<char>('a' + c % 26);
            args.push_back(name);
        }
    }
    if (plain)
        args.push_back(file);

    const std::vector<std::uint8_t> bytes = in.Rest();
    tavrin_fuzz::WriteFile(file, bytes);

    std::ostringstream out;
    std::ostringstream err;
    const int rc = tools::RunBlockTool(args, out, err);
    if (rc < 0 || rc > 2)
        Fail("an exit code other than 0, 1 or 2");
    if ((rc == 0) == out.str().empty())
        Fail("output and exit code disagree");
    if (rc != 0 && err.str().empty())
        Fail("a failure without a message");
    if (plain) {
        const std::vector<std::uint8_t> head(
            bytes.begin(), bytes.begin() + std::min(bytes.size(), device::kNewerBlockSize));
        const bool ok = device::ExamineInfoBlock(head) == device::BlockStatus::Ok;
        if (rc != (ok ? 0 : 1))
            Fail("the exit code does not follow the block's status");
        if (ok) {
            const std::string text = out.str();
            if (std::count(text.begin(), text.end(), '\n') != 21 || text.back() != '\n')
                Fail("not one line per slot");
        }
    }
    return 0;
}
