// The tree view: items, expansion, selection, check boxes (TVS_CHECKBOXES), hit testing and the
// click order of the platform's control (NM_CLICK first; a nonzero answer stops the default).
// CTreeCtrl sends the control's messages, so workers filling the tree run on its thread.
#include <algorithm>

#include "platform/headless/core.h"

namespace headless::detail {

namespace {

constexpr UINT kTvmExpand = 0x1102;
constexpr UINT kTvmGetItemRect = 0x1104;
constexpr UINT kTvmGetNextItem = 0x110A;
constexpr UINT kTvmSelectItem = 0x110B;
constexpr UINT kTvmHitTest = 0x1111;
constexpr UINT kTvmGetItemState = 0x1127;
constexpr UINT kTvmInsertItem = 0x1132;
constexpr UINT kTvmGetItem = 0x113E;
constexpr UINT kTvmSetItem = 0x113F;

constexpr WPARAM kTvgnRoot = 0x0;
constexpr WPARAM kTvgnNext = 0x1;
constexpr WPARAM kTvgnPrevious = 0x2;
constexpr WPARAM kTvgnParent = 0x3;
constexpr WPARAM kTvgnChild = 0x4;
constexpr WPARAM kTvgnCaret = 0x9;

constexpr UINT kTvifText = 0x0001;
constexpr UINT kTvifParam = 0x0004;
constexpr UINT kTvifState = 0x0008;
constexpr UINT kTvisSelected = 0x0002;
constexpr UINT kTvisExpanded = 0x0020;
constexpr UINT kTvisStateImageMask = 0xF000;
constexpr UINT kTveCollapse = 0x0001;
constexpr UINT kTveToggle = 0x0003;
constexpr UINT kTvhtAbove = 0x0100;
constexpr UINT kTvhtOnItemIndent = 0x0008;
constexpr UINT kTvhtOnItemButton = 0x0010;
constexpr UINT kTvhtOnItemRight = 0x0020;
constexpr DWORD kTvsShowSelAlways = 0x0020;
constexpr std::intptr_t kTviFirst = -0xFFFF;
constexpr std::intptr_t kTviSort = -0xFFFD;
constexpr UINT kDtNoPrefix = 0x0800;

constexpr int kIndent = 19;
constexpr int kCheckWidth = 16;
constexpr int kColorBtnShadow = 16;

struct TvInsert {
    HTREEITEM parent;
    HTREEITEM after;
    const char16_t* text;
};
struct TvItem {
    UINT mask = 0;
    std::u16string* textOut = nullptr;
    DWORD_PTR data = 0;
    UINT state = 0;
    UINT stateMask = 0;
    int children = 0;
};
struct TvRect {
    HTREEITEM item;
    bool textOnly;
    RECT rect;
};
struct TvHit {
    POINT pt;
    UINT flags;
};

struct Item {
    std::uintptr_t parent = 0;
    std::vector<std::uintptr_t> children;
    std::u16string text;
    DWORD_PTR data = 0;
    UINT state = 0;
};

struct TreeData : ControlData {
    std::map<std::uintptr_t, Item> items;
    std::vector<std::uintptr_t> roots;
    std::uintptr_t selected = 0;
};

struct Visible {
    std::uintptr_t item;
    int depth;
};

TreeData* DataOfTree(HWND tree) {
    auto lock = Lock();
    Window* w = FindLocked(tree);
    return w && w->kind == Kind::TreeView ? &DataOf<TreeData>(*w) : nullptr;
}

void Collect(const TreeData& d, const std::vector<std::uintptr_t>& level, int depth,
             std::vector<Visible>* out) {
    for (std::uintptr_t h : level) {
        out->push_back({h, depth});
        const Item& item = d.items.at(h);
        if (item.state & kTvisExpanded)
            Collect(d, item.children, depth + 1, out);
    }
}

std::vector<Visible> VisibleItems(const TreeData& d) {
    std::vector<Visible> out;
    Collect(d, d.roots, 0, &out);
    return out;
}

struct Geometry {
    int rowHeight;
    int width;
    FontMetrics font;
};

Geometry GeometryOf(HWND tree) {
    HFONT font;
    {
        auto lock = Lock();
        const Window* w = FindLocked(tree);
        font = w ? w->font : nullptr;
    }
    const FontMetrics m = MetricsOf(font);
    return {m.lineHeight + 3, ClientSize(tree).cx, m};
}

// Left edges of an item's parts: indent, check box, label.
struct Parts {
    int level;
    int check;
    int label;
    int labelRight;
};

Parts PartsOf(HWND tree, const Item& item, int depth, const Geometry& g) {
    const DWORD style = StyleOf(tree);
    const int level = kIndent * (depth + ((style & TVS_LINESATROOT) ? 1 : 0));
    const int label = level + ((style & TVS_CHECKBOXES) ? kCheckWidth : 0);
    return {level, level, label, label + TextWidth(item.text, g.font) + 4};
}

std::vector<std::uintptr_t>* SiblingsOf(TreeData& d, std::uintptr_t parent) {
    if (parent == 0)
        return &d.roots;
    const auto it = d.items.find(parent);
    return it == d.items.end() ? nullptr : &it->second.children;
}

std::uintptr_t Sibling(TreeData& d, std::uintptr_t h, int step) {
    const auto it = d.items.find(h);
    if (it == d.items.end())
        return 0;
    auto* siblings = SiblingsOf(d, it->second.parent);
    const auto pos = std::find(siblings->begin(), siblings->end(), h) - siblings->begin();
    const auto next = pos + step;
    return next >= 0 && next < static_cast<std::ptrdiff_t>(siblings->size())
               ? (*siblings)[static_cast<std::size_t>(next)]
               : 0;
}

bool IsAncestor(const TreeData& d, std::uintptr_t ancestor, std::uintptr_t h) {
    for (auto it = d.items.find(h); it != d.items.end() && it->second.parent != 0;
         it = d.items.find(it->second.parent)) {
        if (it->second.parent == ancestor)
            return true;
    }
    return false;
}

bool Expand(HWND tree, TreeData& d, std::uintptr_t h, UINT code) {
    const auto it = d.items.find(h);
    if (it == d.items.end() || it->second.children.empty())
        return false;
    UINT& state = it->second.state;
    const bool expand = (code & kTveToggle) == kTveToggle ? !(state & kTvisExpanded)
                                                          : (code & kTveToggle) != kTveCollapse;
    state = expand ? (state | kTvisExpanded) : (state & ~kTvisExpanded);
    // A collapsed item takes the selection from its hidden descendants.
    if (!expand && d.selected != 0 && IsAncestor(d, h, d.selected)) {
        d.items[d.selected].state &= ~kTvisSelected;
        d.selected = h;
        state |= kTvisSelected;
    }
    InvalidateInternal(tree, nullptr, true, false);
    return true;
}

bool Select(HWND tree, TreeData& d, std::uintptr_t h) {
    if (h != 0 && d.items.find(h) == d.items.end())
        return false;
    if (d.selected != 0)
        d.items[d.selected].state &= ~kTvisSelected;
    d.selected = h;
    if (h != 0) {
        d.items[h].state |= kTvisSelected;
        // The selection is always shown: its ancestors open.
        for (std::uintptr_t p = d.items[h].parent; p != 0; p = d.items[p].parent)
            d.items[p].state |= kTvisExpanded;
    }
    InvalidateInternal(tree, nullptr, true, false);
    return true;
}

std::uintptr_t HitTest(HWND tree, TreeData& d, POINT pt, UINT* flags) {
    const Geometry g = GeometryOf(tree);
    if (pt.y < 0) {
        *flags = kTvhtAbove;
        return 0;
    }
    const auto visible = VisibleItems(d);
    const auto index = static_cast<std::size_t>(pt.y / g.rowHeight);
    if (index >= visible.size() || pt.x < 0) {
        *flags = TVHT_NOWHERE;
        return 0;
    }
    const Visible v = visible[index];
    const Item& item = d.items.at(v.item);
    const Parts parts = PartsOf(tree, item, v.depth, g);
    const DWORD style = StyleOf(tree);
    if (pt.x < parts.level) {
        const bool button =
            (style & TVS_HASBUTTONS) && !item.children.empty() && pt.x >= parts.level - kIndent;
        *flags = button ? kTvhtOnItemButton : kTvhtOnItemIndent;
    } else if (pt.x < parts.label) {
        *flags = TVHT_ONITEMSTATEICON;
    } else if (pt.x < parts.labelRight) {
        *flags = TVHT_ONITEMLABEL;
    } else {
        *flags = kTvhtOnItemRight;
    }
    return v.item;
}

bool ItemRect(HWND tree, TreeData& d, std::uintptr_t h, bool textOnly, RECT* rect) {
    const Geometry g = GeometryOf(tree);
    const auto visible = VisibleItems(d);
    for (std::size_t i = 0; i < visible.size(); ++i) {
        if (visible[i].item != h)
            continue;
        const int top = static_cast<int>(i) * g.rowHeight;
        if (textOnly) {
            const Parts parts = PartsOf(tree, d.items.at(h), visible[i].depth, g);
            *rect = {parts.label, top, parts.labelRight, top + g.rowHeight};
        } else {
            *rect = {0, top, g.width, top + g.rowHeight};
        }
        return true;
    }
    return false;  // not shown: a parent is collapsed
}

void ToggleCheck(HWND tree, TreeData& d, std::uintptr_t h) {
    UINT& state = d.items[h].state;
    const UINT image = (state & kTvisStateImageMask) >> 12;
    state = (state & ~kTvisStateImageMask) | ((image == 2 ? 1u : 2u) << 12);
    InvalidateInternal(tree, nullptr, true, false);
}

void Click(HWND tree, POINT pt) {
    TreeData* d = DataOfTree(tree);
    if (d == nullptr)
        return;
    UINT flags = 0;
    const std::uintptr_t h = HitTest(tree, *d, pt, &flags);
    NMHDR nm{};
    nm.code = static_cast<UINT>(NM_CLICK);
    const bool handled = NotifyParent(tree, nm) != 0;
    d = DataOfTree(tree);
    if (!handled && d != nullptr && h != 0 && d->items.count(h)) {
        if (flags & (TVHT_ONITEMLABEL | TVHT_ONITEMICON))
            Select(tree, *d, h);
        else if ((flags & TVHT_ONITEMSTATEICON) && (StyleOf(tree) & TVS_CHECKBOXES))
            ToggleCheck(tree, *d, h);
        else if (flags & kTvhtOnItemButton)
            Expand(tree, *d, h, kTveToggle);
    }
    SetFocusInternal(tree);
}

void Paint(HWND tree) {
    Painter p(tree);
    CDC dc(p.dc);
    TreeData* d = DataOfTree(tree);
    if (d == nullptr)
        return;
    const Geometry g = GeometryOf(tree);
    const DWORD style = StyleOf(tree);
    const bool focused = FocusOfThisThread() == tree;
    const auto visible = VisibleItems(*d);
    for (std::size_t i = 0; i < visible.size(); ++i) {
        const int top = static_cast<int>(i) * g.rowHeight;
        if (top >= ClientSize(tree).cy)
            break;
        const Item& item = d->items.at(visible[i].item);
        const Parts parts = PartsOf(tree, item, visible[i].depth, g);
        if (style & TVS_CHECKBOXES) {
            const int y = top + (g.rowHeight - 13) / 2;
            const RECT box{parts.check + 1, y, parts.check + 14, y + 13};
            dc.FillSolidRect(box, GetSysColor(COLOR_WINDOW));
            dc.Draw3dRect(box, GetSysColor(kColorBtnShadow), GetSysColor(kColorBtnShadow));
            if (((item.state & kTvisStateImageMask) >> 12) == 2)
                dc.FillSolidRect({box.left + 3, y + 3, box.right - 3, y + 10},
                                 GetSysColor(COLOR_WINDOWTEXT));
        }
        RECT label{parts.label, top, parts.labelRight, top + g.rowHeight};
        const bool highlight =
            (item.state & kTvisSelected) && (focused || (style & kTvsShowSelAlways));
        if (highlight)
            dc.FillSolidRect(label, GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(GetSysColor(highlight && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        label.left += 2;
        dc.DrawText(item.text, label, DT_SINGLELINE | DT_VCENTER | kDtNoPrefix);
    }
}

}  // namespace

void InitTree(HWND tree) {
    DataOfTree(tree);
}

LRESULT TreeProc(HWND tree, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto keep = Find(tree);
    TreeData* d = DataOfTree(tree);
    if (d == nullptr)
        return 0;
    const auto target = static_cast<std::uintptr_t>(lParam);
    switch (message) {
        case kTvmInsertItem: {
            const auto* insert = reinterpret_cast<const TvInsert*>(lParam);
            if (insert == nullptr)
                return 0;
            std::uintptr_t parent = HandleValue(insert->parent);
            if (insert->parent == TviRoot())
                parent = 0;
            auto* siblings = SiblingsOf(*d, parent);
            if (siblings == nullptr)
                return 0;
            Item item;
            item.parent = parent;
            item.text = insert->text ? insert->text : u"";
            if (StyleOf(tree) & TVS_CHECKBOXES)
                item.state = 1u << 12;  // unchecked
            const auto after = reinterpret_cast<std::intptr_t>(insert->after);
            auto at = siblings->end();
            if (after == kTviFirst) {
                at = siblings->begin();
            } else if (after == kTviSort) {
                at = std::find_if(siblings->begin(), siblings->end(), [&](std::uintptr_t s) {
                    return d->items.at(s).text > item.text;
                });
            } else if (insert->after != TviLast()) {
                const auto found =
                    std::find(siblings->begin(), siblings->end(), HandleValue(insert->after));
                if (found != siblings->end())
                    at = found + 1;
            }
            const std::uintptr_t h = NextHandle();
            siblings->insert(at, h);
            d->items.emplace(h, std::move(item));
            InvalidateInternal(tree, nullptr, true, false);
            return static_cast<LRESULT>(h);
        }
        case kTvmGetNextItem: {
            switch (wParam) {
                case kTvgnRoot:
                    return d->roots.empty() ? 0 : static_cast<LRESULT>(d->roots.front());
                case kTvgnCaret:
                    return static_cast<LRESULT>(d->selected);
                case kTvgnChild: {
                    if (target == 0)
                        return d->roots.empty() ? 0 : static_cast<LRESULT>(d->roots.front());
                    const auto it = d->items.find(target);
                    return it == d->items.end() || it->second.children.empty()
                               ? 0
                               : static_cast<LRESULT>(it->second.children.front());
                }
                case kTvgnParent: {
                    const auto it = d->items.find(target);
                    return it == d->items.end() ? 0 : static_cast<LRESULT>(it->second.parent);
                }
                case kTvgnNext:
                    return static_cast<LRESULT>(Sibling(*d, target, 1));
                case kTvgnPrevious:
                    return static_cast<LRESULT>(Sibling(*d, target, -1));
                default:
                    return 0;
            }
        }
        case kTvmGetItem: {
            auto* item = reinterpret_cast<TvItem*>(wParam);
            const auto it = d->items.find(target);
            if (item == nullptr || it == d->items.end())
                return FALSE;
            if (item->textOut != nullptr)
                *item->textOut = it->second.text;
            item->data = it->second.data;
            item->state = it->second.state & item->stateMask;
            item->children = it->second.children.empty() ? 0 : 1;
            return TRUE;
        }
        case kTvmSetItem: {
            const auto* item = reinterpret_cast<const TvItem*>(wParam);
            const auto it = d->items.find(target);
            if (item == nullptr || it == d->items.end())
                return FALSE;
            if (item->mask & kTvifParam)
                it->second.data = item->data;
            if (item->mask & kTvifState)
                it->second.state =
                    (it->second.state & ~item->stateMask) | (item->state & item->stateMask);
            if ((item->mask & kTvifText) && item->textOut != nullptr)
                it->second.text = *item->textOut;
            InvalidateInternal(tree, nullptr, true, false);
            return TRUE;
        }
        case kTvmGetItemState: {
            const auto it = d->items.find(static_cast<std::uintptr_t>(wParam));
            return it == d->items.end()
                       ? 0
                       : static_cast<LRESULT>(it->second.state & static_cast<UINT>(lParam));
        }
        case kTvmExpand:
            return Expand(tree, *d, target, static_cast<UINT>(wParam));
        case kTvmSelectItem:
            return wParam == kTvgnCaret && Select(tree, *d, target);
        case kTvmGetItemRect: {
            auto* r = reinterpret_cast<TvRect*>(lParam);
            return r != nullptr && ItemRect(tree, *d, HandleValue(r->item), r->textOnly, &r->rect);
        }
        case kTvmHitTest: {
            auto* hit = reinterpret_cast<TvHit*>(lParam);
            return hit ? static_cast<LRESULT>(HitTest(tree, *d, hit->pt, &hit->flags)) : 0;
        }
        case WM_LBUTTONDOWN:
            Click(tree, {static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lParam))),
                         static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lParam)))});
            return 0;
        case WM_RBUTTONDOWN: {
            SetFocusInternal(tree);
            NMHDR nm{};
            nm.code = static_cast<UINT>(NM_RCLICK);
            NotifyParent(tree, nm);
            return 0;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS: {
            NMHDR nm{};
            nm.code = static_cast<UINT>(message == WM_SETFOCUS ? NM_SETFOCUS : NM_KILLFOCUS);
            NotifyParent(tree, nm);
            InvalidateInternal(tree, nullptr, true, false);
            return 0;
        }
        case WM_PAINT:
            Paint(tree);
            return 0;
        default:
            return GenericProc(tree, message, wParam, lParam);
    }
}

}  // namespace headless::detail

