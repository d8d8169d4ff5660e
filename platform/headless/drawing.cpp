// Drawing into recording canvases: device contexts, bitmaps, fonts, icons, image lists, system
// colours and metrics, the cursor. No glyphs are rasterised: text is recorded with its
// rectangle, colour, format and font, and fills the pixels of its extent when drawn opaque.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/headless/core.h"
#include "platform/ui_testing.h"

namespace headless::detail {

namespace {

struct DcState {
    HWND window = nullptr;     // a paint context
    HBITMAP bitmap = nullptr;  // a memory context's selected bitmap
    bool memory = false;
    RECT clip{};  // paint contexts: the area being painted
    HFONT font = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
};

struct FontRecord {
    std::u16string face;
    int pointSize;
};

struct IconRecordData {
    UINT id;
    int width;
    int height;
};

struct Gdi {
    std::map<std::uintptr_t, DcState> dcs;
    std::map<std::uintptr_t, std::shared_ptr<Canvas>> bitmaps;
    std::map<std::uintptr_t, FontRecord> fonts;
    std::map<std::uintptr_t, IconRecordData> icons;
    std::map<std::uintptr_t, SIZE> imageLists;
    HBITMAP stockBitmap = nullptr;  // what a new memory context holds: 1 x 1
    POINT cursor{};
};

Gdi& TheGdi() {
    static Gdi* gdi = [] {
        auto* g = new Gdi;
        g->stockBitmap = ToHandle<HBITMAP>(NextHandle());
        auto canvas = std::make_shared<Canvas>();
        canvas->Resize(1, 1, RGB(0, 0, 0));
        g->bitmaps[HandleValue(g->stockBitmap)] = canvas;
        return g;
    }();
    return *gdi;
}

DcState* DcLocked(HDC dc) {
    auto& dcs = TheGdi().dcs;
    const auto it = dcs.find(HandleValue(dc));
    return it == dcs.end() ? nullptr : &it->second;
}

Canvas* BitmapLocked(HBITMAP bitmap) {
    auto& bitmaps = TheGdi().bitmaps;
    const auto it = bitmaps.find(HandleValue(bitmap));
    return it == bitmaps.end() ? nullptr : it->second.get();
}

// The canvas a context draws on, and the area it may touch.
Canvas* TargetLocked(const DcState& dc, RECT* clip) {
    Canvas* canvas = nullptr;
    if (dc.memory) {
        canvas = BitmapLocked(dc.bitmap);
        if (canvas != nullptr)
            *clip = canvas->Bounds();
    } else if (Window* w = FindLocked(dc.window)) {
        canvas = &w->canvas;
        *clip = Intersect(dc.clip, canvas->Bounds());
    }
    return canvas;
}

HDC NewDc(const DcState& state) {
    const HDC dc = ToHandle<HDC>(NextHandle());
    TheGdi().dcs[HandleValue(dc)] = state;
    return dc;
}

constexpr UINT kDtBottom = 0x0008, kDtRight = 0x0002, kDtCalcRect = 0x0400;

}  // namespace

// ---- Canvas

void Canvas::Resize(int w, int h, COLORREF fill) {
    std::vector<COLORREF> next(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill);
    for (int y = 0; y < std::min(h, height); ++y) {
        for (int x = 0; x < std::min(w, width); ++x)
            next[static_cast<std::size_t>(y * w + x)] =
                pixels[static_cast<std::size_t>(y * width + x)];
    }
    pixels.swap(next);
    width = w;
    height = h;
}

void Canvas::Cover(const RECT& area) {
    std::erase_if(texts, [&](const TextRecord& t) { return Contains(area, t.rect); });
    std::erase_if(icons, [&](const IconRecord& i) { return Contains(area, i.rect); });
}

void Canvas::Fill(const RECT& area, COLORREF color) {
    const RECT r = Intersect(area, Bounds());
    for (int y = r.top; y < r.bottom; ++y)
        std::fill_n(pixels.begin() + y * width + r.left, r.right - r.left, color);
    Cover(area);
}

void Canvas::Scroll(const RECT& area, int dx, int dy) {
    const RECT r = Intersect(area, Bounds());
    if (IsEmpty(r) || (dx == 0 && dy == 0))
        return;
    const std::vector<COLORREF> before = pixels;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const int sx = x - dx, sy = y - dy;
            if (sx >= r.left && sx < r.right && sy >= r.top && sy < r.bottom)
                pixels[static_cast<std::size_t>(y * width + x)] =
                    before[static_cast<std::size_t>(sy * width + sx)];
        }
    }
    // Records inside the area move with it; those moved out of it are gone.
    const auto move = [&](auto& records) {
        auto kept = records;
        kept.clear();
        for (auto record : records) {
            if (!IsEmpty(Intersect(record.rect, r))) {
                record.rect = Offset(record.rect, dx, dy);
                if (IsEmpty(Intersect(record.rect, r)))
                    continue;
            }
            kept.push_back(std::move(record));
        }
        records.swap(kept);
    };
    move(texts);
    move(icons);
}

