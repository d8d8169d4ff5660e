// The Win32 backend of the class library: windows, their procedure, messages, the application.
#include <atomic>

#include "platform/win32/ui_internal.h"

namespace win32 {
namespace {

thread_local Frame* tTop = nullptr;  // the innermost message handled on this thread
thread_local CreationHook::Pending tPending;

// Frames of an object that is going away must not touch it when they unwind.
void MarkFramesDead(const ui::CWnd* object) {
    for (Frame* f = tTop; f != nullptr; f = f->outer) {
        if (f->window == object)
            f->alive = false;
    }
}

bool IsOurProcedure(::HWND window);

// After WM_NCDESTROY: the window is gone; the object forgets it and may delete itself.
void Release(ui::CWnd& object, ::HWND window) {
    MarkFramesDead(&object);
    if (object.state_->original != nullptr && IsOurProcedure(window)) {
        SetWindowLongPtrW(window, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(object.state_->original));
    }
    RemovePropW(window, kObjectProperty);
    RemovePropW(window, kProcedureProperty);
    RemovePropW(window, kTemplateProperty);
    RemovePropW(window, kSequenceProperty);
    object.state_->original = nullptr;
    object.state_->current = nullptr;
    object.m_hWnd = nullptr;
    try {
        object.PostNcDestroy();
    } catch (...) {
    }
}

// Wrappers attached to the children of a window being destroyed would outlive their windows.
BOOL CALLBACK DetachAttachedChild(::HWND child, LPARAM) {
    auto* object = static_cast<ui::CWnd*>(GetPropW(child, kObjectProperty));
    if (object != nullptr && object->m_hWnd == Ui(child) && object->state_->original == nullptr)
        object->Detach();
    return TRUE;
}

// The one entry point of every window we route: the object's WindowProc first, then (through
// Default / DefWindowProc) the class's own procedure. No exception leaves it.
LRESULT CALLBACK WindowEntry(::HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* object = static_cast<ui::CWnd*>(GetPropW(window, kObjectProperty));
    if (object == nullptr || object->m_hWnd != Ui(window) || object->state_->original == nullptr) {
        const auto original = reinterpret_cast<WNDPROC>(
            reinterpret_cast<LONG_PTR>(GetPropW(window, kProcedureProperty)));
        if (original != nullptr)
            return CallWindowProcW(original, window, message, wParam, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Frame frame{object, message, wParam, lParam, tTop, object->state_->current};
    tTop = &frame;
    object->state_->current = &frame;
    LRESULT result = 0;
    try {
        if (message == WM_INITDIALOG) {
            const auto templateId = reinterpret_cast<UINT_PTR>(GetPropW(window, kTemplateProperty));
            if (templateId != 0)
                FillDropDownLists(window, static_cast<UINT>(templateId));
        }
        result = object->WindowProc(message, wParam, lParam);
    } catch (...) {
        result = 0;
    }
    tTop = frame.outer;
    if (!frame.alive)
        return result;
    object->state_->current = frame.outerOfSame;
    if (message == WM_DESTROY)
        EnumChildWindows(window, DetachAttachedChild, 0);
    if (message == WM_NCDESTROY && object->m_hWnd == Ui(window))
        Release(*object, window);
    return result;
}

bool IsOurProcedure(::HWND window) {
    return GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WindowEntry);
}

// The class name without the side-by-side version prefix ("6.0.0.0!SysListView32").
const wchar_t* BaseClassName(const wchar_t* name) {
    const wchar_t* base = name;
    for (const wchar_t* p = name; *p != L'\0'; ++p) {
        if (*p == L'!')
            base = p + 1;
    }
    return base;
}

LRESULT CALLBACK CreationHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && tPending.object != nullptr) {
        const auto window = reinterpret_cast<::HWND>(wParam);
        wchar_t name[256] = {};
        if (GetClassNameW(window, name, 256) > 0 &&
            lstrcmpiW(BaseClassName(name), BaseClassName(tPending.className)) == 0) {
            const CreationHook::Pending pending = tPending;
            tPending = {};
            Subclass(*pending.object, window);
            if (pending.templateId != 0) {
                SetPropW(window, kTemplateProperty,
                         reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(pending.templateId)));
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::atomic<UINT_PTR> gSequence{0};

}  // namespace

void Subclass(ui::CWnd& object, ::HWND window) {
    object.m_hWnd = Ui(window);
    SetPropW(window, kObjectProperty, &object);
    const auto original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowEntry)));
    SetPropW(window, kProcedureProperty,
             reinterpret_cast<HANDLE>(reinterpret_cast<LONG_PTR>(original)));
    object.state_->original = original;
    if ((GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) == 0)
        Sequence(window);
}

CreationHook::CreationHook(ui::CWnd& object, const wchar_t* className, UINT templateId)
    : hook_(SetWindowsHookExW(WH_CBT, CreationHookProc, nullptr, GetCurrentThreadId())),
      outer_(tPending) {
    tPending = {&object, className, templateId};
}

