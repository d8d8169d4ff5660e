// Windows on the headless window system: message-table routing, the default procedure,
// wrappers, geometry, visibility, styles and the system menu.
#include <string>
#include <vector>

#include "tests/platform/headless_fixture.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;
using headless_test::Recorder;

constexpr UINT kBaseRaw = WM_USER + 1;

class Base : public CWnd {
  public:
    std::vector<std::string> calls;
    void OnBase10() { calls.push_back("base 10"); }
    void OnBase12() { calls.push_back("base 12"); }
    LRESULT OnRaw(WPARAM, LPARAM) {
        calls.push_back("base raw");
        return 3;
    }
    static const MessageEntry kEntries[];
    static const MessageMap kMap;
    const MessageMap* GetMessageMap() const override { return &kMap; }
};
const MessageEntry Base::kEntries[] = {
    OnCommand<&Base::OnBase10>(10),
    OnCommand<&Base::OnBase12>(12),
    OnMessage<&Base::OnRaw>(kBaseRaw),
};
const MessageMap Base::kMap{nullptr, kEntries, std::size(kEntries)};

class Derived : public Base {
  public:
    void OnFirst() { calls.push_back("first"); }
    void OnSecond() { calls.push_back("second"); }
    void OnClick(NMHDR* header, LRESULT* result) {
        calls.push_back("notify " + std::to_string(header->idFrom));
        *result = 5;
    }
    LRESULT OnSetText(WPARAM, LPARAM) {
        calls.push_back("settext");
        return Default();
    }
    static const MessageEntry kEntries[];
    static const MessageMap kMap;
    const MessageMap* GetMessageMap() const override { return &kMap; }
};
const MessageEntry Derived::kEntries[] = {
    OnCommand<&Derived::OnFirst>(10),
    OnCommand<&Derived::OnSecond>(10),
    OnNotify<&Derived::OnClick>(kAnyId, NM_CLICK),
    OnMessage<&Derived::OnSetText>(WM_SETTEXT),
};
const MessageMap Derived::kMap{&Base::kMap, kEntries, std::size(kEntries)};

TEST_F(HeadlessTest, MessageTablesMatchInOrderThenTheBaseThenTheDefault) {
    Derived window;
    ASSERT_TRUE(window.Create(u"HeadlessTestWindow", u"", WS_POPUP, {0, 0, 200, 100}, nullptr, 0));
    NMHDR click{nullptr, 7, static_cast<UINT>(NM_CLICK)};
    NMHDR rclick{nullptr, 7, static_cast<UINT>(NM_RCLICK)};
    struct Case {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::vector<std::string> calls;
        LRESULT result;
    };
    const Case cases[] = {
        {WM_COMMAND, MAKEWPARAM(10, BN_CLICKED), 0, {"first"}, 0},
        {WM_COMMAND, MAKEWPARAM(10, EN_CHANGE), 0, {}, 0},
        {WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), 0, {"base 12"}, 0},
        {kBaseRaw, 0, 0, {"base raw"}, 3},
        {WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&click), {"notify 7"}, 5},
        {WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&rclick), {}, 0},
    };
    for (const auto& c : cases) {
        window.calls.clear();
        EXPECT_EQ(window.SendMessage(c.message, c.wParam, c.lParam), c.result) << c.message;
        EXPECT_EQ(window.calls, c.calls) << c.message;
    }

    // A real button's click reaches the table through its parent.
    CButton button;
    ASSERT_TRUE(
        button.Create(u"Button", u"Go", WS_CHILD | WS_VISIBLE, {0, 0, 50, 20}, &window, 10));
    window.calls.clear();
    button.SendMessage(BM_CLICK);
    EXPECT_EQ(window.calls, std::vector<std::string>{"first"});

    // Default() hands the message being handled to the default procedure.
    window.calls.clear();
    window.SetWindowText(u"kept");
    EXPECT_EQ(window.calls, std::vector<std::string>{"settext"});
    EXPECT_EQ(window.GetWindowText(), u"kept");
}

