// The Win32 backend of platform/usb_io.h: the real calls, win32api::UsbApi. The layouts of
// platform/usb_requests.h and the constants of platform/usb_io.h are checked here against the
// platform's own headers, on every Windows target.
#include "platform/usb_io.h"

#include <windows.h>

#include <winioctl.h>

#include <cfgmgr32.h>
#include <setupapi.h>
#include <usbioctl.h>

#include <cstddef>

#include "platform/usb_requests.h"
#include "platform/win32/usb_api.h"

namespace platform {

// ---- Request codes.
static_assert(kIoctlGetHcdDriverKeyName == IOCTL_GET_HCD_DRIVERKEY_NAME);
static_assert(kIoctlUsbGetRootHubName == IOCTL_USB_GET_ROOT_HUB_NAME);
static_assert(kIoctlUsbGetNodeInformation == IOCTL_USB_GET_NODE_INFORMATION);
static_assert(kIoctlUsbGetNodeConnectionInformation == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION);
static_assert(kIoctlUsbGetDescriptorFromNodeConnection ==
              IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION);
static_assert(kIoctlUsbGetNodeConnectionName == IOCTL_USB_GET_NODE_CONNECTION_NAME);
static_assert(kIoctlUsbGetNodeConnectionDriverKeyName ==
              IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME);
static_assert(kIoctlStorageGetDeviceNumber == IOCTL_STORAGE_GET_DEVICE_NUMBER);

// ---- Variable-length names: the fixed part is the structure with one character.
static_assert(kUsbNameFixedSize == sizeof(USB_HCD_DRIVERKEY_NAME));
static_assert(kUsbNameFixedSize == sizeof(USB_ROOT_HUB_NAME));
static_assert(kUsbNameActualLengthOffset == offsetof(USB_HCD_DRIVERKEY_NAME, ActualLength));
static_assert(kUsbNameActualLengthOffset == offsetof(USB_ROOT_HUB_NAME, ActualLength));
static_assert(kUsbNameTextOffset == offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName));
static_assert(kUsbNameTextOffset == offsetof(USB_ROOT_HUB_NAME, RootHubName));
static_assert(kUsbConnectionNameFixedSize == sizeof(USB_NODE_CONNECTION_NAME));
static_assert(kUsbConnectionNameFixedSize == sizeof(USB_NODE_CONNECTION_DRIVERKEY_NAME));
static_assert(kUsbConnectionNameIndexOffset == offsetof(USB_NODE_CONNECTION_NAME, ConnectionIndex));
static_assert(kUsbConnectionNameIndexOffset ==
              offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, ConnectionIndex));
static_assert(kUsbConnectionNameActualLengthOffset ==
              offsetof(USB_NODE_CONNECTION_NAME, ActualLength));
static_assert(kUsbConnectionNameActualLengthOffset ==
              offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, ActualLength));
static_assert(kUsbConnectionNameTextOffset == offsetof(USB_NODE_CONNECTION_NAME, NodeName));
static_assert(kUsbConnectionNameTextOffset ==
              offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName));

// ---- USB_NODE_INFORMATION.
static_assert(kUsbNodeInformationSize == sizeof(USB_NODE_INFORMATION));
static_assert(kUsbNodeTypeOffset == offsetof(USB_NODE_INFORMATION, NodeType));
static_assert(kUsbHubDescriptorOffset == offsetof(USB_NODE_INFORMATION, u.HubInformation));
static_assert(kUsbHubDescriptorOffset ==
              offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor));
static_assert(kUsbHubNumberOfPortsOffset ==
              offsetof(USB_NODE_INFORMATION, u.HubInformation.HubDescriptor.bNumberOfPorts));
static_assert(kUsbHubIsBusPoweredOffset ==
              offsetof(USB_NODE_INFORMATION, u.HubInformation.HubIsBusPowered));
static_assert(kUsbHubNode == UsbHub);

// ---- USB_NODE_CONNECTION_INFORMATION and its pipe entries.
using Connection = USB_NODE_CONNECTION_INFORMATION;
static_assert(kUsbConnectionIndexOffset == offsetof(Connection, ConnectionIndex));
static_assert(kUsbDeviceDescriptorOffset == offsetof(Connection, DeviceDescriptor));
static_assert(kUsbDeviceDescriptorSize == sizeof(USB_DEVICE_DESCRIPTOR));
static_assert(kUsbIdVendorOffset == offsetof(Connection, DeviceDescriptor.idVendor));
static_assert(kUsbIdProductOffset == offsetof(Connection, DeviceDescriptor.idProduct));
static_assert(kUsbIManufacturerOffset == offsetof(Connection, DeviceDescriptor.iManufacturer));
static_assert(kUsbIProductOffset == offsetof(Connection, DeviceDescriptor.iProduct));
static_assert(kUsbISerialNumberOffset == offsetof(Connection, DeviceDescriptor.iSerialNumber));
static_assert(kUsbCurrentConfigurationOffset == offsetof(Connection, CurrentConfigurationValue));
static_assert(kUsbLowSpeedOffset == offsetof(Connection, LowSpeed));
static_assert(kUsbDeviceIsHubOffset == offsetof(Connection, DeviceIsHub));
static_assert(kUsbDeviceAddressOffset == offsetof(Connection, DeviceAddress));
static_assert(kUsbNumberOfOpenPipesOffset == offsetof(Connection, NumberOfOpenPipes));
static_assert(kUsbConnectionStatusOffset == offsetof(Connection, ConnectionStatus));
static_assert(sizeof(USB_CONNECTION_STATUS) == 4);
static_assert(kUsbPipeListOffset == offsetof(Connection, PipeList));
static_assert(kUsbPipeListOffset == sizeof(Connection));
static_assert(kUsbPipeInfoSize == sizeof(USB_PIPE_INFO));
static_assert(kUsbNodeConnectionInformationSize ==
              sizeof(Connection) + kUsbPipeCount * sizeof(USB_PIPE_INFO));
