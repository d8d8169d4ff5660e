// The check bar on the headless window system: its messages and its recorded painting.
#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/headless.h"
#include "qc/messages.h"
#include "qc/progress_x.h"

namespace {

using namespace ui;
using qc::CProgressX;

constexpr int kWidth = 80;
constexpr int kHeight = 20;
constexpr UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

// What reached the main window and the bar's default procedure, in order.
struct Event {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Event&) const = default;
};

// Stands in for the application's main window: records what the bars send it.
class MainWindow : public CWnd {
  public:
    std::vector<Event>* events = nullptr;
    LRESULT OnBarClicked(WPARAM wParam, LPARAM lParam) {
        events->push_back({m_hWnd, qc::kMsgBarClicked, wParam, lParam});
        return 0;
    }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            OnMessage<&MainWindow::OnBarClicked>(qc::kMsgBarClicked),
        };
        static const MessageMap kMap{CWnd::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

// A bar whose default procedure records the button presses it is given.
class RecordingBar : public CProgressX {
  public:
    std::vector<Event>* events = nullptr;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN)
            events->push_back({m_hWnd, message, wParam, lParam});
        return CProgressX::DefWindowProc(message, wParam, lParam);
    }
};

class CheckBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::testing::Reset();
        main.events = &events;
        bar.events = &events;
        ASSERT_TRUE(
            main.Create(u"Static", u"main", WS_POPUP | WS_VISIBLE, {0, 0, 400, 300}, nullptr, 0));
        app.m_pMainWnd = &main;
        ASSERT_TRUE(
            list.Create(u"Static", u"", WS_CHILD | WS_VISIBLE, {0, 0, 300, 200}, &main, 1000));
        font = reinterpret_cast<HFONT>(main.SendMessage(WM_GETFONT));
        list.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
        ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE | PBS_VERTICAL,
                               {10, 10, 10 + kWidth, 10 + kHeight}, &list, 3));
    }
    void TearDown() override {
        bar.DestroyWindow();
        list.DestroyWindow();
        main.DestroyWindow();
        ui::testing::Reset();
    }

    void Paint() {
        bar.UpdateWindow();
        ASSERT_FALSE(headless::HasUpdateRegion(bar.m_hWnd));
    }
    COLORREF At(int x, int y) const { return headless::Pixel(bar.m_hWnd, x, y); }
    void Verdict(WPARAM verdict, const char16_t* text) {
        bar.SendMessage(PBM_DELTAPOS, verdict, reinterpret_cast<LPARAM>(text));
    }
    headless::TextRecord OnlyText() const {
        const auto texts = headless::Texts(bar.m_hWnd);
        EXPECT_EQ(texts.size(), 1u);
        return texts.empty() ? headless::TextRecord{} : texts.back();
    }

    std::vector<Event> events;
    CWinApp app;
    MainWindow main;
    CWnd list;
    RecordingBar bar;
    HFONT font = nullptr;
};

TEST_F(CheckBarTest, ANewBarIsWhiteWithADash) {
    EXPECT_EQ(bar.verdict(), 0);
    EXPECT_EQ(bar.lower(), 0);
    EXPECT_EQ(bar.upper(), 100);
    EXPECT_EQ(bar.position(), 20);
    Paint();
    for (auto [x, y] : {std::pair{0, 0}, {kWidth - 1, kHeight - 1}, {kWidth / 2, kHeight / 2}}) {
        EXPECT_EQ(At(x, y), RGB(255, 255, 255)) << x << "," << y;
    }
    const auto text = OnlyText();
    EXPECT_EQ(text.text, u"\u2014");
    EXPECT_EQ(text.color, RGB(0, 0, 0));
    EXPECT_EQ(text.format, kTextFormat);
    EXPECT_EQ(text.rect, (RECT{0, 0, kWidth, kHeight}));
    EXPECT_EQ(text.bkMode, TRANSPARENT);
    EXPECT_EQ(text.font, font) << "the text is drawn in the parent's font";
}

TEST_F(CheckBarTest, VerdictColoursAndTexts) {
    struct Case {
        WPARAM verdict;
        const char16_t* text;
        COLORREF background;
        std::uint8_t stored;
    };
    const Case cases[] = {
        {1, u"PASS", RGB(152, 251, 152), 1},     {2, u"FAIL", RGB(255, 192, 203), 2},
        {0x102, u"FAIL", RGB(255, 192, 203), 2},  // only the low 8 bits count
        {0x201, u"PASS", RGB(152, 251, 152), 1}, {0, u"x", RGB(255, 255, 255), 0},
    };
    for (const auto& c : cases) {
        Verdict(c.verdict, c.text);
        EXPECT_TRUE(headless::HasUpdateRegion(bar.m_hWnd)) << "a verdict repaints";
        Paint();
        EXPECT_EQ(bar.verdict(), c.stored);
        EXPECT_EQ(At(1, 1), c.background) << c.verdict;
        EXPECT_EQ(At(kWidth - 1, kHeight - 1), c.background) << c.verdict;
        EXPECT_EQ(OnlyText().text, c.text);
        EXPECT_EQ(OnlyText().color, RGB(0, 0, 0));
    }
}