namespace ui {

using namespace headless::detail;

namespace {
LPARAM ItemParam(HTREEITEM item) {
    return static_cast<LPARAM>(HandleValue(item));
}
}  // namespace

HTREEITEM CTreeCtrl::InsertItem(std::u16string_view text, HTREEITEM parent, HTREEITEM after) {
    const std::u16string value(text);
    TvInsert insert{parent, after, value.c_str()};
    return ToHandle<HTREEITEM>(static_cast<std::uintptr_t>(
        SendMessage(kTvmInsertItem, 0, reinterpret_cast<LPARAM>(&insert))));
}

bool CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    TvItem tv;
    tv.mask = kTvifParam;
    tv.data = data;
    return SendMessage(kTvmSetItem, reinterpret_cast<WPARAM>(&tv), ItemParam(item)) != 0;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    TvItem tv;
    tv.mask = kTvifParam;
    return SendMessage(kTvmGetItem, reinterpret_cast<WPARAM>(&tv), ItemParam(item)) ? tv.data : 0;
}

std::u16string CTreeCtrl::GetItemText(HTREEITEM item) const {
    std::u16string text;
    TvItem tv;
    tv.mask = kTvifText;
    tv.textOut = &text;
    SendMessage(kTvmGetItem, reinterpret_cast<WPARAM>(&tv), ItemParam(item));
    return text;
}

