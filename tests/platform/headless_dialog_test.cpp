// Dialogs on the headless window system: built from the compiled templates in the user-interface
// language, modal, keyboard; the simple controls; strings; file dialogs.
#include <functional>
#include <utility>

#include "tests/platform/headless_fixture.h"
#include "tests/platform/res/test_resource.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;
using headless_test::Recorder;

class TestDialog : public CDialog {
  public:
    explicit TestDialog(UINT id = IDD_TEST, CWnd* parent = nullptr) : CDialog(id, parent) {}
    std::function<void(TestDialog&)> onInit;
    std::vector<std::pair<int, int>> commands;  // (id, code)
    std::function<void(int)> onCommand;
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
        if (m == WM_COMMAND) {
            commands.push_back({LOWORD(w), HIWORD(w)});
            if (onCommand)
                onCommand(LOWORD(w));
            if (LOWORD(w) == IDB_TEST_PUSH)
                EndDialog(55);
        }
        return CDialog::WindowProc(m, w, l);
    }
    HWND Item(int id) const { return GetDlgItem(id); }
};

// Dialog units to pixels: x * 6 / 4 and y * 13 / 8, rounded.
RECT Pixels(int x, int y, int cx, int cy) {
    auto scale = [](int v, int base, int div) { return (v * base + div / 2) / div; };
    return {scale(x, 6, 4), scale(y, 13, 8), scale(x, 6, 4) + scale(cx, 6, 4),
            scale(y, 13, 8) + scale(cy, 13, 8)};
}