TEST_F(HeadlessTest, AttachedWrappersAreFoundButDoNotRoute) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop());
    Recorder routed;
    ASSERT_TRUE(routed.Create(u"Edit", u"", WS_CHILD | WS_VISIBLE, {0, 0, 50, 20}, &host, 3));
    Recorder wrapper;
    EXPECT_FALSE(wrapper.Attach(nullptr));
    EXPECT_FALSE(wrapper.Attach(routed.m_hWnd)) << "one object per window, as on the platform";
    EXPECT_EQ(CWnd::FromHandle(routed.m_hWnd), &routed);

    CWnd maker;
    ASSERT_TRUE(maker.Create(u"Edit", u"", WS_CHILD | WS_VISIBLE, {0, 30, 50, 50}, &host, 4));
    const HWND bare = maker.Detach();
    ASSERT_TRUE(wrapper.Attach(bare));
    EXPECT_EQ(CWnd::FromHandle(bare), &wrapper);
    wrapper.SetWindowText(u"abc");
    EXPECT_TRUE(wrapper.seen.empty());
    EXPECT_EQ(wrapper.GetWindowText(), u"abc");
    EXPECT_FALSE(CWnd().Attach(bare)) << "already attached";
    EXPECT_FALSE(wrapper.Attach(host.m_hWnd)) << "a wrapper holds one window";
    EXPECT_EQ(wrapper.Detach(), bare);
    EXPECT_EQ(wrapper.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandle(bare), nullptr);
}

TEST_F(HeadlessTest, ChildRectanglesAreRelativeToTheParentsClientArea) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop({100, 50, 400, 350}, WS_POPUP | WS_CAPTION | WS_VISIBLE));
    CWnd child;
    ASSERT_TRUE(
        child.Create(u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, {10, 20, 110, 40}, &host, 1));
    CWnd list;
    ASSERT_TRUE(
        list.Create(u"SysListView32", u"", WS_CHILD | WS_VISIBLE, {0, 0, 60, 60}, &host, 2));
    RECT r;
    host.GetClientRect(&r);
    EXPECT_EQ(r, (RECT{0, 0, 300 - 6, 300 - 26 - 3}));  // caption 23 and a 3-pixel frame
    child.GetWindowRect(&r);
    EXPECT_EQ(r, (RECT{113, 96, 213, 116}));
    child.GetClientRect(&r);
    EXPECT_EQ(r, (RECT{0, 0, 98, 18}));
    POINT p{0, 0};
    ui::testing::ClientToScreen(child, &p);
    EXPECT_EQ(p, (POINT{114, 97}));
    host.ScreenToClient(&p);
    EXPECT_EQ(p, (POINT{11, 21}));
    EXPECT_EQ(child.GetParentHwnd(), host.m_hWnd);
    EXPECT_EQ(headless::Children(host.m_hWnd), (std::vector<HWND>{child.m_hWnd, list.m_hWnd}));
    EXPECT_EQ(ui::testing::ClassName(list.m_hWnd), u"SysListView32");

    child.MoveWindow({0, 0, 40, 10});
    child.GetClientRect(&r);
    EXPECT_EQ(r, (RECT{0, 0, 38, 8}));
    EXPECT_EQ(headless::CanvasSize(child.m_hWnd).cx, 38);
}