// ---- Fonts and text

HFONT MakeFont(std::u16string_view face, int pointSize) {
    auto lock = Lock();
    auto& fonts = TheGdi().fonts;
    for (const auto& [handle, font] : fonts) {
        if (font.face == face && font.pointSize == pointSize)
            return ToHandle<HFONT>(handle);
    }
    const auto handle = NextHandle();
    fonts[handle] = {std::u16string(face), pointSize};
    return ToHandle<HFONT>(handle);
}

HFONT DefaultFont() {
    static const HFONT font = MakeFont(u"MS Shell Dlg", 8);
    return font;
}

FontMetrics MetricsOf(HFONT font) {
    int points = 8;
    {
        auto lock = Lock();
        const auto& fonts = TheGdi().fonts;
        const auto it = fonts.find(HandleValue(font));
        if (it != fonts.end())
            points = it->second.pointSize;
    }
    const int height = std::max(1, MulDiv(points, 96, 72));
    return {height, height + 2, (height + 1) / 2, height + 1};
}

int TextWidth(std::u16string_view text, const FontMetrics& m) {
    int width = 0;
    for (char16_t c : text)
        width += c < 0x2E80 ? m.charWidth : m.wideWidth;
    return width;
}

// ---- Painting

HDC BeginPaintInternal(HWND window, RECT* paint) {
    bool erase;
    HDC dc;
    {
        auto lock = Lock();
        Window* w = FindLocked(window);
        if (w == nullptr) {
            *paint = {};
            return nullptr;
        }
        *paint = w->hasUpdate ? w->update : RECT{};
        erase = w->hasUpdate && w->erase;
        w->hasUpdate = false;
        w->update = {};
        w->erase = false;
        DcState state;
        state.window = window;
        state.clip = *paint;
        dc = NewDc(state);
    }
    if (erase)
        ui::SendMessage(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc));
    return dc;
}

void EndPaintInternal(HDC dc) {
    auto lock = Lock();
    TheGdi().dcs.erase(HandleValue(dc));
}

COLORREF ClassBackground(Kind kind) {
    switch (kind) {
        case Kind::Edit:
        case Kind::ListView:
        case Kind::TreeView:
        case Kind::Generic:
            return GetSysColor(COLOR_WINDOW);
        default:
            return GetSysColor(COLOR_BTNFACE);
    }
}

void EraseBackground(HWND window, HDC dc) {
    Kind kind;
    {
        auto lock = Lock();
        const Window* w = FindLocked(window);
        if (w == nullptr)
            return;
        kind = w->kind;
    }
    const SIZE size = ClientSize(window);
    CDC cdc(dc);
    const COLORREF before = cdc.SetBkColor(0);
    cdc.FillSolidRect({0, 0, size.cx, size.cy}, ClassBackground(kind));
    cdc.SetBkColor(before);
}

Painter::Painter(HWND w) : window(w) {
    dc = BeginPaintInternal(window, &paint);
    HFONT font = reinterpret_cast<HFONT>(ui::SendMessage(window, WM_GETFONT));
    CDC(dc).SelectFont(font ? font : DefaultFont());
}

Painter::~Painter() {
    EndPaintInternal(dc);
}

// ---- Image lists

SIZE ImageListSize(HIMAGELIST list) {
    auto lock = Lock();
    const auto& lists = TheGdi().imageLists;
    const auto it = lists.find(HandleValue(list));
    return it == lists.end() ? SIZE{} : it->second;
}

// Handles are never reused, so a second destroy is always the caller's mistake: on the platform
// it frees freed memory. Stop there, as a memory checker would.
void DestroyImageListInternal(HIMAGELIST list) {
    {
        auto lock = Lock();
        if (TheGdi().imageLists.erase(HandleValue(list)) == 1)
            return;
    }
    std::fprintf(stderr, "headless: image list %p destroyed twice (or never made)\n",
                 static_cast<void*>(list));
    std::abort();
}

void ResetCursor() {
    auto lock = Lock();
    TheGdi().cursor = {};
}

