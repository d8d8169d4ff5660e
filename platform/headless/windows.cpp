// Window records: creation and destruction, the procedure chain, geometry, visibility, the
// update region, focus, the generic default procedure, CWnd and system menus.
#include <algorithm>
#include <atomic>

#include "platform/headless/core.h"
#include "platform/text.h"

namespace headless::detail {

namespace {

struct World {
    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<Window>> windows;  // handle order = creation order
};

World& TheWorld() {
    static World* world = new World;  // outlives detached threads at exit
    return *world;
}

std::atomic<std::uintptr_t> g_nextHandle{0x10000};

// The message each routed object is handling, innermost last, for CWnd::Default. Kept out of
// the object so that an object deleting itself in PostNcDestroy is never touched again.
struct Frame {
    const CWnd* object;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
thread_local std::vector<Frame> t_frames;

struct ClassName {
    std::u16string_view name;
    Kind kind;
};
constexpr ClassName kClasses[] = {
    {u"#32770", Kind::Dialog},
    {u"Button", Kind::Button},
    {u"Edit", Kind::Edit},
    {u"Static", Kind::Static},
    {u"ComboBox", Kind::ComboBox},
    {u"SysListView32", Kind::ListView},
    {u"SysTreeView32", Kind::TreeView},
    {u"msctls_progress32", Kind::Progress},
    {u"SysHeader32", Kind::Header},
};

// Class names compare without case, as the platform's do. Any other name is a plain window
// class whose procedure is the default one.
Kind KindOf(std::u16string_view name, std::u16string* canonical) {
    for (const auto& c : kClasses) {
        if (platform::EqualsNoCase(c.name, name)) {
            *canonical = std::u16string(c.name);
            return c.kind;
        }
    }
    *canonical = std::u16string(name);
    return Kind::Generic;
}

SIZE ClientSizeLocked(const Window& w) {
    const RECT frame = FrameOf(w.style, w.exStyle);
    return {std::max(0, Width(w.rect) - frame.left - frame.right),
            std::max(0, Height(w.rect) - frame.top - frame.bottom)};
}

POINT ClientOriginLocked(const Window& w);

RECT WindowRectLocked(const Window& w) {
    if (w.parent == nullptr)
        return w.rect;
    const Window* parent = FindLocked(w.parent);
    if (parent == nullptr)
        return w.rect;
    const POINT origin = ClientOriginLocked(*parent);
    return Offset(w.rect, origin.x, origin.y);
}

POINT ClientOriginLocked(const Window& w) {
    const RECT screen = WindowRectLocked(w);
    const RECT frame = FrameOf(w.style, w.exStyle);
    return {screen.left + frame.left, screen.top + frame.top};
}

// A minimised window still paints its client area (where a program draws its icon); what lies
// inside it does not.
bool DrawableLocked(const Window& w) {
    for (const Window* x = &w; x != nullptr; x = x->parent ? FindLocked(x->parent) : nullptr) {
        if (!(x->style & WS_VISIBLE) || (x != &w && (x->style & WS_MINIMIZE)))
            return false;
    }
    return true;
}

void InvalidateLocked(Window& w, RECT area, bool erase, bool withChildren,
                      std::vector<std::shared_ptr<ThreadQueue>>* toWake) {
    const SIZE size = ClientSizeLocked(w);
    const RECT r = Intersect(area, {0, 0, size.cx, size.cy});
    if (IsEmpty(r))
        return;
    w.update = w.hasUpdate ? Union(w.update, r) : r;
    w.hasUpdate = true;
    w.erase = w.erase || erase;
    toWake->push_back(w.queue);
    // Without WS_CLIPCHILDREN the children under the area need painting too.
    if (!withChildren && (w.style & WS_CLIPCHILDREN))
        return;
    for (HWND c : w.children) {
        Window* child = FindLocked(c);
        if (child == nullptr || !(child->style & WS_VISIBLE))
            continue;
        const RECT frame = FrameOf(child->style, child->exStyle);
        const RECT inChild =
            Offset(r, -(child->rect.left + frame.left), -(child->rect.top + frame.top));
        InvalidateLocked(*child, inChild, erase, withChildren, toWake);
    }
}

void MarkDestroying(Window& w) {
    w.destroying = true;
    for (HWND c : w.children) {
        if (Window* child = FindLocked(c))
            MarkDestroying(*child);
    }
}

void SendDestroy(HWND window) {
    CallProc(window, WM_DESTROY, 0, 0);
    for (HWND child : ChildrenOf(window))
        SendDestroy(child);
}

void Free(HWND window) {
    for (HWND child : ChildrenOf(window))
        Free(child);
    CallProc(window, WM_NCDESTROY, 0, 0);
    CWnd* object = nullptr;
    std::shared_ptr<ThreadQueue> queue;
    HMENU menu = nullptr;
    {
        auto lock = Lock();
        auto& windows = TheWorld().windows;
        const auto it = windows.find(HandleValue(window));
        if (it == windows.end())
            return;
        const std::shared_ptr<Window> w = it->second;
        windows.erase(it);
        if (Window* parent = w->parent ? FindLocked(w->parent) : nullptr) {
            auto& siblings = parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
        }
        if (w->queue->focus == window)
            w->queue->focus = nullptr;
        object = w->object;
        w->object = nullptr;
        if (object != nullptr && object->m_hWnd == window)
            object->m_hWnd = nullptr;
        for (CWnd* wrapper : w->wrappers) {
            if (wrapper->m_hWnd == window)
                wrapper->m_hWnd = nullptr;
        }
        w->wrappers.clear();
        queue = w->queue;
        menu = w->systemMenu;
    }
    ForgetMenu(menu);
    AnswerPendingSends(*queue, window);
    if (object != nullptr)
        object->PostNcDestroy();  // may delete the object
}

}  // namespace

// ---- Small helpers

std::uintptr_t NextHandle() {
    return g_nextHandle.fetch_add(4);
}

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return IsEmpty(r) ? RECT{} : r;
}

RECT Union(const RECT& a, const RECT& b) {
    if (IsEmpty(a))
        return b;
    if (IsEmpty(b))
        return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

RECT Offset(RECT r, int dx, int dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

// ---- Records

std::unique_lock<std::mutex> Lock() {
    return std::unique_lock(TheWorld().mutex);
}

Window* FindLocked(HWND window) {
    if (window == nullptr)
        return nullptr;
    auto& windows = TheWorld().windows;
    const auto it = windows.find(HandleValue(window));
    return it == windows.end() ? nullptr : it->second.get();
}

std::shared_ptr<Window> Find(HWND window) {
    auto lock = Lock();
    auto& windows = TheWorld().windows;
    const auto it = windows.find(HandleValue(window));
    return it == windows.end() ? nullptr : it->second;
}

bool OnOwnerThread(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w != nullptr && w->queue == CurrentQueue();
}

HWND WindowToPaint(const ThreadQueue& queue) {
    auto lock = Lock();
    for (const auto& [handle, w] : TheWorld().windows) {
        if (w->queue.get() == &queue && w->hasUpdate && !w->destroying && DrawableLocked(*w))
            return w->handle;
    }
    return nullptr;
}

std::vector<HWND> AllWindows() {
    auto lock = Lock();
    std::vector<HWND> all;
    for (const auto& [handle, w] : TheWorld().windows)
        all.push_back(w->handle);
    return all;
}

HWND CreateWindowInternal(const CreateArgs& args) {
    auto w = std::make_shared<Window>();
    w->kind = KindOf(args.className, &w->className);
    w->queue = CurrentQueue();
    w->text = std::u16string(args.text);
    w->id = args.id;
    w->style = args.style;
    w->exStyle = args.exStyle;
    w->rect = args.rect;
    w->dialogTemplate = args.dialogTemplate;
    if (w->kind == Kind::Dialog)
        w->defaultId = IDOK;  // as the platform's dialog manager starts
    HWND handle;
    {
        auto lock = Lock();
        Window* parent = nullptr;
        if (args.style & WS_CHILD) {
            parent = FindLocked(args.parent);
            if (parent == nullptr || parent->destroying)
                return nullptr;
            w->parent = args.parent;
        } else {
            // The owner of a top-level window is always a top-level window.
            const Window* owner = FindLocked(args.owner);
            while (owner != nullptr && owner->parent != nullptr)
                owner = FindLocked(owner->parent);
            w->owner = owner ? owner->handle : nullptr;
        }
        handle = ToHandle<HWND>(NextHandle());
        w->handle = handle;
        const SIZE size = ClientSizeLocked(*w);
        w->canvas.Resize(size.cx, size.cy, ClassBackground(w->kind));
        TheWorld().windows.emplace(HandleValue(handle), w);
        if (parent != nullptr)
            parent->children.push_back(handle);
        if (args.object != nullptr) {
            w->object = args.object;
            args.object->m_hWnd = handle;
        }
    }
    if (w->kind == Kind::ListView)
        InitList(handle);
    else if (w->kind == Kind::TreeView)
        InitTree(handle);
    if (CallProc(handle, WM_CREATE, 0, 0) == -1) {
        DestroyWindowInternal(handle);
        return nullptr;
    }
    const SIZE size = ClientSize(handle);
    ui::SendMessage(handle, WM_SIZE, 0,
                    MAKELPARAM(static_cast<WORD>(size.cx), static_cast<WORD>(size.cy)));
    if (IsDrawable(handle))
        InvalidateInternal(handle, nullptr, true, false);
    return ui::IsWindow(handle) ? handle : nullptr;
}

bool DestroyWindowInternal(HWND window) {
    if (!OnOwnerThread(window))
        return ui::IsWindow(window) && ui::SendMessage(window, kMsgDestroy) != 0;
    std::vector<HWND> owned;
    {
        auto lock = Lock();
        Window* w = FindLocked(window);
        if (w == nullptr || w->destroying)
            return false;
        MarkDestroying(*w);
        for (const auto& [handle, other] : TheWorld().windows) {
            if (other->owner == window && !other->destroying)
                owned.push_back(other->handle);
        }
    }
    for (HWND o : owned)
        DestroyWindowInternal(o);
    const HWND focus = FocusOfThisThread();
    if (focus != nullptr && (focus == window || IsChildOf(window, focus))) {
        const HWND parent = (StyleOf(window) & WS_CHILD) ? GetParentInternal(window) : nullptr;
        SetFocusInternal(parent);
    }
    // WM_DESTROY goes parent first, WM_NCDESTROY children first, as on the platform.
    SendDestroy(window);
    Free(window);
    return true;
}

LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* object = nullptr;
    {
        auto lock = Lock();
        Window* w = FindLocked(window);
        if (w == nullptr)
            return 0;
        if (auto refusal = w->refusals.find(message); refusal != w->refusals.end()) {
            if (--refusal->second == 0)
                w->refusals.erase(refusal);
            return 0;
        }
        object = w->object;
    }
    try {
        if (message == kMsgDestroy)
            return DestroyWindowInternal(window);
        if (message == kMsgSetFocus)
            return reinterpret_cast<LRESULT>(SetFocusInternal(window));
        if (object == nullptr)
            return ClassProc(window, message, wParam, lParam);
        t_frames.push_back({object, message, wParam, lParam});
        struct Pop {
            ~Pop() { t_frames.pop_back(); }
        } pop;
        return object->WindowProc(message, wParam, lParam);
    } catch (...) {
        return 0;  // nothing crosses into the window system
    }
}

LRESULT ClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Kind kind;
    {
        auto lock = Lock();
        const Window* w = FindLocked(window);
        if (w == nullptr)
            return 0;
        kind = w->kind;
    }
    switch (kind) {
        case Kind::Dialog:
            return DialogProc(window, message, wParam, lParam);
        case Kind::Button:
            return ButtonProc(window, message, wParam, lParam);
        case Kind::Edit:
            return EditProc(window, message, wParam, lParam);
        case Kind::Static:
            return StaticProc(window, message, wParam, lParam);
        case Kind::ComboBox:
            return ComboProc(window, message, wParam, lParam);
        case Kind::Progress:
            return ProgressProc(window, message, wParam, lParam);
        case Kind::ListView:
            return ListProc(window, message, wParam, lParam);
        case Kind::Header:
            return HeaderProc(window, message, wParam, lParam);
        case Kind::TreeView:
            return TreeProc(window, message, wParam, lParam);
        case Kind::Generic:
            break;
    }
    return GenericProc(window, message, wParam, lParam);
}

namespace {

// ---- The default procedure's messages

LRESULT OnSetText(HWND window, LPARAM lParam) {
    const auto* text = reinterpret_cast<const char16_t*>(lParam);
    auto lock = Lock();
    if (Window* w = FindLocked(window))
        w->text = text ? std::u16string(text) : std::u16string();
    return TRUE;
}

// At most size - 1 characters and the terminator; the count copied.
LRESULT OnGetText(HWND window, WPARAM size, LPARAM lParam) {
    auto* buffer = reinterpret_cast<char16_t*>(lParam);
    if (size == 0 || buffer == nullptr)
        return 0;
    auto lock = Lock();
    const Window* w = FindLocked(window);
    const std::size_t n = w ? std::min<std::size_t>(w->text.size(), size - 1) : 0;
    if (n > 0)
        w->text.copy(buffer, n);
    buffer[n] = u'\0';
    return static_cast<LRESULT>(n);
}

LRESULT OnGetTextLength(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? static_cast<LRESULT>(w->text.size()) : 0;
}

// The system menu's close goes through WM_CLOSE, so that the window can refuse it.
LRESULT OnSysCommand(HWND window, WPARAM wParam) {
    switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            ui::SendMessage(window, WM_CLOSE);
            break;
        case SC_MINIMIZE:
            ShowWindowInternal(window, SW_MINIMIZE);
            break;
        case SC_RESTORE:
            ShowWindowInternal(window, SW_RESTORE);
            break;
        default:
            break;
    }
    return 0;
}

// The previous icon goes back to the caller.
LRESULT OnSetIcon(HWND window, WPARAM wParam, LPARAM lParam) {
    auto lock = Lock();
    Window* w = FindLocked(window);
    if (w == nullptr)
        return 0;
    HICON& slot = wParam == static_cast<WPARAM>(ICON_BIG) ? w->bigIcon : w->smallIcon;
    const HICON previous = slot;
    slot = reinterpret_cast<HICON>(lParam);
    return reinterpret_cast<LRESULT>(previous);
}

LRESULT OnGetIcon(HWND window, bool big) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    if (w == nullptr)
        return 0;
    return reinterpret_cast<LRESULT>(big ? w->bigIcon : w->smallIcon);
}

