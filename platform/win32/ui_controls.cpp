// The Win32 backend of the class library: common controls and menus, one method per message.
#include <algorithm>
#include <cstring>

#include "platform/win32/ui_internal.h"

namespace ui {

using namespace win32;

namespace {

// Item texts go to the controls through non-const pointers; they do not write through them.
wchar_t* Text(std::u16string& text) {
    return Native(text.data());
}

}  // namespace

// ---- Menus

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-appendmenuw
bool CMenu::AppendMenu(UINT flags, UINT_PTR id, std::u16string_view text) {
    const std::u16string item(text);
    const wchar_t* content = (flags & MF_SEPARATOR) != 0 ? nullptr : Native(item.c_str());
    return AppendMenuW(Native(m_hMenu), flags, id, content) != FALSE;
}

int CMenu::GetMenuItemCount() const {
    return ::GetMenuItemCount(Native(m_hMenu));
}

UINT CMenu::GetMenuItemID(int position) const {
    return ::GetMenuItemID(Native(m_hMenu), position);
}

std::u16string CMenu::GetMenuString(int position) const {
    const int length =
        GetMenuStringW(Native(m_hMenu), static_cast<UINT>(position), nullptr, 0, MF_BYPOSITION);
    if (length <= 0)
        return {};
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    const int copied = GetMenuStringW(Native(m_hMenu), static_cast<UINT>(position),
                                      Native(text.data()), length + 1, MF_BYPOSITION);
    text.resize(static_cast<std::size_t>(copied < 0 ? 0 : copied));
    return text;
}

// ---- Image lists

CImageList::~CImageList() {
    if (m_hImageList != nullptr)
        ImageList_Destroy(Native(m_hImageList));
}

// https://learn.microsoft.com/windows/win32/api/commctrl/nf-commctrl-imagelist_create
bool CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    if (m_hImageList != nullptr)
        return false;
    m_hImageList = Ui(ImageList_Create(cx, cy, flags, initial, grow));
    return m_hImageList != nullptr;
}

// ---- List view: https://learn.microsoft.com/windows/win32/controls/list-view-control-reference

int CListCtrl::InsertColumn(int column, std::u16string_view heading, int format, int width) {
    std::u16string text(heading);
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_TEXT;
    c.fmt = format;
    c.pszText = Text(text);
    if (width >= 0) {
        c.mask |= LVCF_WIDTH;
        c.cx = width;
    }
    return static_cast<int>(
        SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c)));
}

bool CListCtrl::DeleteColumn(int column) {
    return SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(column)) != 0;
}

// The list view has no message for it: its header knows.
int CListCtrl::GetColumnCount() const {
    const HWND header = GetHeaderCtrl();
    if (header == nullptr)
        return 0;
    return static_cast<int>(ui::SendMessage(header, HDM_GETITEMCOUNT));
}

std::u16string CListCtrl::GetColumnHeading(int column) const {
    for (std::size_t size = 64;; size *= 4) {
        std::u16string text(size, u'\0');
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT;
        c.pszText = Text(text);
        c.cchTextMax = static_cast<int>(size);
        if (SendMessage(LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                        reinterpret_cast<LPARAM>(&c)) == 0) {
            return {};
        }
        // The control may answer with its own pointer.
        const std::u16string heading = c.pszText != nullptr ? Ui(c.pszText) : u"";
        if (heading.size() + 1 < size || size >= 32768)
            return heading;
    }
}

int CListCtrl::GetColumnWidth(int column) const {
    return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
}

int CListCtrl::InsertItem(int row, std::u16string_view text) {
    std::u16string content(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = Text(content);
    return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool CListCtrl::DeleteItem(int row) {
    return SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(row)) != 0;
}

bool CListCtrl::DeleteAllItems() {
    return SendMessage(LVM_DELETEALLITEMS) != 0;
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(SendMessage(LVM_GETITEMCOUNT));
}

bool CListCtrl::SetItemText(int row, int column, std::u16string_view text) {
    std::u16string content(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = Text(content);
    return SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item)) != 0;
}

std::u16string CListCtrl::GetItemText(int row, int column, int bufferSize) const {
    if (bufferSize <= 0)
        return {};
    std::u16string buffer(static_cast<std::size_t>(bufferSize), u'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = Text(buffer);
    item.cchTextMax = bufferSize;
    const LRESULT length =
        SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    if (length <= 0)
        return {};
    buffer.resize(std::min(static_cast<std::size_t>(length), buffer.size() - 1));
    return buffer;
}

bool CListCtrl::SetItemData(int row, DWORD_PTR data) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = static_cast<::LPARAM>(data);
    return SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

DWORD_PTR CListCtrl::GetItemData(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == 0)
        return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

bool CListCtrl::SetItemState(int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    return SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item)) != 0;
}

UINT CListCtrl::GetItemState(int row, UINT mask) const {
    return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(row), mask));
}

int CListCtrl::GetNextItem(int start, int flags) const {
    return static_cast<int>(
        SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
}

int CListCtrl::GetTopIndex() const {
    return static_cast<int>(SendMessage(LVM_GETTOPINDEX));
}

int CListCtrl::GetCountPerPage() const {
    return static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE));
}

