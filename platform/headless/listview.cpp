// The list view in report mode and its header, with the notifications and the custom-draw
// sequence of the platform's control. CListCtrl sends the control's messages (their platform
// numbers, with this backend's own argument blocks), so a call from a worker thread runs on the
// list's thread.
#include <algorithm>

#include "platform/headless/core.h"

namespace headless::detail {

namespace {

// Control messages.
constexpr UINT kLvmSetImageList = 0x1003;
constexpr UINT kLvmGetItemCount = 0x1004;
constexpr UINT kLvmDeleteItem = 0x1008;
constexpr UINT kLvmDeleteAllItems = 0x1009;
constexpr UINT kLvmGetNextItem = 0x100C;
constexpr UINT kLvmHitTest = 0x1012;
constexpr UINT kLvmDeleteColumn = 0x101C;
constexpr UINT kLvmGetColumnWidth = 0x101D;
constexpr UINT kLvmSetColumnWidth = 0x101E;
constexpr UINT kLvmGetHeader = 0x101F;
constexpr UINT kLvmGetTopIndex = 0x1027;
constexpr UINT kLvmGetCountPerPage = 0x1028;
constexpr UINT kLvmSetItemState = 0x102B;
constexpr UINT kLvmGetItemState = 0x102C;
constexpr UINT kLvmSetExtendedStyle = 0x1036;
constexpr UINT kLvmGetExtendedStyle = 0x1037;
constexpr UINT kLvmGetSubItemRect = 0x1038;
constexpr UINT kLvmGetItem = 0x104B;
constexpr UINT kLvmSetItem = 0x104C;
constexpr UINT kLvmInsertItem = 0x104D;
constexpr UINT kLvmGetColumn = 0x105F;
constexpr UINT kLvmInsertColumn = 0x1061;
constexpr UINT kLvmGetItemText = 0x1073;
constexpr UINT kLvmSetItemText = 0x1074;
constexpr UINT kHdmGetItemCount = 0x1200;

constexpr UINT kLvifText = 0x0001;
constexpr UINT kLvifParam = 0x0004;
constexpr int kLvniFocused = 0x0001;
constexpr int kLvirIcon = 1;
constexpr int kLvnInsertItem = -102;
constexpr int kLvnDeleteItem = -103;
constexpr int kLvnDeleteAllItems = -104;
constexpr DWORD kLvsNoColumnHeader = 0x4000;
constexpr int kLvcfmtRight = 0x0001;
constexpr COLORREF kClrNone = 0xFFFFFFFF;
constexpr COLORREF kClrDefault = 0xFF000000;
constexpr UINT kDtRight = 0x0002;
constexpr UINT kDtNoPrefix = 0x0800;
constexpr int kLabelPadding = 5;  // between a cell's edge and its text
constexpr int kImagePadding = 2;  // between the small image and the text
constexpr int kColorBtnShadow = 16;
constexpr int kColorBtnText = 18;

// Argument blocks of the control messages above.
struct LvItem {
    UINT mask = 0;
    int column = 0;
    UINT state = 0;
    UINT stateMask = 0;
    const char16_t* text = nullptr;
    char16_t* buffer = nullptr;
    int bufferSize = 0;
    DWORD_PTR data = 0;
};
struct LvColumn {
    const char16_t* heading = nullptr;
    int format = 0;
    int width = 0;
    std::u16string* headingOut = nullptr;
};

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
    bool hasFocus = false;
    HIMAGELIST smallImages = nullptr;
    HWND header = nullptr;
};

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
    const int header = (StyleOf(list) & kLvsNoColumnHeader) ? 0 : m.lineHeight + 8;
    const int row = std::max(m.lineHeight, ImageListSize(d.smallImages).cy) + 1;
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

int RowTop(const ListData& d, const Layout& l, int row) {
    return l.headerHeight + (row - d.top) * l.rowHeight;
}

void ClampTop(ListData& d, const Layout& l) {
    d.top = std::clamp(d.top, 0, std::max(0, static_cast<int>(d.rows.size()) - l.perPage));
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
    if ((mask & kLvifText) && TextAt(r, 0) != text)
        changed |= kLvifText;
    if ((mask & kLvifParam) && r.data != data)
        changed |= kLvifParam;
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
    if (changed & kLvifText)
        target.texts[0] = text;
    if (changed & kLvifParam)
        target.data = data;
    InvalidateRows(list, *d, row, row);
    NotifyList(list, LVN_ITEMCHANGED, row, 0, 0, changed, static_cast<LPARAM>(target.data));
    return true;
}

int NextItem(const ListData& d, int start, int flags) {
    const int count = static_cast<int>(d.rows.size());
    if (start < -1 || start >= count)
        return -1;
    if (flags & kLvniFocused) {
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

int HitRow(HWND list, const ListData& d, POINT pt) {
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
    return pt.x < right ? row : -1;
}

bool SubItemRect(HWND list, const ListData& d, int row, int column, int area, RECT* rect) {
    const Layout l = LayoutOf(list, d);
    const int top = RowTop(d, l, row);
    if (column == 0) {
        if (row < 0 || row >= static_cast<int>(d.rows.size()))
            return false;
        // The item's bounds: the whole row, every column.
        *rect = {0, top, TotalWidth(d), top + l.rowHeight};
        if (area == kLvirIcon)
            rect->right = ImageListSize(d.smallImages).cx;
        else if (area != LVIR_BOUNDS && !d.columns.empty())
            rect->right = d.columns.front().width;
        return true;
    }
    if (column >= static_cast<int>(d.columns.size())) {
        *rect = {0, top, 0, top + l.rowHeight};
        return true;
    }
    const int left = ColumnLeft(d, column);
    *rect = {left, top, left + d.columns[static_cast<std::size_t>(column)].width,
             top + l.rowHeight};
    if (area == kLvirIcon)
        rect->right = rect->left + (d.smallImages ? ImageListSize(d.smallImages).cx : 0);
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
    const int left = ColumnLeft(d, column);
    const Column& c = d.columns[static_cast<std::size_t>(column)];
    RECT label{left, top, left + c.width, top + l.rowHeight};
    UINT format = DT_VCENTER | DT_SINGLELINE | kDtNoPrefix;
    int align = column == 0 ? LVCFMT_LEFT : (c.format & 0x3);
    if (column == 0 && d.smallImages != nullptr)
        label.left += ImageListSize(d.smallImages).cx;
    if (cd.clrTextBk != kClrNone && colors.back != kClrNone) {
        dc.FillSolidRect(label, colors.back);
    }
    if (align == kLvcfmtRight) {
        format |= kDtRight;
        label.right -= kLabelPadding;
    } else if (align == LVCFMT_CENTER) {
        format |= DT_CENTER;
    } else {
        label.left += (column == 0 && d.smallImages != nullptr) ? kImagePadding : kLabelPadding;
    }
    if (d.exStyle & LVS_EX_GRIDLINES)
        label.bottom--;
    dc.DrawText(TextAt(d.rows[static_cast<std::size_t>(row)], column), label, format);
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
    d = DataOfList(list);
    if (d != nullptr && !(mode & CDRF_SKIPDEFAULT)) {
        for (int row = d->top; row < static_cast<int>(d->rows.size()); ++row) {
            const int top = RowTop(*d, l, row);
            if (top >= l.height)
                break;
            if (IsEmpty(Intersect({0, top, l.width, top + l.rowHeight}, p.paint)))
                continue;
            const Row& r = d->rows[static_cast<std::size_t>(row)];
            NMLVCUSTOMDRAW item{};
            item.nmcd.hdc = p.dc;
            item.nmcd.rc = {0, top, TotalWidth(*d), top + l.rowHeight};
            item.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
            item.nmcd.lItemlParam = static_cast<LPARAM>(r.data);
            if (r.state & LVIS_SELECTED)
                item.nmcd.uItemState |= CDIS_SELECTED;
            if (d->hasFocus && (r.state & LVIS_FOCUSED))
                item.nmcd.uItemState |= CDIS_FOCUS;
            item.clrText = kClrDefault;
            item.clrTextBk = kClrDefault;
            LRESULT itemMode = CDRF_DODEFAULT;
            if (mode & CDRF_NOTIFYITEMDRAW)
                itemMode = NotifyDraw(list, CDDS_ITEMPREPAINT, item);
            d = DataOfList(list);
            if (d == nullptr || row >= static_cast<int>(d->rows.size()))
                return;
            if (!(itemMode & CDRF_SKIPDEFAULT)) {
                CellColors colors{};
                // One block for the whole row: what the parent changes stays for the next cells.
                for (int column = 0; column < static_cast<int>(d->columns.size()); ++column) {
                    const int left = ColumnLeft(*d, column);
                    const int right = left + d->columns[static_cast<std::size_t>(column)].width;
                    if (right < p.paint.left || left >= p.paint.right)
                        continue;
                    if (column > 0) {
                        item.nmcd.rc = {left, top, right, top + l.rowHeight};
                        item.iSubItem = column;
                    }
                    LRESULT cellMode = CDRF_DODEFAULT;
                    if (itemMode & CDRF_NOTIFYSUBITEMDRAW)
                        cellMode = NotifyDraw(list, CDDS_SUBITEM | CDDS_ITEMPREPAINT, item);
                    d = DataOfList(list);
                    if (d == nullptr || row >= static_cast<int>(d->rows.size()) ||
                        column >= static_cast<int>(d->columns.size())) {
                        return;
                    }
                    if (column == 0 || (mode & CDRF_NOTIFYITEMDRAW))
                        PrepareColors(dc, *d, style, item, false, &colors);
                    else if (!(d->exStyle & LVS_EX_FULLROWSELECT))
                        PrepareColors(dc, *d, style, item, true, &colors);
                    if (!(cellMode & CDRF_SKIPDEFAULT))
                        DrawCell(dc, *d, l, row, column, item, colors);
                    if (cellMode & CDRF_NOTIFYPOSTPAINT)
                        NotifyDraw(list, CDDS_SUBITEM | CDDS_ITEMPOSTPAINT, item);
                    d = DataOfList(list);
                    if (d == nullptr || row >= static_cast<int>(d->rows.size()))
                        return;
                }
            }
            if (itemMode & CDRF_NOTIFYPOSTPAINT) {
                item.iSubItem = 0;
                NotifyDraw(list, CDDS_ITEMPOSTPAINT, item);
                d = DataOfList(list);
                if (d == nullptr)
                    return;
            }
        }
    }
    if (d != nullptr && (d->exStyle & LVS_EX_GRIDLINES)) {
        const COLORREF line = GetSysColor(COLOR_BTNFACE);
        for (int c = 1; c <= static_cast<int>(d->columns.size()); ++c) {
            const int x = ColumnLeft(*d, c);
            dc.FillSolidRect({x, l.headerHeight, x + 1, l.height}, line);
        }
        for (int y = l.headerHeight + l.rowHeight - 1; y < l.height; y += l.rowHeight)
            dc.FillSolidRect({0, y, l.width, y + 1}, line);
    }
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
                         : align == kLvcfmtRight ? kDtRight
                                                 : 0));
        left += c.width;
    }
}