// The window is drawn again only when lParam asks for it.
LRESULT OnSetFont(HWND window, WPARAM wParam, LPARAM lParam) {
    {
        auto lock = Lock();
        if (Window* w = FindLocked(window))
            w->font = reinterpret_cast<HFONT>(wParam);
    }
    if (LOWORD(static_cast<std::uintptr_t>(lParam)))
        InvalidateInternal(window, nullptr, true, false);
    return 0;
}

LRESULT OnGetFont(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? reinterpret_cast<LRESULT>(w->font) : 0;
}

// Nothing drawn: the update region is validated.
LRESULT OnPaint(HWND window) {
    RECT paint;
    EndPaintInternal(BeginPaintInternal(window, &paint));
    return 0;
}

}  // namespace

LRESULT GenericProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
            return OnSetText(window, lParam);
        case WM_GETTEXT:
            return OnGetText(window, wParam, lParam);
        case WM_GETTEXTLENGTH:
            return OnGetTextLength(window);
        case WM_CLOSE:
            DestroyWindowInternal(window);
            return 0;
        case WM_SYSCOMMAND:
            return OnSysCommand(window, wParam);
        case WM_SETICON:
            return OnSetIcon(window, wParam, lParam);
        case WM_GETICON:
            return OnGetIcon(window, wParam == static_cast<WPARAM>(ICON_BIG));
        case WM_QUERYDRAGICON:
            return OnGetIcon(window, true);
        case WM_SETFONT:
            return OnSetFont(window, wParam, lParam);
        case WM_GETFONT:
            return OnGetFont(window);
        case WM_PAINT:
            return OnPaint(window);
        case WM_ERASEBKGND:
            EraseBackground(window, reinterpret_cast<HDC>(wParam));
            return 1;
        default:
            return 0;
    }
}

