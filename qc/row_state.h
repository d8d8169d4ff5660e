// A result-list row's state while it shows a disk: its values, what was read, the matches of its
// cells, its check bar and the disk's place. Owned by its row (the row's item data),
// made whole when the disk is placed and freed whole when the row is cleared.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "device/controller.h"
#include "qc/disk_place.h"
#include "qc/progress_x.h"
#include "usb/enum_usb.h"

namespace qc {

struct RowState {
    RowState() { matches.fill(1); }
    // The bar's window goes first, then its object.
    ~RowState() {
        if (bar != nullptr && bar->m_hWnd != nullptr)
            bar->DestroyWindow();
    }
    RowState(const RowState&) = delete;
    RowState& operator=(const RowState&) = delete;

    device::ValueSlots values;  // empty until the disk is decoded
    // False: its drive would not open when the block was to be read (pulled or swapped); the
    // row shows no values and gets no verdict.
    bool opened = true;
    // False: it opened, but its block could not be read or decoded; its verdict is FAIL.
    bool read = true;
    // 1: matched at the last check, or not compared; 0: did not meet the configuration.
    std::array<std::int32_t, device::kSlotCount> matches{};
    std::int32_t barShown = 0;
    ui::HWND barWindow = nullptr;
    std::unique_ptr<CProgressX> bar;
    // The disk's device entry (data part only: no list links) and its first volume, unlinked.
    // `deviceData.firstVolume` points at `volumeData`, never into the shared list.
    usb::UsbDeviceEntry deviceData;
    usb::VolumeEntry volumeData;
    // Where the disk sits, as its log line records it; the "Vol" cell shows its text.
    DiskPlace place;
};

}  // namespace qc
