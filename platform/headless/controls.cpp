// The simple built-in classes: buttons and tick boxes, edit boxes, static texts, drop-down
// lists and progress bars. Each paints itself into its canvas (frame, box, bar, text).
#include <algorithm>

#include "platform/headless/core.h"
#include "platform/text.h"

namespace headless::detail {

namespace {

constexpr DWORD kBsTypeMask = 0x000F;
constexpr DWORD kBsCheckBox = 0x0002;
constexpr DWORD kBsAutoRadioButton = 0x0009;
constexpr DWORD kBsRadioButton = 0x0004;
constexpr DWORD kEsMultiline = 0x0004;
constexpr DWORD kEsReadOnly = 0x0800;
constexpr UINT kEnUpdate = 0x0400;
constexpr DWORD kCbsSort = 0x0100;
constexpr DWORD kSsCenter = 0x0001;
constexpr DWORD kSsRight = 0x0002;
constexpr UINT kDtLeft = 0x0000;
constexpr UINT kDtRight = 0x0002;
constexpr UINT kPbmSetStep = 0x0404;
constexpr UINT kPbmStepIt = 0x0405;
constexpr UINT kPbmGetRange = 0x0407;
constexpr UINT kPbmGetPos = 0x0408;
constexpr int kColorBtnShadow = 16;
constexpr int kColorGrayText = 17;

bool Enabled(HWND window) {
    return !(StyleOf(window) & WS_DISABLED);
}

std::u16string TextOf(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->text : std::u16string();
}

void SetText(HWND window, std::u16string text) {
    auto lock = Lock();
    if (Window* w = FindLocked(window))
        w->text = std::move(text);
}

RECT ClientRect(HWND window) {
    const SIZE size = ClientSize(window);
    return {0, 0, size.cx, size.cy};
}

void PaintText(CDC& dc, std::u16string_view text, RECT rect, UINT format, COLORREF color) {
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(color);
    dc.DrawText(text, rect, format | DT_SINGLELINE | DT_VCENTER);
}

// ---- Button

struct ButtonData : ControlData {
    int check = BST_UNCHECKED;
    bool pressed = false;
};

bool Checkable(DWORD type) {
    return type == kBsCheckBox || type == BS_AUTOCHECKBOX || type == kBsRadioButton ||
           type == kBsAutoRadioButton || type == 5 || type == 6;
}

void PaintButton(HWND window, const ButtonData& data) {
    Painter p(window);
    CDC dc(p.dc);
    const DWORD type = StyleOf(window) & kBsTypeMask;
    const RECT client = ClientRect(window);
    const COLORREF text =
        Enabled(window) ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(kColorGrayText);
    dc.FillSolidRect(client, GetSysColor(COLOR_BTNFACE));
    if (Checkable(type)) {
        const int top = (Height(client) - 13) / 2;
        const RECT box{0, top, 13, top + 13};
        dc.FillSolidRect(box, GetSysColor(COLOR_WINDOW));
        dc.Draw3dRect(box, GetSysColor(kColorBtnShadow), GetSysColor(COLOR_WINDOW));
        if (data.check == BST_CHECKED)
            dc.FillSolidRect({3, top + 3, 10, top + 10}, GetSysColor(COLOR_WINDOWTEXT));
        PaintText(dc, TextOf(window), {16, client.top, client.right, client.bottom}, kDtLeft, text);
    } else if (type == BS_GROUPBOX) {
        PaintText(dc, TextOf(window), {8, 0, client.right, 13}, kDtLeft, text);
    } else {
        if (type == BS_DEFPUSHBUTTON)
            dc.Draw3dRect(client, GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_HIGHLIGHT));
        else
            dc.Draw3dRect(client, GetSysColor(COLOR_WINDOW), GetSysColor(kColorBtnShadow));
        PaintText(dc, TextOf(window), client, DT_CENTER, text);
    }
}

// ---- Drop-down list

struct ComboData : ControlData {
    std::vector<std::u16string> items;
    int selection = -1;
};

// ---- Progress bar

struct ProgressData : ControlData {
    int low = 0;
    int high = 100;
    int pos = 0;
    int step = 10;
};

LRESULT Range(const ProgressData& d) {
    return static_cast<LRESULT>(MAKELPARAM(static_cast<WORD>(d.low), static_cast<WORD>(d.high)) &
                                0xFFFFFFFF);
}

void Clamp(ProgressData& d) {
    d.pos = std::clamp(d.pos, std::min(d.low, d.high), std::max(d.low, d.high));
}

}  // namespace

