// Painting on the headless window system: the update region, the paint context, drawing into
// the canvas, double buffering through a memory context.
#include <functional>

#include "tests/platform/headless_fixture.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

class Canvas : public CWnd {
  public:
    std::function<void(CPaintDC&)> draw;
    std::vector<RECT> painted;
    LRESULT OnPaint(WPARAM, LPARAM) {
        CPaintDC dc(this);
        painted.push_back(dc.m_rcPaint);
        if (draw)
            draw(dc);
        return 0;
    }
    static const MessageEntry kEntries[];
    static const MessageMap kMap;
    const MessageMap* GetMessageMap() const override { return &kMap; }
    bool Make(DWORD style = WS_POPUP | WS_VISIBLE) {
        return Create(u"HeadlessTestWindow", u"", style, {0, 0, 200, 100}, nullptr, 0);
    }
};
const MessageEntry Canvas::kEntries[] = {OnMessage<&Canvas::OnPaint>(WM_PAINT)};
const MessageMap Canvas::kMap{nullptr, kEntries, std::size(kEntries)};

TEST_F(HeadlessTest, TheUpdateRegionGrowsWithInvalidationAndIsValidatedByPainting) {
    Canvas w;
    ASSERT_TRUE(w.Make());
    RECT r;
    EXPECT_TRUE(ui::testing::GetUpdateRect(w, &r)) << "a new visible window awaits painting";
    w.UpdateWindow();
    EXPECT_EQ(w.painted, std::vector<RECT>{(RECT{0, 0, 200, 100})});
    EXPECT_FALSE(ui::testing::GetUpdateRect(w, &r));
    w.UpdateWindow();
    EXPECT_EQ(w.painted.size(), 1u) << "nothing to paint";

    const RECT a{10, 10, 20, 20}, b{30, 5, 40, 15};
    w.InvalidateRect(&a, false);
    w.InvalidateRect(&b, false);
    ASSERT_TRUE(ui::testing::GetUpdateRect(w, &r));
    EXPECT_EQ(r, (RECT{10, 5, 40, 20}));
    w.UpdateWindow();
    EXPECT_EQ(w.painted.back(), (RECT{10, 5, 40, 20}));

    w.ShowWindow(SW_HIDE);
    w.Invalidate();
    EXPECT_FALSE(headless::HasUpdateRegion(w.m_hWnd)) << "hidden windows are not painted";
    w.ShowWindow(SW_SHOW);
    ASSERT_TRUE(ui::testing::GetUpdateRect(w, &r));
    EXPECT_EQ(r, (RECT{0, 0, 200, 100}));

    // A loop paints once nothing else is waiting.
    ui::WhenIdle([] { PostQuitMessage(0); });
    RunMessageLoop();
    EXPECT_EQ(w.painted.size(), 3u);
    EXPECT_FALSE(headless::HasUpdateRegion(w.m_hWnd));
}

