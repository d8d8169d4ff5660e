// The Win32 backend of the class library against the real window system and common controls
// (Windows builds only; under wine here). The windows live on the test's own thread.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_testing.h"
#include "tests/platform/res/win32_ui_test_res.h"

namespace {

using namespace ui;

constexpr UINT kSent = WM_APP + 1;
constexpr UINT kPosted = WM_APP + 2;
constexpr UINT kThrow = WM_APP + 3;
constexpr UINT kPbmGetPos = WM_USER + 8;  // PBM_GETPOS
constexpr RECT kFrame{0, 0, 300, 200};

// An edit box that sees its messages before the class does.
class RecordingEdit : public CWnd {
  public:
    std::vector<std::u16string> calls;
    bool passSetText = true;
    bool released = false;

    LRESULT OnCreate(WPARAM, LPARAM) {
        calls.push_back(u"create");
        return Default();
    }
    LRESULT OnSetText(WPARAM, LPARAM lParam) {
        calls.push_back(reinterpret_cast<const char16_t*>(lParam));
        return passSetText ? Default() : TRUE;
    }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    void PostNcDestroy() override { released = true; }

    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            OnMessage<&RecordingEdit::OnCreate>(WM_CREATE),
            OnMessage<&RecordingEdit::OnSetText>(WM_SETTEXT),
            OnMessage<&RecordingEdit::OnThrow>(kThrow),
        };
        static const MessageMap kMap{CWnd::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

TEST(Win32UiTest, CreateRoutesMessagesToTheTableFirstAndTheClassThroughDefault) {
    RecordingEdit edit;
    ASSERT_TRUE(edit.Create(u"Edit", u"first", WS_POPUP, kFrame, nullptr, 0));
    const HWND window = edit.m_hWnd;
    ASSERT_FALSE(edit.calls.empty());
    EXPECT_EQ(edit.calls.front(), u"create");  // subclassed before its first messages
    EXPECT_EQ(edit.GetWindowText(), u"first");
    EXPECT_EQ(ui::testing::ClassName(window), u"Edit");
    EXPECT_EQ(CWnd::FromHandle(window), &edit);

    edit.SetWindowText(u"second");
    edit.passSetText = false;
    edit.SetWindowText(u"third");  // handled here only: the edit box keeps its text
    EXPECT_EQ(edit.GetWindowText(), u"second");
    EXPECT_EQ(edit.calls.back(), u"third");

    EXPECT_TRUE(edit.DestroyWindow());
    EXPECT_TRUE(edit.released);
    EXPECT_EQ(edit.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CWnd::FromHandle(window), nullptr);
}

TEST(Win32UiTest, AnExceptionInAHandlerStaysOnOurSide) {
    RecordingEdit edit;
    ASSERT_TRUE(edit.Create(u"Edit", u"", WS_POPUP, kFrame, nullptr, 0));
    EXPECT_EQ(edit.SendMessage(kThrow), 0);
    edit.SetWindowText(u"still there");
    EXPECT_EQ(edit.GetWindowText(), u"still there");
}

// Storage that outlives the object and is spoilt when it is deleted: a frame that touched the
// object after PostNcDestroy deleted it would crash.
alignas(std::max_align_t) unsigned char gSelfStorage[512];

class SelfDeleting : public CWnd {
  public:
    static void* operator new(std::size_t size) {
        if (size > sizeof(gSelfStorage))
            throw std::bad_alloc();
        return gSelfStorage;
    }
    static void operator delete(void* p, std::size_t size) { std::memset(p, 0xDD, size); }

    static inline bool deleted = false;
    ~SelfDeleting() override { deleted = true; }
    LRESULT OnClose(WPARAM, LPARAM) {
        DestroyWindow();
        return 0;  // `this` is gone
    }
    void PostNcDestroy() override { delete this; }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {OnMessage<&SelfDeleting::OnClose>(WM_CLOSE)};
        static const MessageMap kMap{CWnd::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

TEST(Win32UiTest, AWindowMayDestroyAndDeleteItselfInItsOwnHandler) {
    auto* window = new SelfDeleting;
    ASSERT_TRUE(window->Create(u"Static", u"", WS_POPUP, kFrame, nullptr, 0));
    const HWND handle = window->m_hWnd;
    SendMessage(handle, WM_CLOSE);
    EXPECT_TRUE(SelfDeleting::deleted);
    EXPECT_FALSE(IsWindow(handle));
}

class Counter : public CWnd {
  public:
    std::thread::id sentOn;
    int posted = 0;
    LRESULT OnSent(WPARAM wParam, LPARAM lParam) {
        sentOn = std::this_thread::get_id();
        return static_cast<LRESULT>(wParam) + lParam;
    }
    LRESULT OnPosted(WPARAM, LPARAM) {
        ++posted;
        return 0;
    }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            OnMessage<&Counter::OnSent>(kSent),
            OnMessage<&Counter::OnPosted>(kPosted),
        };
        static const MessageMap kMap{CWnd::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

TEST(Win32UiTest, WaitingServesSendsFromAWorkerAndLeavesPostedMessagesQueued) {
    Counter window;
    ASSERT_TRUE(window.Create(u"Static", u"", WS_POPUP, kFrame, nullptr, 0));
    std::atomic<bool> done{false};
    LRESULT result = 0;
    std::thread worker([&] {
        PostMessage(window.m_hWnd, kPosted);
        result = SendMessage(window.m_hWnd, kSent, 40, 2);
        done = true;
    });
    EXPECT_TRUE(WaitServingSentMessages([&] { return done.load(); }, 20000));
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(window.sentOn, std::this_thread::get_id());
    EXPECT_EQ(window.posted, 0);
    EXPECT_FALSE(WaitServingSentMessages([] { return false; }, 10));

    PostQuitMessage(3);
    EXPECT_EQ(RunMessageLoop(), 3);  // the posted message first, then WM_QUIT
    EXPECT_EQ(window.posted, 1);
}

using Parent = CWnd;

TEST(Win32UiTest, ComboBoxCreatedAsAChildAndAttachedWrappersLetGoWithTheirParent) {
    Parent parent;
    ASSERT_TRUE(parent.Create(u"Static", u"", WS_POPUP, kFrame, nullptr, 0));
    CComboBox combo;
    ASSERT_TRUE(combo.Create(u"ComboBox", u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST,
                             {10, 10, 110, 150}, &parent, 7));
    EXPECT_EQ(ui::testing::GetDlgCtrlID(combo), 7);
    EXPECT_EQ(combo.GetParentHwnd(), parent.m_hWnd);
    EXPECT_EQ(combo.AddString(u"English"), 0);
    EXPECT_EQ(combo.AddString(u"简体中文"), 1);
    EXPECT_EQ(combo.GetCount(), 2);
    EXPECT_EQ(combo.SetCurSel(1), 1);
    EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), u"简体中文");
    // Windows also clears the selection here; wine keeps it, so the selection is not checked.
    EXPECT_EQ(combo.SetCurSel(5), CB_ERR);

    const HWND box = combo.Detach();
    EXPECT_EQ(CWnd::FromHandle(box), nullptr);
    CComboBox attached;
    ASSERT_TRUE(attached.Attach(box));
    EXPECT_FALSE(CComboBox().Attach(box));  // one wrapper per window
    EXPECT_EQ(CWnd::FromHandle(box), &attached);
    EXPECT_EQ(attached.GetCount(), 2);
    attached.ResetContent();
    EXPECT_EQ(attached.GetCount(), 0);

    parent.DestroyWindow();
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(attached.m_hWnd, nullptr);
}

class Bar : public CProgressCtrl {
  public:
    std::vector<WPARAM> positions;
    LRESULT OnSetPos(WPARAM wParam, LPARAM) {
        positions.push_back(wParam);
        return Default();
    }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {OnMessage<&Bar::OnSetPos>(PBM_SETPOS)};
        static const MessageMap kMap{CProgressCtrl::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

TEST(Win32UiTest, AProgressBarSeesItsMessagesAndPassesThemOn) {
    ASSERT_TRUE(InitCommonControls(ICC_WIN95_CLASSES));
    Parent parent;
    ASSERT_TRUE(parent.Create(u"Static", u"", WS_POPUP, kFrame, nullptr, 0));
    Bar bar;
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE, {0, 0, 100, 20}, &parent, 5));
    EXPECT_EQ(ui::testing::ClassName(bar.m_hWnd), u"msctls_progress32");
    bar.SendMessage(PBM_SETRANGE32, 0, 200);
    bar.SendMessage(PBM_SETPOS, 150);
    EXPECT_EQ(bar.positions, std::vector<WPARAM>{150});
    EXPECT_EQ(bar.SendMessage(kPbmGetPos), 150);  // the class's own procedure had it too
}

class Painted : public CWnd {
  public:
    int paints = 0;
    bool drew = false;
    COLORREF backgroundAfterFill = 0;
    COLORREF text = 0;
    LRESULT OnPaint(WPARAM, LPARAM) {
        ++paints;
        CPaintDC dc(this);
        RECT r;
        GetClientRect(&r);
        CDC memory;
        CBitmap bitmap;
        drew = dc.GetSafeHdc() != nullptr && memory.CreateCompatibleDC(&dc) &&
               bitmap.CreateCompatibleBitmap(&dc, Width(r), Height(r));
        const HBITMAP old = memory.SelectBitmap(bitmap.GetSafeHandle());
        memory.SetBkColor(RGB(1, 2, 3));
        memory.FillSolidRect(r, RGB(200, 0, 0));
        backgroundAfterFill = memory.SetBkColor(RGB(1, 2, 3));
        memory.Draw3dRect(r, RGB(128, 128, 128), RGB(128, 128, 128));
        memory.SetTextColor(RGB(0, 0, 255));
        text = ui::testing::GetTextColor(memory.GetSafeHdc());
        memory.SetBkMode(TRANSPARENT);
        drew = drew && memory.DrawText(u"PASS", r, DT_CENTER | DT_VCENTER | DT_SINGLELINE) > 0;
        drew = drew && dc.BitBlt(0, 0, Width(r), Height(r), &memory, 0, 0, SRCCOPY);
        memory.SelectBitmap(old);
        return 0;
    }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {OnMessage<&Painted::OnPaint>(WM_PAINT)};
        static const MessageMap kMap{CWnd::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

TEST(Win32UiTest, PaintingBeginsAndEndsAndFillingLeavesItsColourAsTheBackground) {
    Painted window;
    ASSERT_TRUE(window.Create(u"Static", u"", WS_POPUP | WS_VISIBLE, {0, 0, 120, 40}, nullptr, 0));
    window.UpdateWindow();
    const int before = window.paints;
    window.Invalidate(false);
    EXPECT_TRUE(ui::testing::GetUpdateRect(window, nullptr));
    window.UpdateWindow();
    EXPECT_EQ(window.paints, before + 1);
    EXPECT_FALSE(ui::testing::GetUpdateRect(window, nullptr));  // the paint context validated it
    EXPECT_TRUE(window.drew);
    EXPECT_EQ(window.backgroundAfterFill, RGB(200, 0, 0)) << "the fill colour stays set";
    EXPECT_EQ(window.text, RGB(0, 0, 255));
}

TEST(Win32UiTest, IconsFromTheExecutablesResources) {
    const HICON icon = LoadIcon(IDI_W32_ICON);
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(LoadIcon(IDI_W32_ICON + 7), nullptr);
    CWnd window;
    ASSERT_TRUE(window.Create(u"Static", u"", WS_POPUP | WS_CAPTION, kFrame, nullptr, 0));
    EXPECT_EQ(window.SetIcon(icon, true), nullptr);
    EXPECT_EQ(window.SetIcon(icon, true), icon);
    EXPECT_GT(GetSystemMetrics(SM_CXICON), 0);
}

// ---- Dialogs

class TestDialog : public CDialog {
  public:
    explicit TestDialog(CWnd* parent = nullptr) : CDialog(IDD_W32_DIALOG, parent) {}
    std::function<void(TestDialog&)> onInit;
    std::function<void(TestDialog&)> onPosted;
    int tick = 0;

    int focusId = 0;  // a control to focus in OnInitDialog, which then returns FALSE

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit)
            onInit(*this);
        if (focusId == 0)
            return TRUE;
        CBorrowed<> control(GetDlgItem(focusId));
        control.SetFocus();
        return FALSE;
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Check(dx, IDX_W32_TICK, tick); }
    LRESULT OnPostedMessage(WPARAM, LPARAM) {
        if (onPosted)
            onPosted(*this);
        return 0;
    }
    LRESULT OnEndWith(WPARAM wParam, LPARAM) {
        EndDialog(static_cast<int>(wParam));
        return 0;
    }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            OnMessage<&TestDialog::OnPostedMessage>(kPosted),
            OnMessage<&TestDialog::OnEndWith>(kSent),
        };
        static const MessageMap kMap{CDialog::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

class Win32DialogTest : public ::testing::Test {
  protected:
    void TearDown() override { ui::SetUiLanguage(kLangEnglish); }
};

struct Seen {
    std::u16string caption;
    std::u16string className;
    UINT templateId = 0;
    bool found = false;
    bool last = false;
    std::u16string greeting;
    std::u16string englishOnly;
    std::vector<std::u16string> languages;  // the drop-down list's entries
};

Seen OpenAndLook() {
    Seen seen;
    TestDialog dialog;
    dialog.onInit = [&](TestDialog& d) {
        seen.caption = d.GetWindowText();
        seen.className = ui::testing::ClassName(d.m_hWnd);
        seen.templateId = ui::testing::DialogTemplateOf(d.m_hWnd);
        seen.found = ui::testing::FindTopLevelWindow(seen.caption) == d.m_hWnd;
        const std::vector<HWND> windows = ui::TopLevelWindows();
        seen.last = !windows.empty() && windows.back() == d.m_hWnd;
        seen.greeting = LoadString(IDS_W32_GREETING);
        seen.englishOnly = LoadString(IDS_W32_ENGLISH_ONLY);
        CBorrowed<CComboBox> languages(d.GetDlgItem(IDC_W32_LANGUAGE));
        for (int i = 0; i < languages.GetCount(); ++i)
            seen.languages.push_back(languages.GetLBText(i));
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    return seen;
}

TEST_F(Win32DialogTest, DialogAndStringsComeInTheUiLanguageWithEnglishForWhatIsMissing) {
    ui::SetUiLanguage(kLangSimplifiedChinese);
    EXPECT_EQ(GetUiLanguage(), kLangSimplifiedChinese);
    Seen chinese = OpenAndLook();
    EXPECT_EQ(chinese.caption, u"测试对话框");
    EXPECT_EQ(chinese.className, u"#32770");
    EXPECT_EQ(chinese.templateId, static_cast<UINT>(IDD_W32_DIALOG));
    EXPECT_TRUE(chinese.found);
    EXPECT_TRUE(chinese.last);
    EXPECT_EQ(chinese.greeting, u"你好");
    EXPECT_EQ(chinese.englishOnly, u"Only English");
    EXPECT_EQ(chinese.languages, (std::vector<std::u16string>{u"英语", u"中文"}));

    ui::SetUiLanguage(kLangTraditionalChinese);  // no such resources: English
    Seen fallback = OpenAndLook();
    EXPECT_EQ(fallback.caption, u"Test dialog");
    EXPECT_EQ(fallback.greeting, u"Hello");
    EXPECT_EQ(fallback.languages, (std::vector<std::u16string>{u"English", u"Chinese"}));

    ui::SetUiLanguage(kLangEnglish);
    EXPECT_EQ(OpenAndLook().caption, u"Test dialog");
    EXPECT_EQ(LoadString(IDS_W32_GREETING + 100), u"");
    CDialog missing(IDD_W32_DIALOG + 99);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST_F(Win32DialogTest, EnterAndEscapeGoThroughTheDialogManagerToOnOkAndOnCancel) {
    for (const UINT key : {VK_RETURN, VK_ESCAPE}) {
        TestDialog dialog;
        dialog.onInit = [](TestDialog& d) {
            SendMessage(d.GetDlgItem(IDX_W32_TICK), BM_SETCHECK, BST_CHECKED);
            d.PostMessage(kPosted);
        };
        // Posted, so that it comes through the modal loop once the dialog is up.
        dialog.onPosted = [key](TestDialog& d) {
            PostMessage(d.GetDlgItem(IDE_W32_NAME), WM_KEYDOWN, key);
        };
        const INT_PTR result = dialog.DoModal();
        if (key == VK_RETURN) {
            EXPECT_EQ(result, IDOK);
            EXPECT_EQ(dialog.tick, 1);  // OnOK read the box back
        } else {
            EXPECT_EQ(result, IDCANCEL);
            EXPECT_EQ(dialog.tick, 0);
        }
    }
}

TEST_F(Win32DialogTest, TheOwnerIsDisabledWhileTheDialogRunsAndSendsFromWorkersAreServed) {
    CWnd owner;
    ASSERT_TRUE(owner.Create(u"Static", u"owner", WS_POPUP, kFrame, nullptr, 0));
    TestDialog dialog(&owner);
    bool ownerEnabledInside = true;
    bool visibleInside = false;
    std::thread worker;
    dialog.onInit = [&](TestDialog& d) {
        ownerEnabledInside = ui::testing::IsWindowEnabled(owner);
        d.PostMessage(kPosted);
    };
    dialog.onPosted = [&](TestDialog& d) {
        visibleInside = d.IsWindowVisible();  // shown by DoModal: the template is not visible
        const HWND target = d.m_hWnd;
        worker = std::thread([target] { SendMessage(target, kSent, 9); });
    };
    EXPECT_EQ(dialog.DoModal(), 9);
    worker.join();
    EXPECT_FALSE(ownerEnabledInside);
    EXPECT_TRUE(visibleInside);
    EXPECT_TRUE(ui::testing::IsWindowEnabled(owner));
}

TEST_F(Win32DialogTest, OnInitDialogsResultDecidesWhetherThePlatformPicksTheFocus) {
    for (const int focusId : {0, IDX_W32_TICK}) {
        TestDialog dialog;
        dialog.focusId = focusId;
        HWND focus = nullptr;
        HWND expected = nullptr;
        dialog.onInit = [](TestDialog& d) { d.PostMessage(kPosted); };
        dialog.onPosted = [&](TestDialog& d) {
            focus = ui::GetFocus();
            expected = d.GetDlgItem(focusId != 0 ? focusId : IDE_W32_NAME);  // the first stop
            d.EndDialog(IDOK);
        };
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_NE(focus, nullptr);
        EXPECT_EQ(focus, expected) << "focus " << focusId;
    }
}

// Answers the next file dialog of this process from a worker, as a user would.
void AnswerFileDialog(UINT command, std::atomic<bool>& answered) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        for (HWND w : ui::TopLevelWindows()) {
            if (ui::testing::ClassName(w) == u"#32770" && IsWindow(w) &&
                ui::testing::DialogTemplateOf(w) == 0) {
                PostMessage(w, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), BN_CLICKED));
                answered = true;
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST_F(Win32DialogTest, SaveDialogAddsTheDefaultExtensionToTheGivenName) {
    std::atomic<bool> answered{false};
    std::thread user(AnswerFileDialog, IDOK, std::ref(answered));
    CFileDialog save(false, u"chk", u"reference", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     u"Check File(*.chk)|*.chk||");
    const INT_PTR result = save.DoModal();
    user.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(result, IDOK);
    const std::u16string path = save.GetPathName();
    const std::u16string tail = u"\\reference.chk";
    ASSERT_GE(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
}

TEST_F(Win32DialogTest, OpenDialogCancelled) {
    std::atomic<bool> answered{false};
    std::thread user(AnswerFileDialog, IDCANCEL, std::ref(answered));
    CFileDialog open(true, u".chk", u"", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
                     u"Check File(*.chk)|*.chk||");
    EXPECT_EQ(open.DoModal(), IDCANCEL);
    user.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(open.GetPathName(), u"");
}

}  // namespace

#endif  // _WIN32