std::u16string UpperCase(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& c : upper) {
        if ((c >= u'a' && c <= u'z') || (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) ||
            (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) || (c >= 0x0430 && c <= 0x044F) ||
            (c >= 0xFF41 && c <= 0xFF5A)) {
            c = static_cast<char16_t>(c - 0x20);
        } else if (c >= 0x0450 && c <= 0x045F) {
            c = static_cast<char16_t>(c - 0x50);
        }
    }
    return upper;
}

LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto w = Find(window);
    if (w == nullptr)
        return 0;
    auto& data = DataOf<ButtonData>(*w);
    const DWORD type = StyleOf(window) & kBsTypeMask;
    switch (message) {
        case BM_GETCHECK:
            return Checkable(type) ? data.check : BST_UNCHECKED;
        case BM_SETCHECK:
            if (Checkable(type) && data.check != static_cast<int>(wParam)) {
                data.check = static_cast<int>(wParam);
                InvalidateInternal(window, nullptr, false, false);
            }
            return 0;
        case BM_CLICK:
            // A click even on a disabled button, as the platform's: only the mouse never
            // reaches a disabled window.
            if (Enabled(window))
                ui::SendMessage(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            else
                data.pressed = true;
            ui::SendMessage(window, WM_LBUTTONUP, 0, 0);
            return 0;
        case WM_LBUTTONDOWN:
            if (!Enabled(window))
                return 0;
            data.pressed = true;
            SetFocusInternal(window);
            return 0;
        case WM_LBUTTONUP: {
            if (!std::exchange(data.pressed, false))
                return 0;
            // The box changes before the parent hears of the click.
            if (type == BS_AUTOCHECKBOX) {
                ui::SendMessage(window, BM_SETCHECK,
                                data.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            } else if (type == kBsAutoRadioButton) {
                for (HWND sibling : ChildrenOf(GetParentInternal(window))) {
                    if (sibling != window && (StyleOf(sibling) & kBsTypeMask) == kBsAutoRadioButton)
                        ui::SendMessage(sibling, BM_SETCHECK, BST_UNCHECKED);
                }
                ui::SendMessage(window, BM_SETCHECK, BST_CHECKED);
            }
            CommandParent(window, BN_CLICKED);
            return 0;
        }
        case WM_SETTEXT:
            GenericProc(window, message, wParam, lParam);
            InvalidateInternal(window, nullptr, true, false);
            return TRUE;
        case WM_ENABLE:
            InvalidateInternal(window, nullptr, true, false);
            return 0;
        case WM_PAINT:
            PaintButton(window, data);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painted whole in WM_PAINT
        default:
            return GenericProc(window, message, wParam, lParam);
    }
}

LRESULT EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const DWORD style = StyleOf(window);
    auto changed = [&] {
        InvalidateInternal(window, nullptr, true, false);
        CommandParent(window, kEnUpdate);
        CommandParent(window, EN_CHANGE);
    };
    switch (message) {
        case WM_CREATE:
            if (style & ES_UPPERCASE)
                SetText(window, UpperCase(TextOf(window)));
            return 0;
        case WM_SETTEXT: {
            // ES_UPPERCASE converts whatever goes in, set text included.
            const auto* text = reinterpret_cast<const char16_t*>(lParam);
            const std::u16string value = text ? std::u16string(text) : std::u16string();
            SetText(window, (style & ES_UPPERCASE) ? UpperCase(value) : value);
            if (style & kEsMultiline)
                InvalidateInternal(window, nullptr, true, false);
            else
                changed();
            return TRUE;
        }
        case WM_CHAR: {
            if (style & kEsReadOnly)
                return 0;
            std::u16string text = TextOf(window);
            const auto c = static_cast<char16_t>(wParam);
            if (c == 0x08) {
                if (text.empty())
                    return 0;
                text.pop_back();
            } else if (c >= 0x20) {
                text +=
                    (style & ES_UPPERCASE) ? UpperCase(std::u16string(1, c)) : std::u16string(1, c);
            } else {
                return 0;
            }
            SetText(window, text);
            changed();
            return 0;
        }
        case WM_LBUTTONDOWN:
            SetFocusInternal(window);
            return 0;
        case WM_PAINT: {
            Painter p(window);
            CDC dc(p.dc);
            const RECT client = ClientRect(window);
            const bool plain = Enabled(window) && !(style & kEsReadOnly);
            dc.FillSolidRect(client, GetSysColor(plain ? COLOR_WINDOW : COLOR_BTNFACE));
            PaintText(dc, TextOf(window),
                      {client.left + 1, client.top, client.right - 1, client.bottom},
                      (style & ES_CENTER) ? DT_CENTER : kDtLeft,
                      GetSysColor(Enabled(window) ? COLOR_WINDOWTEXT : kColorGrayText));
            return 0;
        }
        case WM_ENABLE:
            InvalidateInternal(window, nullptr, true, false);
            return 0;
        default:
            return GenericProc(window, message, wParam, lParam);
    }
}

LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
            GenericProc(window, message, wParam, lParam);
            InvalidateInternal(window, nullptr, true, false);
            return TRUE;
        case WM_ENABLE:
            InvalidateInternal(window, nullptr, true, false);
            return 0;
        case WM_PAINT: {
            Painter p(window);
            CDC dc(p.dc);
            const DWORD style = StyleOf(window);
            const DWORD align = style & 0x1F;
            const RECT client = ClientRect(window);
            dc.FillSolidRect(client, GetSysColor(COLOR_BTNFACE));
            PaintText(dc, TextOf(window), client,
                      align == kSsCenter  ? DT_CENTER
                      : align == kSsRight ? kDtRight
                                          : kDtLeft,
                      GetSysColor(Enabled(window) ? COLOR_WINDOWTEXT : kColorGrayText));
            return 0;
        }
        default:
            return GenericProc(window, message, wParam, lParam);
    }
}

namespace {

// ---- The drop-down list's messages

// A sorted list puts the entry after those equal to it; the selection moves with its entry.
LRESULT ComboAddString(HWND window, ComboData& data, LPARAM lParam) {
    const auto* text = reinterpret_cast<const char16_t*>(lParam);
    const std::u16string item = text ? std::u16string(text) : std::u16string();
    auto at = data.items.end();
    if (StyleOf(window) & kCbsSort)
        at = std::upper_bound(data.items.begin(), data.items.end(), item, platform::LessNoCase);
    const int position = static_cast<int>(at - data.items.begin());
    data.items.insert(at, item);
    if (data.selection >= position)
        ++data.selection;
    return position;
}

LRESULT ComboSetCurSel(HWND window, ComboData& data, int index) {
    InvalidateInternal(window, nullptr, true, false);
    // -1 clears the selection; an index beyond the list leaves it as it was, as the real
    // control does whatever its documentation says.
    if (index == -1)
        data.selection = -1;
    if (index < 0 || index >= static_cast<int>(data.items.size()))
        return CB_ERR;
    data.selection = index;
    return index;
}

LRESULT ComboGetLbText(const ComboData& data, int index, LPARAM lParam) {
    if (index < 0 || index >= static_cast<int>(data.items.size()))
        return CB_ERR;
    const auto& item = data.items[static_cast<std::size_t>(index)];
    auto* buffer = reinterpret_cast<char16_t*>(lParam);
    if (buffer != nullptr) {
        item.copy(buffer, item.size());
        buffer[item.size()] = u'\0';
    }
    return static_cast<LRESULT>(item.size());
}

LRESULT ComboGetLbTextLen(const ComboData& data, int index) {
    return index < 0 || index >= static_cast<int>(data.items.size())
               ? CB_ERR
               : static_cast<LRESULT>(data.items[static_cast<std::size_t>(index)].size());
}

LRESULT ComboResetContent(HWND window, ComboData& data) {
    data.items.clear();
    data.selection = -1;
    InvalidateInternal(window, nullptr, true, false);
    return 0;
}

LRESULT ComboGetTextLength(const ComboData& data) {
    return data.selection < 0
               ? 0
               : static_cast<LRESULT>(data.items[static_cast<std::size_t>(data.selection)].size());
}

// A drop-down list's text is its selected entry.
LRESULT ComboGetText(const ComboData& data, WPARAM size, LPARAM lParam) {
    auto* buffer = reinterpret_cast<char16_t*>(lParam);
    if (size == 0 || buffer == nullptr)
        return 0;
    const std::u16string text = data.selection < 0
                                    ? std::u16string()
                                    : data.items[static_cast<std::size_t>(data.selection)];
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    text.copy(buffer, n);
    buffer[n] = u'\0';
    return static_cast<LRESULT>(n);
}

void PaintCombo(HWND window, const ComboData& data) {
    Painter p(window);
    CDC dc(p.dc);
    const RECT client = ClientRect(window);
    dc.FillSolidRect(client, GetSysColor(Enabled(window) ? COLOR_WINDOW : COLOR_BTNFACE));
    dc.FillSolidRect({std::max(0, client.right - 17), 0, client.right, client.bottom},
                     GetSysColor(COLOR_BTNFACE));
    if (data.selection >= 0) {
        PaintText(dc, data.items[static_cast<std::size_t>(data.selection)],
                  {2, 0, std::max(2, client.right - 17), client.bottom}, kDtLeft,
                  GetSysColor(COLOR_WINDOWTEXT));
    }
}

}  // namespace