TEST_F(HeadlessTest, PaintingFillsPixelsFramesAndRecordsText) {
    Canvas w;
    ASSERT_TRUE(w.Make());
    int heights[3] = {};
    COLORREF bkAfterFill = 0;
    HFONT previousFont = nullptr, restoredFont = nullptr;
    const HFONT other = reinterpret_cast<HFONT>(std::uintptr_t{0x4321});
    w.draw = [&](CPaintDC& dc) {
        dc.FillSolidRect({0, 0, 200, 100}, kGreen);
        bkAfterFill = dc.SetBkColor(RGB(1, 2, 3));
        dc.Draw3dRect({10, 10, 20, 20}, kRed, kBlue);
        dc.SetTextColor(kBlue);
        dc.SetBkMode(TRANSPARENT);
        RECT box{100, 0, 200, 40};
        heights[0] = dc.DrawText(u"centre", box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        RECT line{100, 50, 200, 90};
        heights[1] = dc.DrawText(u"top", line, DT_SINGLELINE);
        RECT two{0, 50, 90, 100};
        heights[2] = dc.DrawText(u"a\nb", two, 0);
        previousFont = dc.SelectFont(other);
        restoredFont = dc.SelectFont(previousFont);
        EXPECT_FALSE(dc.DrawIcon(0, 0, nullptr));
    };
    w.UpdateWindow();
    EXPECT_EQ(bkAfterFill, kGreen) << "FillSolidRect leaves the background colour set";
    EXPECT_EQ((std::vector<int>{heights[0], heights[1], heights[2]}),
              (std::vector<int>{13 + 13, 13, 26}));
    EXPECT_EQ(headless::DescribeFont(previousFont).face, u"MS Shell Dlg")
        << "a context starts with it";
    EXPECT_EQ(restoredFont, other);

    struct Case {
        int x, y;
        COLORREF color;
    };
    const Case frame[] = {
        {10, 10, kRed},  {18, 10, kRed},  {19, 10, kBlue},   // top edge; the top-right corner
        {10, 18, kRed},  {10, 19, kBlue}, {19, 19, kBlue},   // left edge; bottom corners
        {15, 19, kBlue}, {19, 15, kBlue}, {15, 15, kGreen},  // bottom, right, inside
    };
    for (const auto& c : frame)
        EXPECT_EQ(headless::Pixel(w.m_hWnd, c.x, c.y), c.color) << c.x << "," << c.y;
    EXPECT_EQ(headless::Pixel(w.m_hWnd, 200, 0), 0xFFFFFFFFu);

    const auto texts = headless::Texts(w.m_hWnd);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, u"centre");
    EXPECT_EQ(texts[0].rect, (RECT{100, 0, 200, 40}));
    EXPECT_EQ(texts[0].color, kBlue);
    EXPECT_EQ(texts[0].format, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EXPECT_EQ(texts[0].bkMode, TRANSPARENT);

    // Painting only part of the window leaves the rest; covered text is forgotten.
    w.draw = [](CPaintDC& dc) { dc.FillSolidRect({0, 0, 200, 100}, kRed); };
    const RECT part{0, 0, 50, 50};
    w.InvalidateRect(&part, false);
    w.UpdateWindow();
    EXPECT_EQ(headless::Pixel(w.m_hWnd, 10, 10), kRed);
    EXPECT_EQ(headless::Pixel(w.m_hWnd, 60, 60), kGreen);
    EXPECT_EQ(headless::Texts(w.m_hWnd).size(), 3u) << "outside the painted part";
    w.Invalidate(false);
    w.UpdateWindow();
    EXPECT_TRUE(headless::Texts(w.m_hWnd).empty());
}

TEST_F(HeadlessTest, DoubleBufferedPaintingCopiesPixelsAndTextWithTheOffset) {
    Canvas w;
    ASSERT_TRUE(w.Make());
    HBITMAP buffer = nullptr;
    COLORREF bufferCorner = 0;
    std::vector<headless::TextRecord> bufferTexts;
    bool restored = false;
    w.draw = [&](CPaintDC& dc) {
        dc.FillSolidRect({0, 0, 200, 100}, kGreen);
        CDC memory;
        ASSERT_TRUE(memory.CreateCompatibleDC(&dc));
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&dc, 50, 30));
        const HBITMAP old = memory.SelectBitmap(bitmap.GetSafeHandle());
        EXPECT_NE(old, nullptr);
        memory.FillSolidRect({0, 0, 50, 30}, kRed);
        memory.SetTextColor(kBlue);
        RECT t{5, 5, 45, 25};
        memory.DrawText(u"hi", t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EXPECT_TRUE(dc.BitBlt(100, 50, 50, 30, &memory, 0, 0, SRCCOPY));
        buffer = bitmap.GetSafeHandle();
        bufferCorner = headless::BitmapPixel(buffer, 49, 29);
        bufferTexts = headless::BitmapTexts(buffer);
        restored = memory.SelectBitmap(old) == bitmap.GetSafeHandle();
    };
    w.UpdateWindow();
    EXPECT_EQ(bufferCorner, kRed);
    ASSERT_EQ(bufferTexts.size(), 1u);
    EXPECT_TRUE(restored);
    EXPECT_EQ(headless::BitmapPixel(buffer, 0, 0), 0xFFFFFFFFu) << "the bitmap is gone";

    struct Case {
        int x, y;
        COLORREF color;
    };
    const Case pixels[] = {{100, 50, kRed}, {149, 79, kRed}, {150, 80, kGreen}, {99, 50, kGreen}};
    for (const auto& c : pixels)
        EXPECT_EQ(headless::Pixel(w.m_hWnd, c.x, c.y), c.color) << c.x << "," << c.y;
    const auto texts = headless::Texts(w.m_hWnd);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, u"hi");
    EXPECT_EQ(texts[0].rect, (RECT{105, 55, 145, 75}));
    EXPECT_EQ(texts[0].color, kBlue);
}

TEST_F(HeadlessTest, SystemColoursMetricsAndTheCursorAreFixed) {
    struct Case {
        int index;
        COLORREF color;
    };
    const Case colours[] = {{COLOR_HIGHLIGHT, RGB(0, 120, 215)},
                            {COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)},
                            {COLOR_WINDOW, RGB(255, 255, 255)},
                            {COLOR_WINDOWTEXT, RGB(0, 0, 0)},
                            {COLOR_BTNFACE, RGB(240, 240, 240)}};
    for (const auto& c : colours)
        EXPECT_EQ(GetSysColor(c.index), c.color) << c.index;
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
    ui::testing::SetCursorPos({12, 34});
    POINT p;
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p, (POINT{12, 34}));
}

}  // namespace
