// The test-side readers that are messages alone, the same on every backend.
#include "platform/ui_testing.h"

#include <cstring>

namespace ui::testing {

std::u16string GetColumnHeading(HWND list, int column) {
    // No message tells the length: grow until the text fits with room to spare.
    for (std::size_t size = 64;; size *= 4) {
        std::u16string text(size, u'\0');
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT;
        c.pszText = text.data();
        c.cchTextMax = static_cast<int>(size);
        if (SendMessage(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                        reinterpret_cast<LPARAM>(&c)) == 0) {
            return {};
        }
        // The control may answer with its own pointer.
        const std::u16string heading = c.pszText != nullptr ? c.pszText : u"";
        if (heading.size() + 1 < size || size >= 32768)
            return heading;
    }
}

int GetColumnWidth(HWND list, int column) {
    return static_cast<int>(SendMessage(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
}

HIMAGELIST GetImageList(HWND list, int which) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessage(list, LVM_GETIMAGELIST, static_cast<WPARAM>(which)));
}

bool EnsureVisible(HWND list, int row, bool partialOk) {
    return SendMessage(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), partialOk ? 1 : 0) != 0;
}

// Whether it has child items now (not the cChildren flag, which callbacks may set).
bool ItemHasChildren(HWND tree, HTREEITEM item) {
    return SendMessage(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)) != 0;
}

bool IsExpanded(HWND tree, HTREEITEM item) {
    return (SendMessage(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
            TVIS_EXPANDED) != 0;
}

HTREEITEM GetSelectedItem(HWND tree) {
    return reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

// The item goes in the rectangle's first bytes.
bool GetItemRect(HWND tree, HTREEITEM item, RECT* rect, bool textOnly) {
    if (rect == nullptr)
        return false;
    static_assert(sizeof(RECT) >= sizeof(HTREEITEM));
    *rect = {};
    std::memcpy(static_cast<void*>(rect), &item, sizeof(item));
    return SendMessage(tree, TVM_GETITEMRECT, textOnly ? TRUE : FALSE,
                       reinterpret_cast<LPARAM>(rect)) != 0;
}

}  // namespace ui::testing
