// The check bar: an owner-painted bar lying over a result row's "Check" cell that shows the
// row's verdict, "PASS" on pale green or "FAIL" on pink, and the list's selection look.
//
// Messages (each returns 0):
//   PBM_DELTAPOS   wParam verdict (low 8 bits), lParam the text (char16_t*); repaint
//   PBM_SETRANGE32 wParam selected flag; repaint
//   PBM_SETPOS     wParam position; repaint
//   PBM_SETRANGE   wParam lower bound, lParam upper bound; no repaint
//   WM_LBUTTONDOWN / WM_RBUTTONDOWN: WM_USER+1 sent to the application's main window first
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui.h"

namespace qc {

class CProgressX : public ui::CProgressCtrl {
  public:
    enum Verdict : std::uint8_t { kNone = 0, kPass = 1, kFail = 2, kProgress = 3 };

    static constexpr ui::COLORREF kBackground = ui::RGB(255, 255, 255);
    static constexpr ui::COLORREF kPassBackground = ui::RGB(152, 251, 152);
    static constexpr ui::COLORREF kFailBackground = ui::RGB(255, 192, 203);
    static constexpr ui::COLORREF kText = ui::RGB(0, 0, 0);
    static constexpr ui::COLORREF kProgressFrame = ui::RGB(128, 128, 128);
    static constexpr ui::COLORREF kProgressEmpty = ui::RGB(255, 222, 173);
    static constexpr ui::COLORREF kProgressFilled = ui::RGB(30, 144, 255);

    CProgressX() = default;
    ~CProgressX() override;

    std::int32_t selected() const { return selected_; }
    std::int32_t lower() const { return lower_; }
    std::int32_t upper() const { return upper_; }
    std::int32_t position() const { return position_; }
    std::uint8_t verdict() const { return verdict_; }
    const std::u16string& text() const { return text_; }

    const ui::MessageMap* GetMessageMap() const override;

  private:
    ui::LRESULT OnDeltaPos(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnSetRange32(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnSetPos(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnSetRange(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnPaint(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnButtonDown(ui::WPARAM wParam, ui::LPARAM lParam);
    void Repaint();

    std::int32_t selected_ = 0;
    std::int32_t lower_ = 0;
    std::int32_t upper_ = 100;
    std::int32_t position_ = 20;
    std::uint8_t verdict_ = kNone;
    std::u16string text_ = u"\u2014";  // em dash until the row is checked
};

}  // namespace qc