bool CTreeCtrl::GetCheck(HTREEITEM item) const {
    const auto state = static_cast<UINT>(
        SendMessage(kTvmGetItemState, reinterpret_cast<WPARAM>(item), kTvisStateImageMask));
    return (state >> 12) == 2;
}

bool CTreeCtrl::SetCheck(HTREEITEM item, bool check) {
    TvItem tv;
    tv.mask = kTvifState;
    tv.state = (check ? 2u : 1u) << 12;
    tv.stateMask = kTvisStateImageMask;
    return SendMessage(kTvmSetItem, reinterpret_cast<WPARAM>(&tv), ItemParam(item)) != 0;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
    return ToHandle<HTREEITEM>(
        static_cast<std::uintptr_t>(SendMessage(kTvmGetNextItem, kTvgnRoot)));
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
    return ToHandle<HTREEITEM>(
        static_cast<std::uintptr_t>(SendMessage(kTvmGetNextItem, kTvgnParent, ItemParam(item))));
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    return ToHandle<HTREEITEM>(
        static_cast<std::uintptr_t>(SendMessage(kTvmGetNextItem, kTvgnChild, ItemParam(item))));
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    return ToHandle<HTREEITEM>(
        static_cast<std::uintptr_t>(SendMessage(kTvmGetNextItem, kTvgnNext, ItemParam(item))));
}

