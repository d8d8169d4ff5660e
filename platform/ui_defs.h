// The window system's numbers and structures as the system's windows see them: the platform's own
// values, so that the system code reads the same on every backend. The Win32 backend checks every
// constant here against <windows.h> and <commctrl.h> (platform/win32/ui_checks.cpp).
#pragma once

#include <cstdint>

namespace ui {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = DWORD;
using LANGID = WORD;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Opaque handles: only the backend that made one knows what it points to.
struct HWND__;
struct HDC__;
struct HICON__;
struct HFONT__;
struct HBITMAP__;
struct HMENU__;
struct HTREEITEM__;
struct HIMAGELIST__;
using HWND = HWND__*;
using HDC = HDC__*;
using HICON = HICON__*;
using HFONT = HFONT__*;
using HBITMAP = HBITMAP__*;
using HMENU = HMENU__*;
using HTREEITEM = HTREEITEM__*;
using HIMAGELIST = HIMAGELIST__*;

struct POINT {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
struct SIZE {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};
struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};
inline bool operator==(const POINT& a, const POINT& b) {
    return a.x == b.x && a.y == b.y;
}
inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::int32_t Width(const RECT& r) {
    return r.right - r.left;
}
inline std::int32_t Height(const RECT& r) {
    return r.bottom - r.top;
}
inline bool PtInRect(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return COLORREF{r} | (COLORREF{g} << 8) | (COLORREF{b} << 16);
}
constexpr BYTE GetRValue(COLORREF c) {
    return static_cast<BYTE>(c & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c) {
    return static_cast<BYTE>((c >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c) {
    return static_cast<BYTE>((c >> 16) & 0xFF);
}
constexpr WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
    return WPARAM{low} | (WPARAM{high} << 16);
}
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
    return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

// Languages of the resources.
inline constexpr LANGID kLangEnglish = 0x0409;
inline constexpr LANGID kLangSimplifiedChinese = 0x0804;
inline constexpr LANGID kLangTraditionalChinese = 0x0404;

// Notification headers, laid out as the platform's (the Win32 backend passes its own through).
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
struct NMCUSTOMDRAW {
    NMHDR hdr;
    DWORD dwDrawStage;
    HDC hdc;
    RECT rc;
    DWORD_PTR dwItemSpec;
    UINT uItemState;
    LPARAM lItemlParam;
};
struct NMLVCUSTOMDRAW {
    NMCUSTOMDRAW nmcd;
    COLORREF clrText;
    COLORREF clrTextBk;
    int iSubItem;
    DWORD dwItemType;
    COLORREF clrFace;
    int iIconEffect;
    int iIconPhase;
    int iPartId;
    int iStateId;
    RECT rcText;
    UINT uAlign;
};
struct NMLISTVIEW {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
};
struct NMHEADER {
    NMHDR hdr;
    int iItem;
    int iButton;
    void* pitem;
};

// List-view and tree-view argument blocks, laid out as the platform's (common controls 6).
struct LVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    char16_t* pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
    int iGroupId;
    UINT cColumns;
    UINT* puColumns;
    int* piColFmt;
    int iGroup;
};
struct LVCOLUMNW {
    UINT mask;
    int fmt;
    int cx;
    char16_t* pszText;
    int cchTextMax;
    int iSubItem;
    int iImage;
    int iOrder;
    int cxMin;
    int cxDefault;
    int cxIdeal;
};
struct LVHITTESTINFO {
    POINT pt;
    UINT flags;
    int iItem;
    int iSubItem;
    int iGroup;
};
struct TVITEMW {
    UINT mask;
    HTREEITEM hItem;
    UINT state;
    UINT stateMask;
    char16_t* pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    LPARAM lParam;
};
struct TVITEMEXW {
    UINT mask;
    HTREEITEM hItem;
    UINT state;
    UINT stateMask;
    char16_t* pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    LPARAM lParam;
    int iIntegral;
    UINT uStateEx;
    HWND hwnd;
    int iExpandedImage;
    int iReserved;
};
struct TVINSERTSTRUCTW {
    HTREEITEM hParent;
    HTREEITEM hInsertAfter;
    union {
        TVITEMEXW itemex;
        TVITEMW item;
    };
};
struct TVHITTESTINFO {
    POINT pt;
    UINT flags;
    HTREEITEM hItem;
};

// A tree item's state image index in its state bits (1: box clear, 2: ticked).
constexpr UINT StateImageMask(UINT index) {
    return index << 12;
}

// Handle-valued constants.
inline HWND HwndTopmost() {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
}
inline HWND HwndNoTopmost() {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));
}
inline HTREEITEM TviRoot() {
    return reinterpret_cast<HTREEITEM>(-static_cast<std::intptr_t>(0x10000));
}
inline HTREEITEM TviLast() {
    return reinterpret_cast<HTREEITEM>(-static_cast<std::intptr_t>(0xFFFE));
}
inline HTREEITEM TviFirst() {
    return reinterpret_cast<HTREEITEM>(-static_cast<std::intptr_t>(0xFFFF));
}
inline HTREEITEM TviSort() {
    return reinterpret_cast<HTREEITEM>(-static_cast<std::intptr_t>(0xFFFD));
}

