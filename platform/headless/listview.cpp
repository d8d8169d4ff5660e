// The list view in report mode and its header, with the notifications and the custom-draw
// sequence of the platform's control. It answers the platform's messages with the platform's
// argument blocks (LVITEMW, LVCOLUMNW, ...), so CListCtrl is the same on every backend and a call
// from a worker thread runs on the list's thread.
#include <algorithm>

#include "platform/headless/core.h"

namespace headless::detail {

namespace {

constexpr COLORREF kClrNone = 0xFFFFFFFF;
constexpr COLORREF kClrDefault = 0xFF000000;
constexpr UINT kDtRight = 0x0002;
constexpr UINT kDtNoPrefix = 0x0800;
constexpr int kLabelPadding = 5;  // between a cell's edge and its text
constexpr int kImagePadding = 2;  // between the small image and the text
constexpr int kColorBtnShadow = 16;
constexpr int kColorBtnText = 18;
constexpr UINT kLvmScroll = 0x1014;

struct Column {
    std::u16string heading;
    int format;
    int width;
};

struct Row {
    std::vector<std::u16string> texts;  // [0] the item, [n] column n
    DWORD_PTR data = 0;
    UINT state = 0;
};

struct ListData : ControlData {
    std::vector<Column> columns;
    std::vector<Row> rows;
    DWORD exStyle = 0;
    int top = 0;
    int scrollX = 0;  // pixels scrolled sideways: the columns' origin is at -scrollX
    bool hasFocus = false;
    HIMAGELIST imageLists[3] = {};  // LVSIL_NORMAL, LVSIL_SMALL, LVSIL_STATE
    HWND header = nullptr;
};

HIMAGELIST* ImageSlot(ListData& d, int which) {
    return which >= 0 && which < 3 ? &d.imageLists[which] : nullptr;
}

HIMAGELIST SmallImages(const ListData& d) {
    return d.imageLists[LVSIL_SMALL];
}

// Copies as the control does: at most size - 1 characters and the terminator. Returns the count.
LRESULT CopyText(const std::u16string& text, char16_t* buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return 0;
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
    text.copy(buffer, n);
    buffer[n] = u'\0';
    return static_cast<LRESULT>(n);
}

struct HeaderData : ControlData {
    HWND list = nullptr;
};

// NM_CLICK / NM_RCLICK of a list: the item-activation block.
struct ItemActivate {
    NMLISTVIEW list;
    UINT keyFlags;
};

struct Layout {
    int width;
    int height;
    int headerHeight;
    int rowHeight;
    int perPage;
};

Layout LayoutOf(HWND list, const ListData& d) {
    HFONT font;
    {
        auto lock = Lock();
        const Window* w = FindLocked(list);
        font = w ? w->font : nullptr;
    }
    const FontMetrics m = MetricsOf(font);
    const SIZE size = ClientSize(list);
    const int header = (StyleOf(list) & LVS_NOCOLUMNHEADER) ? 0 : m.lineHeight + 8;
    const int row = std::max(m.lineHeight, ImageListSize(SmallImages(d)).cy) + 1;
    return {size.cx, size.cy, header, row, std::max(1, (size.cy - header) / row)};
}

int ColumnLeft(const ListData& d, int column) {
    int left = 0;
    for (int c = 0; c < column && c < static_cast<int>(d.columns.size()); ++c)
        left += d.columns[static_cast<std::size_t>(c)].width;
    return left;
}

int TotalWidth(const ListData& d) {
    return ColumnLeft(d, static_cast<int>(d.columns.size()));
}

// A column's left edge in client coordinates.
int ColumnX(const ListData& d, int column) {
    return ColumnLeft(d, column) - d.scrollX;
}

int RowTop(const ListData& d, const Layout& l, int row) {
    return l.headerHeight + (row - d.top) * l.rowHeight;
}

void ClampTop(ListData& d, const Layout& l) {
    d.top = std::clamp(d.top, 0, std::max(0, static_cast<int>(d.rows.size()) - l.perPage));
    d.scrollX = std::clamp(d.scrollX, 0, std::max(0, TotalWidth(d) - l.width));
}

void InvalidateRows(HWND list, const ListData& d, int from, int to) {
    const Layout l = LayoutOf(list, d);
    const RECT r{0, RowTop(d, l, from), l.width, to < 0 ? l.height : RowTop(d, l, to + 1)};
    InvalidateInternal(list, &r, true, false);
}

ListData* DataOfList(HWND list) {
    auto lock = Lock();
    Window* w = FindLocked(list);
    return w && w->kind == Kind::ListView ? &DataOf<ListData>(*w) : nullptr;
}

std::u16string TextAt(const Row& row, int column) {
    return column < static_cast<int>(row.texts.size()) ? row.texts[static_cast<std::size_t>(column)]
                                                       : std::u16string();
}

LRESULT NotifyList(HWND list, int code, int row, UINT newState, UINT oldState, UINT changed,
                   LPARAM data) {
    NMLISTVIEW nm{};
    nm.hdr.code = static_cast<UINT>(code);
    nm.iItem = row;
    nm.uNewState = newState;
    nm.uOldState = oldState;
    nm.uChanged = changed;
    nm.lParam = data;
    return NotifyParent(list, nm.hdr);
}

void EnsureVisible(HWND list, ListData& d, int row) {
    const Layout l = LayoutOf(list, d);
    const int before = d.top;
    if (row < d.top)
        d.top = row;
    else if (row >= d.top + l.perPage)
        d.top = row - l.perPage + 1;
    ClampTop(d, l);
    if (d.top != before)
        InvalidateInternal(list, nullptr, true, false);
}

// One item's state, notifying as the platform's control does: LVN_ITEMCHANGING always (a
// nonzero answer refuses), then, when something changed, the change, any selection or focus it
// takes from other items (with their own notifications), and LVN_ITEMCHANGED.
bool SetState(HWND list, int row, UINT state, UINT mask) {
    ListData* d = DataOfList(list);
    if (d == nullptr || row < 0 || row >= static_cast<int>(d->rows.size()))
        return false;
    const Row& r = d->rows[static_cast<std::size_t>(row)];
    const UINT old = r.state;
    const UINT next = (old & ~mask) | (state & mask);
    if (NotifyList(list, LVN_ITEMCHANGING, row, next, old, LVIF_STATE, static_cast<LPARAM>(r.data)))
        return false;
    d = DataOfList(list);
    if (d == nullptr || row >= static_cast<int>(d->rows.size()))
        return false;
    if (old == next)
        return true;
    d->rows[static_cast<std::size_t>(row)].state = next;
    if ((next & mask & LVIS_SELECTED) && (StyleOf(list) & LVS_SINGLESEL)) {
        for (int i = 0; d && i < static_cast<int>(d->rows.size()); ++i) {
            if (i != row && (d->rows[static_cast<std::size_t>(i)].state & LVIS_SELECTED)) {
                SetState(list, i, 0, LVIS_SELECTED);
                d = DataOfList(list);
            }
        }
    }
    if (d != nullptr && (mask & state & LVIS_FOCUSED)) {
        for (int i = 0; d && i < static_cast<int>(d->rows.size()); ++i) {
            if (i != row && (d->rows[static_cast<std::size_t>(i)].state & LVIS_FOCUSED)) {
                SetState(list, i, 0, LVIS_FOCUSED);
                d = DataOfList(list);
            }
        }
        if (d != nullptr && row < static_cast<int>(d->rows.size()))
            EnsureVisible(list, *d, row);
    }
    if (d == nullptr || row >= static_cast<int>(d->rows.size()))
        return true;
    InvalidateRows(list, *d, row, row);
    NotifyList(list, LVN_ITEMCHANGED, row, next, old, LVIF_STATE,
               static_cast<LPARAM>(d->rows[static_cast<std::size_t>(row)].data));
    return true;
}

// The item's own text or data: notified like a state change.
bool SetMain(HWND list, int row, UINT mask, const std::u16string& text, DWORD_PTR data) {
    ListData* d = DataOfList(list);
    if (d == nullptr || row < 0 || row >= static_cast<int>(d->rows.size()))
        return false;
    const Row& r = d->rows[static_cast<std::size_t>(row)];
    UINT changed = 0;
    if ((mask & LVIF_TEXT) && TextAt(r, 0) != text)
        changed |= LVIF_TEXT;
    if ((mask & LVIF_PARAM) && r.data != data)
        changed |= LVIF_PARAM;
    if (NotifyList(list, LVN_ITEMCHANGING, row, 0, 0, changed ? changed : mask,
                   static_cast<LPARAM>(r.data))) {
        return false;
    }
    d = DataOfList(list);
    if (d == nullptr || row >= static_cast<int>(d->rows.size()))
        return false;
    if (changed == 0)
        return true;
    Row& target = d->rows[static_cast<std::size_t>(row)];
    if (changed & LVIF_TEXT)
        target.texts[0] = text;
    if (changed & LVIF_PARAM)
        target.data = data;
    InvalidateRows(list, *d, row, row);
    NotifyList(list, LVN_ITEMCHANGED, row, 0, 0, changed, static_cast<LPARAM>(target.data));
    return true;
}

int NextItem(const ListData& d, int start, int flags) {
    const int count = static_cast<int>(d.rows.size());
    if (start < -1 || start >= count)
        return -1;
    if (flags & LVNI_FOCUSED) {
        for (int i = 0; i < count; ++i) {
            const UINT state = d.rows[static_cast<std::size_t>(i)].state;
            if (state & LVIS_FOCUSED)
                return (i == start || ((flags & LVNI_SELECTED) && !(state & LVIS_SELECTED))) ? -1
                                                                                             : i;
        }
        return -1;
    }
    const UINT need = (flags & LVNI_SELECTED) ? LVIS_SELECTED : 0;
    for (int i = start + 1; i < count; ++i) {
        if ((d.rows[static_cast<std::size_t>(i)].state & need) == need)
            return i;
    }
    return -1;
}

int HitRow(HWND list, const ListData& d, POINT pt, UINT* flags = nullptr) {
    UINT ignored = 0;
    UINT& where = flags != nullptr ? *flags : ignored;
    where = LVHT_NOWHERE;
    const Layout l = LayoutOf(list, d);
    if (pt.x < 0 || pt.x >= l.width || pt.y < l.headerHeight || pt.y >= l.height)
        return -1;
    const int row = d.top + (pt.y - l.headerHeight) / l.rowHeight;
    if (row >= static_cast<int>(d.rows.size()))
        return -1;
    // Without full-row select only the item itself (the first column) is hit.
    const int right = (d.exStyle & LVS_EX_FULLROWSELECT) || d.columns.empty()
                          ? TotalWidth(d)
                          : d.columns.front().width;
    const int x = pt.x + d.scrollX;
    if (x >= right)
        return -1;
    where = x < ImageListSize(SmallImages(d)).cx ? LVHT_ONITEMICON : LVHT_ONITEMLABEL;
    return row;
}

bool SubItemRect(HWND list, const ListData& d, int row, int column, int area, RECT* rect) {
    const Layout l = LayoutOf(list, d);
    const int top = RowTop(d, l, row);
    if (column == 0) {
        if (row < 0 || row >= static_cast<int>(d.rows.size()))
            return false;
        // The item's bounds: the whole row, every column.
        *rect = {-d.scrollX, top, TotalWidth(d) - d.scrollX, top + l.rowHeight};
        if (area == LVIR_ICON)
            rect->right = rect->left + ImageListSize(SmallImages(d)).cx;
        else if (area != LVIR_BOUNDS && !d.columns.empty())
            rect->right = rect->left + d.columns.front().width;
        return true;
    }
    if (column >= static_cast<int>(d.columns.size())) {
        *rect = {-d.scrollX, top, -d.scrollX, top + l.rowHeight};
        return true;
    }
    const int left = ColumnX(d, column);
    *rect = {left, top, left + d.columns[static_cast<std::size_t>(column)].width,
             top + l.rowHeight};
    if (area == LVIR_ICON)
        rect->right = rect->left + (SmallImages(d) ? ImageListSize(SmallImages(d)).cx : 0);
    return true;
}

// ---- Painting

LRESULT NotifyDraw(HWND list, DWORD stage, NMLVCUSTOMDRAW& cd) {
    cd.nmcd.hdr.code = static_cast<UINT>(NM_CUSTOMDRAW);
    cd.nmcd.dwDrawStage = stage;
    return NotifyParent(list, cd.nmcd.hdr);
}

struct CellColors {
    COLORREF text;
    COLORREF back;
};

// The colours a cell is drawn with; a selected item's own overrule the parent's answer.
void PrepareColors(CDC& dc, const ListData& d, DWORD listStyle, const NMLVCUSTOMDRAW& cd,
                   bool subItem, CellColors* current) {
    COLORREF back = cd.clrTextBk;
    COLORREF text = cd.clrText;
    if (!subItem && (cd.nmcd.uItemState & CDIS_SELECTED)) {
        if (d.hasFocus) {
            back = GetSysColor(COLOR_HIGHLIGHT);
            text = GetSysColor(COLOR_HIGHLIGHTTEXT);
        } else if (listStyle & LVS_SHOWSELALWAYS) {
            back = GetSysColor(COLOR_BTNFACE);
            text = GetSysColor(kColorBtnText);
        }
    }
    if (back == kClrDefault)
        back = GetSysColor(COLOR_WINDOW);
    if (text == kClrDefault)
        text = GetSysColor(COLOR_WINDOWTEXT);
    if (back != kClrNone) {
        dc.SetBkMode(OPAQUE);
        dc.SetBkColor(back);
    } else {
        dc.SetBkMode(TRANSPARENT);
    }
    dc.SetTextColor(text);
    *current = {text, back};
}

void DrawCell(CDC& dc, const ListData& d, const Layout& l, int row, int column,
              const NMLVCUSTOMDRAW& cd, const CellColors& colors) {
    const int top = RowTop(d, l, row);
    const int left = ColumnX(d, column);
    const Column& c = d.columns[static_cast<std::size_t>(column)];
    RECT label{left, top, left + c.width, top + l.rowHeight};
    UINT format = DT_VCENTER | DT_SINGLELINE | kDtNoPrefix;
    int align = column == 0 ? LVCFMT_LEFT : (c.format & 0x3);
    if (column == 0 && SmallImages(d) != nullptr)
        label.left += ImageListSize(SmallImages(d)).cx;
    if (cd.clrTextBk != kClrNone && colors.back != kClrNone) {
        dc.FillSolidRect(label, colors.back);
    }
    if (align == LVCFMT_RIGHT) {
        format |= kDtRight;
        label.right -= kLabelPadding;
    } else if (align == LVCFMT_CENTER) {
        format |= DT_CENTER;
    } else {
        label.left += (column == 0 && SmallImages(d) != nullptr) ? kImagePadding : kLabelPadding;
    }
    if (d.exStyle & LVS_EX_GRIDLINES)
        label.bottom--;
    dc.DrawText(TextAt(d.rows[static_cast<std::size_t>(row)], column), label, format);
}

// One painting of the list: where it draws and the parent's answer to CDDS_PREPAINT.
struct ListPaint {
    HWND list;
    const Painter& painter;
    CDC& dc;
    DWORD style;
    Layout layout;
    LRESULT mode;
};

NMLVCUSTOMDRAW ItemDrawOf(const ListData& d, const ListPaint& lp, int row, int top) {
    const Row& r = d.rows[static_cast<std::size_t>(row)];
    NMLVCUSTOMDRAW item{};
    item.nmcd.hdc = lp.painter.dc;
    item.nmcd.rc = {-d.scrollX, top, TotalWidth(d) - d.scrollX, top + lp.layout.rowHeight};
    item.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
    item.nmcd.lItemlParam = static_cast<LPARAM>(r.data);
    if (r.state & LVIS_SELECTED)
        item.nmcd.uItemState |= CDIS_SELECTED;
    if (d.hasFocus && (r.state & LVIS_FOCUSED))
        item.nmcd.uItemState |= CDIS_FOCUS;
    item.clrText = kClrDefault;
    item.clrTextBk = kClrDefault;
    return item;
}

// A cell in the painted area, between its sub-item notifications. Returns the list's data
// afterwards: null when the list, the row or the column went away meanwhile.
ListData* PaintCell(const ListPaint& lp, ListData* d, int row, int column, int top,
                    LRESULT itemMode, NMLVCUSTOMDRAW& item, CellColors& colors) {
    const int left = ColumnX(*d, column);
    const int right = left + d->columns[static_cast<std::size_t>(column)].width;
    if (right <= lp.painter.paint.left || left >= lp.painter.paint.right)
        return d;
    if (column > 0) {
        item.nmcd.rc = {left, top, right, top + lp.layout.rowHeight};
        item.iSubItem = column;
    }
    LRESULT cellMode = CDRF_DODEFAULT;
    if (itemMode & CDRF_NOTIFYSUBITEMDRAW)
        cellMode = NotifyDraw(lp.list, CDDS_SUBITEM | CDDS_ITEMPREPAINT, item);
    d = DataOfList(lp.list);
    if (d == nullptr || row >= static_cast<int>(d->rows.size()) ||
        column >= static_cast<int>(d->columns.size())) {
        return nullptr;
    }
    if (column == 0 || (lp.mode & CDRF_NOTIFYITEMDRAW))
        PrepareColors(lp.dc, *d, lp.style, item, false, &colors);
    else if (!(d->exStyle & LVS_EX_FULLROWSELECT))
        PrepareColors(lp.dc, *d, lp.style, item, true, &colors);
    if (!(cellMode & CDRF_SKIPDEFAULT))
        DrawCell(lp.dc, *d, lp.layout, row, column, item, colors);
    if (cellMode & CDRF_NOTIFYPOSTPAINT)
        NotifyDraw(lp.list, CDDS_SUBITEM | CDDS_ITEMPOSTPAINT, item);
    d = DataOfList(lp.list);
    return d != nullptr && row < static_cast<int>(d->rows.size()) ? d : nullptr;
}

// A row between its item notifications. Returns the list's data afterwards: null when the list
// or the row went away meanwhile.
ListData* PaintRow(const ListPaint& lp, ListData* d, int row, int top) {
    NMLVCUSTOMDRAW item = ItemDrawOf(*d, lp, row, top);
    LRESULT itemMode = CDRF_DODEFAULT;
    if (lp.mode & CDRF_NOTIFYITEMDRAW)
        itemMode = NotifyDraw(lp.list, CDDS_ITEMPREPAINT, item);
    d = DataOfList(lp.list);
    if (d == nullptr || row >= static_cast<int>(d->rows.size()))
        return nullptr;
    if (!(itemMode & CDRF_SKIPDEFAULT)) {
        // One block for the whole row: what the parent changes stays for the next cells.
        CellColors colors{};
        for (int column = 0; d != nullptr && column < static_cast<int>(d->columns.size());
             ++column) {
            d = PaintCell(lp, d, row, column, top, itemMode, item, colors);
        }
        if (d == nullptr)
            return nullptr;
    }
    if (itemMode & CDRF_NOTIFYPOSTPAINT) {
        item.iSubItem = 0;
        NotifyDraw(lp.list, CDDS_ITEMPOSTPAINT, item);
        d = DataOfList(lp.list);
    }
    return d;
}

void PaintGridLines(CDC& dc, const ListData& d, const Layout& l) {
    const COLORREF line = GetSysColor(COLOR_BTNFACE);
    for (int c = 1; c <= static_cast<int>(d.columns.size()); ++c) {
        const int x = ColumnX(d, c);
        dc.FillSolidRect({x, l.headerHeight, x + 1, l.height}, line);
    }
    for (int y = l.headerHeight + l.rowHeight - 1; y < l.height; y += l.rowHeight)
        dc.FillSolidRect({0, y, l.width, y + 1}, line);
}

void PaintList(HWND list) {
    Painter p(list);
    CDC dc(p.dc);
    ListData* d = DataOfList(list);
    if (d == nullptr)
        return;
    const DWORD style = StyleOf(list);
    const Layout l = LayoutOf(list, *d);

    NMLVCUSTOMDRAW cd{};
    cd.nmcd.hdc = p.dc;
    cd.nmcd.rc = {0, 0, l.width, l.height};
    cd.clrText = kClrDefault;
    cd.clrTextBk = kClrDefault;
    const LRESULT mode = NotifyDraw(list, CDDS_PREPAINT, cd);
    const ListPaint lp{list, p, dc, style, l, mode};
    d = DataOfList(list);
    if (d != nullptr && !(mode & CDRF_SKIPDEFAULT)) {
        for (int row = d->top; row < static_cast<int>(d->rows.size()); ++row) {
            const int top = RowTop(*d, l, row);
            if (top >= l.height)
                break;
            if (IsEmpty(Intersect({0, top, l.width, top + l.rowHeight}, p.paint)))
                continue;
            if ((d = PaintRow(lp, d, row, top)) == nullptr)
                return;
        }
    }
    if (d != nullptr && (d->exStyle & LVS_EX_GRIDLINES))
        PaintGridLines(dc, *d, l);
    if (mode & CDRF_NOTIFYPOSTPAINT) {
        cd.nmcd.dwItemSpec = 0;
        NotifyDraw(list, CDDS_POSTPAINT, cd);
    }
}

void PaintHeader(HWND header) {
    Painter p(header);
    CDC dc(p.dc);
    const SIZE size = ClientSize(header);
    dc.FillSolidRect({0, 0, size.cx, size.cy}, GetSysColor(COLOR_BTNFACE));
    HWND list;
    {
        auto lock = Lock();
        Window* w = FindLocked(header);
        if (w == nullptr)
            return;
        list = DataOf<HeaderData>(*w).list;
    }
    const ListData* d = DataOfList(list);
    if (d == nullptr)
        return;
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(GetSysColor(COLOR_WINDOWTEXT));
    int left = 0;
    for (const Column& c : d->columns) {
        RECT cell{left, 0, left + c.width, size.cy};
        dc.Draw3dRect(cell, GetSysColor(COLOR_WINDOW), GetSysColor(kColorBtnShadow));
        RECT label{cell.left + 6, 0, cell.right - 6, size.cy};
        const int align = c.format & 0x3;
        dc.DrawText(c.heading, label,
                    DT_SINGLELINE | DT_VCENTER | kDtNoPrefix |
                        (align == LVCFMT_CENTER  ? DT_CENTER
                         : align == LVCFMT_RIGHT ? kDtRight
                                                 : 0));
        left += c.width;
    }
}

void LayoutHeader(HWND list, const ListData& d) {
    if (d.header == nullptr)
        return;
    const Layout l = LayoutOf(list, d);
    // Scrolled sideways, the header starts left of the list so that its items stay over their
    // columns.
    MoveWindowInternal(d.header, {-d.scrollX, 0, l.width, l.headerHeight}, true);
}

// LVM_SCROLL: sideways by pixels, up and down by whole rows. As the platform's control does, the
// list's picture moves and only the part uncovered is painted again, with what came from under
// a child window; child windows stay put.
void ScrollList(HWND list, ListData& d, int dx, int dy) {
    const Layout l = LayoutOf(list, d);
    const int beforeX = d.scrollX;
    const int beforeTop = d.top;
    d.scrollX += dx;
    d.top += (dy + (dy < 0 ? -l.rowHeight : l.rowHeight) / 2) / l.rowHeight;
    ClampTop(d, l);
    const int moved = d.scrollX - beforeX;
    if (moved != 0)
        LayoutHeader(list, d);
    const RECT area{0, l.headerHeight, l.width, l.height};
    bool pending = false;
    std::vector<RECT> unseen;  // where the moved picture came from under a child window
    {
        auto lock = Lock();
        Window* w = FindLocked(list);
        if (w == nullptr)
            return;
        pending = w->hasUpdate;
        if (moved != 0 && d.top == beforeTop) {
            w->canvas.Scroll(area, -moved, 0);
            for (HWND child : w->children) {
                const Window* c = FindLocked(child);
                if (c != nullptr && child != d.header && (c->style & WS_VISIBLE))
                    unseen.push_back(Intersect(Offset(c->rect, -moved, 0), area));
            }
        }
    }
    if (d.top != beforeTop || pending) {
        InvalidateInternal(list, nullptr, true, false);
        return;
    }
    if (moved == 0)
        return;
    const RECT strip = moved > 0
                           ? RECT{std::max(0, l.width - moved), l.headerHeight, l.width, l.height}
                           : RECT{0, l.headerHeight, std::min(l.width, -moved), l.height};
    InvalidateInternal(list, &strip, true, false);
    for (const RECT& r : unseen) {
        if (!IsEmpty(r))
            InvalidateInternal(list, &r, true, false);
    }
}

void Click(HWND list, POINT pt, bool right) {
    SetFocusInternal(list);
    ListData* d = DataOfList(list);
    if (d == nullptr)
        return;
    const int row = HitRow(list, *d, pt);
    if (!right || row < 0 || !(d->rows[static_cast<std::size_t>(row)].state & LVIS_SELECTED)) {
        for (int i = 0; d && i < static_cast<int>(d->rows.size()); ++i) {
            if (i != row && (d->rows[static_cast<std::size_t>(i)].state & LVIS_SELECTED)) {
                SetState(list, i, 0, LVIS_SELECTED);
                d = DataOfList(list);
            }
        }
        if (row >= 0)
            SetState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    ItemActivate click{};
    click.list.hdr.code = static_cast<UINT>(right ? NM_RCLICK : NM_CLICK);
    click.list.iItem = row;
    click.list.ptAction = pt;
    NotifyParent(list, click.list.hdr);
}

}  // namespace

void InitList(HWND list) {
    CreateArgs args;
    args.className = u"SysHeader32";
    args.style = WS_CHILD | WS_VISIBLE | 0x0002 /* HDS_BUTTONS */;
    args.parent = list;
    args.id = 0;
    const HWND header = CreateWindowInternal(args);
    {
        auto lock = Lock();
        if (Window* h = FindLocked(header))
            DataOf<HeaderData>(*h).list = list;
    }
    ListData* d = DataOfList(list);
    if (d == nullptr)
        return;
    d->header = header;
    if (StyleOf(list) & LVS_NOCOLUMNHEADER)
        ShowWindowInternal(header, SW_HIDE);
    LayoutHeader(list, *d);
}

LRESULT HeaderProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case HDM_GETITEMCOUNT: {
            HWND list;
            {
                auto lock = Lock();
                Window* w = FindLocked(header);
                if (w == nullptr)
                    return -1;
                list = DataOf<HeaderData>(*w).list;
            }
            const ListData* d = DataOfList(list);
            return d ? static_cast<LRESULT>(d->columns.size()) : 0;
        }
        case WM_PAINT:
            PaintHeader(header);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        default:
            return GenericProc(header, message, wParam, lParam);
    }
}

