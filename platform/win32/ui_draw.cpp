// The Win32 backend of the class library: drawing with GDI.
#include "platform/win32/ui_internal.h"

namespace ui {

using namespace win32;

CDC::~CDC() {
    DeleteDC();
}

// https://learn.microsoft.com/windows/win32/api/wingdi/nf-wingdi-createcompatibledc
bool CDC::CreateCompatibleDC(CDC* other) {
    DeleteDC();
    m_hDC = Ui(::CreateCompatibleDC(other != nullptr ? Native(other->m_hDC) : nullptr));
    owned_ = m_hDC != nullptr;
    return owned_;
}

void CDC::DeleteDC() {
    if (owned_ && m_hDC != nullptr)
        ::DeleteDC(Native(m_hDC));
    owned_ = false;
    m_hDC = nullptr;
}

// The background colour paints the rectangle through ExtTextOut and stays the fill colour, as
// the framework leaves it: opaque text drawn next stands on the fill, not on a box of the old one.
void CDC::FillSolidRect(const RECT& rect, COLORREF color) {
    const ::HDC dc = Native(m_hDC);
    ::SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, Native(&rect), nullptr, 0, nullptr);
}

// Four one-pixel edges: top and left to the corner before the far ends, bottom and right full.
void CDC::Draw3dRect(const RECT& rect, COLORREF topLeft, COLORREF bottomRight) {
    FillSolidRect({rect.left, rect.top, rect.right - 1, rect.top + 1}, topLeft);
    FillSolidRect({rect.left, rect.top, rect.left + 1, rect.bottom - 1}, topLeft);
    FillSolidRect({rect.right - 1, rect.top, rect.right, rect.bottom}, bottomRight);
    FillSolidRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, bottomRight);
}

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-drawtextw
int CDC::DrawText(std::u16string_view text, RECT& rect, UINT format) {
    std::u16string copy(text);
    copy.append(4, u'\0');  // room that DT_MODIFYSTRING may write to
    return DrawTextW(Native(m_hDC), Native(copy.data()), static_cast<int>(text.size()),
                     Native(&rect), format);
}

COLORREF CDC::SetTextColor(COLORREF color) {
    return ::SetTextColor(Native(m_hDC), color);
}

COLORREF testing::GetTextColor(HDC dc) {
    return ::GetTextColor(Native(dc));
}

COLORREF CDC::SetBkColor(COLORREF color) {
    return ::SetBkColor(Native(m_hDC), color);
}

int CDC::SetBkMode(int mode) {
    return ::SetBkMode(Native(m_hDC), mode);
}

HFONT CDC::SelectFont(HFONT font) {
    return reinterpret_cast<HFONT>(SelectObject(Native(m_hDC), Native(font)));
}

HBITMAP CDC::SelectBitmap(HBITMAP bitmap) {
    return reinterpret_cast<HBITMAP>(SelectObject(Native(m_hDC), Native(bitmap)));
}

bool CDC::BitBlt(int x, int y, int width, int height, CDC* source, int sx, int sy, DWORD rop) {
    return ::BitBlt(Native(m_hDC), x, y, width, height,
                    source != nullptr ? Native(source->m_hDC) : nullptr, sx, sy, rop) != FALSE;
}

bool CDC::DrawIcon(int x, int y, HICON icon) {
    return ::DrawIcon(Native(m_hDC), x, y, Native(icon)) != FALSE;
}

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-beginpaint
CPaintDC::CPaintDC(CWnd* window)
    : window_(window != nullptr ? window->m_hWnd : nullptr), state_(new PAINTSTRUCT{}) {
    auto* paint = static_cast<PAINTSTRUCT*>(state_);
    m_hDC = Ui(BeginPaint(Native(window_), paint));
    m_rcPaint = {paint->rcPaint.left, paint->rcPaint.top, paint->rcPaint.right,
                 paint->rcPaint.bottom};
}

CPaintDC::~CPaintDC() {
    auto* paint = static_cast<PAINTSTRUCT*>(state_);
    if (m_hDC != nullptr)
        EndPaint(Native(window_), paint);
    m_hDC = nullptr;  // not ours to delete
    delete paint;
}

CBitmap::~CBitmap() {
    DeleteObject();
}

bool CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    DeleteObject();
    m_hBitmap = Ui(::CreateCompatibleBitmap(Native(dc->m_hDC), width, height));
    return m_hBitmap != nullptr;
}

void CBitmap::DeleteObject() {
    if (m_hBitmap != nullptr)
        ::DeleteObject(Native(m_hBitmap));
    m_hBitmap = nullptr;
}

COLORREF GetSysColor(int index) {
    return ::GetSysColor(index);
}

int GetSystemMetrics(int index) {
    return ::GetSystemMetrics(index);
}

bool GetCursorPos(POINT* point) {
    return ::GetCursorPos(Native(point)) != FALSE;
}

}  // namespace ui
