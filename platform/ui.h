// Our small class library in place of the platform's application framework: what the system's
// windows use, and nothing more. One header, two implementations chosen at link time:
// platform/win32/ (real windows and common controls) and platform/headless/ (windows held in
// memory, painting recorded; see platform/headless/headless.h for what tests can reach).
//
// Threads follow the platform's rules on both backends: a window belongs to the thread that
// created it; SendMessage from another thread runs the handler on the window's thread while the
// sender waits (and is served inside modal loops); PostMessage queues.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui_defs.h"

namespace ui {

class CWnd;
class CDialog;

// ---- Messages -----------------------------------------------------------------------------

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool PostMessage(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool IsWindow(HWND window);

// Handles messages sent to the calling thread (and only those) until `done` holds or
// `timeoutMs` passes; true when `done` held. For waiting on a worker that may be blocked in a
// send to one of this thread's windows.
bool WaitServingSentMessages(const std::function<bool()>& done, unsigned timeoutMs);
// The same, and paints the calling thread's windows meanwhile: for a wait the operator sees.
// Input and posted messages stay queued, so none of their handlers starts inside the wait.
bool WaitServingSentMessagesAndPaint(const std::function<bool()>& done, unsigned timeoutMs);

// ---- Message tables -------------------------------------------------------------------------
//
// A table is a static array of entries matched in order; the first match wins and what is left
// goes to the base class's table, then to the default procedure. Keys: a message; WM_COMMAND
// with a control id and a notification code; WM_NOTIFY with a control id (or any) and a code.

using MessageThunk = LRESULT (*)(CWnd& window, WPARAM wParam, LPARAM lParam);

inline constexpr UINT kAnyId = 0xFFFFFFFFu;

struct MessageEntry {
    UINT message;
    UINT id;    // WM_COMMAND, WM_NOTIFY: control id or kAnyId
    UINT code;  // WM_COMMAND: notification code; WM_NOTIFY: NMHDR code
    MessageThunk thunk;
};

struct MessageMap {
    const MessageMap* base;
    const MessageEntry* entries;
    std::size_t count;
};

namespace detail {
template <class F>
struct MemberOf;
template <class T, class R, class... A>
struct MemberOf<R (T::*)(A...)> {
    using Class = T;
};
}  // namespace detail

// Raw handler: LRESULT OnX(WPARAM, LPARAM).
template <auto F>
constexpr MessageEntry OnMessage(UINT message) {
    using T = typename detail::MemberOf<decltype(F)>::Class;
    return {message, 0, 0, [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
                return (static_cast<T&>(w).*F)(wp, lp);
            }};
}

// Command handler: void OnX(); for WM_COMMAND from control `id` with notification `code`.
template <auto F>
constexpr MessageEntry OnCommand(UINT id, UINT code = 0 /* BN_CLICKED */) {
    using T = typename detail::MemberOf<decltype(F)>::Class;
    return {WM_COMMAND, id, code, [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
                (static_cast<T&>(w).*F)();
                return 0;
            }};
}

// Notification handler: void OnX(NMHDR* header, LRESULT* result); result starts at 0.
template <auto F>
constexpr MessageEntry OnNotify(UINT id, int code) {
    using T = typename detail::MemberOf<decltype(F)>::Class;
    return {WM_NOTIFY, id, static_cast<UINT>(code), [](CWnd& w, WPARAM, LPARAM lp) -> LRESULT {
                LRESULT result = 0;
                (static_cast<T&>(w).*F)(reinterpret_cast<NMHDR*>(lp), &result);
                return result;
            }};
}

// ---- Drawing ------------------------------------------------------------------------------

// A drawing surface: a window's paint context or a memory context with a bitmap selected.
class CDC {
  public:
    CDC() = default;
    explicit CDC(HDC dc) : m_hDC(dc) {}
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    bool CreateCompatibleDC(CDC* other);  // memory context
    void DeleteDC();

    void FillSolidRect(const RECT& rect, COLORREF color);
    // One-pixel frame: top and left edges in `topLeft`, bottom and right in `bottomRight`.
    void Draw3dRect(const RECT& rect, COLORREF topLeft, COLORREF bottomRight);
    int DrawText(std::u16string_view text, RECT& rect, UINT format);
    COLORREF SetTextColor(COLORREF color);
    COLORREF SetBkColor(COLORREF color);
    int SetBkMode(int mode);
    HFONT SelectFont(HFONT font);          // returns the previous font
    HBITMAP SelectBitmap(HBITMAP bitmap);  // returns the previous bitmap
    bool BitBlt(int x, int y, int width, int height, CDC* source, int sx, int sy, DWORD rop);
    bool DrawIcon(int x, int y, HICON icon);

    HDC m_hDC = nullptr;

  protected:
    bool owned_ = false;  // made by CreateCompatibleDC: deleted with the object
};

// BeginPaint / EndPaint for the lifetime of the object.
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC() override;
    RECT m_rcPaint{};

  private:
    HWND window_;
    [[maybe_unused]] void* state_;  // the backend's paint structure (unused by the headless one)
};

class CBitmap {
  public:
    CBitmap() = default;
    ~CBitmap();
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;
    bool CreateCompatibleBitmap(CDC* dc, int width, int height);
    HBITMAP GetSafeHandle() const { return m_hBitmap; }
    void DeleteObject();
    HBITMAP m_hBitmap = nullptr;
};

COLORREF GetSysColor(int index);
// The window with the keyboard focus on the calling thread, or null.
HWND GetFocus();
int GetSystemMetrics(int index);
bool GetCursorPos(POINT* point);

// ---- Windows ------------------------------------------------------------------------------

class CMenu {
  public:
    explicit CMenu(HMENU menu = nullptr) : m_hMenu(menu) {}
    bool AppendMenu(UINT flags, UINT_PTR id = 0, std::u16string_view text = {});
    HMENU m_hMenu;
};

class CWnd {
  public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to a window of this process, or null (no temporary objects).
    static CWnd* FromHandle(HWND window);
    // Attaches a wrapper to an existing window without routing its messages through us; fails
    // when the window has an object already (FromHandle finds it).
    bool Attach(HWND window);
    HWND Detach();