CreationHook::~CreationHook() {
    tPending = outer_;
    if (hook_ != nullptr)
        UnhookWindowsHookEx(hook_);
}

void Sequence(::HWND window) {
    if (GetPropW(window, kSequenceProperty) == nullptr)
        SetPropW(window, kSequenceProperty, reinterpret_cast<HANDLE>(++gSequence));
}

}  // namespace win32

namespace ui {

using namespace win32;

// ---- Messages

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-sendmessagew
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(Native(window), message, wParam, lParam);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(Native(window), message, wParam, lParam) != FALSE;
}

bool IsWindow(HWND window) {
    return window != nullptr && ::IsWindow(Native(window)) != FALSE;
}

namespace {

// Sleeps in MsgWaitForMultipleObjectsEx, woken by sent messages (and paint), which a
// PeekMessage limited to them then handles; posted messages and input stay queued. `done` is
// polled between short waits.
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-msgwaitformultipleobjectsex
bool WaitServing(const std::function<bool()>& done, unsigned timeoutMs, bool paint) {
    constexpr DWORD kSlice = 5;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        // One window a round: one that never validates cannot keep `done` from being seen.
        if (paint && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_PAINT))
            DispatchMessageW(&msg);
        if (done())
            return true;
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= timeoutMs)
            return false;
        const auto left = static_cast<DWORD>(timeoutMs - elapsed);
        MsgWaitForMultipleObjectsEx(0, nullptr, left < kSlice ? left : kSlice,
                                    QS_SENDMESSAGE | (paint ? QS_PAINT : 0), MWMO_INPUTAVAILABLE);
    }
}

}  // namespace

bool WaitServingSentMessages(const std::function<bool()>& done, unsigned timeoutMs) {
    return WaitServing(done, timeoutMs, false);
}

bool WaitServingSentMessagesAndPaint(const std::function<bool()>& done, unsigned timeoutMs) {
    return WaitServing(done, timeoutMs, true);
}

// ---- Windows

CWnd::CWnd() : state_(std::make_unique<State>()) {}

CWnd::~CWnd() {
    MarkFramesDead(this);
    if (m_hWnd == nullptr)
        return;
    const ::HWND window = Native(m_hWnd);
    // A window we route, on its own thread, goes with its object (its last messages reach
    // this base class only); otherwise the window stays and merely forgets us.
    if (state_->original != nullptr && ::IsWindow(window) &&
        GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        ::DestroyWindow(window);
    }
    if (m_hWnd != nullptr)
        Detach();
}

CWnd* CWnd::FromHandle(HWND window) {
    const ::HWND w = Native(window);
    if (w == nullptr || !::IsWindow(w))
        return nullptr;
    ::DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process != GetCurrentProcessId())
        return nullptr;
    return static_cast<CWnd*>(GetPropW(w, kObjectProperty));
}

bool CWnd::Attach(HWND window) {
    const ::HWND w = Native(window);
    if (m_hWnd != nullptr || w == nullptr || FromHandle(window) != nullptr || !::IsWindow(w))
        return false;
    if (!SetPropW(w, kObjectProperty, this))
        return false;
    m_hWnd = window;
    return true;
}

HWND CWnd::Detach() {
    const HWND handle = m_hWnd;
    const ::HWND window = Native(handle);
    if (window == nullptr)
        return nullptr;
    if (state_->original != nullptr && ::IsWindow(window)) {
        // Someone who subclassed after us still calls WindowEntry: it forwards by the property.
        if (IsOurProcedure(window)) {
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state_->original));
            RemovePropW(window, kProcedureProperty);
        }
    }
    if (GetPropW(window, kObjectProperty) == this)
        RemovePropW(window, kObjectProperty);
    state_->original = nullptr;
    m_hWnd = nullptr;
    return handle;
}

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-createwindowexw
bool CWnd::Create(const char16_t* className, std::u16string_view text, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id) {
    if (m_hWnd != nullptr || className == nullptr)
        return false;
    const std::u16string title(text);
    const ::HWND parentWindow = parent != nullptr ? Native(parent->m_hWnd) : nullptr;
    // For a child the menu argument is its id.
    const auto menu =
        (style & WS_CHILD) != 0 ? reinterpret_cast<::HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    ::HWND window = nullptr;
    {
        CreationHook hook(*this, Native(className));
        window = CreateWindowExW(0, Native(className), Native(title.c_str()), style, rect.left,
                                 rect.top, Width(rect), Height(rect), parentWindow, menu,
                                 GetModuleHandleW(nullptr), nullptr);
    }
    if (window == nullptr)
        return false;
    if (m_hWnd == nullptr)  // the hook could not tell the window: route it from now on
        Subclass(*this, window);
    return true;
}

bool CWnd::DestroyWindow() {
    const ::HWND window = Native(m_hWnd);
    if (window == nullptr)
        return false;
    const bool routed = state_->original != nullptr;
    const bool destroyed = ::DestroyWindow(window) != FALSE;
    // A routed window released us on WM_NCDESTROY, and `this` may be gone by now.
    if (destroyed && !routed && m_hWnd == Ui(window))
        m_hWnd = nullptr;
    return destroyed;
}

