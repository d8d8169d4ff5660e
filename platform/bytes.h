// Bounds-checked reading and writing of the bytes that cross a device or file boundary: little-
// and big-endian integers, byte runs, UTF-16LE text. No OS dependency.
//
// Both classes keep a position and a sticky failure: a call that does not fit in what is left
// fails and does nothing (a read gives 0 or nothing), and so does every call after it. A parser
// reads a whole layout and asks Ok() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U8();
    std::uint16_t U16Le();
    std::uint32_t U32Le();
    std::uint64_t U64Le();
    std::uint16_t U16Be();
    std::uint32_t U32Be();
    // The next `count` bytes; empty when they do not fit.
    std::span<const std::uint8_t> Bytes(std::size_t count);
    // `units` UTF-16LE code units as they are, NULs included; empty when they do not fit.
    std::u16string Utf16Le(std::size_t units);
    // A reader over the next `count` bytes (a record that states its own length), which this
    // reader steps past; a failed reader when they do not fit.
    ByteReader Take(std::size_t count);
    ByteReader& Skip(std::size_t count);
    // To `offset` from the start, for fields at fixed offsets; the end itself is a position.
    ByteReader& At(std::size_t offset);

    bool Ok() const { return ok_; }
    std::size_t Offset() const { return offset_; }
    std::size_t Remaining() const { return ok_ ? bytes_.size() - offset_ : 0; }

  private:
    // The next `count` bytes, stepped past; null (and failed from then on) when they do not fit.
    const std::uint8_t* Next(std::size_t count);
    std::uint64_t Little(std::size_t count);
    std::uint64_t Big(std::size_t count);

    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

class ByteWriter {
  public:
    explicit ByteWriter(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

    ByteWriter& U8(std::uint8_t value);
    ByteWriter& U16Le(std::uint16_t value);
    ByteWriter& U32Le(std::uint32_t value);
    ByteWriter& U16Be(std::uint16_t value);
    ByteWriter& U32Be(std::uint32_t value);
    ByteWriter& Bytes(std::span<const std::uint8_t> bytes);
    ByteWriter& Utf16Le(std::u16string_view text);
    ByteWriter& Fill(std::size_t count, std::uint8_t value);
    // To `offset` from the start; the end itself is a position.
    ByteWriter& At(std::size_t offset);

    bool Ok() const { return ok_; }
    std::size_t Offset() const { return offset_; }

  private:
    std::uint8_t* Next(std::size_t count);
    ByteWriter& Little(std::uint64_t value, std::size_t count);
    ByteWriter& Big(std::uint64_t value, std::size_t count);

    std::span<std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

}  // namespace platform
