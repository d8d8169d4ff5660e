// The information block decoder and the sense condenser on any bytes of any length: the input
// is copied to a buffer of exactly its size, so the sanitizer sees any read past it.
#include <cstdint>
#include <vector>

#include "device/controller.h"
#include "device/scsi.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavrin_fuzz::Input in(data, size);
    const std::uint8_t mode = in.Byte();
    const std::vector<std::uint8_t> bytes = in.Rest();

    // Descriptor format needs 4 bytes, fixed format 14; the key keeps its low nibble.
    const std::optional<std::uint32_t> sense = device::SenseCode(bytes);
    const bool descriptor =
        !bytes.empty() && ((bytes[0] & 0x7F) == 0x72 || (bytes[0] & 0x7F) == 0x73);
    if (sense.has_value() != (bytes.size() >= (descriptor ? 4u : 14u)))
        tavrin_fuzz::Fail("SenseCode answered for the wrong lengths");
    if (sense && (*sense >> 16) > 0x0F)
        tavrin_fuzz::Fail("SenseCode kept more than the sense key's nibble");

    const auto language = static_cast<device::Language>(mode % 3);
    std::optional<std::uint64_t> freeBytes;
    if (mode & 0x80)
        freeBytes = std::uint64_t{mode} << 33 | mode;
    const device::BlockStatus status = device::ExamineInfoBlock(bytes);
    const auto slots =
        device::DecodeInfoBlock(bytes, device::SelectionListsFor(language), freeBytes);
    if (slots.has_value() != (status == device::BlockStatus::Ok))
        tavrin_fuzz::Fail("DecodeInfoBlock and ExamineInfoBlock disagree");
    if (status == device::BlockStatus::Ok && bytes.size() < device::kOlderBlockSize)
        tavrin_fuzz::Fail("a block shorter than the older layout was accepted");
    if (slots) {
        const bool capacity = (*slots)[19].has_value() && (*slots)[20].has_value();
        if (capacity != freeBytes.has_value())
            tavrin_fuzz::Fail("the capacity slots do not follow the free space");
    }
    return 0;
}