// ---- Geometry

RECT FrameOf(DWORD style, DWORD exStyle) {
    constexpr DWORD kDialogFrame = 0x00400000;
    constexpr DWORD kThickFrame = 0x00040000;
    int edge = 0;
    if (style & (kDialogFrame | kThickFrame))
        edge = 3;
    else if (style & WS_BORDER)
        edge = 1;
    if (exStyle & WS_EX_CLIENTEDGE)
        edge += 2;
    const int caption = (style & WS_CAPTION) == WS_CAPTION ? 23 : 0;
    return {edge, edge + caption, edge, edge};
}

RECT WindowRectScreen(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? WindowRectLocked(*w) : RECT{};
}

RECT ClientRectScreen(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    if (w == nullptr)
        return {};
    const POINT origin = ClientOriginLocked(*w);
    const SIZE size = ClientSizeLocked(*w);
    return {origin.x, origin.y, origin.x + size.cx, origin.y + size.cy};
}

SIZE ClientSize(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? ClientSizeLocked(*w) : SIZE{};
}

void MoveWindowInternal(HWND window, const RECT& rect, bool repaint) {
    SIZE before{}, after{};
    bool moved = false;
    bool iconic = false;
    POINT clientPos{};
    {
        auto lock = Lock();
        Window* w = FindLocked(window);
        if (w == nullptr)
            return;
        before = ClientSizeLocked(*w);
        moved = w->rect.left != rect.left || w->rect.top != rect.top;
        w->rect = rect;
        after = ClientSizeLocked(*w);
        if (after.cx != before.cx || after.cy != before.cy)
            w->canvas.Resize(after.cx, after.cy, ClassBackground(w->kind));
        const RECT frame = FrameOf(w->style, w->exStyle);
        clientPos = {rect.left + frame.left, rect.top + frame.top};
        iconic = (w->style & WS_MINIMIZE) != 0;
    }
    if (after.cx != before.cx || after.cy != before.cy) {
        ui::SendMessage(window, WM_SIZE, iconic ? 1 : 0,
                        MAKELPARAM(static_cast<WORD>(after.cx), static_cast<WORD>(after.cy)));
    }
    if (moved) {
        ui::SendMessage(window, WM_MOVE, 0,
                        MAKELPARAM(static_cast<WORD>(clientPos.x), static_cast<WORD>(clientPos.y)));
    }
    if (repaint)
        InvalidateInternal(window, nullptr, true, true);
}

