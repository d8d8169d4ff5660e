#include "device/controller.h"

#include <cstdio>
#include <vector>

#include "device/drive.h"
#include "device/scsi.h"

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

std::uint16_t U16Le(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U32Le(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) |
           (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint32_t U32Be(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | std::uint32_t{b[at + 3]};
}

// 8-bit text in the ANSI code page: up to the first NUL or the end of the field.
std::u16string Text8(std::span<const std::uint8_t> b, std::size_t at, std::size_t width) {
    std::size_t n = 0;
    while (n < width && b[at + n] != 0)
        ++n;
    return platform::AnsiToWide(std::string_view(reinterpret_cast<const char*>(b.data() + at), n));
}

// UTF-16LE text of `units` code units: up to the first NUL unit or the end of the field.
std::u16string Text16(std::span<const std::uint8_t> b, std::size_t at, std::size_t units) {
    std::u16string text;
    for (std::size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<char16_t>(U16Le(b, at + 2 * i));
        if (unit == 0)
            break;
        text += unit;
    }
    return text;
}

// What iswspace holds for on the workstation: the Unicode spaces and the controls 9 to 13.
bool IsWhiteSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
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

std::u16string Ascii(const char* text) {
    std::u16string out;
    for (; *text != 0; ++text)
        out += static_cast<char16_t>(static_cast<unsigned char>(*text));
    return out;
}

std::u16string Format(const char* format, auto value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return Ascii(buffer);
}

std::u16string Entry(const std::vector<std::u16string>& list, std::uint8_t index) {
    if (index < list.size())
        return list[index];
    std::u16string text = u"#";
    text += Format("%u", static_cast<unsigned>(index));
    return text;
}

std::u16string Bit(std::uint32_t flags, int bit) {
    return (flags >> bit) & 1 ? u"1" : u"0";
}

}  // namespace

bool VendorRead(platform::Handle handle, std::uint8_t subCode, std::uint16_t length,
                std::uint8_t* buffer) {
    std::uint8_t cdb[16] = {};
    cdb[0] = kVendorOpcode;
    cdb[1] = subCode;
    cdb[3] = static_cast<std::uint8_t>(length >> 8);
    cdb[4] = static_cast<std::uint8_t>(length & 0xFF);
    return ScsiDataIn(handle, cdb, sizeof cdb, buffer, length, kVendorTimeoutSeconds,
                      kVendorAttempts);
}

bool IsSupportedDisk(platform::Handle handle) {
    std::uint8_t answer[kIdentificationSize] = {};
    if (!VendorRead(handle, 0, kIdentificationSize, answer))
        return false;
    auto fold = [](std::uint8_t c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + 32) : c;
    };
    for (std::size_t i = 0; i < kControllerModel.size(); ++i) {
        if (fold(answer[i]) != fold(static_cast<std::uint8_t>(kControllerModel[i])))
            return false;
    }
    return true;
}

BlockStatus ExamineInfoBlock(std::span<const std::uint8_t> block) {
    if (block.size() < kOlderBlockSize)
        return BlockStatus::TooShort;
    if (U32Le(block, 0) != kInfoBlockMagic)
        return BlockStatus::BadMagic;
    if (U16Le(block, kOffVersion) >= kNewerLayoutVersion && block.size() < kNewerBlockSize) {
        return BlockStatus::TooShortForNewerLayout;
    }
    return BlockStatus::Ok;
}

std::optional<DecodedSlots> DecodeInfoBlock(std::span<const std::uint8_t> b,
                                            const SelectionLists& lists,
                                            std::optional<std::uint64_t> freeBytes) {
    if (ExamineInfoBlock(b) != BlockStatus::Ok)
        return std::nullopt;
    const bool newer = U16Le(b, kOffVersion) >= kNewerLayoutVersion;

    DecodedSlots s;
    if (newer) {
        s[kSlotVendorName] = Trim(Text16(b, kOffNewerVendor, 30));
        s[kSlotProductName] = Trim(Text16(b, kOffNewerProduct, 30));
    } else {
        s[kSlotVendorName] = Trim(Text8(b, kOffOlderVendor, 8));
        s[kSlotProductName] = Trim(Text8(b, kOffOlderProduct, 16));
    }
    s[kSlotVid] = Format("%04X", unsigned{U16Le(b, kOffVid)});
    s[kSlotPid] = Format("%04X", unsigned{U16Le(b, kOffPid)});
    s[kSlotRevision] = Text8(b, kOffRevision, 4);

    s[kSlotRFreq] = Entry(lists.rFreq, b[kOffRFreq]);
    s[kSlotWFreq] = Entry(lists.wFreq, b[kOffWFreq]);
    s[kSlotIdle] = Entry(lists.idle, b[kOffIdle]);
    s[kSlotSleep] = newer ? Entry(lists.sleep, b[kOffSleep]) : std::u16string();
    s[kSlotBlink] = Entry(lists.blink, b[kOffBlink]);

    s[kSlotDiskType] = Format("%d", int{b[kOffDiskType]});
    s[kSlotPart] = Format("%d", int{b[kOffPart]});
    s[kSlotMaster] = std::u16string(1, static_cast<char16_t>((b[kOffMaster] + 65) % 256));
    s[kSlotEfs] =
        Format("%lu", static_cast<unsigned long>(U32Be(b, kOffEfsEnd) - U32Be(b, kOffEfsStart)));

    const std::uint32_t flags = U32Be(b, kOffFlags);
    s[kSlotMultiPlane] = Bit(flags, 3);
    s[kSlotInterleave] = Bit(flags, 5);
    s[kSlotCacheProgram] = Bit(flags, 4);
    s[kSlotDualMode] = Bit(flags, 6);
    s[kSlotRandomize] = Bit(flags, 2);

    if (freeBytes) {
        const std::uint64_t mebibytes = *freeBytes / 1024 / 1024;
        s[kSlotCapMin] = Format("%lluMB", static_cast<unsigned long long>(mebibytes));
        s[kSlotCapMax] = s[kSlotCapMin];
    }
    s[kSlotMpVer] = Text8(b, kOffMpVer, 16);
    s[kSlotFwVer] = Text8(b, kOffFwVer, 16);
    return s;
}

void DecodeControllerInfo(int driveNumber, char16_t letter, ValueSlots& slots,
                          const SelectionLists& lists) {
    const platform::Handle handle = OpenPhysicalDrive(driveNumber);
    if (handle == platform::kInvalidHandle)
        return;

    std::array<std::uint8_t, kNewerBlockSize> block{};
    std::size_t size = kOlderBlockSize;
    bool read =
        VendorRead(handle, 1, kOlderBlockSize, block.data()) && U32Le(block, 0) == kInfoBlockMagic;
    if (read && U16Le(block, kOffVersion) >= kNewerLayoutVersion) {
        size = kNewerBlockSize;
        read = VendorRead(handle, 1, kNewerBlockSize, block.data());
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
    }
    CloseDrive(handle);
}

}  // namespace device