bool CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
    TvItem tv;
    return SendMessage(kTvmGetItem, reinterpret_cast<WPARAM>(&tv), ItemParam(item)) &&
           tv.children > 0;
}

bool CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    return SendMessage(kTvmExpand, code, ItemParam(item)) != 0;
}

bool CTreeCtrl::IsExpanded(HTREEITEM item) const {
    return (SendMessage(kTvmGetItemState, reinterpret_cast<WPARAM>(item), kTvisExpanded) &
            kTvisExpanded) != 0;
}

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const {
    TvHit hit{point, 0};
    const auto item =
        static_cast<std::uintptr_t>(SendMessage(kTvmHitTest, 0, reinterpret_cast<LPARAM>(&hit)));
    if (flags != nullptr)
        *flags = hit.flags;
    return ToHandle<HTREEITEM>(item);
}

bool CTreeCtrl::SelectItem(HTREEITEM item) {
    return SendMessage(kTvmSelectItem, kTvgnCaret, ItemParam(item)) != 0;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const {
    return ToHandle<HTREEITEM>(
        static_cast<std::uintptr_t>(SendMessage(kTvmGetNextItem, kTvgnCaret)));
}

bool CTreeCtrl::GetItemRect(HTREEITEM item, RECT* rect, bool textOnly) const {
    TvRect r{item, textOnly, {}};
    const bool ok = SendMessage(kTvmGetItemRect, textOnly, reinterpret_cast<LPARAM>(&r)) != 0;
    if (ok && rect != nullptr)
        *rect = r.rect;
    return ok;
}

}  // namespace ui