HWND CWnd::GetDlgItem(int id) const {
    return Ui(::GetDlgItem(Native(m_hWnd), id));
}

int testing::GetDlgCtrlID(HWND window) {
    return ::GetDlgCtrlID(Native(window));
}

HWND CWnd::GetParentHwnd() const {
    return Ui(::GetParent(Native(m_hWnd)));
}

// True when the window was disabled before, as the platform's.
bool CWnd::EnableWindow(bool enable) {
    return ::EnableWindow(Native(m_hWnd), enable ? TRUE : FALSE) != FALSE;
}

bool testing::IsWindowEnabled(HWND window) {
    return ::IsWindowEnabled(Native(window)) != FALSE;
}

// True when the window was visible before, as the platform's.
bool CWnd::ShowWindow(int command) {
    return ::ShowWindow(Native(m_hWnd), command) != FALSE;
}

bool CWnd::IsWindowVisible() const {
    return ::IsWindowVisible(Native(m_hWnd)) != FALSE;
}

bool CWnd::IsIconic() const {
    return ::IsIconic(Native(m_hWnd)) != FALSE;
}

void CWnd::MoveWindow(const RECT& rect, bool repaint) {
    ::MoveWindow(Native(m_hWnd), rect.left, rect.top, Width(rect), Height(rect),
                 repaint ? TRUE : FALSE);
}

void CWnd::GetClientRect(RECT* rect) const {
    ::GetClientRect(Native(m_hWnd), Native(rect));
}

void CWnd::GetWindowRect(RECT* rect) const {
    ::GetWindowRect(Native(m_hWnd), Native(rect));
}

void CWnd::ScreenToClient(POINT* point) const {
    ::ScreenToClient(Native(m_hWnd), Native(point));
}

void testing::ClientToScreen(HWND window, POINT* point) {
    ::ClientToScreen(Native(window), Native(point));
}

void CWnd::Invalidate(bool erase) {
    ::InvalidateRect(Native(m_hWnd), nullptr, erase ? TRUE : FALSE);
}

void CWnd::InvalidateRect(const RECT* rect, bool erase) {
    ::InvalidateRect(Native(m_hWnd), Native(rect), erase ? TRUE : FALSE);
}

bool testing::GetUpdateRect(HWND window, RECT* rect) {
    return ::GetUpdateRect(Native(window), Native(rect), FALSE) != FALSE;
}

void CWnd::UpdateWindow() {
    ::UpdateWindow(Native(m_hWnd));
}

HWND CWnd::SetFocus() {
    return Ui(::SetFocus(Native(m_hWnd)));
}

DWORD CWnd::GetStyle() const {
    return static_cast<DWORD>(GetWindowLongPtrW(Native(m_hWnd), GWL_STYLE));
}

DWORD testing::GetExStyle(HWND window) {
    return static_cast<DWORD>(GetWindowLongPtrW(Native(window), GWL_EXSTYLE));
}

// False when the style stays as it was.
bool CWnd::ModifyStyle(DWORD remove, DWORD add) {
    const DWORD old = GetStyle();
    const DWORD now = (old & ~remove) | add;
    if (now == old)
        return false;
    SetWindowLongPtrW(Native(m_hWnd), GWL_STYLE, static_cast<LONG_PTR>(static_cast<LONG>(now)));
    return true;
}

bool CWnd::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(Native(m_hWnd), Native(insertAfter), x, y, cx, cy, flags) != FALSE;
}

HICON CWnd::SetIcon(HICON icon, bool big) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HFONT CWnd::GetFont() const {
    return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
}

void CWnd::SetFont(HFONT font, bool redraw) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
}

CMenu CWnd::GetSystemMenu(bool revert) const {
    return CMenu(Ui(::GetSystemMenu(Native(m_hWnd), revert ? TRUE : FALSE)));
}

LRESULT CWnd::Default() {
    const Frame* frame = state_->current;
    if (frame == nullptr)
        return 0;
    return DefWindowProc(frame->message, frame->wParam, frame->lParam);
}

// The class's own procedure for a window we subclassed; the plain default otherwise.
LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (state_->original != nullptr)
        return CallWindowProcW(state_->original, Native(m_hWnd), message, wParam, lParam);
    return DefWindowProcW(Native(m_hWnd), message, wParam, lParam);
}

// ---- Application

// https://learn.microsoft.com/windows/win32/api/commctrl/nf-commctrl-initcommoncontrolsex
bool InitCommonControls(DWORD classes) {
    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof(INITCOMMONCONTROLSEX);
    init.dwICC = classes;
    return InitCommonControlsEx(&init) != FALSE;
}

int RunMessageLoop() {
    MSG msg;
    for (;;) {
        if (RunIdleTask())
            continue;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            return -1;
        if (got == 0)
            return static_cast<int>(msg.wParam);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void PostQuitMessage(int exitCode) {
    ::PostQuitMessage(exitCode);
}

}  // namespace ui
