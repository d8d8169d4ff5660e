// The RV7730 controller's vendor command and its information block: identification, reading
// and decoding into the 23 value slots.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "device/selection_lists.h"
#include "platform/device_io.h"

namespace device {

inline constexpr std::size_t kSlotCount = 23;
using ValueSlots = std::array<std::u16string, kSlotCount>;
using DecodedSlots = std::array<std::optional<std::u16string>, kSlotCount>;

// The slot keys, in slot order; they are also the check items' keys.
extern const std::array<std::u16string_view, kSlotCount> kSlotKeys;

enum Slot : std::size_t {
    kSlotVid,
    kSlotPid,
    kSlotRevision,
    kSlotVendorName,
    kSlotProductName,
    kSlotRFreq,
    kSlotWFreq,
    kSlotIdle,
    kSlotSleep,
    kSlotBlink,
    kSlotDiskType,
    kSlotPart,
    kSlotMaster,
    kSlotEfs,
    kSlotMultiPlane,
    kSlotInterleave,
    kSlotCacheProgram,
    kSlotDualMode,
    kSlotRandomize,
    kSlotCapMin,
    kSlotCapMax,
    kSlotMpVer,
    kSlotFwVer,
};

inline constexpr std::uint32_t kInfoBlockMagic = 0xFADB1C8B;
inline constexpr std::size_t kOlderBlockSize = 512;
inline constexpr std::size_t kNewerBlockSize = 1024;
inline constexpr std::uint16_t kNewerLayoutVersion = 5;
inline constexpr std::string_view kControllerModel = "RV7730";

// Sends the vendor command 0xA1 with a sub-code (0 identification, 1 information block) for
// buffer.size() bytes (36, 512 or 1024; at most 65535): timeout 10 s, 4 attempts. On failure
// `buffer` is untouched.
bool VendorRead(platform::Handle handle, std::uint8_t subCode, std::span<std::uint8_t> buffer);

// What the identification read through the (volume) handle says: an RV7730 controller;
// another controller (or one that answered with sense data); or nothing, because the call
// itself failed on every attempt (platform::LastDeviceError says why).
enum class Identity { Supported, OtherController, NotAnswered };
Identity Identify(platform::Handle handle);

// True when the identification read through the (volume) handle names an RV7730 controller.
bool IsSupportedDisk(platform::Handle handle);

// Whether stored bytes can be decoded as an information block.
enum class BlockStatus { Ok, TooShort, BadMagic, TooShortForNewerLayout };
BlockStatus ExamineInfoBlock(std::span<const std::uint8_t> block);

// Decodes a block (512 bytes of the older layout, 1024 of the newer) into the 23 slot texts.
// Slots 19 and 20 are absent when `freeBytes` is. nullopt when ExamineInfoBlock is not Ok.
// An index beyond its selection list gives "#<index>", which no list entry equals; the older
// layout has no sleep mode, so its slot 8 is empty.
std::optional<DecodedSlots> DecodeInfoBlock(std::span<const std::uint8_t> block,
                                            const SelectionLists& lists,
                                            std::optional<std::uint64_t> freeBytes);

// How a read of a disk's information block ended.
enum class InfoRead {
    Done,       // read and decoded: the slots hold the block's values
    NotOpened,  // the drive would not open, or no longer opened after a read that brought no
                // answer (the disk pulled or swapped): the disk was never read, never judged
    NotRead,    // opened, but the read failed or brought no block: the disk answered wrongly
};

// Reads the block of the disk behind \\.\PHYSICALDRIVE<driveNumber> and writes the slots; the
// capacity slots from the free space of volume `letter`. Anything but Done leaves every slot as
// it was, and platform::LastDeviceError says why (the open's error, the read's, "refused with
// sense data" or "wrong magic").
InfoRead DecodeControllerInfo(int driveNumber, char16_t letter, ValueSlots& slots,
                              const SelectionLists& lists);

}  // namespace device