void LayoutHeader(HWND list, const ListData& d) {
    if (d.header == nullptr)
        return;
    const Layout l = LayoutOf(list, d);
    MoveWindowInternal(d.header, {0, 0, l.width, l.headerHeight}, true);
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
    if (StyleOf(list) & kLvsNoColumnHeader)
        ShowWindowInternal(header, SW_HIDE);
    LayoutHeader(list, *d);
}

LRESULT HeaderProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kHdmGetItemCount: {
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

LRESULT ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto keep = Find(list);  // the record outlives this call
    ListData* d = DataOfList(list);
    if (d == nullptr)
        return 0;
    const int row = static_cast<int>(wParam);
    const int count = static_cast<int>(d->rows.size());
    switch (message) {
        case kLvmInsertColumn: {
            const auto* c = reinterpret_cast<const LvColumn*>(lParam);
            if (c == nullptr || row < 0)
                return -1;
            const int at = std::min(row, static_cast<int>(d->columns.size()));
            d->columns.insert(d->columns.begin() + at,
                              {c->heading ? c->heading : u"", c->format, c->width});
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
        case kLvmDeleteColumn: {
            if (row < 0 || row >= static_cast<int>(d->columns.size()))
                return FALSE;
            d->columns.erase(d->columns.begin() + row);
            // Deleting column 0 keeps every text; others take their texts with them.
            if (row > 0) {
                for (Row& r : d->rows) {
                    if (r.texts.size() > static_cast<std::size_t>(row))
                        r.texts.erase(r.texts.begin() + row);
                }
            }
            InvalidateInternal(list, nullptr, true, false);
            InvalidateInternal(d->header, nullptr, true, false);
            return TRUE;
        }
        case kLvmGetColumn: {
            auto* c = reinterpret_cast<LvColumn*>(lParam);
            if (c == nullptr || row < 0 || row >= static_cast<int>(d->columns.size()))
                return FALSE;
            const Column& column = d->columns[static_cast<std::size_t>(row)];
            if (c->headingOut != nullptr)
                *c->headingOut = column.heading;
            c->format = column.format;
            c->width = column.width;
            return TRUE;
        }
        case kLvmGetColumnWidth:
            return row >= 0 && row < static_cast<int>(d->columns.size())
                       ? d->columns[static_cast<std::size_t>(row)].width
                       : 0;
        case kLvmSetColumnWidth:
            if (row < 0 || row >= static_cast<int>(d->columns.size()))
                return FALSE;
            d->columns[static_cast<std::size_t>(row)].width = static_cast<int>(lParam);
            InvalidateInternal(list, nullptr, true, false);
            InvalidateInternal(d->header, nullptr, true, false);
            return TRUE;
        case kLvmInsertItem: {
            const auto* item = reinterpret_cast<const LvItem*>(lParam);
            if (item == nullptr || row < 0)
                return -1;
            const int at = std::min(row, count);
            Row r;
            r.texts.emplace_back(item->text ? item->text : u"");
            d->rows.insert(d->rows.begin() + at, std::move(r));
            NotifyList(list, kLvnInsertItem, at, 0, 0, 0, 0);
            if ((d = DataOfList(list)) != nullptr)
                InvalidateRows(list, *d, at, -1);
            return at;
        }
        case kLvmDeleteItem: {
            if (row < 0 || row >= count)
                return FALSE;
            SetState(list, row, 0, LVIS_SELECTED | LVIS_FOCUSED);
            NotifyList(list, kLvnDeleteItem, row, 0, 0, 0,
                       static_cast<LPARAM>(d->rows[static_cast<std::size_t>(row)].data));
            d = DataOfList(list);
            if (d == nullptr || row >= static_cast<int>(d->rows.size()))
                return FALSE;
            d->rows.erase(d->rows.begin() + row);
            ClampTop(*d, LayoutOf(list, *d));
            InvalidateRows(list, *d, row, -1);
            return TRUE;
        }
        case kLvmDeleteAllItems: {
            const bool quiet = NotifyList(list, kLvnDeleteAllItems, -1, 0, 0, 0, 0) != 0;
            for (int i = count - 1; !quiet && i >= 0; --i) {
                d = DataOfList(list);
                if (d == nullptr || i >= static_cast<int>(d->rows.size()))
                    continue;
                NotifyList(list, kLvnDeleteItem, i, 0, 0, 0,
                           static_cast<LPARAM>(d->rows[static_cast<std::size_t>(i)].data));
            }
            if ((d = DataOfList(list)) == nullptr)
                return FALSE;
            d->rows.clear();
            d->top = 0;
            InvalidateInternal(list, nullptr, true, false);
            return TRUE;
        }
        case kLvmGetItemCount:
            return count;
        case kLvmSetItemText: {
            const auto* item = reinterpret_cast<const LvItem*>(lParam);
            if (item == nullptr || row < 0 || row >= count)
                return FALSE;
            const std::u16string text = item->text ? item->text : u"";
            if (item->column == 0)
                return SetMain(list, row, kLvifText, text, 0);
            if (item->column < 0 || item->column >= static_cast<int>(d->columns.size()))
                return FALSE;
            auto& texts = d->rows[static_cast<std::size_t>(row)].texts;
            if (texts.size() <= static_cast<std::size_t>(item->column))
                texts.resize(static_cast<std::size_t>(item->column) + 1);
            if (texts[static_cast<std::size_t>(item->column)] != text) {
                texts[static_cast<std::size_t>(item->column)] = text;
                InvalidateRows(list, *d, row, row);
            }
            return TRUE;
        }
        case kLvmGetItemText: {
            auto* item = reinterpret_cast<LvItem*>(lParam);
            if (item == nullptr || row < 0 || row >= count || item->buffer == nullptr ||
                item->bufferSize <= 0) {
                return 0;
            }
            const std::u16string text =
                TextAt(d->rows[static_cast<std::size_t>(row)], item->column);
            const std::size_t n =
                std::min<std::size_t>(text.size(), static_cast<std::size_t>(item->bufferSize) - 1);
            text.copy(item->buffer, n);
            item->buffer[n] = u'\0';
            return static_cast<LRESULT>(n);
        }
        case kLvmSetItem: {
            const auto* item = reinterpret_cast<const LvItem*>(lParam);
            if (item == nullptr)
                return FALSE;
            return SetMain(list, row, item->mask & kLvifParam, {}, item->data);
        }
        case kLvmGetItem: {
            auto* item = reinterpret_cast<LvItem*>(lParam);
            if (item == nullptr || row < 0 || row >= count)
                return FALSE;
            item->data = d->rows[static_cast<std::size_t>(row)].data;
            item->state = d->rows[static_cast<std::size_t>(row)].state & item->stateMask;
            return TRUE;
        }
        case kLvmSetItemState: {
            const auto* item = reinterpret_cast<const LvItem*>(lParam);
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
            for (int i = 0; i < count; ++i)
                ok = SetState(list, i, item->state, item->stateMask) && ok;
            return ok;
        }
        case kLvmGetItemState:
            return row >= 0 && row < count
                       ? static_cast<LRESULT>(d->rows[static_cast<std::size_t>(row)].state &
                                              static_cast<UINT>(lParam))
                       : 0;
        case kLvmGetNextItem:
            return NextItem(*d, row, static_cast<int>(lParam));
        case kLvmGetTopIndex:
            return d->top;
        case kLvmGetCountPerPage:
            return LayoutOf(list, *d).perPage;
        case kLvmGetSubItemRect: {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            return rect != nullptr && SubItemRect(list, *d, row, rect->top, rect->left, rect);
        }
        case kLvmHitTest: {
            const auto* pt = reinterpret_cast<const POINT*>(lParam);
            return pt ? HitRow(list, *d, *pt) : -1;
        }
        case kLvmSetExtendedStyle: {
            const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
            const DWORD old = d->exStyle;
            d->exStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
            InvalidateInternal(list, nullptr, true, false);
            return old;
        }
        case kLvmGetExtendedStyle:
            return d->exStyle;
        case kLvmSetImageList: {
            if (wParam != static_cast<WPARAM>(LVSIL_SMALL))
                return 0;
            const HIMAGELIST old =
                std::exchange(d->smallImages, reinterpret_cast<HIMAGELIST>(lParam));
            ClampTop(*d, LayoutOf(list, *d));
            InvalidateInternal(list, nullptr, true, false);
            return reinterpret_cast<LRESULT>(old);
        }
        case kLvmGetHeader:
            return reinterpret_cast<LRESULT>(d->header);
        case WM_NOTIFY: {
            // The header's notifications go on to the list's parent.
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header != nullptr && header->hwndFrom == d->header) {
                return ui::SendMessage(GetParentInternal(list), WM_NOTIFY, wParam, lParam);
            }
            return 0;
        }
        case WM_SETFOCUS: {
            NMHDR nm{};
            nm.code = static_cast<UINT>(NM_SETFOCUS);
            NotifyParent(list, nm);
            if ((d = DataOfList(list)) != nullptr)
                d->hasFocus = true;
            InvalidateInternal(list, nullptr, true, false);
            return 0;
        }
        case WM_KILLFOCUS: {
            NMHDR nm{};
            nm.code = static_cast<UINT>(NM_KILLFOCUS);
            NotifyParent(list, nm);
            if ((d = DataOfList(list)) != nullptr)
                d->hasFocus = false;
            InvalidateInternal(list, nullptr, true, false);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            Click(list,
                  {static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lParam))),
                   static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lParam)))},
                  message == WM_RBUTTONDOWN);
            return 0;
        case WM_SETFONT:
            GenericProc(list, message, wParam, lParam);
            ui::SendMessage(d->header, WM_SETFONT, wParam, lParam);
            LayoutHeader(list, *d);
            ClampTop(*d, LayoutOf(list, *d));
            return 0;
        case WM_SIZE:
            LayoutHeader(list, *d);
            ClampTop(*d, LayoutOf(list, *d));
            return 0;
        case WM_PAINT:
            PaintList(list);
            return 0;
        default:
            return GenericProc(list, message, wParam, lParam);
    }
}

