// The Win32 backend of the class library: menus, image lists and the progress bar's creation.

#include "platform/win32/ui_internal.h"

namespace ui {

using namespace win32;

// ---- Menus

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-appendmenuw
bool CMenu::AppendMenu(UINT flags, UINT_PTR id, std::u16string_view text) {
    const std::u16string item(text);
    const wchar_t* content = (flags & MF_SEPARATOR) != 0 ? nullptr : Native(item.c_str());
    return AppendMenuW(Native(m_hMenu), flags, id, content) != FALSE;
}

int testing::GetMenuItemCount(HMENU menu) {
    return ::GetMenuItemCount(Native(menu));
}

UINT testing::GetMenuItemID(HMENU menu, int position) {
    return ::GetMenuItemID(Native(menu), position);
}

std::u16string testing::GetMenuString(HMENU menu, int position) {
    const int length =
        GetMenuStringW(Native(menu), static_cast<UINT>(position), nullptr, 0, MF_BYPOSITION);
    if (length <= 0)
        return {};
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    const int copied = GetMenuStringW(Native(menu), static_cast<UINT>(position),
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

// ---- Progress bar

bool CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(u"msctls_progress32", {}, style, rect, parent, id);
}

}  // namespace ui