static_assert(kUsbNoDeviceConnected == NoDeviceConnected);
static_assert(kUsbDeviceConnected == DeviceConnected);

// ---- USB_DESCRIPTOR_REQUEST: the header, then room for the longest string descriptor.
using DescriptorRequest = USB_DESCRIPTOR_REQUEST;
static_assert(kUsbDescriptorConnectionIndexOffset == offsetof(DescriptorRequest, ConnectionIndex));
static_assert(kUsbSetupBmRequestOffset == offsetof(DescriptorRequest, SetupPacket.bmRequest));
static_assert(kUsbSetupBRequestOffset == offsetof(DescriptorRequest, SetupPacket.bRequest));
static_assert(kUsbSetupWValueOffset == offsetof(DescriptorRequest, SetupPacket.wValue));
static_assert(kUsbSetupWIndexOffset == offsetof(DescriptorRequest, SetupPacket.wIndex));
static_assert(kUsbSetupWLengthOffset == offsetof(DescriptorRequest, SetupPacket.wLength));
static_assert(kUsbDescriptorDataOffset == offsetof(DescriptorRequest, Data));
static_assert(kUsbDescriptorDataOffset == sizeof(DescriptorRequest));
static_assert(kUsbDescriptorRequestSize == sizeof(DescriptorRequest) + 255);
static_assert(kUsbStringDescriptorType == USB_STRING_DESCRIPTOR_TYPE);

// ---- STORAGE_DEVICE_NUMBER.
static_assert(kStorageDeviceNumberSize == sizeof(STORAGE_DEVICE_NUMBER));
static_assert(kStorageDeviceTypeOffset == offsetof(STORAGE_DEVICE_NUMBER, DeviceType));
static_assert(kStorageDeviceNumberOffset == offsetof(STORAGE_DEVICE_NUMBER, DeviceNumber));
static_assert(kStoragePartitionNumberOffset == offsetof(STORAGE_DEVICE_NUMBER, PartitionNumber));
static_assert(kFileDeviceDisk == FILE_DEVICE_DISK);
static_assert(kFileDeviceCdrom == FILE_DEVICE_CD_ROM);

// ---- The opaque holders of platform/usb_io.h.
static_assert(sizeof(Guid) == sizeof(GUID));
static_assert(offsetof(Guid, data1) == offsetof(GUID, Data1));
static_assert(offsetof(Guid, data2) == offsetof(GUID, Data2));
static_assert(offsetof(Guid, data3) == offsetof(GUID, Data3));
static_assert(offsetof(Guid, data4) == offsetof(GUID, Data4));
static_assert(sizeof(DeviceInterfaceData) >= sizeof(SP_DEVICE_INTERFACE_DATA));
static_assert(alignof(DeviceInterfaceData) >= alignof(SP_DEVICE_INTERFACE_DATA));
static_assert(sizeof(DeviceInfoSet) == sizeof(HDEVINFO));
static_assert(sizeof(DevInst) == sizeof(DEVINST));
static_assert(sizeof(RegKey) == sizeof(HKEY));
static_assert(sizeof(Handle) == sizeof(HANDLE));

// ---- Access, share and drive-type constants.
static_assert(kNoAccess == 0);
static_assert(kShareRead == FILE_SHARE_READ);
static_assert(kShareWrite == FILE_SHARE_WRITE);
static_assert(kDriveUnknown == DRIVE_UNKNOWN);
static_assert(kDriveNoRootDir == DRIVE_NO_ROOT_DIR);
static_assert(kDriveRemovable == DRIVE_REMOVABLE);
static_assert(kDriveFixed == DRIVE_FIXED);
static_assert(kDriveRemote == DRIVE_REMOTE);
static_assert(kDriveCdrom == DRIVE_CDROM);
static_assert(kDriveRamdisk == DRIVE_RAMDISK);

UsbCalls& UsbSystem() {
    static win32api::UsbApi api;
    return api;
}

}  // namespace platform
