#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/headless/headless.h"
#endif

namespace uitest {

std::uint32_t ShownPixelOf(std::uintptr_t window, int x, int y) {
#ifdef _WIN32
    const HWND handle = reinterpret_cast<HWND>(window);
    const HDC dc = GetDC(handle);
    if (dc == nullptr)
        return 0xFFFFFFFFu;
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(handle, dc);
    return colour;
#else
    return headless::Pixel(reinterpret_cast<ui::HWND>(window), x, y);
#endif
}

}  // namespace uitest
