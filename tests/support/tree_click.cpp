#include "tests/support/tree_click.h"

#include <gtest/gtest.h>

#include "platform/ui_testing.h"

namespace uitest {

using namespace ui;

POINT PointOn(const RECT& label, TreePart part) {
    return {part == TreePart::kLabel ? label.left + 2 : label.left - 3,
            (label.top + label.bottom) / 2};
}

void ClickTree(CTreeCtrl& tree, POINT point) {
    POINT screen = point;
    ui::testing::ClientToScreen(tree, &screen);
    ui::testing::SetCursorPos(screen);
    // The control follows the mouse until the button comes up, so the release is queued first.
    const LPARAM at = MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
    ui::PostMessage(tree.m_hWnd, WM_LBUTTONUP, 0, at);
    ui::SendMessage(tree.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
}

void ClickTreeItem(CTreeCtrl& tree, HTREEITEM item, TreePart part) {
    RECT label{};
    ASSERT_TRUE(ui::testing::GetItemRect(tree, item, &label, true));
    ClickTree(tree, PointOn(label, part));
}

}  // namespace uitest
