#include "platform/sim/info_block.h"

#include <algorithm>
#include <span>

namespace sim {

InfoBlock::InfoBlock(std::uint16_t layoutVersion) {
    U32Le(0, 0xFADB1C8B);
    U16Le(4, layoutVersion);
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
    const std::size_t n = std::min(width, text.size());
    Check(At(offset)
              .Bytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), n))
              .Fill(width - n, 0));
    return *this;
}

InfoBlock& InfoBlock::Text16(std::size_t offset, std::size_t units, std::u16string_view text) {
    const std::size_t n = std::min(units, text.size());
    Check(At(offset).Utf16Le(text.substr(0, n)).Fill(2 * (units - n), 0));
    return *this;
}

InfoBlock& InfoBlock::Ids(std::uint16_t vid, std::uint16_t pid) {
    U16Le(42, vid);
    return U16Le(44, pid);
}

InfoBlock& InfoBlock::Names(std::string_view vendor, std::string_view product) {
    Text8(46, 8, vendor);
    return Text8(54, 16, product);
}

InfoBlock& InfoBlock::WideNames(std::u16string_view vendor, std::u16string_view product) {
    Text16(508, 30, vendor);
    return Text16(568, 30, product);
}

InfoBlock& InfoBlock::Efs(std::uint32_t start, std::uint32_t end) {
    U32Be(500, start);
    return U32Be(504, end);
}

InfoBlock& InfoBlock::Flags(std::uint8_t byte220) {
    return U32Be(217, byte220);
}

InfoBlock SampleInfoBlock() {
    InfoBlock block(5);
    block.Ids(0x1234, 0x7730)
        .Byte(39, 1)                     // disk type
        .Byte(40, 0)                     // partition mode
        .Names("Generic", "Flash Disk")  // the older layout's copy
        .Text8(70, 4, "1.00")            // revision
        .Byte(90, 0)                     // idle: ON
        .Byte(91, 1)                     // blink: Quick
        .Text8(100, 16, "MP 2.15.0.7")   // MP version
        .Text8(124, 16, "FW 7730.0412")  // firmware version
        .Flags(0x28)                     // MultiPlane, Interleave
        .Byte(221, 1)                    // read clock
        .Byte(222, 2)                    // write clock
        .Byte(398, 0)                    // master A
        .Efs(0x100, 0x4100)              // 16384 sectors
        .WideNames(u"  Generic  ", u"Flash Disk")
        .Byte(628, 1);  // sleep: OFF
    return block;
}

}  // namespace sim