namespace {

// ---- The list's messages, one function each

LRESULT OnInsertColumn(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    const int row = static_cast<int>(wParam);
    const auto* c = reinterpret_cast<const LVCOLUMNW*>(lParam);
    if (c == nullptr || row < 0)
        return -1;
    const int at = std::min(row, static_cast<int>(d->columns.size()));
    d->columns.insert(
        d->columns.begin() + at,
        {(c->mask & LVCF_TEXT) && c->pszText ? c->pszText : u"",
         (c->mask & LVCF_FMT) ? c->fmt : LVCFMT_LEFT, (c->mask & LVCF_WIDTH) ? c->cx : 0});
    // Texts of the columns from there on move one to the right.
    const std::size_t shift = static_cast<std::size_t>(std::max(at, 1));
    for (Row& r : d->rows) {
        if (r.texts.size() > shift)
            r.texts.insert(r.texts.begin() + static_cast<std::ptrdiff_t>(shift), u"");
    }
    InvalidateInternal(list, nullptr, true, false);
    InvalidateInternal(d->header, nullptr, true, false);
    return at;
}

LRESULT OnDeleteColumn(HWND list, ListData* d, WPARAM wParam, LPARAM) {
    const int column = static_cast<int>(wParam);
    if (column < 0 || column >= static_cast<int>(d->columns.size()))
        return FALSE;
    d->columns.erase(d->columns.begin() + column);
    ClampTop(*d, LayoutOf(list, *d));
    LayoutHeader(list, *d);
    // Deleting column 0 keeps every text; others take their texts with them.
    if (column > 0) {
        for (Row& r : d->rows) {
            if (r.texts.size() > static_cast<std::size_t>(column))
                r.texts.erase(r.texts.begin() + column);
        }
    }
    InvalidateInternal(list, nullptr, true, false);
    InvalidateInternal(d->header, nullptr, true, false);
    return TRUE;
}

LRESULT OnGetColumn(HWND, ListData* d, WPARAM wParam, LPARAM lParam) {
    const int index = static_cast<int>(wParam);
    auto* c = reinterpret_cast<LVCOLUMNW*>(lParam);
    if (c == nullptr || index < 0 || index >= static_cast<int>(d->columns.size()))
        return FALSE;
    const Column& column = d->columns[static_cast<std::size_t>(index)];
    if (c->mask & LVCF_TEXT)
        CopyText(column.heading, c->pszText, c->cchTextMax);
    if (c->mask & LVCF_FMT)
        c->fmt = column.format;
    if (c->mask & LVCF_WIDTH)
        c->cx = column.width;
    return TRUE;
}

LRESULT OnGetColumnWidth(HWND, ListData* d, WPARAM wParam, LPARAM) {
    const int column = static_cast<int>(wParam);
    return column >= 0 && column < static_cast<int>(d->columns.size())
               ? d->columns[static_cast<std::size_t>(column)].width
               : 0;
}

LRESULT OnSetColumnWidth(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    const int column = static_cast<int>(wParam);
    if (column < 0 || column >= static_cast<int>(d->columns.size()))
        return FALSE;
    d->columns[static_cast<std::size_t>(column)].width = static_cast<int>(lParam);
    ClampTop(*d, LayoutOf(list, *d));
    LayoutHeader(list, *d);
    InvalidateInternal(list, nullptr, true, false);
    InvalidateInternal(d->header, nullptr, true, false);
    return TRUE;
}

LRESULT OnInsertItem(HWND list, ListData* d, WPARAM, LPARAM lParam) {
    const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
    if (item == nullptr || item->iItem < 0 || item->iSubItem != 0)
        return -1;
    const int at = std::min(item->iItem, static_cast<int>(d->rows.size()));
    Row r;
    r.texts.emplace_back((item->mask & LVIF_TEXT) && item->pszText ? item->pszText : u"");
    if (item->mask & LVIF_PARAM)
        r.data = static_cast<DWORD_PTR>(item->lParam);
    d->rows.insert(d->rows.begin() + at, std::move(r));
    NotifyList(list, LVN_INSERTITEM, at, 0, 0, 0, 0);
    if ((d = DataOfList(list)) != nullptr)
        InvalidateRows(list, *d, at, -1);
    return at;
}

// The item loses its selection and focus first, each change notified, then LVN_DELETEITEM.
LRESULT OnDeleteItem(HWND list, ListData* d, WPARAM wParam, LPARAM) {
    const int row = static_cast<int>(wParam);
    if (row < 0 || row >= static_cast<int>(d->rows.size()))
        return FALSE;
    SetState(list, row, 0, LVIS_SELECTED | LVIS_FOCUSED);
    d = DataOfList(list);
    if (d == nullptr || row >= static_cast<int>(d->rows.size()))
        return FALSE;
    NotifyList(list, LVN_DELETEITEM, row, 0, 0, 0,
               static_cast<LPARAM>(d->rows[static_cast<std::size_t>(row)].data));
    d = DataOfList(list);
    if (d == nullptr || row >= static_cast<int>(d->rows.size()))
        return FALSE;
    d->rows.erase(d->rows.begin() + row);
    ClampTop(*d, LayoutOf(list, *d));
    InvalidateRows(list, *d, row, -1);
    return TRUE;
}

// A nonzero answer to LVN_DELETEALLITEMS spares the parent one LVN_DELETEITEM per item.
LRESULT OnDeleteAllItems(HWND list, ListData* d, WPARAM, LPARAM) {
    const int count = static_cast<int>(d->rows.size());
    const bool quiet = NotifyList(list, LVN_DELETEALLITEMS, -1, 0, 0, 0, 0) != 0;
    for (int i = count - 1; !quiet && i >= 0; --i) {
        d = DataOfList(list);
        if (d == nullptr || i >= static_cast<int>(d->rows.size()))
            continue;
        NotifyList(list, LVN_DELETEITEM, i, 0, 0, 0,
                   static_cast<LPARAM>(d->rows[static_cast<std::size_t>(i)].data));
    }
    if ((d = DataOfList(list)) == nullptr)
        return FALSE;
    d->rows.clear();
    d->top = 0;
    InvalidateInternal(list, nullptr, true, false);
    return TRUE;
}

LRESULT OnGetItemCount(HWND, ListData* d, WPARAM, LPARAM) {
    return static_cast<int>(d->rows.size());
}

// The item's own text is notified like a state change; a column's text is not.
LRESULT OnSetItemText(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    const int row = static_cast<int>(wParam);
    const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
    if (item == nullptr || row < 0 || row >= static_cast<int>(d->rows.size()))
        return FALSE;
    const std::u16string text = item->pszText ? item->pszText : u"";
    if (item->iSubItem == 0)
        return SetMain(list, row, LVIF_TEXT, text, 0);
    if (item->iSubItem < 0 || item->iSubItem >= static_cast<int>(d->columns.size()))
        return FALSE;
    auto& texts = d->rows[static_cast<std::size_t>(row)].texts;
    if (texts.size() <= static_cast<std::size_t>(item->iSubItem))
        texts.resize(static_cast<std::size_t>(item->iSubItem) + 1);
    if (texts[static_cast<std::size_t>(item->iSubItem)] != text) {
        texts[static_cast<std::size_t>(item->iSubItem)] = text;
        InvalidateRows(list, *d, row, row);
    }
    return TRUE;
}

LRESULT OnGetItemText(HWND, ListData* d, WPARAM wParam, LPARAM lParam) {
    const int row = static_cast<int>(wParam);
    auto* item = reinterpret_cast<LVITEMW*>(lParam);
    if (item == nullptr || row < 0 || row >= static_cast<int>(d->rows.size()))
        return 0;
    return CopyText(TextAt(d->rows[static_cast<std::size_t>(row)], item->iSubItem), item->pszText,
                    item->cchTextMax);
}

// A column's text goes as LVM_SETITEMTEXT; the item's text and data, then its state.
LRESULT OnSetItem(HWND list, ListData* d, WPARAM, LPARAM lParam) {
    const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
    if (item == nullptr || item->iItem < 0 || item->iItem >= static_cast<int>(d->rows.size()))
        return FALSE;
    if (item->iSubItem != 0) {
        if (!(item->mask & LVIF_TEXT))
            return FALSE;
        LVITEMW text = *item;
        return OnSetItemText(list, d, static_cast<WPARAM>(item->iItem),
                             reinterpret_cast<LPARAM>(&text));
    }
    bool ok = true;
    if (item->mask & (LVIF_TEXT | LVIF_PARAM)) {
        ok = SetMain(list, item->iItem, item->mask & (LVIF_TEXT | LVIF_PARAM),
                     item->pszText ? item->pszText : u"", static_cast<DWORD_PTR>(item->lParam));
    }
    if (ok && (item->mask & LVIF_STATE))
        ok = SetState(list, item->iItem, item->state, item->stateMask);
    return ok;
}

LRESULT OnGetItem(HWND, ListData* d, WPARAM, LPARAM lParam) {
    auto* item = reinterpret_cast<LVITEMW*>(lParam);
    if (item == nullptr || item->iItem < 0 || item->iItem >= static_cast<int>(d->rows.size()))
        return FALSE;
    const Row& r = d->rows[static_cast<std::size_t>(item->iItem)];
    if (item->mask & LVIF_TEXT)
        CopyText(TextAt(r, item->iSubItem), item->pszText, item->cchTextMax);
    if (item->mask & LVIF_PARAM)
        item->lParam = static_cast<LPARAM>(r.data);
    if (item->mask & LVIF_STATE)
        item->state = r.state & item->stateMask;
    return TRUE;
}

// Item -1 is every item, within what the control allows for all at once.
LRESULT OnSetItemState(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    const int row = static_cast<int>(wParam);
    const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
    if (item == nullptr)
        return FALSE;
    if (row != -1)
        return SetState(list, row, item->state, item->stateMask);
    const UINT set = item->state & item->stateMask;
    if (set == 0 && item->stateMask == LVIS_SELECTED && NextItem(*d, -1, LVNI_SELECTED) < 0)
        return TRUE;  // nothing selected to clear
    if (((set & LVIS_SELECTED) && (StyleOf(list) & LVS_SINGLESEL)) || (set & LVIS_FOCUSED))
        return FALSE;  // no selecting all in single selection, no focusing all
    bool ok = true;
    const int count = static_cast<int>(d->rows.size());
    for (int i = 0; i < count; ++i)
        ok = SetState(list, i, item->state, item->stateMask) && ok;
    return ok;
}

LRESULT OnGetItemState(HWND, ListData* d, WPARAM wParam, LPARAM lParam) {
    const int row = static_cast<int>(wParam);
    return row >= 0 && row < static_cast<int>(d->rows.size())
               ? static_cast<LRESULT>(d->rows[static_cast<std::size_t>(row)].state &
                                      static_cast<UINT>(lParam))
               : 0;
}

LRESULT OnGetNextItem(HWND, ListData* d, WPARAM wParam, LPARAM lParam) {
    return NextItem(*d, static_cast<int>(wParam),
                    static_cast<int>(LOWORD(static_cast<std::uintptr_t>(lParam))));
}

LRESULT OnEnsureVisible(HWND list, ListData* d, WPARAM wParam, LPARAM) {
    const int row = static_cast<int>(wParam);
    if (row < 0 || row >= static_cast<int>(d->rows.size()))
        return FALSE;
    EnsureVisible(list, *d, row);
    return TRUE;
}

LRESULT OnGetTopIndex(HWND, ListData* d, WPARAM, LPARAM) {
    return d->top;
}

LRESULT OnScroll(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    ScrollList(list, *d, static_cast<int>(wParam), static_cast<int>(lParam));
    return TRUE;
}

LRESULT OnGetCountPerPage(HWND list, ListData* d, WPARAM, LPARAM) {
    return LayoutOf(list, *d).perPage;
}

// The column comes in the rectangle's top, the area asked for in its left.
LRESULT OnGetSubItemRect(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    auto* rect = reinterpret_cast<RECT*>(lParam);
    return rect != nullptr &&
           SubItemRect(list, *d, static_cast<int>(wParam), rect->top, rect->left, rect);
}

LRESULT OnHitTest(HWND list, ListData* d, WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<LVHITTESTINFO*>(lParam);
    if (info == nullptr)
        return -1;
    info->iItem = HitRow(list, *d, info->pt, &info->flags);
    info->iSubItem = 0;
    return info->iItem;
}

// A mask of 0 changes every extended style.
LRESULT OnSetExtendedStyle(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
    const DWORD old = d->exStyle;
    d->exStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
    ClampTop(*d, LayoutOf(list, *d));
    InvalidateInternal(list, nullptr, true, false);
    return old;
}

LRESULT OnGetExtendedStyle(HWND, ListData* d, WPARAM, LPARAM) {
    return d->exStyle;
}

LRESULT OnSetImageList(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    HIMAGELIST* slot = ImageSlot(*d, static_cast<int>(wParam));
    if (slot == nullptr)
        return 0;
    // The previous list goes back to the caller, who owns it from now on.
    const HIMAGELIST old = std::exchange(*slot, reinterpret_cast<HIMAGELIST>(lParam));
    ClampTop(*d, LayoutOf(list, *d));
    InvalidateInternal(list, nullptr, true, false);
    return reinterpret_cast<LRESULT>(old);
}

LRESULT OnGetImageList(HWND, ListData* d, WPARAM wParam, LPARAM) {
    HIMAGELIST* slot = ImageSlot(*d, static_cast<int>(wParam));
    return slot == nullptr ? 0 : reinterpret_cast<LRESULT>(*slot);
}

LRESULT OnNcDestroy(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    // Without LVS_SHAREIMAGELISTS the list owns the image lists it holds.
    if (!(StyleOf(list) & LVS_SHAREIMAGELISTS)) {
        for (HIMAGELIST& images : d->imageLists) {
            if (images != nullptr)
                DestroyImageListInternal(std::exchange(images, nullptr));
        }
    }
    return GenericProc(list, WM_NCDESTROY, wParam, lParam);
}

LRESULT OnGetHeader(HWND, ListData* d, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(d->header);
}

// The header's notifications go on to the list's parent.
LRESULT OnNotify(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header != nullptr && header->hwndFrom == d->header)
        return ui::SendMessage(GetParentInternal(list), WM_NOTIFY, wParam, lParam);
    return 0;
}