// The column goes in `top` and the part in `left`.
bool CListCtrl::GetSubItemRect(int row, int column, int area, RECT& rect) const {
    rect = {};
    rect.top = column;
    rect.left = area;
    return SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&rect)) != 0;
}

int CListCtrl::HitTest(POINT point) const {
    LVHITTESTINFO info{};
    info.pt = {point.x, point.y};
    return static_cast<int>(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
}

// Every extended style: the mask 0 means all of them. Returns the previous styles.
DWORD CListCtrl::SetExtendedStyle(DWORD style) {
    return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
}

DWORD CListCtrl::GetExtendedStyle() const {
    return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
}

void CListCtrl::SetImageList(CImageList* list, int which) {
    SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(which),
                reinterpret_cast<LPARAM>(list != nullptr ? list->m_hImageList : nullptr));
}

HWND CListCtrl::GetHeaderCtrl() const {
    return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
}

// ---- Tree view: https://learn.microsoft.com/windows/win32/controls/tree-view-control-reference

namespace {

LPARAM Item(HTREEITEM item) {
    return reinterpret_cast<LPARAM>(item);
}

HTREEITEM NextItem(const CTreeCtrl& tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(tree.SendMessage(TVM_GETNEXTITEM, relation, Item(item)));
}

}  // namespace

HTREEITEM CTreeCtrl::InsertItem(std::u16string_view text, HTREEITEM parent, HTREEITEM after) {
    std::u16string content(text);
    TVINSERTSTRUCTW insert{};
    insert.hParent = Native(parent != nullptr ? parent : TviRoot());
    insert.hInsertAfter = Native(after != nullptr ? after : TviLast());
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = Text(content);
    return reinterpret_cast<HTREEITEM>(
        SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_PARAM;
    tv.hItem = Native(item);
    tv.lParam = static_cast<::LPARAM>(data);
    return SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) != 0;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_PARAM;
    tv.hItem = Native(item);
    if (SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) == 0)
        return 0;
    return static_cast<DWORD_PTR>(tv.lParam);
}

std::u16string CTreeCtrl::GetItemText(HTREEITEM item) const {
    // No message tells the length: grow until the text fits with room to spare.
    for (std::size_t size = 64;; size *= 4) {
        std::u16string text(size, u'\0');
        TVITEMW tv{};
        tv.mask = TVIF_HANDLE | TVIF_TEXT;
        tv.hItem = Native(item);
        tv.pszText = Text(text);
        tv.cchTextMax = static_cast<int>(size);
        if (SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) == 0)
            return {};
        const std::u16string content = tv.pszText != nullptr ? Ui(tv.pszText) : u"";
        if (content.size() + 1 < size || size >= 32768)
            return content;
    }
}

// The check box is state image 1 (clear) or 2 (ticked).
bool CTreeCtrl::GetCheck(HTREEITEM item) const {
    const auto state = static_cast<UINT>(
        SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
    return (state & TVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

bool CTreeCtrl::SetCheck(HTREEITEM item, bool check) {
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_STATE;
    tv.hItem = Native(item);
    tv.stateMask = TVIS_STATEIMAGEMASK;
    tv.state = INDEXTOSTATEIMAGEMASK(check ? 2 : 1);
    return SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) != 0;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
    return NextItem(*this, TVGN_ROOT, nullptr);
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
    return NextItem(*this, TVGN_PARENT, item);
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    return NextItem(*this, TVGN_CHILD, item);
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    return NextItem(*this, TVGN_NEXT, item);
}

// Whether it has child items now (not the cChildren flag, which callbacks may set).
bool CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
    return GetChildItem(item) != nullptr;
}

bool CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    return SendMessage(TVM_EXPAND, code, Item(item)) != 0;
}

bool CTreeCtrl::IsExpanded(HTREEITEM item) const {
    return (SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
            TVIS_EXPANDED) != 0;
}

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const {
    TVHITTESTINFO info{};
    info.pt = {point.x, point.y};
    const auto item =
        reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (flags != nullptr)
        *flags = info.flags;
    return item;
}

bool CTreeCtrl::SelectItem(HTREEITEM item) {
    return SendMessage(TVM_SELECTITEM, TVGN_CARET, Item(item)) != 0;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const {
    return NextItem(*this, TVGN_CARET, nullptr);
}

// The item goes in the rectangle's first bytes.
bool CTreeCtrl::GetItemRect(HTREEITEM item, RECT* rect, bool textOnly) const {
    if (rect == nullptr)
        return false;
    static_assert(sizeof(RECT) >= sizeof(HTREEITEM));
    *rect = {};
    std::memcpy(static_cast<void*>(rect), &item, sizeof(item));
    return SendMessage(TVM_GETITEMRECT, textOnly ? TRUE : FALSE, reinterpret_cast<LPARAM>(rect)) !=
           0;
}

// ---- Progress bar

bool CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(u"msctls_progress32", {}, style, rect, parent, id);
}

}  // namespace ui