LRESULT ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto w = Find(window);
    if (w == nullptr)
        return 0;
    auto& data = DataOf<ComboData>(*w);
    const int index = static_cast<int>(wParam);
    switch (message) {
        case CB_ADDSTRING:
            return ComboAddString(window, data, lParam);
        case CB_GETCOUNT:
            return static_cast<int>(data.items.size());
        case CB_GETCURSEL:
            return data.selection;
        case CB_SETCURSEL:
            return ComboSetCurSel(window, data, index);
        case CB_GETLBTEXT:
            return ComboGetLbText(data, index, lParam);
        case CB_GETLBTEXTLEN:
            return ComboGetLbTextLen(data, index);
        case CB_RESETCONTENT:
            return ComboResetContent(window, data);
        case WM_GETTEXTLENGTH:
            return ComboGetTextLength(data);
        case WM_GETTEXT:
            return ComboGetText(data, wParam, lParam);
        case WM_SETTEXT:
            return CB_ERR;  // no edit field
        case WM_LBUTTONDOWN:
            SetFocusInternal(window);
            return 0;
        case WM_PAINT:
            PaintCombo(window, data);
            return 0;
        default:
            return GenericProc(window, message, wParam, lParam);
    }
}

LRESULT ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto w = Find(window);
    if (w == nullptr)
        return 0;
    auto& d = DataOf<ProgressData>(*w);
    const int before = d.pos;
    auto moved = [&] {
        Clamp(d);
        if (d.pos != before)
            InvalidateInternal(window, nullptr, false, false);
        return static_cast<LRESULT>(before);
    };
    switch (message) {
        case PBM_SETRANGE: {
            const LRESULT old = Range(d);
            d.low = LOWORD(static_cast<std::uintptr_t>(lParam));
            d.high = HIWORD(static_cast<std::uintptr_t>(lParam));
            moved();
            InvalidateInternal(window, nullptr, false, false);
            return old;
        }
        case PBM_SETRANGE32: {
            const LRESULT old = Range(d);
            d.low = static_cast<int>(wParam);
            d.high = static_cast<int>(lParam);
            moved();
            InvalidateInternal(window, nullptr, false, false);
            return old;
        }
        case PBM_SETPOS:
            d.pos = static_cast<int>(wParam);
            return moved();
        case PBM_DELTAPOS:
            d.pos += static_cast<int>(wParam);
            return moved();
        case kPbmSetStep:
            return std::exchange(d.step, static_cast<int>(wParam));
        case kPbmStepIt:
            d.pos += d.step;
            if (d.pos > d.high && d.high > d.low)
                d.pos = d.low + (d.pos - d.high) % (d.high - d.low);
            return moved();
        case kPbmGetPos:
            return d.pos;
        case kPbmGetRange:
            if (auto* range = reinterpret_cast<int*>(lParam)) {
                range[0] = d.low;
                range[1] = d.high;
            }
            return wParam ? d.low : d.high;
        case WM_PAINT: {
            Painter p(window);
            CDC dc(p.dc);
            const RECT client = ClientRect(window);
            dc.FillSolidRect(client, GetSysColor(COLOR_BTNFACE));
            const int span = std::max(1, d.high - d.low);
            if (StyleOf(window) & PBS_VERTICAL) {
                const int filled = Height(client) * (d.pos - d.low) / span;
                dc.FillSolidRect({0, client.bottom - filled, client.right, client.bottom},
                                 GetSysColor(COLOR_HIGHLIGHT));
            } else {
                const int filled = Width(client) * (d.pos - d.low) / span;
                dc.FillSolidRect({0, 0, filled, client.bottom}, GetSysColor(COLOR_HIGHLIGHT));
            }
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        default:
            return GenericProc(window, message, wParam, lParam);
    }
}

}  // namespace headless::detail

namespace ui {

bool CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(u"msctls_progress32", u"", style, rect, parent, id);
}

}  // namespace ui