bool ShowWindowInternal(HWND window, int command) {
    DWORD style;
    {
        auto lock = Lock();
        const Window* w = FindLocked(window);
        if (w == nullptr)
            return false;
        style = w->style;
    }
    const bool wasVisible = (style & WS_VISIBLE) != 0;
    const bool wasIconic = (style & WS_MINIMIZE) != 0;
    auto setStyle = [&](DWORD add, DWORD remove) {
        auto lock = Lock();
        if (Window* w = FindLocked(window))
            w->style = (w->style & ~remove) | add;
    };
    if (command == SW_HIDE) {
        if (!wasVisible)
            return false;
        ui::SendMessage(window, WM_SHOWWINDOW, FALSE);
        const HWND focus = FocusOfThisThread();
        if (focus != nullptr && (focus == window || IsChildOf(window, focus)))
            SetFocusInternal((style & WS_CHILD) ? GetParentInternal(window) : nullptr);
        setStyle(0, WS_VISIBLE);
        return true;
    }
    if (!wasVisible)
        ui::SendMessage(window, WM_SHOWWINDOW, TRUE);
    constexpr int kShowMinimized = 2, kShowMinNoActive = 7;
    if (command == SW_MINIMIZE || command == kShowMinimized || command == kShowMinNoActive) {
        setStyle(WS_VISIBLE | WS_MINIMIZE, 0);
        if (!wasIconic)
            ui::SendMessage(window, WM_SIZE, 1 /* SIZE_MINIMIZED */, 0);
        return wasVisible;
    }
    const bool restore = wasIconic && (command == SW_RESTORE || command == SW_SHOWNORMAL);
    setStyle(WS_VISIBLE, restore ? WS_MINIMIZE : 0);
    if (restore) {
        const SIZE size = ClientSize(window);
        ui::SendMessage(window, WM_SIZE, 0,
                        MAKELPARAM(static_cast<WORD>(size.cx), static_cast<WORD>(size.cy)));
    }
    if (!wasVisible || restore)
        InvalidateInternal(window, nullptr, true, true);
    return wasVisible;
}