    // Creates a child or top-level window of a registered class ("msctls_progress32", ...)
    // whose messages this object's table sees first; the rest go to the class's own procedure.
    bool Create(const char16_t* className, std::u16string_view text, DWORD style, const RECT& rect,
                CWnd* parent, UINT id);
    bool DestroyWindow();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    void SetWindowText(std::u16string_view text);
    std::u16string GetWindowText() const;
    HWND GetDlgItem(int id) const;
    HWND GetParentHwnd() const;
    bool EnableWindow(bool enable = true);
    bool ShowWindow(int command);
    bool IsWindowVisible() const;
    bool IsIconic() const;
    void MoveWindow(const RECT& rect, bool repaint = true);
    void GetClientRect(RECT* rect) const;
    void GetWindowRect(RECT* rect) const;
    void ScreenToClient(POINT* point) const;
    void Invalidate(bool erase = true);
    void InvalidateRect(const RECT* rect, bool erase = true);
    void UpdateWindow();
    HWND SetFocus();
    DWORD GetStyle() const;
    bool ModifyStyle(DWORD remove, DWORD add);
    bool SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
    HICON SetIcon(HICON icon, bool big);
    HFONT GetFont() const;
    void SetFont(HFONT font, bool redraw = true);
    CMenu GetSystemMenu(bool revert) const;

    HWND m_hWnd = nullptr;

    // Message handling: the table, then the base tables, then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual const MessageMap* GetMessageMap() const;
    // The message being handled, to the default procedure (the class's own, for a control).
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // After the window is gone (WM_NCDESTROY); the object may delete itself here.
    virtual void PostNcDestroy() {}

    // Runs the table lookup only; false when no entry matched.
    bool DispatchToTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // The backend's per-object state (original procedure, current message).
    struct State;
    std::unique_ptr<State> state_;
};

// A wrapper over a window that something else owns (a dialog's control), for one scope: it
// sends the window messages and nothing more. It makes no claim on the window, so it works beside
// the window's own object on both backends, FromHandle never finds it, and it never destroys
// the window.
template <class Wrapper = CWnd>
class CBorrowed : public Wrapper {
  public:
    explicit CBorrowed(HWND window) { this->m_hWnd = window; }
    ~CBorrowed() override { this->m_hWnd = nullptr; }
};

// ---- Dialogs ------------------------------------------------------------------------------

class CDataExchange {
  public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

// Binds a wrapper to a dialog control (once).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
// Tick box <-> 0/1.
void DDX_Check(CDataExchange* dx, int id, int& value);

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog from its resource in the user-interface language; returns what
    // EndDialog was given, or -1 when it could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    virtual BOOL OnInitDialog();  // UpdateData(false); TRUE: the platform focuses a control
    virtual void DoDataExchange(CDataExchange* dx);
    bool UpdateData(bool saveAndValidate = true);
    virtual void OnOK();      // UpdateData(true), then EndDialog(IDOK)
    virtual void OnCancel();  // EndDialog(IDCANCEL)

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT templateId() const { return templateId_; }
    CWnd* parent() const { return parent_; }

  private:
    UINT templateId_;
    CWnd* parent_;
};

// ---- Controls: thin wrappers, one method per message ------------------------------------

class CStatic : public CWnd {};
class CEdit : public CWnd {};

class CButton : public CWnd {
  public:
    int GetCheck() const;
    void SetCheck(int check);
};

class CComboBox : public CWnd {
  public:
    int AddString(std::u16string_view text);
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);  // CB_ERR (and no selection) for an index beyond the list
    std::u16string GetLBText(int index) const;
    void ResetContent();
};

