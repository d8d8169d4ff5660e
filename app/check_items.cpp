#include "app/check_items.h"

namespace app {

CheckItems MakeCheckItems() {
    // captionId, value, key, enabled, controlId, columnWidth
    return CheckItems{{
        {104, u"", u"vid", 0, 1012, 50},          {105, u"", u"pid", 0, 1013, 50},
        {106, u"", u"revision", 0, 1022, 75},     {107, u"", u"VendorName", 0, 1010, 75},
        {108, u"", u"ProductName", 0, 1011, 110}, {109, u"", u"RFreq", 0, 1043, 75},
        {110, u"", u"WFreq", 0, 1044, 75},        {111, u"", u"Idle", 0, 1036, 63},
        {127, u"", u"Sleep", 0, 1056, 63},        {112, u"", u"Blink", 0, 1037, 93},
        {123, u"", u"DiskType", 0, 1049, 75},     {124, u"", u"Part", 0, 1050, 75},
        {126, u"", u"Master", 0, 1055, 75},       {125, u"", u"Efs", 0, 1053, 75},
        {113, u"", u"MultiPlane", 0, 1033, 75},   {114, u"", u"Interleave", 0, 1030, 75},
        {115, u"", u"CacheProgram", 0, 1031, 90}, {116, u"", u"DualMode", 0, 1032, 65},
        {117, u"", u"Randomize", 0, 1034, 70},    {118, u"", u"CapMin", 0, 1026, 65},
        {118, u"", u"CapMax", 0, 1027, 65},       {119, u"", u"MPVer", 0, 1024, 70},
        {120, u"", u"FWVer", 0, 1052, 75},
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