HICON MakeIcon(UINT id, int width, int height) {
    auto lock = Lock();
    auto& icons = TheGdi().icons;
    for (const auto& [handle, icon] : icons) {
        if (icon.id == id)
            return ToHandle<HICON>(handle);
    }
    const auto handle = NextHandle();
    icons[handle] = {id, width, height};
    return ToHandle<HICON>(handle);
}

}  // namespace headless::detail

namespace headless {

using namespace detail;

COLORREF Pixel(HWND window, int x, int y) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    if (w == nullptr || x < 0 || y < 0 || x >= w->canvas.width || y >= w->canvas.height)
        return 0xFFFFFFFF;
    return w->canvas.pixels[static_cast<std::size_t>(y * w->canvas.width + x)];
}

std::vector<TextRecord> Texts(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->canvas.texts : std::vector<TextRecord>{};
}

std::vector<IconRecord> Icons(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->canvas.icons : std::vector<IconRecord>{};
}

SIZE CanvasSize(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? SIZE{w->canvas.width, w->canvas.height} : SIZE{};
}

COLORREF BitmapPixel(HBITMAP bitmap, int x, int y) {
    auto lock = Lock();
    const Canvas* c = BitmapLocked(bitmap);
    if (c == nullptr || x < 0 || y < 0 || x >= c->width || y >= c->height)
        return 0xFFFFFFFF;
    return c->pixels[static_cast<std::size_t>(y * c->width + x)];
}

std::vector<TextRecord> BitmapTexts(HBITMAP bitmap) {
    auto lock = Lock();
    const Canvas* c = BitmapLocked(bitmap);
    return c ? c->texts : std::vector<TextRecord>{};
}

FontInfo DescribeFont(HFONT font) {
    auto lock = Lock();
    const auto& fonts = TheGdi().fonts;
    const auto it = fonts.find(HandleValue(font));
    return it == fonts.end() ? FontInfo{} : FontInfo{it->second.face, it->second.pointSize};
}

UINT IconId(HICON icon) {
    auto lock = Lock();
    const auto& icons = TheGdi().icons;
    const auto it = icons.find(HandleValue(icon));
    return it == icons.end() ? 0 : it->second.id;
}

}  // namespace headless

namespace ui {

using namespace headless::detail;

// ---- CDC

CDC::~CDC() {
    if (owned_ && m_hDC != nullptr)
        DeleteDC();
}

bool CDC::CreateCompatibleDC(CDC*) {
    if (m_hDC != nullptr)
        return false;
    auto lock = Lock();
    DcState state;
    state.memory = true;
    state.bitmap = TheGdi().stockBitmap;
    m_hDC = NewDc(state);
    owned_ = true;
    return true;
}

void CDC::DeleteDC() {
    {
        auto lock = Lock();
        TheGdi().dcs.erase(HandleValue(m_hDC));
    }
    m_hDC = nullptr;
    owned_ = false;
}

void CDC::FillSolidRect(const RECT& rect, COLORREF color) {
    auto lock = Lock();
    DcState* dc = DcLocked(m_hDC);
    if (dc == nullptr)
        return;
    dc->bkColor = color;  // the framework's FillSolidRect leaves it so
    RECT clip;
    if (Canvas* canvas = TargetLocked(*dc, &clip))
        canvas->Fill(Intersect(rect, clip), color);
}

void CDC::Draw3dRect(const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    const int x = r.left, y = r.top, cx = Width(r), cy = Height(r);
    FillSolidRect({x, y, x + cx - 1, y + 1}, topLeft);
    FillSolidRect({x, y, x + 1, y + cy - 1}, topLeft);
    FillSolidRect({x + cx - 1, y, x + cx, y + cy}, bottomRight);
    FillSolidRect({x, y + cy - 1, x + cx, y + cy}, bottomRight);
}

int CDC::DrawText(std::u16string_view text, RECT& rect, UINT format) {
    HFONT font;
    {
        auto lock = Lock();
        const DcState* dc = DcLocked(m_hDC);
        if (dc == nullptr)
            return 0;
        font = dc->font;
    }
    const FontMetrics m = MetricsOf(font);
    auto lock = Lock();
    DcState* dc = DcLocked(m_hDC);
    if (dc == nullptr)
        return 0;

    std::vector<std::u16string_view> lines;
    if (format & DT_SINGLELINE) {
        lines.push_back(text);
    } else {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = text.find(u'\n', start);
            lines.push_back(
                text.substr(start, end == std::u16string_view::npos ? end : end - start));
            if (end == std::u16string_view::npos)
                break;
            start = end + 1;
        }
    }
    int width = 0;
    for (auto line : lines)
        width = std::max(width, TextWidth(line, m));
    const int height = m.lineHeight * static_cast<int>(lines.size());
    if (format & kDtCalcRect) {
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
        return height;
    }