// The parent hears of it before the list draws itself with or without the focus.
void FocusChanged(HWND list, bool focused) {
    NMHDR nm{};
    nm.code = static_cast<UINT>(focused ? NM_SETFOCUS : NM_KILLFOCUS);
    NotifyParent(list, nm);
    if (ListData* d = DataOfList(list))
        d->hasFocus = focused;
    InvalidateInternal(list, nullptr, true, false);
}

LRESULT OnSetFocus(HWND list, ListData*, WPARAM, LPARAM) {
    FocusChanged(list, true);
    return 0;
}

LRESULT OnKillFocus(HWND list, ListData*, WPARAM, LPARAM) {
    FocusChanged(list, false);
    return 0;
}

POINT PointOf(LPARAM lParam) {
    return {static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lParam))),
            static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lParam)))};
}

LRESULT OnLButtonDown(HWND list, ListData*, WPARAM, LPARAM lParam) {
    Click(list, PointOf(lParam), false);
    return 0;
}

LRESULT OnRButtonDown(HWND list, ListData*, WPARAM, LPARAM lParam) {
    Click(list, PointOf(lParam), true);
    return 0;
}

LRESULT OnSetFont(HWND list, ListData* d, WPARAM wParam, LPARAM lParam) {
    GenericProc(list, WM_SETFONT, wParam, lParam);
    ui::SendMessage(d->header, WM_SETFONT, wParam, lParam);
    LayoutHeader(list, *d);
    ClampTop(*d, LayoutOf(list, *d));
    return 0;
}

