#include "device/controller.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "device/drive.h"
#include "device/scsi.h"
#include "platform/bytes.h"
#include "platform/text.h"

namespace device {

const std::array<std::u16string_view, kSlotCount> kSlotKeys = {
    u"vid",       u"pid",    u"revision",   u"VendorName", u"ProductName",  u"RFreq",
    u"WFreq",     u"Idle",   u"Sleep",      u"Blink",      u"DiskType",     u"Part",
    u"Master",    u"Efs",    u"MultiPlane", u"Interleave", u"CacheProgram", u"DualMode",
    u"Randomize", u"CapMin", u"CapMax",     u"MPVer",      u"FWVer",
};

namespace {

constexpr std::uint8_t kVendorOpcode = 0xA1;
constexpr std::uint32_t kVendorTimeoutSeconds = 10;
constexpr std::uint32_t kVendorAttempts = 4;
constexpr std::size_t kIdentificationSize = 36;

// Field offsets of the information block.
constexpr std::size_t kOffVersion = 4;
constexpr std::size_t kOffDiskType = 39;
constexpr std::size_t kOffPart = 40;
constexpr std::size_t kOffVid = 42;
constexpr std::size_t kOffPid = 44;
constexpr std::size_t kOffOlderVendor = 46;
constexpr std::size_t kOffOlderProduct = 54;
constexpr std::size_t kOffRevision = 70;
constexpr std::size_t kOffIdle = 90;
constexpr std::size_t kOffBlink = 91;
constexpr std::size_t kOffMpVer = 100;
constexpr std::size_t kOffFwVer = 124;
constexpr std::size_t kOffFlags = 217;
constexpr std::size_t kOffRFreq = 221;
constexpr std::size_t kOffWFreq = 222;
constexpr std::size_t kOffMaster = 398;
constexpr std::size_t kOffEfsStart = 500;
constexpr std::size_t kOffEfsEnd = 504;
constexpr std::size_t kOffNewerVendor = 508;
constexpr std::size_t kOffNewerProduct = 568;
constexpr std::size_t kOffSleep = 628;

// The magic and the layout version, which decide how the rest reads.
struct BlockHead {
    std::uint32_t magic = 0;
    std::uint16_t version = 0;
};

BlockHead HeadOf(std::span<const std::uint8_t> block) {
    platform::ByteReader r(block);
    return {r.U32Le(), r.At(kOffVersion).U16Le()};
}

// 8-bit text in the ANSI code page: up to the first NUL or the end of the field.
std::u16string Text8(platform::ByteReader& r, std::size_t width) {
    const auto field = r.Bytes(width);
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return platform::AnsiToWide(std::string_view(reinterpret_cast<const char*>(field.data()),
                                                 static_cast<std::size_t>(end - field.begin())));
}

// UTF-16LE text of `units` code units: up to the first NUL unit or the end of the field.
std::u16string Text16(platform::ByteReader& r, std::size_t units) {
    return std::u16string(platform::UpToNul(r.Utf16Le(units)));
}

// What iswspace holds for on the workstation: the Unicode spaces and the controls 9 to 13, but
// not the control U+0085, which its table leaves out.
bool IsWhiteSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::u16string Trim(const std::u16string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsWhiteSpace(text[begin]))
        ++begin;
    while (end > begin && IsWhiteSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::u16string Entry(const std::vector<std::u16string>& list, std::uint8_t index) {
    if (index < list.size())
        return list[index];
    std::u16string text = u"#";
    text += platform::DecimalText(index);
    return text;
}

std::u16string Bit(std::uint32_t flags, int bit) {
    return (flags >> bit) & 1 ? u"1" : u"0";
}

}  // namespace

namespace {

ScsiResult VendorReadResult(platform::Handle handle, std::uint8_t subCode,
                            std::span<std::uint8_t> buffer) {
    if (buffer.size() > 0xFFFF)
        return ScsiResult::NotSent;  // the CDB's length field holds 16 bits
    std::uint8_t cdb[16] = {};
    platform::ByteWriter(cdb)
        .U8(kVendorOpcode)
        .U8(subCode)
        .At(3)
        .U16Be(static_cast<std::uint16_t>(buffer.size()));
    return ScsiDataInResult(handle, cdb, buffer, kVendorTimeoutSeconds, kVendorAttempts);
}

}  // namespace

bool VendorRead(platform::Handle handle, std::uint8_t subCode, std::span<std::uint8_t> buffer) {
    return VendorReadResult(handle, subCode, buffer) == ScsiResult::Done;
}

Identity Identify(platform::Handle handle) {
    std::uint8_t answer[kIdentificationSize] = {};
    switch (VendorReadResult(handle, 0, answer)) {
        case ScsiResult::Done:
            break;
        case ScsiResult::Refused:
            return Identity::OtherController;
        case ScsiResult::NotSent:
            return Identity::NotAnswered;
    }
    return platform::StartsWithNoCase(
               std::string_view(reinterpret_cast<const char*>(answer), sizeof answer),
               kControllerModel)
               ? Identity::Supported
               : Identity::OtherController;
}

bool IsSupportedDisk(platform::Handle handle) {
    return Identify(handle) == Identity::Supported;
}

BlockStatus ExamineInfoBlock(std::span<const std::uint8_t> block) {
    if (block.size() < kOlderBlockSize)
        return BlockStatus::TooShort;
    const BlockHead head = HeadOf(block);
    if (head.magic != kInfoBlockMagic)
        return BlockStatus::BadMagic;
    if (head.version >= kNewerLayoutVersion && block.size() < kNewerBlockSize)
        return BlockStatus::TooShortForNewerLayout;
    return BlockStatus::Ok;
}

std::optional<DecodedSlots> DecodeInfoBlock(std::span<const std::uint8_t> b,
                                            const SelectionLists& lists,
                                            std::optional<std::uint64_t> freeBytes) {
    if (ExamineInfoBlock(b) != BlockStatus::Ok)
        return std::nullopt;
    const bool newer = HeadOf(b).version >= kNewerLayoutVersion;
    // Every field lies inside the length that ExamineInfoBlock found.
    platform::ByteReader r(b);

    DecodedSlots s;
    if (newer) {
        s[kSlotVendorName] = Trim(Text16(r.At(kOffNewerVendor), 30));
        s[kSlotProductName] = Trim(Text16(r.At(kOffNewerProduct), 30));
    } else {
        s[kSlotVendorName] = Trim(Text8(r.At(kOffOlderVendor), 8));
        s[kSlotProductName] = Trim(Text8(r.At(kOffOlderProduct), 16));
    }
    s[kSlotVid] = platform::HexText(r.At(kOffVid).U16Le(), 4);
    s[kSlotPid] = platform::HexText(r.At(kOffPid).U16Le(), 4);
    s[kSlotRevision] = Text8(r.At(kOffRevision), 4);

    s[kSlotRFreq] = Entry(lists.rFreq, r.At(kOffRFreq).U8());
    s[kSlotWFreq] = Entry(lists.wFreq, r.At(kOffWFreq).U8());
    s[kSlotIdle] = Entry(lists.idle, r.At(kOffIdle).U8());
    s[kSlotSleep] = newer ? Entry(lists.sleep, r.At(kOffSleep).U8()) : std::u16string();
    s[kSlotBlink] = Entry(lists.blink, r.At(kOffBlink).U8());

    s[kSlotDiskType] = platform::DecimalText(r.At(kOffDiskType).U8());
    s[kSlotPart] = platform::DecimalText(r.At(kOffPart).U8());
    s[kSlotMaster] = std::u16string(1, static_cast<char16_t>((r.At(kOffMaster).U8() + 65) % 256));
    const std::uint32_t efsStart = r.At(kOffEfsStart).U32Be();
    const std::uint32_t efsEnd = r.At(kOffEfsEnd).U32Be();
    s[kSlotEfs] = platform::DecimalText(efsEnd - efsStart);

    const std::uint32_t flags = r.At(kOffFlags).U32Be();
    s[kSlotMultiPlane] = Bit(flags, 3);
    s[kSlotInterleave] = Bit(flags, 5);
    s[kSlotCacheProgram] = Bit(flags, 4);
    s[kSlotDualMode] = Bit(flags, 6);
    s[kSlotRandomize] = Bit(flags, 2);

    if (freeBytes) {
        const std::uint64_t mebibytes = *freeBytes / 1024 / 1024;
        s[kSlotCapMin] = platform::DecimalText(static_cast<long long>(mebibytes)) + u"MB";
        s[kSlotCapMax] = s[kSlotCapMin];
    }
    s[kSlotMpVer] = Text8(r.At(kOffMpVer), 16);
    s[kSlotFwVer] = Text8(r.At(kOffFwVer), 16);
    return s;
}

InfoRead DecodeControllerInfo(int driveNumber, char16_t letter, ValueSlots& slots,
                              const SelectionLists& lists) {
    const platform::Handle handle = OpenPhysicalDrive(driveNumber);
    if (handle == platform::kInvalidHandle)
        return InfoRead::NotOpened;

    std::array<std::uint8_t, kNewerBlockSize> block{};
    std::size_t size = kOlderBlockSize;
    const std::span<std::uint8_t> older(block.data(), kOlderBlockSize);
    ScsiResult sent = VendorReadResult(handle, 1, older);
    bool read = sent == ScsiResult::Done && HeadOf(older).magic == kInfoBlockMagic;
    if (read && HeadOf(older).version >= kNewerLayoutVersion) {
        size = kNewerBlockSize;
        sent = VendorReadResult(handle, 1, block);
        read = sent == ScsiResult::Done;
    }
    if (read) {
        // Every field comes from the block as last read, which may have changed its layout
        // version or magic between the two reads: decode only what is still a block.
        const auto decoded =
            DecodeInfoBlock(std::span(block.data(), size), lists, VolumeFreeBytes(letter));
        if (decoded) {
            for (std::size_t i = 0; i < kSlotCount; ++i) {
                if ((*decoded)[i])
                    slots[i] = *(*decoded)[i];
            }
        }
        read = decoded.has_value();
    }
    CloseDrive(handle);
    if (read)
        return InfoRead::Done;
    switch (sent) {
        case ScsiResult::NotSent: {
            // No answer at all, as from a disk pulled during its read: a drive that no longer
            // opens (or opens another disk) was never judged.
            const platform::DeviceError why = platform::LastDeviceError();
            if (why.code == platform::kDeviceGone)
                return InfoRead::NotOpened;
            const platform::Handle again = OpenPhysicalDrive(driveNumber);
            if (again == platform::kInvalidHandle)
                return InfoRead::NotOpened;
            CloseDrive(again);
            platform::SetLastDeviceError(why);
            break;
        }
        case ScsiResult::Refused:
            platform::SetLastDeviceError({0, u"refused with sense data"});
            break;
        case ScsiResult::Done:
            platform::SetLastDeviceError({0, u"wrong magic"});
            break;
    }
    return InfoRead::NotRead;
}

}  // namespace device