bool TrackColumnInternal(HWND list, int column, int width) {
    const HWND header = reinterpret_cast<HWND>(ui::SendMessage(list, kLvmGetHeader));
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
    return ui::SendMessage(list, kLvmSetColumnWidth, static_cast<WPARAM>(column), width) != 0;
}

}  // namespace headless::detail

namespace ui {

using namespace headless::detail;

int CListCtrl::InsertColumn(int column, std::u16string_view heading, int format, int width) {
    const std::u16string text(heading);
    LvColumn c;
    c.heading = text.c_str();
    c.format = format;
    c.width = width;
    return static_cast<int>(
        SendMessage(kLvmInsertColumn, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c)));
}

bool CListCtrl::DeleteColumn(int column) {
    return SendMessage(kLvmDeleteColumn, static_cast<WPARAM>(column)) != 0;
}

int CListCtrl::GetColumnCount() const {
    return static_cast<int>(ui::SendMessage(GetHeaderCtrl(), kHdmGetItemCount));
}

std::u16string CListCtrl::GetColumnHeading(int column) const {
    std::u16string heading;
    LvColumn c;
    c.headingOut = &heading;
    SendMessage(kLvmGetColumn, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c));
    return heading;
}

int CListCtrl::GetColumnWidth(int column) const {
    return static_cast<int>(SendMessage(kLvmGetColumnWidth, static_cast<WPARAM>(column)));
}

