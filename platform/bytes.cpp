#include "platform/bytes.h"

#include <algorithm>

namespace platform {

// ---- Reading

const std::uint8_t* ByteReader::Next(std::size_t count) {
    if (!ok_ || count > bytes_.size() - offset_) {
        ok_ = false;
        return nullptr;
    }
    const std::uint8_t* at = bytes_.data() + offset_;
    offset_ += count;
    return at;
}

std::uint64_t ByteReader::Little(std::size_t count) {
    const std::uint8_t* at = Next(count);
    std::uint64_t value = 0;
    for (std::size_t i = 0; at != nullptr && i < count; ++i)
        value |= std::uint64_t{at[i]} << (8 * i);
    return value;
}

std::uint64_t ByteReader::Big(std::size_t count) {
    const std::uint8_t* at = Next(count);
    std::uint64_t value = 0;
    for (std::size_t i = 0; at != nullptr && i < count; ++i)
        value = (value << 8) | at[i];
    return value;
}

std::uint8_t ByteReader::U8() {
    return static_cast<std::uint8_t>(Little(1));
}

std::uint16_t ByteReader::U16Le() {
    return static_cast<std::uint16_t>(Little(2));
}

std::uint32_t ByteReader::U32Le() {
    return static_cast<std::uint32_t>(Little(4));
}

std::uint64_t ByteReader::U64Le() {
    return Little(8);
}

std::uint16_t ByteReader::U16Be() {
    return static_cast<std::uint16_t>(Big(2));
}

std::uint32_t ByteReader::U32Be() {
    return static_cast<std::uint32_t>(Big(4));
}

std::span<const std::uint8_t> ByteReader::Bytes(std::size_t count) {
    const std::uint8_t* at = Next(count);
    return at == nullptr ? std::span<const std::uint8_t>() : std::span(at, count);
}

std::u16string ByteReader::Utf16Le(std::size_t units) {
    if (units > Remaining() / 2) {
        ok_ = false;
        return {};
    }
    std::u16string text(units, u'\0');
    for (char16_t& unit : text)
        unit = U16Le();
    return text;
}

ByteReader ByteReader::Take(std::size_t count) {
    const std::span<const std::uint8_t> bytes = Bytes(count);
    ByteReader taken(bytes);
    taken.ok_ = ok_;
    return taken;
}

ByteReader& ByteReader::Skip(std::size_t count) {
    Next(count);
    return *this;
}

ByteReader& ByteReader::At(std::size_t offset) {
    if (!ok_ || offset > bytes_.size())
        ok_ = false;
    else
        offset_ = offset;
    return *this;
}

// ---- Writing

std::uint8_t* ByteWriter::Next(std::size_t count) {
    if (!ok_ || count > bytes_.size() - offset_) {
        ok_ = false;
        return nullptr;
    }
    std::uint8_t* at = bytes_.data() + offset_;
    offset_ += count;
    return at;
}

ByteWriter& ByteWriter::Little(std::uint64_t value, std::size_t count) {
    if (std::uint8_t* at = Next(count)) {
        for (std::size_t i = 0; i < count; ++i)
            at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return *this;
}

ByteWriter& ByteWriter::Big(std::uint64_t value, std::size_t count) {
    if (std::uint8_t* at = Next(count)) {
        for (std::size_t i = 0; i < count; ++i)
            at[i] = static_cast<std::uint8_t>(value >> (8 * (count - 1 - i)));
    }
    return *this;
}

ByteWriter& ByteWriter::U8(std::uint8_t value) {
    return Little(value, 1);
}

ByteWriter& ByteWriter::U16Le(std::uint16_t value) {
    return Little(value, 2);
}

ByteWriter& ByteWriter::U32Le(std::uint32_t value) {
    return Little(value, 4);
}

ByteWriter& ByteWriter::U16Be(std::uint16_t value) {
    return Big(value, 2);
}

ByteWriter& ByteWriter::U32Be(std::uint32_t value) {
    return Big(value, 4);
}

ByteWriter& ByteWriter::Bytes(std::span<const std::uint8_t> bytes) {
    if (std::uint8_t* at = Next(bytes.size()))
        std::copy(bytes.begin(), bytes.end(), at);
    return *this;
}

ByteWriter& ByteWriter::Utf16Le(std::u16string_view text) {
    if (text.size() > (bytes_.size() - offset_) / 2)
        ok_ = false;
    for (char16_t unit : text)
        U16Le(unit);
    return *this;
}

ByteWriter& ByteWriter::Fill(std::size_t count, std::uint8_t value) {
    if (std::uint8_t* at = Next(count))
        std::fill_n(at, count, value);
    return *this;
}

ByteWriter& ByteWriter::At(std::size_t offset) {
    if (!ok_ || offset > bytes_.size())
        ok_ = false;
    else
        offset_ = offset;
    return *this;
}

}  // namespace platform