TEST_F(HeadlessTest, VisibilityEnablingStylesAndIconicState) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop({0, 0, 200, 200}, WS_POPUP | WS_SYSMENU));
    CWnd child;
    ASSERT_TRUE(child.Create(u"Static", u"", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, &host, 1));
    EXPECT_FALSE(child.IsWindowVisible()) << "the parent is hidden";
    EXPECT_FALSE(host.ShowWindow(SW_SHOW));
    EXPECT_TRUE(child.IsWindowVisible());
    EXPECT_TRUE(host.ShowWindow(SW_SHOW));
    EXPECT_EQ(host.Messages({WM_SHOWWINDOW}).size(), 1u);

    EXPECT_FALSE(child.EnableWindow(false));
    EXPECT_TRUE(child.EnableWindow(false));
    EXPECT_FALSE(ui::testing::IsWindowEnabled(child));
    EXPECT_TRUE(child.EnableWindow(true));

    EXPECT_TRUE(host.ModifyStyle(0, WS_CLIPCHILDREN));
    EXPECT_FALSE(host.ModifyStyle(0, WS_CLIPCHILDREN));
    EXPECT_TRUE(host.GetStyle() & WS_CLIPCHILDREN);
    EXPECT_TRUE(host.SetWindowPos(HwndTopmost(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_TRUE(ui::testing::GetExStyle(host) & WS_EX_TOPMOST);
    host.SetWindowPos(HwndNoTopmost(), 5, 6, 0, 0, SWP_NOSIZE);
    EXPECT_FALSE(ui::testing::GetExStyle(host) & WS_EX_TOPMOST);
    EXPECT_EQ(headless::Describe(host.m_hWnd).windowRect, (RECT{5, 6, 205, 206}));

    host.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(host.IsIconic());
    host.SendMessage(WM_SYSCOMMAND, SC_RESTORE);
    EXPECT_FALSE(host.IsIconic());
    host.SendMessage(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_EQ(host.m_hWnd, nullptr) << "a plain window's close box destroys it";
}

TEST_F(HeadlessTest, SystemMenuIconsFontsAndFocus) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop({0, 0, 100, 100}, WS_POPUP | WS_SYSMENU | WS_VISIBLE));
    CMenu menu = host.GetSystemMenu(false);
    ASSERT_NE(menu.m_hMenu, nullptr);
    const int standard = ui::testing::GetMenuItemCount(menu.m_hMenu);
    EXPECT_EQ(ui::testing::GetMenuItemID(menu.m_hMenu, standard - 1), SC_CLOSE);
    EXPECT_TRUE(menu.AppendMenu(MF_SEPARATOR));
    EXPECT_TRUE(menu.AppendMenu(MF_STRING, 0x10, u"About"));
    EXPECT_EQ(ui::testing::GetMenuItemCount(menu.m_hMenu), standard + 2);
    EXPECT_EQ(ui::testing::GetMenuItemID(menu.m_hMenu, standard), 0u);
    EXPECT_EQ(ui::testing::GetMenuString(menu.m_hMenu, standard + 1), u"About");
    EXPECT_EQ(ui::testing::GetMenuItemID(menu.m_hMenu, 99), static_cast<UINT>(-1));
    EXPECT_EQ(host.GetSystemMenu(true).m_hMenu, nullptr);
    EXPECT_EQ(ui::testing::GetMenuItemCount(menu.m_hMenu), standard);
    Recorder plain;
    ASSERT_TRUE(plain.CreateTop({0, 0, 10, 10}, WS_POPUP));
    EXPECT_EQ(plain.GetSystemMenu(false).m_hMenu, nullptr);

    const HICON icon = reinterpret_cast<HICON>(0x1234);
    EXPECT_EQ(host.SetIcon(icon, true), nullptr);
    EXPECT_EQ(host.SetIcon(nullptr, true), icon);
    EXPECT_EQ(host.GetFont(), nullptr);

    CWnd a, b;
    ASSERT_TRUE(a.Create(u"Edit", u"", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, &host, 1));
    ASSERT_TRUE(b.Create(u"Edit", u"", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, &host, 2));
    EXPECT_EQ(a.SetFocus(), nullptr);
    host.seen.clear();
    EXPECT_EQ(b.SetFocus(), a.m_hWnd);
    EXPECT_EQ(ui::GetFocus(), b.m_hWnd);
    b.EnableWindow(false);
    EXPECT_EQ(ui::GetFocus(), nullptr) << "a disabled window loses the focus";
}

}  // namespace