class CImageList {
  public:
    CImageList() = default;
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    bool Create(int cx, int cy, UINT flags, int initial, int grow);
    HIMAGELIST m_hImageList = nullptr;
};

class CListCtrl : public CWnd {
  public:
    int InsertColumn(int column, std::u16string_view heading, int format, int width);
    bool DeleteColumn(int column);
    int GetColumnCount() const;
    int InsertItem(int row, std::u16string_view text);
    bool DeleteItem(int row);
    bool DeleteAllItems();
    int GetItemCount() const;
    bool SetItemText(int row, int column, std::u16string_view text);
    // LVM_GETITEMTEXT into a buffer of `bufferSize` characters: at most bufferSize - 1 of them.
    std::u16string GetItemText(int row, int column, int bufferSize = 260) const;
    bool SetItemData(int row, DWORD_PTR data);
    DWORD_PTR GetItemData(int row) const;
    bool SetItemState(int row, UINT state, UINT mask);  // row -1: every row
    UINT GetItemState(int row, UINT mask) const;
    int GetNextItem(int start, int flags) const;
    int GetTopIndex() const;
    int GetCountPerPage() const;
    bool GetSubItemRect(int row, int column, int area, RECT& rect) const;
    int HitTest(POINT point, UINT* flags = nullptr) const;  // -1: no row
    DWORD SetExtendedStyle(DWORD style);
    DWORD GetExtendedStyle() const;
    // Without LVS_SHAREIMAGELISTS the list destroys its image lists when it goes.
    HIMAGELIST SetImageList(CImageList* list, int which);  // the previous list
    HWND GetHeaderCtrl() const;
};

class CTreeCtrl : public CWnd {
  public:
    HTREEITEM InsertItem(std::u16string_view text, HTREEITEM parent, HTREEITEM after);
    bool SetItemData(HTREEITEM item, DWORD_PTR data);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    std::u16string GetItemText(HTREEITEM item) const;
    bool GetCheck(HTREEITEM item) const;
    bool SetCheck(HTREEITEM item, bool check);
    HTREEITEM GetRootItem() const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    HTREEITEM GetChildItem(HTREEITEM item) const;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    bool Expand(HTREEITEM item, UINT code);
    HTREEITEM HitTest(POINT point, UINT* flags) const;
    bool SelectItem(HTREEITEM item);
};

// A progress bar; the base of custom-painted bars.
class CProgressCtrl : public CWnd {
  public:
    bool Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
};

// ---- Files, strings, resources ------------------------------------------------------------

// The standard open and save dialogs. Filter in the form "Check File(*.chk)|*.chk||".
class CFileDialog {
  public:
    CFileDialog(bool open, std::u16string_view defaultExtension, std::u16string_view fileName,
                DWORD flags, std::u16string_view filter, CWnd* parent = nullptr);
    INT_PTR DoModal();  // IDOK or IDCANCEL
    std::u16string GetPathName() const { return path_; }

    bool open_;
    std::u16string defaultExtension_;
    std::u16string fileName_;
    DWORD flags_;
    std::u16string filter_;
    CWnd* parent_;

  private:
    std::u16string path_;
};

// String-table entry in the user-interface language; empty when there is none.
std::u16string LoadString(UINT id);
HICON LoadIcon(UINT id);
LANGID GetUiLanguage();

// ---- Application and threads --------------------------------------------------------------

class CWinApp {
  public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual BOOL InitInstance() { return TRUE; }
    // The program's exit code; by default the code WM_QUIT carried (0 without a loop).
    virtual int ExitInstance();
    CWnd* m_pMainWnd = nullptr;

  protected:
    int quitCode_ = 0;

  private:
    friend int RunApplication();
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// InitCommonControlsEx with the structure's size and the given class mask.
bool InitCommonControls(DWORD classes);
// What the program's entry point does: InitInstance, the message loop when it returned true,
// then ExitInstance, whose result it returns. -1 without an application object or when one of
// them threw.
int RunApplication();
// GetMessage / TranslateMessage / DispatchMessage until WM_QUIT; returns its exit code.
int RunMessageLoop();
void PostQuitMessage(int exitCode);

using AFX_THREADPROC = UINT (*)(void* parameter);
struct CWinThread {
    AFX_THREADPROC proc;
    void* parameter;
};
// Starts `proc` on a new thread at once; the thread object deletes itself when it ends.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* parameter, int priority = 0,
                           UINT stackSize = 0, DWORD createFlags = 0, void* security = nullptr);

// A critical section: recursive, like the platform's.
class CCriticalSection {
  public:
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

  private:
    std::recursive_mutex mutex_;
};

// Holds a critical section from construction to destruction, however the scope is left.
class CCriticalSectionLock {
  public:
    explicit CCriticalSectionLock(CCriticalSection& section) : section_(section) {
        section_.Lock();
    }
    ~CCriticalSectionLock() { section_.Unlock(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

  private:
    CCriticalSection& section_;
};

}  // namespace ui