int CListCtrl::InsertItem(int row, std::u16string_view text) {
    const std::u16string value(text);
    LvItem item;
    item.mask = kLvifText;
    item.text = value.c_str();
    return static_cast<int>(
        SendMessage(kLvmInsertItem, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
}

bool CListCtrl::DeleteItem(int row) {
    return SendMessage(kLvmDeleteItem, static_cast<WPARAM>(row)) != 0;
}

bool CListCtrl::DeleteAllItems() {
    return SendMessage(kLvmDeleteAllItems) != 0;
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(SendMessage(kLvmGetItemCount));
}

bool CListCtrl::SetItemText(int row, int column, std::u16string_view text) {
    const std::u16string value(text);
    LvItem item;
    item.mask = kLvifText;
    item.column = column;
    item.text = value.c_str();
    return SendMessage(kLvmSetItemText, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item)) != 0;
}

std::u16string CListCtrl::GetItemText(int row, int column, int bufferSize) const {
    if (bufferSize <= 0)
        return {};
    std::u16string buffer(static_cast<std::size_t>(bufferSize), u'\0');
    LvItem item;
    item.mask = kLvifText;
    item.column = column;
    item.buffer = buffer.data();
    item.bufferSize = bufferSize;
    const auto n = static_cast<std::size_t>(
        SendMessage(kLvmGetItemText, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    buffer.resize(std::min(n, buffer.size()));
    return buffer;
}

bool CListCtrl::SetItemData(int row, DWORD_PTR data) {
    LvItem item;
    item.mask = kLvifParam;
    item.data = data;
    return SendMessage(kLvmSetItem, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) != 0;
}

DWORD_PTR CListCtrl::GetItemData(int row) const {
    LvItem item;
    item.mask = kLvifParam;
    return SendMessage(kLvmGetItem, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item))
               ? item.data
               : 0;
}

bool CListCtrl::SetItemState(int row, UINT state, UINT mask) {
    LvItem item;
    item.mask = LVIF_STATE;
    item.state = state;
    item.stateMask = mask;
    return SendMessage(kLvmSetItemState, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item)) != 0;
}

UINT CListCtrl::GetItemState(int row, UINT mask) const {
    return static_cast<UINT>(SendMessage(kLvmGetItemState, static_cast<WPARAM>(row), mask));
}

int CListCtrl::GetNextItem(int start, int flags) const {
    return static_cast<int>(SendMessage(kLvmGetNextItem, static_cast<WPARAM>(start), flags));
}

int CListCtrl::GetTopIndex() const {
    return static_cast<int>(SendMessage(kLvmGetTopIndex));
}

int CListCtrl::GetCountPerPage() const {
    return static_cast<int>(SendMessage(kLvmGetCountPerPage));
}

bool CListCtrl::GetSubItemRect(int row, int column, int area, RECT& rect) const {
    rect.top = column;
    rect.left = area;
    return SendMessage(kLvmGetSubItemRect, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&rect)) != 0;
}

int CListCtrl::HitTest(POINT point) const {
    return static_cast<int>(SendMessage(kLvmHitTest, 0, reinterpret_cast<LPARAM>(&point)));
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
    return static_cast<DWORD>(SendMessage(kLvmSetExtendedStyle, 0, static_cast<LPARAM>(style)));
}

DWORD CListCtrl::GetExtendedStyle() const {
    return static_cast<DWORD>(SendMessage(kLvmGetExtendedStyle));
}

void CListCtrl::SetImageList(CImageList* list, int which) {
    SendMessage(kLvmSetImageList, static_cast<WPARAM>(which),
                reinterpret_cast<LPARAM>(list ? list->m_hImageList : nullptr));
}

HWND CListCtrl::GetHeaderCtrl() const {
    return reinterpret_cast<HWND>(SendMessage(kLvmGetHeader));
}

}  // namespace ui
