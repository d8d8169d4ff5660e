// Building controller information blocks for virtual disks, tests and the sample file. A field
// outside the block throws std::out_of_range: a mistake in the test that builds it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace sim {

// Where the block keeps each field the virtual station writes by name, and how. The one layout
// that the builder below and the station-file reader both write by; keys are the station file's.
struct BlockField {
    enum Kind { kU8, kU16Le, kU32Le, kU32Be, kText8, kText16 };
    std::string_view key;
    std::size_t offset;
    Kind kind;
    std::size_t width = 0;  // texts: bytes (kText8) or UTF-16 units (kText16)
};

namespace fields {
inline constexpr BlockField kMagic{"magic", 0, BlockField::kU32Le};
inline constexpr BlockField kLayout{"layout", 4, BlockField::kU16Le};
inline constexpr BlockField kDiskType{"disk-type", 39, BlockField::kU8};
inline constexpr BlockField kPartition{"partition", 40, BlockField::kU8};
inline constexpr BlockField kVid{"vid", 42, BlockField::kU16Le};
inline constexpr BlockField kPid{"pid", 44, BlockField::kU16Le};
// The older layout's names; the newer one keeps a copy here as far as it fits.
inline constexpr BlockField kVendor{"vendor", 46, BlockField::kText8, 8};
inline constexpr BlockField kProduct{"product", 54, BlockField::kText8, 16};
inline constexpr BlockField kRevision{"revision", 70, BlockField::kText8, 4};
inline constexpr BlockField kIdle{"idle", 90, BlockField::kU8};
inline constexpr BlockField kBlink{"blink", 91, BlockField::kU8};
inline constexpr BlockField kMpVersion{"mp-version", 100, BlockField::kText8, 16};
inline constexpr BlockField kFwVersion{"fw-version", 124, BlockField::kText8, 16};
inline constexpr BlockField kFlags{"flags", 217, BlockField::kU32Be};
inline constexpr BlockField kReadClock{"rfreq", 221, BlockField::kU8};
inline constexpr BlockField kWriteClock{"wfreq", 222, BlockField::kU8};
inline constexpr BlockField kMaster{"master", 398, BlockField::kU8};
inline constexpr BlockField kEfsStart{"efs-start", 500, BlockField::kU32Be};
inline constexpr BlockField kEfsEnd{"efs-end", 504, BlockField::kU32Be};
// The newer layout's names (version 5 on).
inline constexpr BlockField kWideVendor{"vendor", 508, BlockField::kText16, 30};
inline constexpr BlockField kWideProduct{"product", 568, BlockField::kText16, 30};
inline constexpr BlockField kSleep{"sleep", 628, BlockField::kU8};
inline constexpr std::uint16_t kWideNamesLayout = 5;
}  // namespace fields

// Writes a field into `bytes`: a number in the field's width and byte order, or a text cut to
// the field's width and padded with zeros. False when the field lies outside `bytes`.
bool PutField(std::span<std::uint8_t> bytes, const BlockField& field, std::uint32_t value);
bool PutField(std::span<std::uint8_t> bytes, const BlockField& field, std::string_view text);
bool PutField(std::span<std::uint8_t> bytes, const BlockField& field, std::u16string_view text);

class InfoBlock {
  public:
    // Magic and layout version set; every other byte zero.
    explicit InfoBlock(std::uint16_t layoutVersion = fields::kWideNamesLayout);

    InfoBlock& Byte(std::size_t offset, std::uint8_t value);
    InfoBlock& U16Le(std::size_t offset, std::uint16_t value);
    InfoBlock& U32Le(std::size_t offset, std::uint32_t value);
    InfoBlock& U32Be(std::size_t offset, std::uint32_t value);
    // Raw bytes, without a terminating NUL; at most `width` of them.
    InfoBlock& Text8(std::size_t offset, std::size_t width, std::string_view text);
    // UTF-16LE units, without a terminating NUL; at most `units` of them.
    InfoBlock& Text16(std::size_t offset, std::size_t units, std::u16string_view text);

    // Named fields.
    InfoBlock& Set(const BlockField& field, std::uint32_t value);
    InfoBlock& Set(const BlockField& field, std::string_view text);
    InfoBlock& Set(const BlockField& field, std::u16string_view text);
    InfoBlock& Ids(std::uint16_t vid, std::uint16_t pid);
    InfoBlock& Names(std::string_view vendor, std::string_view product);            // older layout
    InfoBlock& WideNames(std::u16string_view vendor, std::u16string_view product);  // newer
    InfoBlock& Efs(std::uint32_t start, std::uint32_t end);
    InfoBlock& Flags(std::uint8_t byte220);

    const std::array<std::uint8_t, 1024>& Bytes() const { return bytes_; }

  private:
    platform::ByteWriter At(std::size_t offset) { return platform::ByteWriter(bytes_).At(offset); }
    static void Check(const platform::ByteWriter& written) { Check(written.Ok()); }
    static void Check(bool written) {
        if (!written)
            throw std::out_of_range("field beyond the information block");
    }

    std::array<std::uint8_t, 1024> bytes_{};
};

// A plausible newer-layout block of a configured disk.
InfoBlock SampleInfoBlock();

}  // namespace sim
