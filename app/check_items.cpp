#include "app/check_items.h"

#include "app/res/resource.h"

namespace app {

CheckItems MakeCheckItems() {
    struct Row {
        std::uint32_t captionId;
        std::int32_t controlId;
        std::uint16_t columnWidth;
    };
    // In slot order; the keys are the slots' own.
    static constexpr Row kRows[kItemCount] = {
        {IDS_VID, IDE_VID, 50},
        {IDS_PID, IDE_PID, 50},
        {IDS_VERSION, IDE_REVISION, 75},
        {IDS_VENDOR_NAME, IDE_VENDOR_NAME, 75},
        {IDS_PRODUCT_NAME, IDE_PRODUCT_NAME, 110},
        {IDS_RFREQ, IDC_RFREQ, 75},
        {IDS_WFREQ, IDC_WFREQ, 75},
        {IDS_IDLE_MODE, IDC_IDLE, 63},
        {IDS_SLEEP_MODE, IDC_SLEEP, 63},
        {IDS_BLINK_MODE, IDC_BLINK, 93},
        {IDS_DISK_TYPE, IDE_DISK_TYPE, 75},
        {IDS_PARTITION_MODE, IDE_PARTITION, 75},
        {IDS_MASTER, IDE_MASTER, 75},
        {IDS_EFS, IDC_EFS, 75},
        {IDS_MULTI_PLANE, IDE_MULTI_PLANE, 75},
        {IDS_INTERLEAVE, IDE_INTERLEAVE, 75},
        {IDS_CACHE_PROGRAM, IDE_CACHE_PROGRAM, 90},
        {IDS_DUAL_MODE, IDE_DUAL_MODE, 65},
        {IDS_RANDOMIZE, IDE_RANDOMIZE, 70},
        {IDS_CAPACITY, IDE_CAP_MIN, 65},
        {IDS_CAPACITY, IDE_CAP_MAX, 65},
        {IDS_MP_VERSION, IDE_MP_VERSION, 70},
        {IDS_FW_VERSION, IDE_FW_VERSION, 75},
    };
    CheckItems items{};
    for (std::size_t i = 0; i < kItemCount; ++i) {
        items[i] = CheckItem{kRows[i].captionId,  u"", device::kSlotKeys[i], 0, kRows[i].controlId,
                             kRows[i].columnWidth};
    }
    return items;
}

CheckItems checkItems = MakeCheckItems();

}  // namespace app