bool IsChildOf(HWND parent, HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    while (w != nullptr && w->parent != nullptr) {
        if (w->parent == parent)
            return true;
        w = FindLocked(w->parent);
    }
    return false;
}

HWND GetParentInternal(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    if (w == nullptr)
        return nullptr;
    if (w->style & WS_CHILD)
        return w->parent;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND FirstChildWithId(HWND parent, int id) {
    auto lock = Lock();
    const Window* w = FindLocked(parent);
    if (w == nullptr)
        return nullptr;
    for (HWND c : w->children) {
        const Window* child = FindLocked(c);
        if (child != nullptr && child->id == id)
            return c;
    }
    return nullptr;
}

std::vector<HWND> ChildrenOf(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->children : std::vector<HWND>{};
}

DWORD StyleOf(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->style : 0;
}

bool IsDrawable(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w != nullptr && DrawableLocked(*w);
}

bool EnableWindowInternal(HWND window, bool enable) {
    const DWORD style = StyleOf(window);
    if (!ui::IsWindow(window))
        return false;
    const bool wasDisabled = (style & WS_DISABLED) != 0;
    if (wasDisabled == !enable)
        return wasDisabled;
    {
        auto lock = Lock();
        if (Window* w = FindLocked(window))
            w->style = enable ? (w->style & ~WS_DISABLED) : (w->style | WS_DISABLED);
    }
    if (!enable && OnOwnerThread(window)) {
        // A disabled window cannot keep the focus.
        const HWND focus = FocusOfThisThread();
        if (focus != nullptr && (focus == window || IsChildOf(window, focus)))
            SetFocusInternal(nullptr);
    }
    ui::SendMessage(window, WM_ENABLE, enable ? TRUE : FALSE);
    return wasDisabled;
}

// ---- Update region

void InvalidateInternal(HWND window, const RECT* rect, bool erase, bool withChildren) {
    std::vector<std::shared_ptr<ThreadQueue>> toWake;
    {
        auto lock = Lock();
        Window* w = FindLocked(window);
        if (w == nullptr || !DrawableLocked(*w))
            return;  // hidden windows have nothing to paint
        const SIZE size = ClientSizeLocked(*w);
        InvalidateLocked(*w, rect ? *rect : RECT{0, 0, size.cx, size.cy}, erase, withChildren,
                         &toWake);
    }
    std::sort(toWake.begin(), toWake.end());
    toWake.erase(std::unique(toWake.begin(), toWake.end()), toWake.end());
    for (const auto& queue : toWake)
        Wake(*queue);
}

void UpdateWindowInternal(HWND window) {
    bool paint;
    {
        auto lock = Lock();
        const Window* w = FindLocked(window);
        paint = w != nullptr && w->hasUpdate && DrawableLocked(*w);
    }
    if (paint)
        ui::SendMessage(window, WM_PAINT);
    for (HWND child : ChildrenOf(window))
        UpdateWindowInternal(child);
}

// ---- Focus

HWND FocusOfThisThread() {
    const auto queue = CurrentQueue();
    auto lock = Lock();
    return queue->focus;
}

HWND SetFocusInternal(HWND window) {
    if (window != nullptr && !OnOwnerThread(window)) {
        return ui::IsWindow(window) ? reinterpret_cast<HWND>(ui::SendMessage(window, kMsgSetFocus))
                                    : nullptr;
    }
    const auto queue = CurrentQueue();
    HWND previous;
    {
        auto lock = Lock();
        if (window != nullptr && FindLocked(window) == nullptr)
            return nullptr;
        previous = queue->focus;
        if (previous == window)
            return previous;
        queue->focus = window;
    }
    if (previous != nullptr)
        ui::SendMessage(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window));
    {
        auto lock = Lock();
        if (queue->focus != window)
            return previous;  // moved again meanwhile
    }
    if (window != nullptr)
        ui::SendMessage(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous));
    return previous;
}