TEST_F(CheckBarTest, TheSelectedLookWinsOverAnyVerdict) {
    for (auto [verdict, text] : {std::pair{WPARAM{0}, u"\u2014"}, {1, u"PASS"}, {2, u"FAIL"}}) {
        Verdict(verdict, text);
        bar.SendMessage(PBM_SETRANGE32, 1, 0);
        EXPECT_EQ(bar.selected(), 1);
        Paint();
        EXPECT_EQ(At(2, 2), GetSysColor(COLOR_HIGHLIGHT));
        EXPECT_EQ(OnlyText().color, GetSysColor(COLOR_HIGHLIGHTTEXT));
        bar.SendMessage(PBM_SETRANGE32, 0, 0);
        Paint();
        EXPECT_EQ(OnlyText().color, RGB(0, 0, 0));
        EXPECT_EQ(At(2, 2), verdict == 1   ? RGB(152, 251, 152)
                            : verdict == 2 ? RGB(255, 192, 203)
                                           : RGB(255, 255, 255));
    }
}

TEST_F(CheckBarTest, ProgressDisplayClampsAndFills) {
    const COLORREF frame = RGB(128, 128, 128);
    const COLORREF empty = RGB(255, 222, 173);
    const COLORREF filled = RGB(30, 144, 255);
    Verdict(3, u"50%");

    bar.SendMessage(PBM_SETPOS, 150);
    Paint();
    EXPECT_EQ(bar.position(), 100) << "the clamped position is stored";
    EXPECT_EQ(At(0, 0), frame);
    EXPECT_EQ(At(kWidth - 1, kHeight - 1), frame);
    EXPECT_EQ(At(1, 1), filled);
    EXPECT_EQ(At(kWidth - 2, kHeight - 2), filled);
    EXPECT_EQ(OnlyText().rect, (RECT{1, 1, kWidth - 1, kHeight - 1}));

    // Half of the 78 inner pixels.
    bar.SendMessage(PBM_SETPOS, 50);
    Paint();
    EXPECT_EQ(At(1 + 38, 5), filled);
    EXPECT_EQ(At(1 + 39, 5), empty);

    bar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(-5));
    Paint();
    EXPECT_EQ(bar.position(), 0);
    EXPECT_EQ(At(1, 5), empty);

    // Equal bounds: nothing is filled.
    bar.SendMessage(PBM_SETRANGE, 5, 5);
    bar.SendMessage(PBM_SETPOS, 5);
    Paint();
    EXPECT_EQ(At(1, 5), empty);
    EXPECT_EQ(At(kWidth - 2, 5), empty);

    // Selected: the bar keeps its colours and black text.
    bar.SendMessage(PBM_SETRANGE, 0, 100);
    bar.SendMessage(PBM_SETRANGE32, 1, 0);
    Paint();
    EXPECT_EQ(At(0, 0), frame);
    EXPECT_EQ(OnlyText().color, RGB(0, 0, 0));
}

TEST_F(CheckBarTest, ExtremeBoundsDoNotOverflow) {
    Verdict(3, u"");
    bar.SendMessage(PBM_SETRANGE, static_cast<WPARAM>(INT32_MIN), INT32_MAX);
    bar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(INT32_MAX));
    Paint();
    EXPECT_EQ(At(kWidth - 2, 5), RGB(30, 144, 255));
}

TEST_F(CheckBarTest, SetRangeDoesNotRepaintButTheNextPaintUsesIt) {
    Verdict(3, u"");
    bar.SendMessage(PBM_SETPOS, 100);
    Paint();
    bar.SendMessage(PBM_SETRANGE, 0, 200);
    EXPECT_FALSE(headless::HasUpdateRegion(bar.m_hWnd));
    EXPECT_EQ(bar.lower(), 0);
    EXPECT_EQ(bar.upper(), 200);
    EXPECT_EQ(At(kWidth - 2, 5), RGB(30, 144, 255)) << "still the old painting";
    bar.Invalidate(false);
    Paint();
    EXPECT_EQ(At(1 + 38, 5), RGB(30, 144, 255));
    EXPECT_EQ(At(1 + 39, 5), RGB(255, 222, 173));
}

TEST_F(CheckBarTest, AClickTellsTheMainWindowBeforeThePressTakesItsDefaultCourse) {
    Verdict(1, u"PASS");
    const LPARAM at = MAKELPARAM(3, 3);
    EXPECT_EQ(bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at), 0);
    EXPECT_EQ(bar.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, at), 0);
    const Event told{main.m_hWnd, qc::kMsgBarClicked, 0, 0};
    EXPECT_EQ(events, (std::vector<Event>{told,
                                          {bar.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, at},
                                          told,
                                          {bar.m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, at}}));
    events.clear();
    headless::Click(bar.m_hWnd, {4, 4});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], told);
    EXPECT_EQ(events[1].message, WM_LBUTTONDOWN);
}

TEST_F(CheckBarTest, ANullTextIsEmpty) {
    bar.SendMessage(PBM_DELTAPOS, 2, 0);
    Paint();
    EXPECT_EQ(bar.verdict(), 2);
    EXPECT_EQ(OnlyText().text, u"");
}

}  // namespace
