// Building controller information blocks for virtual disks, tests and the sample file. A field
// outside the block throws std::out_of_range: a mistake in the test that builds it.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace sim {

class InfoBlock {
  public:
    // Magic and layout version set; every other byte zero.
    explicit InfoBlock(std::uint16_t layoutVersion = 5);

    InfoBlock& Byte(std::size_t offset, std::uint8_t value);
    InfoBlock& U16Le(std::size_t offset, std::uint16_t value);
    InfoBlock& U32Le(std::size_t offset, std::uint32_t value);
    InfoBlock& U32Be(std::size_t offset, std::uint32_t value);
    // Raw bytes, without a terminating NUL; at most `width` of them.
    InfoBlock& Text8(std::size_t offset, std::size_t width, std::string_view text);
    // UTF-16LE units, without a terminating NUL; at most `units` of them.
    InfoBlock& Text16(std::size_t offset, std::size_t units, std::u16string_view text);

    // Named fields.
    InfoBlock& Ids(std::uint16_t vid, std::uint16_t pid);
    InfoBlock& Names(std::string_view vendor, std::string_view product);            // older layout
    InfoBlock& WideNames(std::u16string_view vendor, std::u16string_view product);  // newer
    InfoBlock& Efs(std::uint32_t start, std::uint32_t end);
    InfoBlock& Flags(std::uint8_t byte220);

    const std::array<std::uint8_t, 1024>& Bytes() const { return bytes_; }

  private:
    platform::ByteWriter At(std::size_t offset) { return platform::ByteWriter(bytes_).At(offset); }
    static void Check(const platform::ByteWriter& written) {
        if (!written.Ok())
            throw std::out_of_range("field beyond the information block");
    }

    std::array<std::uint8_t, 1024> bytes_{};
};

// A plausible newer-layout block of a configured disk.
InfoBlock SampleInfoBlock();

}  // namespace sim