// ---- Notifications

LRESULT NotifyParent(HWND control, NMHDR& header) {
    HWND parent;
    int id;
    {
        auto lock = Lock();
        const Window* w = FindLocked(control);
        if (w == nullptr)
            return 0;
        parent = w->parent;
        id = w->id;
    }
    header.hwndFrom = control;
    header.idFrom = static_cast<UINT_PTR>(id);
    return ui::SendMessage(parent, WM_NOTIFY, static_cast<WPARAM>(id),
                           reinterpret_cast<LPARAM>(&header));
}

void CommandParent(HWND control, UINT code) {
    HWND parent;
    int id;
    {
        auto lock = Lock();
        const Window* w = FindLocked(control);
        if (w == nullptr)
            return;
        parent = w->parent;
        id = w->id;
    }
    ui::SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)),
                    reinterpret_cast<LPARAM>(control));
}

}  // namespace headless::detail

// ---- CWnd

namespace ui {

using namespace headless::detail;

// The routing lives in the window record and the current message on a per-thread stack.
struct CWnd::State {};

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd == nullptr)
        return;
    bool routed = false;
    {
        auto lock = Lock();
        if (Window* w = FindLocked(m_hWnd)) {
            if (w->object == this) {
                w->object = nullptr;  // what is left of the object must not be called
                routed = true;
            }
            auto& wrappers = w->wrappers;
            wrappers.erase(std::remove(wrappers.begin(), wrappers.end(), this), wrappers.end());
        }
    }
    // A window made for this object goes with it.
    if (routed)
        DestroyWindowInternal(m_hWnd);
    m_hWnd = nullptr;
}

bool IsWindow(HWND window) {
    auto lock = Lock();
    return FindLocked(window) != nullptr;
}

CWnd* CWnd::FromHandle(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    if (w == nullptr)
        return nullptr;
    if (w->object != nullptr)
        return w->object;
    return w->wrappers.empty() ? nullptr : w->wrappers.front();
}

bool CWnd::Attach(HWND window) {
    if (m_hWnd != nullptr)
        return false;
    auto lock = Lock();
    Window* w = FindLocked(window);
    if (w == nullptr || w->object != nullptr || !w->wrappers.empty())
        return false;
    w->wrappers.push_back(this);
    m_hWnd = window;
    return true;
}

HWND CWnd::Detach() {
    const HWND window = m_hWnd;
    auto lock = Lock();
    if (Window* w = FindLocked(window)) {
        auto& wrappers = w->wrappers;
        wrappers.erase(std::remove(wrappers.begin(), wrappers.end(), this), wrappers.end());
        if (w->object == this)
            w->object = nullptr;
    }
    m_hWnd = nullptr;
    return window;
}

