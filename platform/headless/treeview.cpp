// The tree view: items, expansion, selection, check boxes (TVS_CHECKBOXES), hit testing and the
// click order of the platform's control (NM_CLICK first; a nonzero answer stops the default).
// It answers the platform's messages with the platform's argument blocks (TVITEMW,
// TVINSERTSTRUCTW, ...), so CTreeCtrl is the same on every backend and workers filling the tree
// run on its thread.
#include <algorithm>
#include <cstring>

#include "platform/headless/core.h"

namespace headless::detail {

namespace {

constexpr UINT kDtNoPrefix = 0x0800;

constexpr int kIndent = 19;
constexpr int kCheckWidth = 13;  // the check boxes' state images
constexpr int kColorBtnShadow = 16;

struct Item {
    std::uintptr_t parent = 0;
    std::vector<std::uintptr_t> children;
    std::u16string text;
    DWORD_PTR data = 0;
    UINT state = 0;
};

struct TreeData : ControlData {
    // The check boxes' state images are made when the tree first paints, as on the platform:
    // until then an item has no state image part, and ticks given before are lost then.
    bool stateImages = false;
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
        if (item.state & TVIS_EXPANDED)
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

Parts PartsOf(HWND tree, const TreeData& d, const Item& item, int depth, const Geometry& g) {
    const DWORD style = StyleOf(tree);
    const int level = kIndent * (depth + ((style & TVS_LINESATROOT) ? 1 : 0));
    const int label = level + ((style & TVS_CHECKBOXES) && d.stateImages ? kCheckWidth : 0);
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
    const bool expand = (code & TVE_TOGGLE) == TVE_TOGGLE ? !(state & TVIS_EXPANDED)
                                                          : (code & TVE_TOGGLE) != TVE_COLLAPSE;
    state = expand ? (state | TVIS_EXPANDED) : (state & ~TVIS_EXPANDED);
    // A collapsed item takes the selection from its hidden descendants.
    if (!expand && d.selected != 0 && IsAncestor(d, h, d.selected)) {
        d.items[d.selected].state &= ~TVIS_SELECTED;
        d.selected = h;
        state |= TVIS_SELECTED;
    }
    InvalidateInternal(tree, nullptr, true, false);
    return true;
}

bool Select(HWND tree, TreeData& d, std::uintptr_t h) {
    if (h != 0 && d.items.find(h) == d.items.end())
        return false;
    if (d.selected != 0)
        d.items[d.selected].state &= ~TVIS_SELECTED;
    d.selected = h;
    if (h != 0) {
        d.items[h].state |= TVIS_SELECTED;
        // The selection is always shown: its ancestors open.
        for (std::uintptr_t p = d.items[h].parent; p != 0; p = d.items[p].parent)
            d.items[p].state |= TVIS_EXPANDED;
    }
    InvalidateInternal(tree, nullptr, true, false);
    return true;
}

std::uintptr_t HitTest(HWND tree, TreeData& d, POINT pt, UINT* flags) {
    const Geometry g = GeometryOf(tree);
    if (pt.y < 0) {
        *flags = TVHT_ABOVE;
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
    const Parts parts = PartsOf(tree, d, item, v.depth, g);
    const DWORD style = StyleOf(tree);
    if (pt.x < parts.level) {
        // The button's column answers for every item, with children or not.
        const bool button = (style & TVS_HASBUTTONS) && pt.x >= parts.level - kIndent;
        *flags = button ? TVHT_ONITEMBUTTON : TVHT_ONITEMINDENT;
    } else if (pt.x < parts.label) {
        *flags = TVHT_ONITEMSTATEICON;
    } else if (pt.x < parts.labelRight) {
        *flags = TVHT_ONITEMLABEL;
    } else {
        *flags = TVHT_ONITEMRIGHT;
    }
    return v.item;
}

bool ItemRect(HWND tree, TreeData& d, std::uintptr_t h, bool textOnly, RECT* rect) {
    const Geometry g = GeometryOf(tree);
    const auto visible = VisibleItems(d);
    for (std::size_t i = 0; i < visible.size(); ++i) {
        if (visible[i].item != h)
            continue;
        // The platform's rectangle leaves out the line's last pixel row.
        const int top = static_cast<int>(i) * g.rowHeight;
        const int bottom = top + g.rowHeight - 1;
        if (textOnly) {
            const Parts parts = PartsOf(tree, d, d.items.at(h), visible[i].depth, g);
            *rect = {parts.label, top, parts.labelRight, bottom};
        } else {
            *rect = {0, top, g.width, bottom};
        }
        return true;
    }
    return false;  // not shown: a parent is collapsed
}

void ToggleCheck(HWND tree, TreeData& d, std::uintptr_t h) {
    UINT& state = d.items[h].state;
    const UINT image = (state & TVIS_STATEIMAGEMASK) >> 12;
    state = (state & ~TVIS_STATEIMAGEMASK) | ((image == 2 ? 1u : 2u) << 12);
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
        else if (flags & TVHT_ONITEMBUTTON)
            Expand(tree, *d, h, TVE_TOGGLE);
    }
    SetFocusInternal(tree);
}

void Paint(HWND tree) {
    Painter p(tree);
    CDC dc(p.dc);
    TreeData* d = DataOfTree(tree);
    if (d == nullptr)
        return;
    const DWORD style = StyleOf(tree);
    if (!std::exchange(d->stateImages, true) && (style & TVS_CHECKBOXES)) {
        // Made now, the check boxes start clear: a tick given before is lost.
        for (auto& [handle, item] : d->items)
            item.state = (item.state & ~TVIS_STATEIMAGEMASK) | StateImageMask(1);
    }
    const Geometry g = GeometryOf(tree);
    const bool focused = FocusOfThisThread() == tree;
    const auto visible = VisibleItems(*d);
    for (std::size_t i = 0; i < visible.size(); ++i) {
        const int top = static_cast<int>(i) * g.rowHeight;
        if (top >= ClientSize(tree).cy)
            break;
        const Item& item = d->items.at(visible[i].item);
        const Parts parts = PartsOf(tree, *d, item, visible[i].depth, g);
        if (style & TVS_CHECKBOXES) {
            const int y = top + (g.rowHeight - 13) / 2;
            const RECT box{parts.check, y, parts.check + 13, y + 13};
            dc.FillSolidRect(box, GetSysColor(COLOR_WINDOW));
            dc.Draw3dRect(box, GetSysColor(kColorBtnShadow), GetSysColor(kColorBtnShadow));
            if (((item.state & TVIS_STATEIMAGEMASK) >> 12) == 2)
                dc.FillSolidRect({box.left + 3, y + 3, box.right - 3, y + 10},
                                 GetSysColor(COLOR_WINDOWTEXT));
        }
        RECT label{parts.label, top, parts.labelRight, top + g.rowHeight};
        const bool highlight =
            (item.state & TVIS_SELECTED) && (focused || (style & TVS_SHOWSELALWAYS));
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

void TreeStyleChanged(HWND tree, DWORD before, DWORD now) {
    TreeData* d = DataOfTree(tree);
    if (d == nullptr || ((before ^ now) & TVS_CHECKBOXES) == 0)
        return;
    // Given the style, the tree makes its check boxes at once, all clear; without it, it drops
    // them.
    const bool boxes = (now & TVS_CHECKBOXES) != 0;
    d->stateImages = boxes;
    for (auto& [handle, item] : d->items)
        item.state = (item.state & ~TVIS_STATEIMAGEMASK) | (boxes ? StateImageMask(1) : 0);
}

namespace {

// ---- The tree's messages, one function each

// Where among its siblings a new item goes: first, last, in order of text, or after another.
std::vector<std::uintptr_t>::iterator InsertPosition(const TreeData& d,
                                                     std::vector<std::uintptr_t>& siblings,
                                                     HTREEITEM after, const std::u16string& text) {
    if (after == TviFirst())
        return siblings.begin();
    if (after == TviSort()) {
        return std::find_if(siblings.begin(), siblings.end(),
                            [&](std::uintptr_t s) { return d.items.at(s).text > text; });
    }
    if (after != TviLast()) {
        const auto found = std::find(siblings.begin(), siblings.end(), HandleValue(after));
        if (found != siblings.end())
            return found + 1;
    }
    return siblings.end();
}

// A new item of a tree with check boxes starts unchecked, unless given its state.
Item NewItem(HWND tree, std::uintptr_t parent, const TVITEMW& given) {
    Item item;
    item.parent = parent;
    if ((given.mask & TVIF_TEXT) && given.pszText != nullptr)
        item.text = given.pszText;
    if (given.mask & TVIF_PARAM)
        item.data = static_cast<DWORD_PTR>(given.lParam);
    if (StyleOf(tree) & TVS_CHECKBOXES)
        item.state = StateImageMask(1);  // unchecked
    if (given.mask & TVIF_STATE)
        item.state = (item.state & ~given.stateMask) | (given.state & given.stateMask);
    return item;
}

LRESULT OnInsertItem(HWND tree, TreeData& d, LPARAM lParam) {
    const auto* insert = reinterpret_cast<const TVINSERTSTRUCTW*>(lParam);
    if (insert == nullptr)
        return 0;
    std::uintptr_t parent = HandleValue(insert->hParent);
    if (insert->hParent == TviRoot())
        parent = 0;
    auto* siblings = SiblingsOf(d, parent);
    if (siblings == nullptr)
        return 0;
    Item item = NewItem(tree, parent, insert->item);
    const auto at = InsertPosition(d, *siblings, insert->hInsertAfter, item.text);
    const std::uintptr_t h = NextHandle();
    siblings->insert(at, h);
    d.items.emplace(h, std::move(item));
    InvalidateInternal(tree, nullptr, true, false);
    return static_cast<LRESULT>(h);
}

// The first child of an item, or the first root for no item.
LRESULT FirstChild(const TreeData& d, std::uintptr_t target) {
    if (target == 0)
        return d.roots.empty() ? 0 : static_cast<LRESULT>(d.roots.front());
    const auto it = d.items.find(target);
    return it == d.items.end() || it->second.children.empty()
               ? 0
               : static_cast<LRESULT>(it->second.children.front());
}

LRESULT OnGetNextItem(TreeData& d, WPARAM wParam, std::uintptr_t target) {
    switch (wParam) {
        case TVGN_ROOT:
            return d.roots.empty() ? 0 : static_cast<LRESULT>(d.roots.front());
        case TVGN_CARET:
            return static_cast<LRESULT>(d.selected);
        case TVGN_CHILD:
            return FirstChild(d, target);
        case TVGN_PARENT: {
            const auto it = d.items.find(target);
            return it == d.items.end() ? 0 : static_cast<LRESULT>(it->second.parent);
        }
        case TVGN_NEXT:
            return static_cast<LRESULT>(Sibling(d, target, 1));
        case TVGN_PREVIOUS:
            return static_cast<LRESULT>(Sibling(d, target, -1));
        default:
            return 0;
    }
}

LRESULT OnGetItem(TreeData& d, LPARAM lParam) {
    auto* item = reinterpret_cast<TVITEMW*>(lParam);
    const auto it = item ? d.items.find(HandleValue(item->hItem)) : d.items.end();
    if (it == d.items.end())
        return FALSE;
    if ((item->mask & TVIF_TEXT) && item->pszText != nullptr && item->cchTextMax > 0) {
        const std::size_t n = std::min<std::size_t>(it->second.text.size(),
                                                    static_cast<std::size_t>(item->cchTextMax) - 1);
        it->second.text.copy(item->pszText, n);
        item->pszText[n] = u'\0';
    }
    if (item->mask & TVIF_PARAM)
        item->lParam = static_cast<LPARAM>(it->second.data);
    if (item->mask & TVIF_STATE)
        item->state = it->second.state & item->stateMask;
    if (item->mask & TVIF_CHILDREN)
        item->cChildren = it->second.children.empty() ? 0 : 1;
    return TRUE;
}

LRESULT OnSetItem(HWND tree, TreeData& d, LPARAM lParam) {
    const auto* item = reinterpret_cast<const TVITEMW*>(lParam);
    const auto it = item ? d.items.find(HandleValue(item->hItem)) : d.items.end();
    if (it == d.items.end())
        return FALSE;
    if (item->mask & TVIF_PARAM)
        it->second.data = static_cast<DWORD_PTR>(item->lParam);
    if (item->mask & TVIF_STATE)
        it->second.state = (it->second.state & ~item->stateMask) | (item->state & item->stateMask);
    if ((item->mask & TVIF_TEXT) && item->pszText != nullptr)
        it->second.text = item->pszText;
    InvalidateInternal(tree, nullptr, true, false);
    return TRUE;
}

LRESULT OnGetItemState(const TreeData& d, WPARAM wParam, LPARAM lParam) {
    const auto it = d.items.find(static_cast<std::uintptr_t>(wParam));
    return it == d.items.end() ? 0
                               : static_cast<LRESULT>(it->second.state & static_cast<UINT>(lParam));
}

// The item comes in the rectangle's first bytes.
LRESULT OnGetItemRect(HWND tree, TreeData& d, WPARAM wParam, LPARAM lParam) {
    auto* rect = reinterpret_cast<RECT*>(lParam);
    if (rect == nullptr)
        return FALSE;
    HTREEITEM item = nullptr;
    std::memcpy(&item, static_cast<const void*>(rect), sizeof(item));
    return ItemRect(tree, d, HandleValue(item), wParam != 0, rect);
}

LRESULT OnHitTest(HWND tree, TreeData& d, LPARAM lParam) {
    auto* hit = reinterpret_cast<TVHITTESTINFO*>(lParam);
    if (hit == nullptr)
        return 0;
    hit->hItem = ToHandle<HTREEITEM>(HitTest(tree, d, hit->pt, &hit->flags));
    return reinterpret_cast<LRESULT>(hit->hItem);
}

// The control follows the mouse until a button message comes: one already queued is taken, as
// the platform's does.
LRESULT OnLButtonDown(HWND tree, LPARAM lParam) {
    TakePosted(tree, WM_LBUTTONDOWN, WM_RBUTTONUP);
    Click(tree, {static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lParam))),
                 static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lParam)))});
    return 0;
}