LRESULT OnSize(HWND list, ListData* d, WPARAM, LPARAM) {
    LayoutHeader(list, *d);
    ClampTop(*d, LayoutOf(list, *d));
    return 0;
}

LRESULT OnPaint(HWND list, ListData*, WPARAM, LPARAM) {
    PaintList(list);
    return 0;
}

struct ListMessage {
    UINT message;
    LRESULT (*handler)(HWND list, ListData* d, WPARAM wParam, LPARAM lParam);
};

constexpr ListMessage kListMessages[] = {
    {LVM_INSERTCOLUMNW, OnInsertColumn},
    {LVM_DELETECOLUMN, OnDeleteColumn},
    {LVM_GETCOLUMNW, OnGetColumn},
    {LVM_GETCOLUMNWIDTH, OnGetColumnWidth},
    {LVM_SETCOLUMNWIDTH, OnSetColumnWidth},
    {LVM_INSERTITEMW, OnInsertItem},
    {LVM_DELETEITEM, OnDeleteItem},
    {LVM_DELETEALLITEMS, OnDeleteAllItems},
    {LVM_GETITEMCOUNT, OnGetItemCount},
    {LVM_SETITEMTEXTW, OnSetItemText},
    {LVM_GETITEMTEXTW, OnGetItemText},
    {LVM_SETITEMW, OnSetItem},
    {LVM_GETITEMW, OnGetItem},
    {LVM_SETITEMSTATE, OnSetItemState},
    {LVM_GETITEMSTATE, OnGetItemState},
    {LVM_GETNEXTITEM, OnGetNextItem},
    {LVM_ENSUREVISIBLE, OnEnsureVisible},
    {LVM_GETTOPINDEX, OnGetTopIndex},
    {kLvmScroll, OnScroll},
    {LVM_GETCOUNTPERPAGE, OnGetCountPerPage},
    {LVM_GETSUBITEMRECT, OnGetSubItemRect},
    {LVM_HITTEST, OnHitTest},
    {LVM_SETEXTENDEDLISTVIEWSTYLE, OnSetExtendedStyle},
    {LVM_GETEXTENDEDLISTVIEWSTYLE, OnGetExtendedStyle},
    {LVM_SETIMAGELIST, OnSetImageList},
    {LVM_GETIMAGELIST, OnGetImageList},
    {WM_NCDESTROY, OnNcDestroy},
    {LVM_GETHEADER, OnGetHeader},
    {WM_NOTIFY, OnNotify},
    {WM_SETFOCUS, OnSetFocus},
    {WM_KILLFOCUS, OnKillFocus},
    {WM_LBUTTONDOWN, OnLButtonDown},
    {WM_RBUTTONDOWN, OnRButtonDown},
    {WM_SETFONT, OnSetFont},
    {WM_SIZE, OnSize},
    {WM_PAINT, OnPaint},
};

}  // namespace

LRESULT ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto keep = Find(list);  // the record outlives this call
    ListData* d = DataOfList(list);
    if (d == nullptr)
        return 0;
    for (const ListMessage& m : kListMessages) {
        if (m.message == message)
            return m.handler(list, d, wParam, lParam);
    }
    return GenericProc(list, message, wParam, lParam);
}

bool TrackColumnInternal(HWND list, int column, int width) {
    const HWND header = reinterpret_cast<HWND>(ui::SendMessage(list, LVM_GETHEADER));
    if (header == nullptr)
        return false;
    NMHEADER nm{};
    nm.hdr.hwndFrom = header;
    nm.hdr.idFrom = 0;
    nm.hdr.code = static_cast<UINT>(HDN_BEGINTRACKW);
    nm.iItem = column;
    if (ui::SendMessage(list, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm)))
        return false;
    nm.hdr.code = static_cast<UINT>(HDN_ENDTRACKW);
    ui::SendMessage(list, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
    return ui::SendMessage(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), width) != 0;
}

}  // namespace headless::detail