bool CWnd::Create(const char16_t* className, std::u16string_view text, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id) {
    if (m_hWnd != nullptr || className == nullptr)
        return false;
    CreateArgs args;
    args.className = className;
    args.text = text;
    args.style = style;
    args.rect = rect;
    args.parent = parent ? parent->m_hWnd : nullptr;
    args.owner = args.parent;
    args.id = static_cast<int>(id);
    args.object = this;
    return CreateWindowInternal(args) != nullptr;
}

bool CWnd::DestroyWindow() {
    return m_hWnd != nullptr && DestroyWindowInternal(m_hWnd);
}

HWND CWnd::GetDlgItem(int id) const {
    return FirstChildWithId(m_hWnd, id);
}

int testing::GetDlgCtrlID(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->id : 0;
}

HWND CWnd::GetParentHwnd() const {
    return GetParentInternal(m_hWnd);
}

bool CWnd::EnableWindow(bool enable) {
    return EnableWindowInternal(m_hWnd, enable);
}

bool testing::IsWindowEnabled(HWND window) {
    return IsWindow(window) && !(StyleOf(window) & WS_DISABLED);
}

bool CWnd::ShowWindow(int command) {
    return ShowWindowInternal(m_hWnd, command);
}

bool CWnd::IsWindowVisible() const {
    auto lock = Lock();
    for (const Window* w = FindLocked(m_hWnd); w != nullptr; w = FindLocked(w->parent)) {
        if (!(w->style & WS_VISIBLE))
            return false;
        if (w->parent == nullptr)
            return true;
    }
    return false;
}

bool CWnd::IsIconic() const {
    return (StyleOf(m_hWnd) & WS_MINIMIZE) != 0;
}

void CWnd::MoveWindow(const RECT& rect, bool repaint) {
    MoveWindowInternal(m_hWnd, rect, repaint);
}

void CWnd::GetClientRect(RECT* rect) const {
    const SIZE size = ClientSize(m_hWnd);
    *rect = {0, 0, size.cx, size.cy};
}

void CWnd::GetWindowRect(RECT* rect) const {
    *rect = WindowRectScreen(m_hWnd);
}

void CWnd::ScreenToClient(POINT* point) const {
    const RECT client = ClientRectScreen(m_hWnd);
    point->x -= client.left;
    point->y -= client.top;
}

void testing::ClientToScreen(HWND window, POINT* point) {
    const RECT client = ClientRectScreen(window);
    point->x += client.left;
    point->y += client.top;
}

void CWnd::Invalidate(bool erase) {
    InvalidateInternal(m_hWnd, nullptr, erase, false);
}

void CWnd::InvalidateRect(const RECT* rect, bool erase) {
    InvalidateInternal(m_hWnd, rect, erase, false);
}

bool testing::GetUpdateRect(HWND window, RECT* rect) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    const bool pending = w != nullptr && w->hasUpdate;
    if (rect != nullptr)
        *rect = pending ? w->update : RECT{};
    return pending;
}

void CWnd::UpdateWindow() {
    UpdateWindowInternal(m_hWnd);
}

HWND CWnd::SetFocus() {
    return SetFocusInternal(m_hWnd);
}

DWORD CWnd::GetStyle() const {
    return StyleOf(m_hWnd);
}

DWORD testing::GetExStyle(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->exStyle : 0;
}

bool CWnd::ModifyStyle(DWORD remove, DWORD add) {
    DWORD before = 0, style = 0;
    bool tree = false;
    {
        auto lock = Lock();
        Window* w = FindLocked(m_hWnd);
        if (w == nullptr)
            return false;
        before = w->style;
        style = (w->style & ~remove) | add;
        if (style == w->style)
            return false;
        w->style = style;
        tree = w->kind == Kind::TreeView;
    }
    if (tree)
        TreeStyleChanged(m_hWnd, before, style);
    return true;
}

