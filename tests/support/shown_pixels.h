// What a window shows, pixel by pixel, on either backend of the class library: the recorded
// canvas on the headless one, the window's own drawing surface on the real one.
#pragma once

#include <cstdint>

#include "platform/ui.h"

namespace uitest {

// The colour at a client point of the window; 0xFFFFFFFF where it cannot be read.
std::uint32_t ShownPixelOf(std::uintptr_t window, int x, int y);

inline ui::COLORREF ShownPixel(ui::HWND window, int x, int y) {
    return static_cast<ui::COLORREF>(ShownPixelOf(reinterpret_cast<std::uintptr_t>(window), x, y));
}

}  // namespace uitest
