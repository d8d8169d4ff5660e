#include "platform/sim/info_block.h"

#include <algorithm>
#include <span>

namespace sim {

bool PutField(std::span<std::uint8_t> bytes, const BlockField& field, std::uint32_t value) {
    platform::ByteWriter w(bytes);
    w.At(field.offset);
    switch (field.kind) {
        case BlockField::kU8:
            return w.U8(static_cast<std::uint8_t>(value)).Ok();
        case BlockField::kU16Le:
            return w.U16Le(static_cast<std::uint16_t>(value)).Ok();
        case BlockField::kU32Le:
            return w.U32Le(value).Ok();
        case BlockField::kU32Be:
            return w.U32Be(value).Ok();
        case BlockField::kText8:
        case BlockField::kText16:
            break;
    }
    return false;
}

bool PutField(std::span<std::uint8_t> bytes, const BlockField& field, std::string_view text) {
    if (field.kind != BlockField::kText8)
        return false;
    const std::size_t n = std::min(field.width, text.size());
    return platform::ByteWriter(bytes)
        .At(field.offset)
        .Bytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), n))
        .Fill(field.width - n, 0)
        .Ok();
}

bool PutField(std::span<std::uint8_t> bytes, const BlockField& field, std::u16string_view text) {
    if (field.kind != BlockField::kText16)
        return false;
    const std::size_t n = std::min(field.width, text.size());
    return platform::ByteWriter(bytes)
        .At(field.offset)
        .Utf16Le(text.substr(0, n))
        .Fill(2 * (field.width - n), 0)
        .Ok();
}

InfoBlock::InfoBlock(std::uint16_t layoutVersion) {
    Set(fields::kMagic, 0xFADB1C8B);
    Set(fields::kLayout, layoutVersion);
}

InfoBlock& InfoBlock::Set(const BlockField& field, std::uint32_t value) {
    Check(PutField(bytes_, field, value));
    return *this;
}

InfoBlock& InfoBlock::Set(const BlockField& field, std::string_view text) {
    Check(PutField(bytes_, field, text));
    return *this;
}

InfoBlock& InfoBlock::Set(const BlockField& field, std::u16string_view text) {
    Check(PutField(bytes_, field, text));
    return *this;
}

InfoBlock& InfoBlock::Byte(std::size_t offset, std::uint8_t value) {
    Check(At(offset).U8(value));
    return *this;
}

InfoBlock& InfoBlock::U16Le(std::size_t offset, std::uint16_t value) {
    Check(At(offset).U16Le(value));
    return *this;
}

InfoBlock& InfoBlock::U32Le(std::size_t offset, std::uint32_t value) {
    Check(At(offset).U32Le(value));
    return *this;
}

InfoBlock& InfoBlock::U32Be(std::size_t offset, std::uint32_t value) {
    Check(At(offset).U32Be(value));
    return *this;
}

InfoBlock& InfoBlock::Text8(std::size_t offset, std::size_t width, std::string_view text) {
    return Set({"", offset, BlockField::kText8, width}, text);
}

InfoBlock& InfoBlock::Text16(std::size_t offset, std::size_t units, std::u16string_view text) {
    return Set({"", offset, BlockField::kText16, units}, text);
}

InfoBlock& InfoBlock::Ids(std::uint16_t vid, std::uint16_t pid) {
    return Set(fields::kVid, vid).Set(fields::kPid, pid);
}

InfoBlock& InfoBlock::Names(std::string_view vendor, std::string_view product) {
    return Set(fields::kVendor, vendor).Set(fields::kProduct, product);
}

InfoBlock& InfoBlock::WideNames(std::u16string_view vendor, std::u16string_view product) {
    return Set(fields::kWideVendor, vendor).Set(fields::kWideProduct, product);
}

InfoBlock& InfoBlock::Efs(std::uint32_t start, std::uint32_t end) {
    return Set(fields::kEfsStart, start).Set(fields::kEfsEnd, end);
}

InfoBlock& InfoBlock::Flags(std::uint8_t byte220) {
    return Set(fields::kFlags, byte220);
}

InfoBlock SampleInfoBlock() {
    InfoBlock sample(fields::kWideNamesLayout);
    sample.Ids(0x1234, 0x7730)
        .Set(fields::kDiskType, 1)
        .Set(fields::kPartition, 0)
        .Names("Generic", "Flash Disk")  // the older layout's copy
        .Set(fields::kRevision, "1.00")
        .Set(fields::kIdle, 0)   // ON
        .Set(fields::kBlink, 1)  // Quick
        .Set(fields::kMpVersion, "MP 2.15.0.7")
        .Set(fields::kFwVersion, "FW 7730.0412")
        .Flags(0x28)  // MultiPlane, Interleave
        .Set(fields::kReadClock, 1)
        .Set(fields::kWriteClock, 2)
        .Set(fields::kMaster, 0)  // A
        .Efs(0x100, 0x4100)       // 16384 sectors
        .WideNames(u"  Generic  ", u"Flash Disk")
        .Set(fields::kSleep, 1);  // OFF
    return sample;
}

}  // namespace sim