// name, type, value: checked one by one against the platform headers.
#define TAVRIN_UI_CONSTANTS(X)                     \
    X(WM_CREATE, UINT, 0x0001)                     \
    X(WM_DESTROY, UINT, 0x0002)                    \
    X(WM_MOVE, UINT, 0x0003)                       \
    X(WM_SIZE, UINT, 0x0005)                       \
    X(WM_SETFOCUS, UINT, 0x0007)                   \
    X(WM_KILLFOCUS, UINT, 0x0008)                  \
    X(WM_ENABLE, UINT, 0x000A)                     \
    X(WM_SETTEXT, UINT, 0x000C)                    \
    X(WM_GETTEXT, UINT, 0x000D)                    \
    X(WM_GETTEXTLENGTH, UINT, 0x000E)              \
    X(WM_PAINT, UINT, 0x000F)                      \
    X(WM_CLOSE, UINT, 0x0010)                      \
    X(WM_QUIT, UINT, 0x0012)                       \
    X(WM_ERASEBKGND, UINT, 0x0014)                 \
    X(WM_SHOWWINDOW, UINT, 0x0018)                 \
    X(WM_SETFONT, UINT, 0x0030)                    \
    X(WM_GETFONT, UINT, 0x0031)                    \
    X(WM_ICONERASEBKGND, UINT, 0x0027)             \
    X(WM_QUERYDRAGICON, UINT, 0x0037)              \
    X(WM_NOTIFY, UINT, 0x004E)                     \
    X(WM_GETICON, UINT, 0x007F)                    \
    X(WM_SETICON, UINT, 0x0080)                    \
    X(WM_NCDESTROY, UINT, 0x0082)                  \
    X(WM_KEYDOWN, UINT, 0x0100)                    \
    X(WM_CHAR, UINT, 0x0102)                       \
    X(WM_INITDIALOG, UINT, 0x0110)                 \
    X(WM_COMMAND, UINT, 0x0111)                    \
    X(WM_SYSCOMMAND, UINT, 0x0112)                 \
    X(WM_TIMER, UINT, 0x0113)                      \
    X(WM_LBUTTONDOWN, UINT, 0x0201)                \
    X(WM_LBUTTONUP, UINT, 0x0202)                  \
    X(WM_RBUTTONDOWN, UINT, 0x0204)                \
    X(WM_RBUTTONUP, UINT, 0x0205)                  \
    X(WM_DEVICECHANGE, UINT, 0x0219)               \
    X(WM_USER, UINT, 0x0400)                       \
    X(DM_GETDEFID, UINT, 0x0400)                   \
    X(DM_SETDEFID, UINT, 0x0401)                   \
    X(WM_APP, UINT, 0x8000)                        \
    X(IDOK, int, 1)                                \
    X(IDCANCEL, int, 2)                            \
    X(VK_RETURN, UINT, 0x0D)                       \
    X(VK_ESCAPE, UINT, 0x1B)                       \
    X(SC_MINIMIZE, UINT, 0xF020)                   \
    X(SC_CLOSE, UINT, 0xF060)                      \
    X(SC_RESTORE, UINT, 0xF120)                    \
    X(MK_LBUTTON, UINT, 0x0001)                    \
    X(MK_RBUTTON, UINT, 0x0002)                    \
    X(WS_OVERLAPPED, DWORD, 0x00000000)            \
    X(WS_POPUP, DWORD, 0x80000000)                 \
    X(WS_CHILD, DWORD, 0x40000000)                 \
    X(WS_MINIMIZE, DWORD, 0x20000000)              \
    X(WS_VISIBLE, DWORD, 0x10000000)               \
    X(WS_DISABLED, DWORD, 0x08000000)              \
    X(WS_CLIPSIBLINGS, DWORD, 0x04000000)          \
    X(WS_CLIPCHILDREN, DWORD, 0x02000000)          \
    X(WS_CAPTION, DWORD, 0x00C00000)               \
    X(WS_BORDER, DWORD, 0x00800000)                \
    X(WS_VSCROLL, DWORD, 0x00200000)               \
    X(WS_HSCROLL, DWORD, 0x00100000)               \
    X(WS_SYSMENU, DWORD, 0x00080000)               \
    X(WS_GROUP, DWORD, 0x00020000)                 \
    X(WS_TABSTOP, DWORD, 0x00010000)               \
    X(WS_MINIMIZEBOX, DWORD, 0x00020000)           \
    X(WS_MAXIMIZEBOX, DWORD, 0x00010000)           \
    X(WS_EX_TOPMOST, DWORD, 0x00000008)            \
    X(WS_EX_CLIENTEDGE, DWORD, 0x00000200)         \
    X(WS_EX_APPWINDOW, DWORD, 0x00040000)          \
    X(ES_CENTER, DWORD, 0x0001)                    \
    X(ES_UPPERCASE, DWORD, 0x0008)                 \
    X(ES_AUTOHSCROLL, DWORD, 0x0080)               \
    X(BS_PUSHBUTTON, DWORD, 0x0000)                \
    X(BS_DEFPUSHBUTTON, DWORD, 0x0001)             \
    X(BS_AUTOCHECKBOX, DWORD, 0x0003)              \
    X(BS_GROUPBOX, DWORD, 0x0007)                  \
    X(CBS_DROPDOWNLIST, DWORD, 0x0003)             \
    X(PBS_VERTICAL, DWORD, 0x04)                   \
    X(LVS_REPORT, DWORD, 0x0001)                   \
    X(LVS_SINGLESEL, DWORD, 0x0004)                \
    X(LVS_SHOWSELALWAYS, DWORD, 0x0008)            \
    X(LVS_SHAREIMAGELISTS, DWORD, 0x0040)          \
    X(LVS_NOCOLUMNHEADER, DWORD, 0x4000)           \
    X(LVS_EX_GRIDLINES, DWORD, 0x00000001)         \
    X(LVS_EX_FULLROWSELECT, DWORD, 0x00000020)     \
    X(TVS_HASBUTTONS, DWORD, 0x0001)               \
    X(TVS_HASLINES, DWORD, 0x0002)                 \
    X(TVS_LINESATROOT, DWORD, 0x0004)              \
    X(TVS_CHECKBOXES, DWORD, 0x0100)               \
    X(BN_CLICKED, UINT, 0)                         \
    X(EN_CHANGE, UINT, 0x0300)                     \
    X(CBN_SELCHANGE, UINT, 1)                      \
    X(BM_GETCHECK, UINT, 0x00F0)                   \
    X(BM_SETCHECK, UINT, 0x00F1)                   \
    X(BM_CLICK, UINT, 0x00F5)                      \
    X(BST_UNCHECKED, int, 0)                       \
    X(BST_CHECKED, int, 1)                         \
    X(CB_ERR, int, -1)                             \
    X(CB_ADDSTRING, UINT, 0x0143)                  \
    X(CB_GETCOUNT, UINT, 0x0146)                   \
    X(CB_GETCURSEL, UINT, 0x0147)                  \
    X(CB_GETLBTEXT, UINT, 0x0148)                  \
    X(CB_GETLBTEXTLEN, UINT, 0x0149)               \
    X(CB_RESETCONTENT, UINT, 0x014B)               \
    X(CB_SETCURSEL, UINT, 0x014E)                  \
    X(PBM_SETRANGE, UINT, 0x0401)                  \
    X(PBM_SETPOS, UINT, 0x0402)                    \
    X(PBM_DELTAPOS, UINT, 0x0403)                  \
    X(PBM_SETRANGE32, UINT, 0x0406)                \
    X(SW_HIDE, int, 0)                             \
    X(SW_SHOWNORMAL, int, 1)                       \
    X(SW_SHOWNOACTIVATE, int, 4)                   \
    X(SW_SHOW, int, 5)                             \
    X(SW_MINIMIZE, int, 6)                         \
    X(SW_RESTORE, int, 9)                          \
    X(SWP_NOSIZE, UINT, 0x0001)                    \
    X(SWP_NOMOVE, UINT, 0x0002)                    \
    X(SWP_NOZORDER, UINT, 0x0004)                  \
    X(SWP_NOACTIVATE, UINT, 0x0010)                \
    X(MF_STRING, UINT, 0x0000)                     \
    X(MF_SEPARATOR, UINT, 0x0800)                  \
    X(TRANSPARENT, int, 1)                         \
    X(OPAQUE, int, 2)                              \
    X(SRCCOPY, DWORD, 0x00CC0020)                  \
    X(DT_CENTER, UINT, 0x0001)                     \
    X(DT_VCENTER, UINT, 0x0004)                    \
    X(DT_SINGLELINE, UINT, 0x0020)                 \
    X(COLOR_WINDOW, int, 5)                        \
    X(COLOR_WINDOWTEXT, int, 8)                    \
    X(COLOR_HIGHLIGHT, int, 13)                    \
    X(COLOR_HIGHLIGHTTEXT, int, 14)                \
    X(COLOR_BTNFACE, int, 15)                      \
    X(SM_CYCAPTION, int, 4)                        \
    X(SM_CYFIXEDFRAME, int, 8)                     \
    X(SM_CXICON, int, 11)                          \
    X(SM_CYICON, int, 12)                          \
    X(ICON_SMALL, int, 0)                          \
    X(ICON_BIG, int, 1)                            \
    X(LVCFMT_LEFT, int, 0x0000)                    \
    X(LVCFMT_CENTER, int, 0x0002)                  \
    X(LVCFMT_RIGHT, int, 0x0001)                   \
    X(LVCF_FMT, UINT, 0x0001)                      \
    X(LVCF_WIDTH, UINT, 0x0002)                    \
    X(LVCF_TEXT, UINT, 0x0004)                     \
    X(LVIS_FOCUSED, UINT, 0x0001)                  \
    X(LVIS_SELECTED, UINT, 0x0002)                 \
    X(LVIF_TEXT, UINT, 0x0001)                     \
    X(LVIF_PARAM, UINT, 0x0004)                    \
    X(LVIF_STATE, UINT, 0x0008)                    \
    X(LVIR_BOUNDS, int, 0)                         \
    X(LVIR_ICON, int, 1)                           \
    X(LVIR_LABEL, int, 2)                          \
    X(LVNI_ALL, int, 0x0000)                       \
    X(LVNI_FOCUSED, int, 0x0001)                   \
    X(LVNI_SELECTED, int, 0x0002)                  \
    X(LVHT_NOWHERE, UINT, 0x0001)                  \
    X(LVHT_ONITEMICON, UINT, 0x0002)               \
    X(LVHT_ONITEMLABEL, UINT, 0x0004)              \
    X(LVSIL_NORMAL, int, 0)                        \
    X(LVSIL_SMALL, int, 1)                         \
    X(LVM_GETIMAGELIST, UINT, 0x1002)              \
    X(LVM_SETIMAGELIST, UINT, 0x1003)              \
    X(LVM_GETITEMCOUNT, UINT, 0x1004)              \
    X(LVM_DELETEITEM, UINT, 0x1008)                \
    X(LVM_DELETEALLITEMS, UINT, 0x1009)            \
    X(LVM_GETNEXTITEM, UINT, 0x100C)               \
    X(LVM_HITTEST, UINT, 0x1012)                   \
    X(LVM_DELETECOLUMN, UINT, 0x101C)              \
    X(LVM_GETCOLUMNWIDTH, UINT, 0x101D)            \
    X(LVM_SETCOLUMNWIDTH, UINT, 0x101E)            \
    X(LVM_GETHEADER, UINT, 0x101F)                 \
    X(LVM_ENSUREVISIBLE, UINT, 0x1013)             \
    X(LVM_GETTOPINDEX, UINT, 0x1027)               \
    X(LVM_GETCOUNTPERPAGE, UINT, 0x1028)           \
    X(LVM_SETITEMSTATE, UINT, 0x102B)              \
    X(LVM_GETITEMSTATE, UINT, 0x102C)              \
    X(LVM_SETEXTENDEDLISTVIEWSTYLE, UINT, 0x1036)  \
    X(LVM_GETEXTENDEDLISTVIEWSTYLE, UINT, 0x1037)  \
    X(LVM_GETSUBITEMRECT, UINT, 0x1038)            \
    X(LVM_GETITEMW, UINT, 0x104B)                  \
    X(LVM_SETITEMW, UINT, 0x104C)                  \
    X(LVM_INSERTITEMW, UINT, 0x104D)               \
    X(LVM_GETCOLUMNW, UINT, 0x105F)                \
    X(LVM_INSERTCOLUMNW, UINT, 0x1061)             \
    X(LVM_GETITEMTEXTW, UINT, 0x1073)              \
    X(LVM_SETITEMTEXTW, UINT, 0x1074)              \
    X(HDM_GETITEMCOUNT, UINT, 0x1200)              \
    X(ILC_COLOR, UINT, 0x0000)                     \
    X(NM_CLICK, int, -2)                           \
    X(NM_RCLICK, int, -5)                          \
    X(NM_SETFOCUS, int, -7)                        \
    X(NM_KILLFOCUS, int, -8)                       \
    X(NM_CUSTOMDRAW, int, -12)                     \
    X(LVN_ITEMCHANGING, int, -100)                 \
    X(LVN_ITEMCHANGED, int, -101)                  \
    X(HDN_BEGINTRACKW, int, -326)                  \
    X(HDN_ENDTRACKW, int, -327)                    \
    X(CDDS_PREPAINT, DWORD, 0x00000001)            \
    X(CDDS_POSTPAINT, DWORD, 0x00000002)           \
    X(CDDS_ITEM, DWORD, 0x00010000)                \
    X(CDDS_ITEMPREPAINT, DWORD, 0x00010001)        \
    X(CDDS_ITEMPOSTPAINT, DWORD, 0x00010002)       \
    X(CDDS_SUBITEM, DWORD, 0x00020000)             \
    X(CDRF_DODEFAULT, LRESULT, 0x00000000)         \
    X(CDRF_SKIPDEFAULT, LRESULT, 0x00000004)       \
    X(CDRF_NOTIFYPOSTPAINT, LRESULT, 0x00000010)   \
    X(CDRF_NOTIFYITEMDRAW, LRESULT, 0x00000020)    \
    X(CDRF_NOTIFYSUBITEMDRAW, LRESULT, 0x00000020) \
    X(CDIS_SELECTED, UINT, 0x0001)                 \
    X(CDIS_FOCUS, UINT, 0x0010)                    \
    X(LVN_INSERTITEM, int, -102)                   \
    X(LVN_DELETEITEM, int, -103)                   \
    X(LVN_DELETEALLITEMS, int, -104)               \
    X(TVS_SHOWSELALWAYS, DWORD, 0x0020)            \
    X(TVIF_TEXT, UINT, 0x0001)                     \
    X(TVIF_PARAM, UINT, 0x0004)                    \
    X(TVIF_STATE, UINT, 0x0008)                    \
    X(TVIF_HANDLE, UINT, 0x0010)                   \
    X(TVIF_CHILDREN, UINT, 0x0040)                 \
    X(TVIS_SELECTED, UINT, 0x0002)                 \
    X(TVIS_EXPANDED, UINT, 0x0020)                 \
    X(TVIS_STATEIMAGEMASK, UINT, 0xF000)           \
    X(TVGN_ROOT, UINT, 0x0000)                     \
    X(TVGN_NEXT, UINT, 0x0001)                     \
    X(TVGN_PREVIOUS, UINT, 0x0002)                 \
    X(TVGN_PARENT, UINT, 0x0003)                   \
    X(TVGN_CHILD, UINT, 0x0004)                    \
    X(TVGN_CARET, UINT, 0x0009)                    \
    X(TVE_COLLAPSE, UINT, 0x0001)                  \
    X(TVE_EXPAND, UINT, 0x0002)                    \
    X(TVE_TOGGLE, UINT, 0x0003)                    \
    X(TVHT_NOWHERE, UINT, 0x0001)                  \
    X(TVHT_ONITEMICON, UINT, 0x0002)               \
    X(TVHT_ONITEMLABEL, UINT, 0x0004)              \
    X(TVHT_ONITEMINDENT, UINT, 0x0008)             \
    X(TVHT_ONITEMBUTTON, UINT, 0x0010)             \
    X(TVHT_ONITEMRIGHT, UINT, 0x0020)              \
    X(TVHT_ONITEMSTATEICON, UINT, 0x0040)          \
    X(TVHT_ABOVE, UINT, 0x0100)                    \
    X(TVM_EXPAND, UINT, 0x1102)                    \
    X(TVM_GETITEMRECT, UINT, 0x1104)               \
    X(TVM_GETNEXTITEM, UINT, 0x110A)               \
    X(TVM_SELECTITEM, UINT, 0x110B)                \
    X(TVM_HITTEST, UINT, 0x1111)                   \
    X(TVM_GETITEMSTATE, UINT, 0x1127)              \
    X(TVM_INSERTITEMW, UINT, 0x1132)               \
    X(TVM_GETITEMW, UINT, 0x113E)                  \
    X(TVM_SETITEMW, UINT, 0x113F)                  \
    X(DBT_DEVICEARRIVAL, UINT, 0x8000)             \
    X(DBT_DEVICEREMOVECOMPLETE, UINT, 0x8004)      \
    X(ICC_WIN95_CLASSES, DWORD, 0x000000FF)        \
    X(OFN_OVERWRITEPROMPT, DWORD, 0x00000002)      \
    X(OFN_HIDEREADONLY, DWORD, 0x00000004)         \
    X(OFN_PATHMUSTEXIST, DWORD, 0x00000800)        \
    X(OFN_FILEMUSTEXIST, DWORD, 0x00001000)        \
    X(OFN_EXPLORER, DWORD, 0x00080000)

// After <windows.h> these names are the platform's macros; the Win32 backend includes this header
// first and then checks them (TAVRIN_UI_CHECK_CONSTANTS).
#define TAVRIN_UI_DECLARE_CONSTANT(name, type, value) inline constexpr type name = value;
TAVRIN_UI_CONSTANTS(TAVRIN_UI_DECLARE_CONSTANT)
#undef TAVRIN_UI_DECLARE_CONSTANT

}  // namespace ui