bool CWnd::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    constexpr UINT kNoRedraw = 0x0008, kShowWindow = 0x0040, kHideWindow = 0x0080;
    RECT rect;
    {
        auto lock = Lock();
        Window* w = FindLocked(m_hWnd);
        if (w == nullptr)
            return false;
        if (!(flags & SWP_NOZORDER) && w->parent == nullptr) {
            if (insertAfter == HwndTopmost())
                w->exStyle |= WS_EX_TOPMOST;
            else if (insertAfter == HwndNoTopmost())
                w->exStyle &= ~WS_EX_TOPMOST;
        }
        rect = w->rect;
    }
    RECT target = rect;
    if (!(flags & SWP_NOMOVE))
        target = Offset(target, x - target.left, y - target.top);
    if (!(flags & SWP_NOSIZE)) {
        target.right = target.left + cx;
        target.bottom = target.top + cy;
    }
    if (!(target == rect))
        MoveWindowInternal(m_hWnd, target, !(flags & kNoRedraw));
    if (flags & kShowWindow)
        ShowWindowInternal(m_hWnd, SW_SHOW);
    if (flags & kHideWindow)
        ShowWindowInternal(m_hWnd, SW_HIDE);
    return true;
}

HICON CWnd::SetIcon(HICON icon, bool big) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON,
                                               static_cast<WPARAM>(big ? ICON_BIG : ICON_SMALL),
                                               reinterpret_cast<LPARAM>(icon)));
}

HFONT CWnd::GetFont() const {
    return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
}

void CWnd::SetFont(HFONT font, bool redraw) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
}

LRESULT CWnd::Default() {
    for (auto it = t_frames.rbegin(); it != t_frames.rend(); ++it) {
        if (it->object == this)
            return DefWindowProc(it->message, it->wParam, it->lParam);
    }
    return 0;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_hWnd ? ClassProc(m_hWnd, message, wParam, lParam) : 0;
}

}  // namespace ui

// ---- Menus

namespace headless::detail {

namespace {

struct MenuItem {
    UINT flags;
    UINT id;
    std::u16string text;
};

std::map<std::uintptr_t, std::vector<MenuItem>>& Menus() {
    static auto* menus = new std::map<std::uintptr_t, std::vector<MenuItem>>;
    return *menus;
}

constexpr UINT kScSize = 0xF000, kScMove = 0xF010, kScMaximize = 0xF030;

std::vector<MenuItem> StandardSystemMenu() {
    return {{MF_STRING, SC_RESTORE, u"&Restore"},    {MF_STRING, kScMove, u"&Move"},
            {MF_STRING, kScSize, u"&Size"},          {MF_STRING, SC_MINIMIZE, u"Mi&nimize"},
            {MF_STRING, kScMaximize, u"Ma&ximize"},  {MF_SEPARATOR, 0, u""},
            {MF_STRING, SC_CLOSE, u"&Close\tAlt+F4"}};
}

}  // namespace

void ForgetMenu(HMENU menu) {
    if (menu == nullptr)
        return;
    auto lock = Lock();
    Menus().erase(HandleValue(menu));
}

}  // namespace headless::detail

namespace ui {

CMenu CWnd::GetSystemMenu(bool revert) const {
    auto lock = Lock();
    Window* w = FindLocked(m_hWnd);
    if (w == nullptr || !(w->style & WS_SYSMENU))
        return CMenu(nullptr);
    if (w->systemMenu == nullptr) {
        w->systemMenu = ToHandle<HMENU>(NextHandle());
        Menus()[HandleValue(w->systemMenu)] = StandardSystemMenu();
    }
    if (revert) {
        Menus()[HandleValue(w->systemMenu)] = StandardSystemMenu();
        return CMenu(nullptr);
    }
    return CMenu(w->systemMenu);
}

bool CMenu::AppendMenu(UINT flags, UINT_PTR id, std::u16string_view text) {
    auto lock = Lock();
    const auto it = Menus().find(HandleValue(m_hMenu));
    if (it == Menus().end())
        return false;
    if (flags & MF_SEPARATOR)
        it->second.push_back({flags, 0, u""});
    else
        it->second.push_back({flags, static_cast<UINT>(id), std::u16string(text)});
    return true;
}

int testing::GetMenuItemCount(HMENU menu) {
    auto lock = Lock();
    const auto it = Menus().find(HandleValue(menu));
    return it == Menus().end() ? -1 : static_cast<int>(it->second.size());
}

UINT testing::GetMenuItemID(HMENU menu, int position) {
    auto lock = Lock();
    const auto it = Menus().find(HandleValue(menu));
    if (it == Menus().end() || position < 0 || position >= static_cast<int>(it->second.size()))
        return static_cast<UINT>(-1);
    return it->second[static_cast<std::size_t>(position)].id;
}

std::u16string testing::GetMenuString(HMENU menu, int position) {
    auto lock = Lock();
    const auto it = Menus().find(HandleValue(menu));
    if (it == Menus().end() || position < 0 || position >= static_cast<int>(it->second.size()))
        return {};
    return it->second[static_cast<std::size_t>(position)].text;
}

}  // namespace ui