LRESULT OnRButtonDown(HWND tree) {
    SetFocusInternal(tree);
    NMHDR nm{};
    nm.code = static_cast<UINT>(NM_RCLICK);
    NotifyParent(tree, nm);
    return 0;
}

LRESULT OnFocus(HWND tree, bool gained) {
    NMHDR nm{};
    nm.code = static_cast<UINT>(gained ? NM_SETFOCUS : NM_KILLFOCUS);
    NotifyParent(tree, nm);
    InvalidateInternal(tree, nullptr, true, false);
    return 0;
}

}  // namespace

LRESULT TreeProc(HWND tree, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto keep = Find(tree);
    TreeData* d = DataOfTree(tree);
    if (d == nullptr)
        return 0;
    const auto target = static_cast<std::uintptr_t>(lParam);
    switch (message) {
        case TVM_INSERTITEMW:
            return OnInsertItem(tree, *d, lParam);
        case TVM_GETNEXTITEM:
            return OnGetNextItem(*d, wParam, target);
        case TVM_GETITEMW:
            return OnGetItem(*d, lParam);
        case TVM_SETITEMW:
            return OnSetItem(tree, *d, lParam);
        case TVM_GETITEMSTATE:
            return OnGetItemState(*d, wParam, lParam);
        case TVM_EXPAND:
            return Expand(tree, *d, target, static_cast<UINT>(wParam));
        case TVM_SELECTITEM:
            return wParam == TVGN_CARET && Select(tree, *d, target);
        case TVM_GETITEMRECT:
            return OnGetItemRect(tree, *d, wParam, lParam);
        case TVM_HITTEST:
            return OnHitTest(tree, *d, lParam);
        case WM_LBUTTONDOWN:
            return OnLButtonDown(tree, lParam);
        case WM_RBUTTONDOWN:
            return OnRButtonDown(tree);
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            return OnFocus(tree, message == WM_SETFOCUS);
        case WM_PAINT:
            Paint(tree);
            return 0;
        default:
            return GenericProc(tree, message, wParam, lParam);
    }
}

}  // namespace headless::detail
