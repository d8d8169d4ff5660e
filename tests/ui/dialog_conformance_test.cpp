// The class library's dialogs and controls, the same on either backend: a modal dialog from the
// test resources runs on a UI thread while the test drives it from outside.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_testing.h"
#include "tests/platform/res/test_resource.h"
#include "tests/support/ui_thread.h"

namespace {

using namespace ui;

constexpr UINT kPing = WM_USER + 20;

class TestDialog : public CDialog {
  public:
    TestDialog() : CDialog(IDD_TEST) {}

    int ticked = 1;
    std::atomic<bool> ready{false};
    std::atomic<int> pushes{0};
    std::thread::id pingThread;
    CListCtrl list;
    CTreeCtrl tree;
    CComboBox combo;

    void DoDataExchange(CDataExchange* dx) override {
        CDialog::DoDataExchange(dx);
        DDX_Control(dx, IDL_TEST_LIST, list);
        DDX_Control(dx, IDT_TEST_TREE, tree);
        DDX_Control(dx, IDC_TEST_COMBO, combo);
        DDX_Check(dx, IDX_TEST_CHECK, ticked);
    }
    BOOL OnInitDialog() override {
        const BOOL focus = CDialog::OnInitDialog();
        ready = true;
        return focus;
    }
    void OnPush() { ++pushes; }
    LRESULT OnPing(WPARAM wParam, LPARAM) {
        pingThread = std::this_thread::get_id();
        return static_cast<LRESULT>(wParam) * 2;
    }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            OnCommand<&TestDialog::OnPush>(IDB_TEST_PUSH),
            OnMessage<&TestDialog::OnPing>(kPing),
        };
        static const MessageMap kMap{CDialog::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

class DialogTest : public ::testing::Test {
  protected:
    // Opens the dialog on the UI thread; returns its window once it is up.
    HWND Open(const char16_t* caption = u"Test Dialog") {
        result = -100;
        dialog.ready = false;
        ui.Post([this] { result = dialog.DoModal(); });
        HWND window = nullptr;
        EXPECT_TRUE(uitest::WaitFor([&] {
            window = ui::testing::FindTopLevelWindow(caption);
            return window != nullptr && dialog.ready;
        }));
        return window;
    }
    bool WaitClosed() {
        return uitest::WaitFor([this] { return result != -100; });
    }
    HWND Item(int id) {
        HWND item = nullptr;
        ui.Run([&] { item = dialog.GetDlgItem(id); });
        return item;
    }
    void TearDown() override {
        if (dialog.m_hWnd != nullptr && result == -100) {
            ui::PostMessage(dialog.m_hWnd, WM_COMMAND, IDCANCEL, 0);
            WaitClosed();
        }
        ui.Run([] { ui::SetUiLanguage(kLangEnglish); });
    }

    uitest::UiThread ui;
    TestDialog dialog;
    std::atomic<INT_PTR> result{-100};
};

TEST_F(DialogTest, AWorkerSendIsServedWhileTheModalDialogRuns) {
    const HWND window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ui::testing::DialogTemplateOf(window), UINT{IDD_TEST});
    LRESULT answer = 0;
    std::thread worker([&] { answer = ui::SendMessage(window, kPing, 21, 0); });
    worker.join();
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(dialog.pingThread, ui.id());
    // The data exchange ticked the box from the member when the dialog opened.
    EXPECT_EQ(ui::SendMessage(Item(IDX_TEST_CHECK), BM_GETCHECK), BST_CHECKED);
    ui::PostMessage(Item(IDB_TEST_PUSH), BM_CLICK);
    ASSERT_TRUE(uitest::WaitFor([&] { return dialog.pushes == 1; }));
    ui::PostMessage(Item(IDE_TEST_EDIT), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(ui::IsWindow(window));
}

// A wait the operator sees: it serves what a worker sends and paints, but leaves posted messages
// and input queued for the loop, so that no click starts anything inside it.
TEST_F(DialogTest, AWaitThatPaintsServesSendsAndLeavesInputQueued) {
    const HWND window = Open();
    ASSERT_NE(window, nullptr);
    const HWND push = Item(IDB_TEST_PUSH);
    bool waited = false;
    int pushesInside = -1;
    ui.Run([&] {
        dialog.UpdateWindow();
        dialog.Invalidate(true);
        ui::PostMessage(push, BM_CLICK);
        ui::PostMessage(push, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ui::PostMessage(push, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        std::thread worker([&] { ui::SendMessage(window, kPing, 1, 0); });
        waited = WaitServingSentMessagesAndPaint(
            [&] {
                return dialog.pingThread == ui.id() && !ui::testing::GetUpdateRect(dialog, nullptr);
            },
            10000);
        pushesInside = dialog.pushes;
        worker.join();
    });
    EXPECT_TRUE(waited);
    EXPECT_EQ(pushesInside, 0);
    EXPECT_TRUE(uitest::WaitFor([&] { return dialog.pushes == 2; })) << "the loop's, after it";
}

// A disabled default button: Enter passes it by, but a click sent to it is a click (only the
// mouse never reaches a disabled window).
TEST_F(DialogTest, ADisabledDefaultButtonIgnoresEnterButNotAClickSentToIt) {
    Open();
    const HWND ok = Item(IDOK);
    ui.Run([&] { CBorrowed<>(ok).EnableWindow(false); });
    ui::testing::PressKey(Item(IDE_TEST_EDIT), VK_RETURN);
    std::atomic<bool> afterKey{false};
    ui.Post([&] { afterKey = true; });
    ASSERT_TRUE(uitest::WaitFor([&] { return afterKey.load(); }));
    EXPECT_EQ(result, -100) << "Enter closed the dialog";
    const HWND box = Item(IDX_TEST_CHECK);
    ui.Run([&] { CBorrowed<>(box).EnableWindow(false); });
    ui::SendMessage(box, BM_CLICK);
    EXPECT_EQ(ui::SendMessage(box, BM_GETCHECK), BST_UNCHECKED) << "ticked at the start";
    ui::PostMessage(ok, BM_CLICK);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(result, IDOK);
}

TEST_F(DialogTest, OkTakesTheControlsIntoTheMembersCancelDoesNot) {
    Open();
    ui::SendMessage(Item(IDX_TEST_CHECK), BM_CLICK);  // untick
    ui::PostMessage(Item(IDCANCEL), BM_CLICK);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.ticked, 1);

    Open();
    ui::SendMessage(Item(IDX_TEST_CHECK), BM_CLICK);
    ui::PostMessage(Item(IDOK), BM_CLICK);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.ticked, 0);
}

TEST_F(DialogTest, TheCloseBoxCancels) {
    const HWND window = Open();
    ui::PostMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DialogTest, EditBoxesAndTickBoxes) {
    Open();
    ui.Run([&] {
        CBorrowed<CEdit> edit(dialog.GetDlgItem(IDE_TEST_EDIT));
        edit.SetWindowText(u"mixed Case 123");
        EXPECT_EQ(edit.GetWindowText(), u"mixed Case 123");
        edit.EnableWindow(false);
        EXPECT_FALSE(ui::testing::IsWindowEnabled(edit));
        edit.EnableWindow(true);
        EXPECT_TRUE(ui::testing::IsWindowEnabled(edit));

        CBorrowed<CEdit> upper(dialog.GetDlgItem(IDE_TEST_UPPER));
        upper.SetWindowText(u"abc");
        EXPECT_EQ(upper.GetWindowText(), u"ABC");

        CBorrowed<CButton> box(dialog.GetDlgItem(IDX_TEST_CHECK));
        box.SetCheck(BST_UNCHECKED);
        EXPECT_EQ(box.GetCheck(), BST_UNCHECKED);
        box.SetCheck(BST_CHECKED);
        EXPECT_EQ(box.GetCheck(), BST_CHECKED);

        dialog.SetWindowText(u"Renamed");
        EXPECT_EQ(dialog.GetWindowText(), u"Renamed");
    });
}

TEST_F(DialogTest, BorrowedWrappersWorkBesideTheWindowsOwnObjectsAndLeaveThemBe) {
    Open();
    ui.Run([&] {
        {
            // The drop-down list has its member attached, the dialog its routed object.
            const CBorrowed<CComboBox> combo(dialog.combo.m_hWnd);
            EXPECT_EQ(combo.GetCount(), 3);
            EXPECT_EQ(combo.GetLBText(1), dialog.combo.GetLBText(1));
            EXPECT_EQ(CWnd::FromHandle(combo), &dialog.combo);
            CBorrowed<> window(dialog.m_hWnd);
            window.SetWindowText(u"Lent");
            EXPECT_EQ(dialog.GetWindowText(), u"Lent");
            EXPECT_EQ(CWnd::FromHandle(window), &dialog);
            const CBorrowed<CEdit> edit(dialog.GetDlgItem(IDE_TEST_EDIT));
            EXPECT_EQ(CWnd::FromHandle(edit), nullptr) << "a borrower makes no claim";
        }
        EXPECT_TRUE(ui::IsWindow(dialog.GetDlgItem(IDE_TEST_EDIT)));
        EXPECT_EQ(CWnd::FromHandle(dialog.combo.m_hWnd), &dialog.combo);
        EXPECT_EQ(dialog.combo.GetCount(), 3);
        EXPECT_EQ(CWnd::FromHandle(dialog.m_hWnd), &dialog);
        EXPECT_EQ(dialog.SendMessage(kPing, 4), 8) << "the dialog still routes its messages";
    });
}

TEST_F(DialogTest, DropDownListFromTheResources) {
    Open();
    // Called from the test thread: the wrapper's messages run on the dialog's thread.
    CComboBox& combo = dialog.combo;
    ASSERT_EQ(combo.GetCount(), 3);
    EXPECT_EQ(combo.GetLBText(0), u"Alpha");
    EXPECT_EQ(combo.GetLBText(2), u"Gamma");
    EXPECT_EQ(combo.GetLBText(3), u"");
    EXPECT_EQ(combo.SetCurSel(1), 1);
    EXPECT_EQ(combo.GetCurSel(), 1);
    EXPECT_EQ(combo.SetCurSel(7), CB_ERR);
    EXPECT_EQ(combo.GetCurSel(), 1) << "an index beyond the list leaves the selection";
    EXPECT_EQ(combo.SetCurSel(-1), CB_ERR);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(combo.AddString(u"Delta"), 3);
    EXPECT_EQ(combo.GetCount(), 4);
    combo.ResetContent();
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
}

// The wrappers called from the test thread: their messages run on the dialog's thread. What the
// controls do is in list_conformance_test.cpp and tree_conformance_test.cpp.
TEST_F(DialogTest, TheDialogsListAndTreeAnswerFromAnotherThread) {
    Open();
    CListCtrl& list = dialog.list;
    EXPECT_EQ(list.InsertColumn(0, u"Vol", LVCFMT_CENTER, 40), 0);
    EXPECT_EQ(list.InsertColumn(1, u"Check", LVCFMT_CENTER, 80), 1);
    EXPECT_EQ(ui::testing::GetColumnHeading(list, 1), u"Check");
    EXPECT_EQ(list.InsertItem(0, u"E|F"), 0);
    EXPECT_TRUE(list.SetItemText(0, 1, u"1234"));
    EXPECT_EQ(list.GetItemText(0, 1, 4), u"123");
    EXPECT_TRUE(list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 0);

    CTreeCtrl& tree = dialog.tree;
    ui.Run([&] { tree.UpdateWindow(); });  // the first paint makes the check boxes, all clear
    const HTREEITEM hub = tree.InsertItem(u"Root hub", TviRoot(), TviLast());
    const HTREEITEM port = tree.InsertItem(u"[Port1]NoDeviceConnected", hub, TviLast());
    EXPECT_EQ(tree.GetChildItem(hub), port);
    EXPECT_EQ(tree.GetItemText(port), u"[Port1]NoDeviceConnected");
    EXPECT_TRUE(tree.SetCheck(port, true));
    EXPECT_TRUE(tree.GetCheck(port));
}

TEST_F(DialogTest, PlacementSystemMenuAndFocus) {
    const HWND window = Open();
    ui.Run([&] {
        // Whether the style follows is checked on the headless backend only: wine 8 leaves
        // WS_EX_TOPMOST unset for a window of its own placement (no window manager).
        EXPECT_TRUE(dialog.SetWindowPos(HwndTopmost(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
        EXPECT_TRUE(dialog.SetWindowPos(HwndNoTopmost(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
        EXPECT_EQ(ui::testing::GetExStyle(dialog) & WS_EX_TOPMOST, 0u);

        CMenu menu = dialog.GetSystemMenu(false);
        ASSERT_NE(menu.m_hMenu, nullptr);
        const int before = ui::testing::GetMenuItemCount(menu.m_hMenu);
        EXPECT_TRUE(menu.AppendMenu(MF_SEPARATOR));
        EXPECT_TRUE(menu.AppendMenu(MF_STRING, 0x0010, u"About Test(&A)..."));
        EXPECT_EQ(ui::testing::GetMenuItemCount(menu.m_hMenu), before + 2);
        EXPECT_EQ(ui::testing::GetMenuItemID(menu.m_hMenu, before), 0u);
        EXPECT_EQ(ui::testing::GetMenuItemID(menu.m_hMenu, before + 1), 0x0010u);
        EXPECT_EQ(ui::testing::GetMenuString(menu.m_hMenu, before + 1), u"About Test(&A)...");

        CBorrowed<> edit(dialog.GetDlgItem(IDE_TEST_EDIT));
        edit.SetFocus();
        EXPECT_EQ(ui::GetFocus(), edit.m_hWnd);

        EXPECT_EQ(dialog.GetStyle() & WS_CLIPCHILDREN, 0u);
        dialog.ModifyStyle(0, WS_CLIPCHILDREN);
        EXPECT_NE(dialog.GetStyle() & WS_CLIPCHILDREN, 0u);
        dialog.ModifyStyle(WS_CLIPCHILDREN, 0);
        EXPECT_EQ(dialog.GetStyle() & WS_CLIPCHILDREN, 0u);
    });
    EXPECT_EQ(ui::testing::ClassName(window), u"#32770");
}

TEST_F(DialogTest, StringsAndDialogsInTheUserInterfaceLanguage) {
    ui.Run([] {
        EXPECT_EQ(LoadString(IDS_TEST_HELLO), u"Hello");
        EXPECT_EQ(LoadString(IDS_TEST_ESCAPES), u"Tab\there, \"quoted\", back\\slash\nnext");
        EXPECT_EQ(LoadString(IDS_TEST_FILTER), u"Test File(*.tst)|*.tst||");
        EXPECT_EQ(LoadString(12345), u"");
        ui::SetUiLanguage(kLangSimplifiedChinese);
        EXPECT_EQ(GetUiLanguage(), kLangSimplifiedChinese);
        EXPECT_EQ(LoadString(IDS_TEST_HELLO), u"你好");
        EXPECT_EQ(LoadString(IDS_TEST_ENGLISH_ONLY), u"English only");  // falls back to English
    });
    Open(u"测试对话框");
    EXPECT_EQ(dialog.combo.GetLBText(0), u"甲");
    EXPECT_EQ(dialog.combo.GetLBText(2), u"丙");
}

// Each Chinese region reads the resources of its script: Hong Kong and Macao the Traditional ones,
// Singapore the Simplified ones.
TEST_F(DialogTest, ChineseRegionsReadTheResourcesOfTheirScript) {
    struct Case {
        LANGID language;
        LANGID resources;
        const char16_t* hello;
    };
    ui.Run([] {
        for (const Case c : {Case{0x0404, kLangTraditionalChinese, u"您好"},
                             Case{0x0C04, kLangTraditionalChinese, u"您好"},
                             Case{0x1404, kLangTraditionalChinese, u"您好"},
                             Case{0x0804, kLangSimplifiedChinese, u"你好"},
                             Case{0x1004, kLangSimplifiedChinese, u"你好"}}) {
            ui::SetUiLanguage(c.language);
            EXPECT_EQ(GetUiLanguage(), c.resources) << std::hex << c.language;
            EXPECT_EQ(LoadString(IDS_TEST_HELLO), c.hello) << std::hex << c.language;
        }
        ui::SetUiLanguage(0x1004);
    });
    Open(u"测试对话框");  // Singapore: the Simplified dialog and its lists
    EXPECT_EQ(dialog.combo.GetLBText(1), u"乙");
}

}  // namespace