    int top = rect.top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect.top + (Height(rect) - height) / 2;
        else if (format & kDtBottom)
            top = rect.bottom - height;
    }
    int left = rect.left;
    if (format & DT_CENTER)
        left = rect.left + (Width(rect) - width) / 2;
    else if (format & kDtRight)
        left = rect.right - width;
    const RECT extent = Intersect({left, top, left + width, top + height}, rect);

    RECT clip;
    Canvas* canvas = TargetLocked(*dc, &clip);
    if (canvas != nullptr && !IsEmpty(Intersect(rect, clip))) {
        if (dc->bkMode == OPAQUE) {
            canvas->Fill(Intersect(extent, clip), dc->bkColor);
        }
        std::erase_if(canvas->texts, [&](const TextRecord& t) { return t.rect == rect; });
        canvas->texts.push_back(
            {std::u16string(text), rect, dc->textColor, format, dc->font, dc->bkMode, dc->bkColor});
    }
    return (format & (DT_VCENTER | kDtBottom)) && (format & DT_SINGLELINE) ? top - rect.top + height
                                                                           : height;
}

COLORREF CDC::SetTextColor(COLORREF color) {
    auto lock = Lock();
    DcState* dc = DcLocked(m_hDC);
    if (dc == nullptr)
        return 0xFFFFFFFF;
    return std::exchange(dc->textColor, color);
}

COLORREF testing::GetTextColor(HDC context) {
    auto lock = Lock();
    const DcState* dc = DcLocked(context);
    return dc ? dc->textColor : 0;
}

COLORREF CDC::SetBkColor(COLORREF color) {
    auto lock = Lock();
    DcState* dc = DcLocked(m_hDC);
    if (dc == nullptr)
        return 0xFFFFFFFF;
    return std::exchange(dc->bkColor, color);
}

