// The mouse on a tree control, as the operator's hand moves it, on either backend.
#pragma once

#include "platform/ui.h"

namespace uitest {

enum class TreePart { kCheckBox, kLabel };

// A point on an item's line: on its check box, just left of the label, or on the label.
ui::POINT PointOn(const ui::RECT& label, TreePart part);
// The cursor moves to `point` (client coordinates), the button goes down and up.
void ClickTree(ui::CTreeCtrl& tree, ui::POINT point);
// A click on an item's check box or label; a failure when the item is not shown.
void ClickTreeItem(ui::CTreeCtrl& tree, ui::HTREEITEM item, TreePart part = TreePart::kCheckBox);

}  // namespace uitest
