#include "app/check_items.h"

#include "app/res/resource.h"

namespace app {

CheckItems MakeCheckItems() {
    // captionId, value, key, enabled, controlId, columnWidth
    return CheckItems{{
        {IDS_VID, u"", u"vid", 0, IDE_VID, 50},
        {IDS_PID, u"", u"pid", 0, IDE_PID, 50},
        {IDS_VERSION, u"", u"revision", 0, IDE_REVISION, 75},
        {IDS_VENDOR_NAME, u"", u"VendorName", 0, IDE_VENDOR_NAME, 75},
        {IDS_PRODUCT_NAME, u"", u"ProductName", 0, IDE_PRODUCT_NAME, 110},
        {IDS_RFREQ, u"", u"RFreq", 0, IDC_RFREQ, 75},
        {IDS_WFREQ, u"", u"WFreq", 0, IDC_WFREQ, 75},
        {IDS_IDLE_MODE, u"", u"Idle", 0, IDC_IDLE, 63},
        {IDS_SLEEP_MODE, u"", u"Sleep", 0, IDC_SLEEP, 63},
        {IDS_BLINK_MODE, u"", u"Blink", 0, IDC_BLINK, 93},
        {IDS_DISK_TYPE, u"", u"DiskType", 0, IDE_DISK_TYPE, 75},
        {IDS_PARTITION_MODE, u"", u"Part", 0, IDE_PARTITION, 75},
        {IDS_MASTER, u"", u"Master", 0, IDE_MASTER, 75},
        {IDS_EFS, u"", u"Efs", 0, IDC_EFS, 75},
        {IDS_MULTI_PLANE, u"", u"MultiPlane", 0, IDE_MULTI_PLANE, 75},
        {IDS_INTERLEAVE, u"", u"Interleave", 0, IDE_INTERLEAVE, 75},
        {IDS_CACHE_PROGRAM, u"", u"CacheProgram", 0, IDE_CACHE_PROGRAM, 90},
        {IDS_DUAL_MODE, u"", u"DualMode", 0, IDE_DUAL_MODE, 65},
        {IDS_RANDOMIZE, u"", u"Randomize", 0, IDE_RANDOMIZE, 70},
        {IDS_CAPACITY, u"", u"CapMin", 0, IDE_CAP_MIN, 65},
        {IDS_CAPACITY, u"", u"CapMax", 0, IDE_CAP_MAX, 65},
        {IDS_MP_VERSION, u"", u"MPVer", 0, IDE_MP_VERSION, 70},
        {IDS_FW_VERSION, u"", u"FWVer", 0, IDE_FW_VERSION, 75},
    }};
}

CheckItems checkItems = MakeCheckItems();

bool IsListItem(std::size_t index) {
    switch (index) {
        case device::kSlotRFreq:
        case device::kSlotWFreq:
        case device::kSlotIdle:
        case device::kSlotSleep:
        case device::kSlotBlink:
        case device::kSlotEfs:
            return true;
        default:
            return false;
    }
}

}  // namespace app