TEST_F(HeadlessTest, ADialogIsBuiltFromItsTemplate) {
    TestDialog dialog;
    dialog.onInit = [](TestDialog& d) {
        RECT r;
        d.GetClientRect(&r);
        EXPECT_EQ(r, Pixels(0, 0, 300, 200));
        struct Expected {
            int id;
            std::u16string className;
            std::u16string text;
            RECT rect;
        };
        const Expected controls[] = {
            {IDB_TEST_PUSH, u"Button", u"Push", Pixels(7, 7, 50, 14)},
            {IDX_TEST_CHECK, u"Button", u"Check", Pixels(7, 26, 60, 10)},
            {IDE_TEST_EDIT, u"Edit", u"", Pixels(7, 40, 80, 12)},
            {IDL_TEST_LIST, u"SysListView32", u"", Pixels(100, 7, 193, 80)},
            {IDT_TEST_TREE, u"SysTreeView32", u"", Pixels(100, 92, 193, 80)},
            {ID_TEST_LABEL, u"Static", u"Label:", Pixels(14, 114, 60, 8)},
        };
        POINT origin{0, 0};
        ui::testing::ClientToScreen(d, &origin);
        for (const auto& c : controls) {
            const headless::WindowInfo info = headless::Describe(d.Item(c.id));
            EXPECT_EQ(info.className, c.className) << c.id;
            EXPECT_EQ(info.text, c.text) << c.id;
            EXPECT_EQ(info.id, c.id);
            EXPECT_TRUE(info.style & WS_CHILD);
            const RECT w = info.windowRect;
            EXPECT_EQ((RECT{w.left - origin.x, w.top - origin.y, w.right - origin.x,
                            w.bottom - origin.y}),
                      c.rect)
                << c.id;
        }
        EXPECT_EQ(headless::DescribeFont(d.GetFont()).face, u"MS Shell Dlg");
        EXPECT_EQ(ui::SendMessage(d.Item(IDE_TEST_EDIT), WM_GETFONT),
                  reinterpret_cast<LRESULT>(d.GetFont()));
        CBorrowed<CComboBox> combo(d.Item(IDC_TEST_COMBO));
        EXPECT_EQ(combo.GetCount(), 3);
        EXPECT_EQ(combo.GetLBText(1), u"Beta");
        EXPECT_EQ(combo.GetCurSel(), CB_ERR);
        EXPECT_EQ(ui::testing::DialogTemplateOf(d.m_hWnd), UINT{IDD_TEST});
        EXPECT_FALSE(d.IsWindowVisible()) << "shown after WM_INITDIALOG";
        ui::WhenIdle([&d] {
            EXPECT_TRUE(d.IsWindowVisible());
            EXPECT_EQ(ui::GetFocus(), d.Item(IDB_TEST_PUSH)) << "the first tab stop";
            d.EndDialog(IDOK);
        });
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(HeadlessTest, DialogsFollowTheUserInterfaceLanguageWithFallbackToEnglish) {
    struct Case {
        LANGID language;
        std::u16string caption;
        std::u16string firstEntry;
        std::u16string face;
    };
    const Case cases[] = {
        {kLangEnglish, u"Test Dialog", u"Alpha", u"MS Shell Dlg"},
        {kLangSimplifiedChinese, u"测试对话框", u"甲", u"宋体"},
        {kLangTraditionalChinese, u"Test Dialog", u"Alpha", u"MS Shell Dlg"},
    };
    for (const auto& c : cases) {
        ui::SetUiLanguage(c.language);
        EXPECT_EQ(GetUiLanguage(), c.language);
        TestDialog dialog;
        dialog.onInit = [&](TestDialog& d) {
            EXPECT_EQ(d.GetWindowText(), c.caption);
            CBorrowed<CComboBox> combo(d.Item(IDC_TEST_COMBO));
            EXPECT_EQ(combo.GetLBText(0), c.firstEntry);
            EXPECT_EQ(headless::DescribeFont(d.GetFont()).face, c.face);
            d.EndDialog(IDCANCEL);
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL) << c.language;
    }
    EXPECT_EQ(TestDialog(4242).DoModal(), -1) << "no such template";
}

TEST_F(HeadlessTest, ModalDialogsAnswerEscapeEnterAndTheCloseBox) {
    Recorder owner;
    ASSERT_TRUE(owner.CreateTop());
    struct Case {
        const char* name;
        std::function<void(TestDialog&)> act;
        INT_PTR result;
        std::pair<int, int> lastCommand;
    };
    const Case cases[] = {
        {"Esc in an edit box",
         [](TestDialog& d) { ui::testing::PressKey(d.Item(IDE_TEST_EDIT), VK_ESCAPE); },
         IDCANCEL,
         {IDCANCEL, BN_CLICKED}},
        {"Enter in an edit box: the default button",
         [](TestDialog& d) {
             CBorrowed<CEdit> edit(d.Item(IDE_TEST_EDIT));
             edit.SetFocus();
             ui::testing::PressKey(d.Item(IDE_TEST_EDIT), VK_RETURN);
         },
         IDOK,
         {IDOK, BN_CLICKED}},
        {"Enter on a focused push button",
         [](TestDialog& d) {
             ::ui::CBorrowed<> push(d.Item(IDB_TEST_PUSH));
             push.SetFocus();
             ui::testing::PressKey(d.Item(IDB_TEST_PUSH), VK_RETURN);
         },
         55,
         {IDB_TEST_PUSH, BN_CLICKED}},
        {"close box",
         [](TestDialog& d) { d.SendMessage(WM_CLOSE); },
         IDCANCEL,
         {IDCANCEL, BN_CLICKED}},
        {"system menu close",
         [](TestDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_CLOSE); },
         IDCANCEL,
         {IDCANCEL, BN_CLICKED}},
        {"close box with Cancel disabled",
         [](TestDialog& d) {
             CBorrowed<> cancel(d.Item(IDCANCEL));
             cancel.EnableWindow(false);
             d.SendMessage(WM_CLOSE);
             ui::WhenIdle([&d] { d.EndDialog(3); });
         },
         3,
         {-1, -1}},
    };
    for (const auto& c : cases) {
        TestDialog dialog(IDD_TEST, &owner);
        dialog.onInit = [&](TestDialog& d) {
            ui::WhenIdle([&] {
                EXPECT_FALSE(ui::testing::IsWindowEnabled(owner)) << c.name;
                c.act(d);
            });
        };
        EXPECT_EQ(dialog.DoModal(), c.result) << c.name;
        const auto last = dialog.commands.empty() ? std::pair{-1, -1} : dialog.commands.back();
        EXPECT_EQ(last, c.lastCommand) << c.name;
        EXPECT_TRUE(ui::testing::IsWindowEnabled(owner)) << c.name;
    }
}

TEST_F(HeadlessTest, ButtonsEditsAndDropDownListsAnswerAsThePlatformsDo) {
    TestDialog dialog;
    dialog.onInit = [](TestDialog& d) {
        // A tick box changes before its parent hears the click, a disabled one too.
        CBorrowed<CButton> check(d.Item(IDX_TEST_CHECK));
        int checkAtClick = -1;
        d.commands.clear();
        d.onCommand = [&](int) { checkAtClick = check.GetCheck(); };
        check.SendMessage(BM_CLICK);
        d.onCommand = nullptr;
        EXPECT_EQ(d.commands, (std::vector<std::pair<int, int>>{{IDX_TEST_CHECK, BN_CLICKED}}));
        EXPECT_EQ(checkAtClick, BST_CHECKED);
        int value = 0;
        CDataExchange dx(&d, true);
        DDX_Check(&dx, IDX_TEST_CHECK, value);
        EXPECT_EQ(value, 1);
        check.EnableWindow(false);
        check.SendMessage(BM_CLICK);
        EXPECT_EQ(check.GetCheck(), BST_UNCHECKED);
        EXPECT_EQ(d.commands.size(), 2u);
        check.EnableWindow(true);
        CBorrowed<CButton> push(d.Item(IDB_TEST_PUSH));
        push.SetCheck(BST_CHECKED);
        EXPECT_EQ(push.GetCheck(), BST_UNCHECKED) << "a push button has no check";

        // ES_UPPERCASE converts set text too; a single-line edit reports the change.
        d.commands.clear();
        CBorrowed<CEdit> upper(d.Item(IDE_TEST_UPPER));
        CBorrowed<CEdit> plain(d.Item(IDE_TEST_EDIT));
        upper.SetWindowText(u"abc-é1");
        plain.SetWindowText(u"abc");
        EXPECT_EQ(upper.GetWindowText(), u"ABC-É1");
        EXPECT_EQ(plain.GetWindowText(), u"abc");
        EXPECT_EQ(d.commands.back(), (std::pair<int, int>{IDE_TEST_EDIT, EN_CHANGE}));
        ui::SendMessage(upper.m_hWnd, WM_CHAR, u'x');
        EXPECT_EQ(upper.GetWindowText(), u"ABC-É1X");

        CBorrowed<CComboBox> combo(d.Item(IDC_TEST_COMBO));
        char16_t buffer[16] = {};
        struct Case {
            UINT message;
            WPARAM wParam;
            LRESULT result;
            int selection;
        };
        const Case cases[] = {
            {CB_SETCURSEL, 1, 1, 1},
            {CB_SETCURSEL, 3, CB_ERR, 1},  // beyond the list: the selection stays
            {CB_SETCURSEL, 2, 2, 2},
            {CB_SETCURSEL, static_cast<WPARAM>(-1), CB_ERR, CB_ERR},
            {CB_GETLBTEXTLEN, 0, 5, CB_ERR},
            {CB_GETLBTEXTLEN, 7, CB_ERR, CB_ERR},
            {CB_GETLBTEXT, 9, CB_ERR, CB_ERR},
            {CB_GETLBTEXT, 2, 5, CB_ERR},
        };
        for (const auto& c : cases) {
            EXPECT_EQ(combo.SendMessage(c.message, c.wParam, reinterpret_cast<LPARAM>(buffer)),
                      c.result)
                << c.message << " " << c.wParam;
            EXPECT_EQ(combo.GetCurSel(), c.selection) << c.message << " " << c.wParam;
        }
        EXPECT_EQ(std::u16string(buffer), u"Gamma");
        d.commands.clear();
        headless::ChooseComboItem(combo.m_hWnd, 1);
        EXPECT_EQ(combo.GetWindowText(), u"Beta");
        EXPECT_EQ(d.commands, (std::vector<std::pair<int, int>>{{IDC_TEST_COMBO, CBN_SELCHANGE}}));
        EXPECT_EQ(combo.AddString(u"Delta"), 3);
        combo.ResetContent();
        EXPECT_EQ(combo.GetCount(), 0);
        EXPECT_EQ(combo.GetCurSel(), CB_ERR);
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(HeadlessTest, StringsFallBackToEnglishThenToAnyLanguage) {
    struct Case {
        LANGID language;
        UINT id;
        std::u16string text;
    };
    const Case cases[] = {
        {kLangEnglish, IDS_TEST_HELLO, u"Hello"},
        {kLangSimplifiedChinese, IDS_TEST_HELLO, u"你好"},
        {kLangTraditionalChinese, IDS_TEST_HELLO, u"您好"},
        {kLangSimplifiedChinese, IDS_TEST_ENGLISH_ONLY, u"English only"},
        {kLangEnglish, IDS_TEST_TRADITIONAL_ONLY, u"僅繁體中文"},
        {kLangEnglish, 4242, u""},
    };
    for (const auto& c : cases) {
        ui::SetUiLanguage(c.language);
        EXPECT_EQ(LoadString(c.id), c.text) << c.id << " " << c.language;
    }
}

TEST_F(HeadlessTest, FileDialogsAreAnsweredByTheTestAndRecorded) {
    ui::testing::QueueFileDialogAnswer(u"C:\\qc\\a.chk");
    ui::testing::QueueFileDialogCancel();
    CFileDialog open(true, u"chk", u"", OFN_FILEMUSTEXIST, u"Check File(*.chk)|*.chk||");
    EXPECT_EQ(open.DoModal(), IDOK);
    EXPECT_EQ(open.GetPathName(), u"C:\\qc\\a.chk");
    CFileDialog save(false, u"chk", u"b.chk", OFN_OVERWRITEPROMPT, u"x|*.x||");
    EXPECT_EQ(save.DoModal(), IDCANCEL);
    EXPECT_EQ(save.DoModal(), IDCANCEL) << "nothing queued";
    const auto asked = ui::testing::FileDialogRequests();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_TRUE(asked[0].open);
    EXPECT_EQ(asked[0].filter, u"Check File(*.chk)|*.chk||");
    EXPECT_EQ(asked[0].flags, OFN_FILEMUSTEXIST);
    EXPECT_FALSE(asked[1].open);
    EXPECT_EQ(asked[1].fileName, u"b.chk");
    EXPECT_EQ(asked[1].defaultExtension, u"chk");
}

}  // namespace
