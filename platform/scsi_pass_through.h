// The request buffer of IOCTL_SCSI_PASS_THROUGH: the platform's SCSI_PASS_THROUGH header
// followed by a filler, the sense area and the data area. The header mirrors the platform
// structure field for field (DataBufferOffset is pointer-sized), so the offsets follow from the
// structure on every target; platform/win32/device_io.cpp checks it against <ntddscsi.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct ScsiPassThroughHeader {
    std::uint16_t Length;
    std::uint8_t ScsiStatus;
    std::uint8_t PathId;
    std::uint8_t TargetId;
    std::uint8_t Lun;
    std::uint8_t CdbLength;
    std::uint8_t SenseInfoLength;
    std::uint8_t DataIn;
    std::uint32_t DataTransferLength;
    std::uint32_t TimeOutValue;
    std::uintptr_t DataBufferOffset;
    std::uint32_t SenseInfoOffset;
    std::uint8_t Cdb[16];
};

inline constexpr std::uint8_t kScsiIoctlDataIn = 1;  // SCSI_IOCTL_DATA_IN
inline constexpr std::size_t kScsiSenseAreaSize = 32;
inline constexpr std::uint8_t kScsiSenseOffered = 24;
inline constexpr std::size_t kScsiDataAreaSize = 67584;

struct ScsiRequest {
    ScsiPassThroughHeader header;
    std::uint32_t filler;
    std::uint8_t sense[kScsiSenseAreaSize];
    std::uint8_t data[kScsiDataAreaSize];
};

inline constexpr std::size_t kScsiSenseOffset = offsetof(ScsiRequest, sense);
inline constexpr std::size_t kScsiDataOffset = offsetof(ScsiRequest, data);

#if UINTPTR_MAX == 0xFFFFFFFFu
// The 32-bit layout the shipped program sends.
static_assert(sizeof(ScsiPassThroughHeader) == 44);
static_assert(offsetof(ScsiPassThroughHeader, DataBufferOffset) == 20);
static_assert(offsetof(ScsiPassThroughHeader, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThroughHeader, Cdb) == 28);
static_assert(offsetof(ScsiRequest, filler) == 44);
static_assert(kScsiSenseOffset == 48);
static_assert(kScsiDataOffset == 80);
static_assert(sizeof(ScsiRequest) == 67664);
#endif

}  // namespace platform
