// Compile-time checks: every number and structure of platform/ui_defs.h is the platform's own,
// so that messages, styles and WM_NOTIFY's lParam pass between the system and the platform as is.
#include <cstddef>
#include <iterator>

#include "platform/ui_defs.h"

// Our values, taken while the names still mean ours (before <windows.h> makes them macros).
namespace tavrin_ours {
using namespace ui;
#define TAVRIN_OUR_VALUE(name, type, value) static_cast<long long>(static_cast<type>(ui::name)),
inline constexpr long long kValues[] = {TAVRIN_UI_CONSTANTS(TAVRIN_OUR_VALUE)};
#undef TAVRIN_OUR_VALUE
}  // namespace tavrin_ours

#include "platform/win32/win.h"

// The same list again: each name now expands to the platform's macro, compared element by
// element in the listed type (the platform writes notification codes as unsigned arithmetic).
namespace tavrin_platform {
inline constexpr int kFirst = __COUNTER__ + 1;
#define TAVRIN_CHECK_VALUE(name, type, value)                          \
    static_assert(tavrin_ours::kValues[__COUNTER__ - kFirst] ==        \
                      static_cast<long long>(static_cast<type>(name)), \
                  #name " is not the platform's");
TAVRIN_UI_CONSTANTS(TAVRIN_CHECK_VALUE)
#undef TAVRIN_CHECK_VALUE
static_assert(static_cast<std::size_t>(__COUNTER__ - kFirst) == std::size(tavrin_ours::kValues),
              "a constant went unchecked");
}  // namespace tavrin_platform

#define TAVRIN_SAME_SIZE(ours, theirs) \
    static_assert(sizeof(ours) == sizeof(theirs), #ours " differs in size")
#define TAVRIN_SAME_FIELD(ours, theirs, field)                        \
    static_assert(offsetof(ours, field) == offsetof(theirs, field) && \
                      sizeof(ours::field) == sizeof(theirs::field),   \
                  #ours "::" #field " is not where the platform has it")

TAVRIN_SAME_SIZE(ui::BYTE, ::BYTE);
TAVRIN_SAME_SIZE(ui::WORD, ::WORD);
TAVRIN_SAME_SIZE(ui::DWORD, ::DWORD);
TAVRIN_SAME_SIZE(ui::UINT, ::UINT);
TAVRIN_SAME_SIZE(ui::BOOL, ::BOOL);
TAVRIN_SAME_SIZE(ui::INT_PTR, ::INT_PTR);
TAVRIN_SAME_SIZE(ui::UINT_PTR, ::UINT_PTR);
TAVRIN_SAME_SIZE(ui::DWORD_PTR, ::DWORD_PTR);
TAVRIN_SAME_SIZE(ui::WPARAM, ::WPARAM);
TAVRIN_SAME_SIZE(ui::LPARAM, ::LPARAM);
TAVRIN_SAME_SIZE(ui::LRESULT, ::LRESULT);
TAVRIN_SAME_SIZE(ui::COLORREF, ::COLORREF);
TAVRIN_SAME_SIZE(ui::LANGID, ::LANGID);
TAVRIN_SAME_SIZE(ui::HWND, ::HWND);

TAVRIN_SAME_SIZE(ui::POINT, ::POINT);
TAVRIN_SAME_FIELD(ui::POINT, ::POINT, x);
TAVRIN_SAME_FIELD(ui::POINT, ::POINT, y);
TAVRIN_SAME_SIZE(ui::SIZE, ::SIZE);
TAVRIN_SAME_FIELD(ui::SIZE, ::SIZE, cx);
TAVRIN_SAME_FIELD(ui::SIZE, ::SIZE, cy);
TAVRIN_SAME_SIZE(ui::RECT, ::RECT);
TAVRIN_SAME_FIELD(ui::RECT, ::RECT, left);
TAVRIN_SAME_FIELD(ui::RECT, ::RECT, top);
TAVRIN_SAME_FIELD(ui::RECT, ::RECT, right);
TAVRIN_SAME_FIELD(ui::RECT, ::RECT, bottom);

TAVRIN_SAME_SIZE(ui::NMHDR, ::NMHDR);
TAVRIN_SAME_FIELD(ui::NMHDR, ::NMHDR, hwndFrom);
TAVRIN_SAME_FIELD(ui::NMHDR, ::NMHDR, idFrom);
TAVRIN_SAME_FIELD(ui::NMHDR, ::NMHDR, code);

TAVRIN_SAME_SIZE(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW);
TAVRIN_SAME_FIELD(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW, hdr);
TAVRIN_SAME_FIELD(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW, dwDrawStage);
TAVRIN_SAME_FIELD(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW, hdc);
TAVRIN_SAME_FIELD(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW, rc);
TAVRIN_SAME_FIELD(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW, dwItemSpec);
TAVRIN_SAME_FIELD(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW, uItemState);
TAVRIN_SAME_FIELD(ui::NMCUSTOMDRAW, ::NMCUSTOMDRAW, lItemlParam);

// The whole structure as common controls 6 send it.
TAVRIN_SAME_SIZE(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, nmcd);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, clrText);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, clrTextBk);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, iSubItem);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, dwItemType);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, clrFace);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, iIconEffect);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, iIconPhase);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, iPartId);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, iStateId);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, rcText);
TAVRIN_SAME_FIELD(ui::NMLVCUSTOMDRAW, ::NMLVCUSTOMDRAW, uAlign);

TAVRIN_SAME_SIZE(ui::NMLISTVIEW, ::NMLISTVIEW);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, hdr);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, iItem);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, iSubItem);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, uNewState);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, uOldState);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, uChanged);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, ptAction);
TAVRIN_SAME_FIELD(ui::NMLISTVIEW, ::NMLISTVIEW, lParam);

TAVRIN_SAME_SIZE(ui::NMHEADER, ::NMHEADERW);
TAVRIN_SAME_FIELD(ui::NMHEADER, ::NMHEADERW, hdr);
TAVRIN_SAME_FIELD(ui::NMHEADER, ::NMHEADERW, iItem);
TAVRIN_SAME_FIELD(ui::NMHEADER, ::NMHEADERW, iButton);
TAVRIN_SAME_FIELD(ui::NMHEADER, ::NMHEADERW, pitem);

static_assert(ui::kLangEnglish == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
static_assert(ui::kLangSimplifiedChinese == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
static_assert(ui::kLangTraditionalChinese == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL));