int CDC::SetBkMode(int mode) {
    auto lock = Lock();
    DcState* dc = DcLocked(m_hDC);
    if (dc == nullptr || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    return std::exchange(dc->bkMode, mode);
}

HFONT CDC::SelectFont(HFONT font) {
    auto lock = Lock();
    DcState* dc = DcLocked(m_hDC);
    if (dc == nullptr || font == nullptr)
        return nullptr;
    const HFONT previous = dc->font;
    dc->font = font;
    if (previous != nullptr)
        return previous;
    lock.unlock();
    return DefaultFont();  // what every context starts with
}

HBITMAP CDC::SelectBitmap(HBITMAP bitmap) {
    auto lock = Lock();
    DcState* dc = DcLocked(m_hDC);
    if (dc == nullptr || !dc->memory || BitmapLocked(bitmap) == nullptr)
        return nullptr;
    return std::exchange(dc->bitmap, bitmap);
}

bool CDC::BitBlt(int x, int y, int width, int height, CDC* source, int sx, int sy, DWORD) {
    if (source == nullptr)
        return false;
    auto lock = Lock();
    DcState* to = DcLocked(m_hDC);
    DcState* from = DcLocked(source->m_hDC);
    if (to == nullptr || from == nullptr)
        return false;
    RECT toClip, fromClip;
    Canvas* dst = TargetLocked(*to, &toClip);
    Canvas* src = TargetLocked(*from, &fromClip);
    if (dst == nullptr || src == nullptr)
        return false;
    const int dx = x - sx, dy = y - sy;
    // The destination area whose source lies on the source canvas.
    const RECT area =
        Intersect(Intersect({x, y, x + width, y + height}, toClip), Offset(src->Bounds(), dx, dy));
    const Canvas copy = *src;  // source and destination may be the same canvas
    for (int py = area.top; py < area.bottom; ++py) {
        for (int px = area.left; px < area.right; ++px) {
            dst->pixels[static_cast<std::size_t>(py * dst->width + px)] =
                copy.pixels[static_cast<std::size_t>((py - dy) * copy.width + (px - dx))];
        }
    }
    dst->Cover(area);
    const RECT sourceArea = Offset(area, -dx, -dy);
    for (const auto& t : copy.texts) {
        if (!IsEmpty(Intersect(t.rect, sourceArea))) {
            TextRecord moved = t;
            moved.rect = Offset(t.rect, dx, dy);
            dst->texts.push_back(moved);
        }
    }
    for (const auto& i : copy.icons) {
        if (!IsEmpty(Intersect(i.rect, sourceArea)))
            dst->icons.push_back({i.icon, Offset(i.rect, dx, dy)});
    }
    return true;
}

bool CDC::DrawIcon(int x, int y, HICON icon) {
    auto lock = Lock();
    const auto& icons = TheGdi().icons;
    const auto it = icons.find(HandleValue(icon));
    DcState* dc = DcLocked(m_hDC);
    if (it == icons.end() || dc == nullptr)
        return false;
    RECT clip;
    Canvas* canvas = TargetLocked(*dc, &clip);
    const RECT rect{x, y, x + it->second.width, y + it->second.height};
    if (canvas != nullptr && !IsEmpty(Intersect(rect, clip)))
        canvas->icons.push_back({icon, rect});
    return true;
}

// ---- CPaintDC

CPaintDC::CPaintDC(CWnd* window) : window_(window ? window->m_hWnd : nullptr), state_(nullptr) {
    m_hDC = BeginPaintInternal(window_, &m_rcPaint);
}

CPaintDC::~CPaintDC() {
    if (m_hDC != nullptr)
        EndPaintInternal(m_hDC);
    m_hDC = nullptr;
}

// ---- CBitmap

CBitmap::~CBitmap() {
    DeleteObject();
}

bool CBitmap::CreateCompatibleBitmap(CDC*, int width, int height) {
    if (m_hBitmap != nullptr || width < 0 || height < 0)
        return false;
    auto canvas = std::make_shared<Canvas>();
    canvas->Resize(width, height, RGB(0, 0, 0));
    auto lock = Lock();
    m_hBitmap = ToHandle<HBITMAP>(NextHandle());
    TheGdi().bitmaps[HandleValue(m_hBitmap)] = canvas;
    return true;
}

void CBitmap::DeleteObject() {
    if (m_hBitmap == nullptr)
        return;
    auto lock = Lock();
    TheGdi().bitmaps.erase(HandleValue(m_hBitmap));
    m_hBitmap = nullptr;
}

// ---- CImageList

CImageList::~CImageList() {
    if (m_hImageList != nullptr)
        DestroyImageListInternal(m_hImageList);
}

bool CImageList::Create(int cx, int cy, UINT, int, int) {
    if (m_hImageList != nullptr || cx <= 0 || cy <= 0)
        return false;
    auto lock = Lock();
    m_hImageList = ToHandle<HIMAGELIST>(NextHandle());
    TheGdi().imageLists[HandleValue(m_hImageList)] = {cx, cy};
    return true;
}

// ---- System values

// Fixed values: the platform's defaults on a standard theme.
COLORREF GetSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW:
            return RGB(255, 255, 255);
        case COLOR_WINDOWTEXT:
            return RGB(0, 0, 0);
        case COLOR_HIGHLIGHT:
            return RGB(0, 120, 215);
        case COLOR_HIGHLIGHTTEXT:
            return RGB(255, 255, 255);
        case COLOR_BTNFACE:
            return RGB(240, 240, 240);
        case 16:  // COLOR_BTNSHADOW
            return RGB(160, 160, 160);
        case 17:  // COLOR_GRAYTEXT
            return RGB(109, 109, 109);
        case 18:  // COLOR_BTNTEXT
            return RGB(0, 0, 0);
        case 20:  // COLOR_BTNHIGHLIGHT
            return RGB(255, 255, 255);
        default:
            return RGB(0, 0, 0);
    }
}

int GetSystemMetrics(int index) {
    switch (index) {
        case 0:  // SM_CXSCREEN
            return 1920;
        case 1:  // SM_CYSCREEN
            return 1080;
        case SM_CYCAPTION:
            return 23;
        case SM_CYFIXEDFRAME:
            return 3;
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case 49:  // SM_CXSMICON
        case 50:  // SM_CYSMICON
            return 16;
        default:
            return 0;
    }
}

bool GetCursorPos(POINT* point) {
    if (point == nullptr)
        return false;
    auto lock = Lock();
    *point = TheGdi().cursor;
    return true;
}

void testing::SetCursorPos(POINT point) {
    auto lock = Lock();
    TheGdi().cursor = point;
}

}  // namespace ui

namespace headless {

bool ImageListExists(ui::HIMAGELIST list) {
    auto lock = detail::Lock();
    return detail::TheGdi().imageLists.count(detail::HandleValue(list)) != 0;
}

}  // namespace headless
