// The USB hub, host-controller and storage requests the walk sends through
// platform::DeviceControl: their codes and their layouts in bytes (the platform packs the USB
// structures to one byte, so the same offsets hold on x86 and x64). The system builds and
// parses them with platform::ByteWriter and ByteReader; platform/win32/usb_io.cpp checks every
// size and offset against the platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// ---- Codes --------------------------------------------------------------------------------

inline constexpr std::uint32_t kIoctlGetHcdDriverKeyName = 0x220424;    // to a host controller
inline constexpr std::uint32_t kIoctlUsbGetRootHubName = 0x220408;      // to a host controller
inline constexpr std::uint32_t kIoctlUsbGetNodeInformation = 0x220408;  // to a hub, same code
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionInformation = 0x22040C;
inline constexpr std::uint32_t kIoctlUsbGetDescriptorFromNodeConnection = 0x220410;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionName = 0x220414;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionDriverKeyName = 0x220420;
inline constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;

// ---- Variable-length names ----------------------------------------------------------------
// USB_HCD_DRIVERKEY_NAME and USB_ROOT_HUB_NAME: ULONG ActualLength, WCHAR name[1].
inline constexpr std::size_t kUsbNameFixedSize = 6;
inline constexpr std::size_t kUsbNameActualLengthOffset = 0;
inline constexpr std::size_t kUsbNameTextOffset = 4;
// USB_NODE_CONNECTION_NAME and USB_NODE_CONNECTION_DRIVERKEY_NAME: ULONG ConnectionIndex,
// ULONG ActualLength, WCHAR name[1].
inline constexpr std::size_t kUsbConnectionNameFixedSize = 10;
inline constexpr std::size_t kUsbConnectionNameIndexOffset = 0;
inline constexpr std::size_t kUsbConnectionNameActualLengthOffset = 4;
inline constexpr std::size_t kUsbConnectionNameTextOffset = 8;

// ---- USB_NODE_INFORMATION -----------------------------------------------------------------
// ULONG NodeType; USB_HUB_INFORMATION { USB_HUB_DESCRIPTOR (71 bytes), BOOLEAN HubIsBusPowered }.
inline constexpr std::size_t kUsbNodeInformationSize = 76;
inline constexpr std::size_t kUsbNodeTypeOffset = 0;
inline constexpr std::size_t kUsbHubDescriptorOffset = 4;
inline constexpr std::size_t kUsbHubNumberOfPortsOffset = 6;  // bNumberOfPorts
inline constexpr std::size_t kUsbHubIsBusPoweredOffset = 75;
inline constexpr std::uint32_t kUsbHubNode = 0;  // UsbHub

// ---- USB_NODE_CONNECTION_INFORMATION ------------------------------------------------------
inline constexpr std::size_t kUsbPipeCount = 30;     // pipe entries the request makes room for
inline constexpr std::size_t kUsbPipeInfoSize = 11;  // USB_ENDPOINT_DESCRIPTOR (7) + ULONG
inline constexpr std::size_t kUsbConnectionIndexOffset = 0;
inline constexpr std::size_t kUsbDeviceDescriptorOffset = 4;  // USB_DEVICE_DESCRIPTOR, 18 bytes
inline constexpr std::size_t kUsbDeviceDescriptorSize = 18;
inline constexpr std::size_t kUsbIdVendorOffset = 12;
inline constexpr std::size_t kUsbIdProductOffset = 14;
inline constexpr std::size_t kUsbIManufacturerOffset = 18;
inline constexpr std::size_t kUsbIProductOffset = 19;
inline constexpr std::size_t kUsbISerialNumberOffset = 20;
inline constexpr std::size_t kUsbCurrentConfigurationOffset = 22;
inline constexpr std::size_t kUsbLowSpeedOffset = 23;
inline constexpr std::size_t kUsbDeviceIsHubOffset = 24;
inline constexpr std::size_t kUsbDeviceAddressOffset = 25;
inline constexpr std::size_t kUsbNumberOfOpenPipesOffset = 27;
inline constexpr std::size_t kUsbConnectionStatusOffset = 31;
inline constexpr std::size_t kUsbPipeListOffset = 35;
inline constexpr std::size_t kUsbNodeConnectionInformationSize =
    kUsbPipeListOffset + kUsbPipeCount * kUsbPipeInfoSize;  // 365
static_assert(kUsbNodeConnectionInformationSize == 365);
inline constexpr std::uint32_t kUsbNoDeviceConnected = 0;
inline constexpr std::uint32_t kUsbDeviceConnected = 1;

// ---- USB_DESCRIPTOR_REQUEST ---------------------------------------------------------------
// ULONG ConnectionIndex; SetupPacket { UCHAR bmRequest, UCHAR bRequest, USHORT wValue,
// USHORT wIndex, USHORT wLength }; UCHAR Data[].
inline constexpr std::size_t kUsbDescriptorRequestSize = 267;
inline constexpr std::size_t kUsbDescriptorConnectionIndexOffset = 0;
inline constexpr std::size_t kUsbSetupBmRequestOffset = 4;
inline constexpr std::size_t kUsbSetupBRequestOffset = 5;
inline constexpr std::size_t kUsbSetupWValueOffset = 6;
inline constexpr std::size_t kUsbSetupWIndexOffset = 8;
inline constexpr std::size_t kUsbSetupWLengthOffset = 10;
inline constexpr std::size_t kUsbDescriptorDataOffset = 12;
inline constexpr std::uint8_t kUsbStringDescriptorType = 3;

// ---- STORAGE_DEVICE_NUMBER ----------------------------------------------------------------
// DEVICE_TYPE DeviceType; ULONG DeviceNumber; ULONG PartitionNumber.
inline constexpr std::size_t kStorageDeviceNumberSize = 12;
inline constexpr std::size_t kStorageDeviceTypeOffset = 0;
inline constexpr std::size_t kStorageDeviceNumberOffset = 4;
inline constexpr std::size_t kStoragePartitionNumberOffset = 8;
inline constexpr std::uint32_t kFileDeviceDisk = 7;   // FILE_DEVICE_DISK
inline constexpr std::uint32_t kFileDeviceCdrom = 2;  // FILE_DEVICE_CD_ROM

}  // namespace platform
