#include "qc/progress_x.h"

#include "qc/messages.h"

namespace qc {

using namespace ui;

CProgressX::~CProgressX() {
    if (m_hWnd != nullptr)
        DestroyWindow();
}

const MessageMap* CProgressX::GetMessageMap() const {
    static constexpr MessageEntry kEntries[] = {
        OnMessage<&CProgressX::OnDeltaPos>(PBM_DELTAPOS),
        OnMessage<&CProgressX::OnSetRange32>(PBM_SETRANGE32),
        OnMessage<&CProgressX::OnSetPos>(PBM_SETPOS),
        OnMessage<&CProgressX::OnSetRange>(PBM_SETRANGE),
        OnMessage<&CProgressX::OnPaint>(WM_PAINT),
        OnMessage<&CProgressX::OnButtonDown>(WM_LBUTTONDOWN),
        OnMessage<&CProgressX::OnButtonDown>(WM_RBUTTONDOWN),
    };
    static const MessageMap kMap{CProgressCtrl::GetMessageMap(), kEntries, std::size(kEntries)};
    return &kMap;
}

// The whole bar, without erasing: the paint covers every pixel.
void CProgressX::Repaint() {
    InvalidateRect(nullptr, false);
}

LRESULT CProgressX::OnDeltaPos(WPARAM wParam, LPARAM lParam) {
    verdict_ = static_cast<std::uint8_t>(wParam & 0xFF);
    const auto* text = reinterpret_cast<const char16_t*>(lParam);
    text_ = text != nullptr ? text : u"";
    Repaint();
    return 0;
}

LRESULT CProgressX::OnSetRange32(WPARAM wParam, LPARAM) {
    selected_ = static_cast<std::int32_t>(wParam);
    Repaint();
    return 0;
}

LRESULT CProgressX::OnSetPos(WPARAM wParam, LPARAM) {
    position_ = static_cast<std::int32_t>(wParam);
    Repaint();
    return 0;
}

LRESULT CProgressX::OnSetRange(WPARAM wParam, LPARAM lParam) {
    lower_ = static_cast<std::int32_t>(wParam);
    upper_ = static_cast<std::int32_t>(lParam);
    return 0;
}

LRESULT CProgressX::OnPaint(WPARAM, LPARAM) {
    CPaintDC dc(this);
    RECT r;
    GetClientRect(&r);
    const int width = Width(r);
    const int height = Height(r);

    CDC memory;
    memory.CreateCompatibleDC(&dc);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(&dc, width, height);
    const HBITMAP oldBitmap = memory.SelectBitmap(bitmap.GetSafeHandle());

    COLORREF background = kBackground;
    COLORREF foreground = kText;
    if (selected_ != 0) {
        background = GetSysColor(COLOR_HIGHLIGHT);
        foreground = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else if (verdict_ == kPass) {
        background = kPassBackground;
    } else if (verdict_ == kFail) {
        background = kFailBackground;
    }
    memory.FillSolidRect(r, background);

    if (verdict_ == kProgress) {
        memory.Draw3dRect(r, kProgressFrame, kProgressFrame);
        r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        memory.FillSolidRect(r, kProgressEmpty);
        if (position_ > upper_) {
            position_ = upper_;
        } else if (position_ < lower_) {
            position_ = lower_;
        }
        // 64-bit differences: bounds at the ends of the range must not overflow.
        const std::int64_t span = std::int64_t{upper_} - lower_;
        float fraction = 0.0f;
        if (span > 0) {
            fraction = static_cast<float>(std::int64_t{position_} - lower_) * 100.0f /
                       static_cast<float>(span);
        }
        const int filled = static_cast<int>(Width(r) * fraction / 100.0);
        memory.FillSolidRect({r.left, r.top, r.left + filled, r.bottom}, kProgressFilled);
        foreground = kText;  // black on the bar, selected or not
    }

    const auto parentFont = reinterpret_cast<HFONT>(ui::SendMessage(GetParentHwnd(), WM_GETFONT));
    const HFONT oldFont = memory.SelectFont(parentFont);
    memory.SetTextColor(foreground);
    memory.SetBkMode(TRANSPARENT);
    memory.DrawText(text_, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    dc.BitBlt(0, 0, width, height, &memory, 0, 0, SRCCOPY);
    memory.SelectFont(oldFont);
    memory.SelectBitmap(oldBitmap);
    return 0;
}

LRESULT CProgressX::OnButtonDown(WPARAM, LPARAM) {
    // The row is selected before the press takes its default course.
    if (CWnd* main = AfxGetMainWnd(); main != nullptr && main->m_hWnd != nullptr) {
        ui::SendMessage(main->m_hWnd, kMsgBarClicked, 0, 0);
    }
    return Default();
}

}  // namespace qc
