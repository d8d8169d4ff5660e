// Internals of the headless window system, shared by its source files. Not for tests.
//
// Every window, device context, bitmap, font, icon, menu and image list is a record in one
// world, found by its handle (a number from one counter). One mutex guards the world; it is
// never held while a window procedure runs or a thread waits. Control state (list rows, tree
// items) lives in the window record and is only touched on the window's own thread: control
// messages from other threads are sent, so they run there.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/ui.h"

namespace headless::detail {

using namespace ui;
using headless::IconRecord;
using headless::TextRecord;

// ---- Handles

std::uintptr_t NextHandle();
template <class H>
H ToHandle(std::uintptr_t value) {
    return reinterpret_cast<H>(value);
}
template <class H>
std::uintptr_t HandleValue(H handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

// ---- Geometry

bool IsEmpty(const RECT& r);
RECT Intersect(const RECT& a, const RECT& b);
RECT Union(const RECT& a, const RECT& b);
bool Contains(const RECT& outer, const RECT& inner);
RECT Offset(RECT r, int dx, int dy);
int MulDiv(int a, int b, int c);

// ---- Text metrics (see headless.h)

struct FontMetrics {
    int height;      // pixels
    int lineHeight;  // height + 2
    int charWidth;   // below U+2E80
    int wideWidth;   // CJK and beyond
};
FontMetrics MetricsOf(HFONT font);  // null: the default font
int TextWidth(std::u16string_view text, const FontMetrics& m);
HFONT DefaultFont();
HFONT MakeFont(std::u16string_view face, int pointSize);

// ---- Canvas

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    std::vector<TextRecord> texts;
    std::vector<IconRecord> icons;
    void Resize(int w, int h, COLORREF fill);
    RECT Bounds() const { return {0, 0, width, height}; }
    // Paints `area` (already clipped) and forgets the records it covers completely.
    void Fill(const RECT& area, COLORREF color);
    void Cover(const RECT& area);
    // Moves what `area` shows by (dx, dy) within it, records too, as scrolling a window's bits
    // does; the part uncovered keeps its old pixels until it is painted.
    void Scroll(const RECT& area, int dx, int dy);
};

// ---- Threads and their queues

struct ThreadQueue;

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;  // guarded by sender->mutex
    std::shared_ptr<ThreadQueue> sender;
};

struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct ThreadQueue {
    std::mutex mutex;
    std::condition_variable wake;
    std::uint64_t wakes = 0;  // bumped on anything a waiting loop must look at
    std::deque<PostedMessage> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
    // Owner thread only.
    std::deque<std::function<void()>> idleTasks;
    // Guarded by the world mutex.
    HWND focus = nullptr;
};

std::shared_ptr<ThreadQueue> CurrentQueue();
void Wake(ThreadQueue& queue);

// ---- Windows

enum class Kind {
    Generic,
    Dialog,
    Button,
    Edit,
    Static,
    ComboBox,
    ListView,
    TreeView,
    Progress,
    Header
};

struct ControlData {
    virtual ~ControlData() = default;
};

struct Window {
    HWND handle = nullptr;
    Kind kind = Kind::Generic;
    std::u16string className;
    std::shared_ptr<ThreadQueue> queue;  // the owner thread's
    HWND parent = nullptr;               // WS_CHILD windows
    HWND owner = nullptr;                // top-level windows
    std::vector<HWND> children;          // creation order = tab order
    std::u16string text;
    int id = 0;
    DWORD style = 0;  // WS_VISIBLE, WS_DISABLED, WS_MINIMIZE carry the state
    DWORD exStyle = 0;
    RECT rect{};  // window rectangle: parent's client coordinates, or screen for top level
    bool hasUpdate = false;
    RECT update{};
    bool erase = false;
    Canvas canvas;
    HFONT font = nullptr;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    HMENU systemMenu = nullptr;
    CWnd* object = nullptr;       // routed: its WindowProc sees the messages first
    std::vector<CWnd*> wrappers;  // attached without routing
    bool destroying = false;
    UINT dialogTemplate = 0;
    int defaultId = 0;  // DM_SETDEFID's; 0: the BS_DEFPUSHBUTTON child decides
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    HWND disabledOwner = nullptr;  // the owner a modal dialog disabled
    std::map<UINT, int> refusals;  // messages still to answer with 0 unseen (RefuseMessages)
    std::unique_ptr<ControlData> data;
};

// A control's state, made on first use; owner thread only.
template <class T>
T& DataOf(Window& w) {
    if (!w.data)
        w.data = std::make_unique<T>();
    return static_cast<T&>(*w.data);
}

std::unique_lock<std::mutex> Lock();
// Null when the window does not exist. The world lock must be held for the first form.
Window* FindLocked(HWND window);
std::shared_ptr<Window> Find(HWND window);
bool OnOwnerThread(HWND window);

struct CreateArgs {
    std::u16string_view className;
    std::u16string_view text;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};
    HWND parent = nullptr;
    HWND owner = nullptr;
    int id = 0;
    CWnd* object = nullptr;
    UINT dialogTemplate = 0;
};
HWND CreateWindowInternal(const CreateArgs& args);
bool DestroyWindowInternal(HWND window);

// Calls the window's procedure on this thread: the routed object, else the class's own.
LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The class's own behaviour, and the generic default every class falls back to.
LRESULT ClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT GenericProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT HeaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Control set-up right after the record exists (before WM_CREATE).
void InitList(HWND window);
void InitTree(HWND window);
// What the tree does when its style changes (the platform's WM_STYLECHANGED).
void TreeStyleChanged(HWND tree, DWORD before, DWORD now);

// Geometry in screen coordinates; the client rectangle's size.
RECT WindowRectScreen(HWND window);
RECT ClientRectScreen(HWND window);
SIZE ClientSize(HWND window);
RECT FrameOf(DWORD style, DWORD exStyle);  // non-client widths: left, top, right, bottom
void MoveWindowInternal(HWND window, const RECT& rect, bool repaint);
bool ShowWindowInternal(HWND window, int command);
bool IsChildOf(HWND parent, HWND window);
HWND GetParentInternal(HWND window);
HWND FirstChildWithId(HWND parent, int id);
std::vector<HWND> ChildrenOf(HWND window);
DWORD StyleOf(HWND window);
bool IsDrawable(HWND window);

// Update region.
void InvalidateInternal(HWND window, const RECT* rect, bool erase, bool withChildren);
void UpdateWindowInternal(HWND window);

// Focus of the window's thread.
HWND SetFocusInternal(HWND window);
HWND FocusOfThisThread();

// Sends WM_NOTIFY with `header` (hwndFrom and idFrom filled in) to the control's parent.
LRESULT NotifyParent(HWND control, NMHDR& header);
// Sends WM_COMMAND with `code` to the control's parent.
void CommandParent(HWND control, UINT code);

// Painting helpers for the built-in classes.
struct Painter {
    explicit Painter(HWND window);
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;
    HDC dc = nullptr;
    RECT paint{};
    HWND window;
};
COLORREF ClassBackground(Kind kind);
void EraseBackground(HWND window, HDC dc);

// Device contexts.
HDC BeginPaintInternal(HWND window, RECT* paint);
void EndPaintInternal(HDC dc);

// Messages private to this backend: handled before any object or class procedure.
inline constexpr UINT kMsgDestroy = 0x03F0;
inline constexpr UINT kMsgSetFocus = 0x03F1;

// Message retrieval for loops.
enum class Got { Message, Quit, Stopped };
Got NextMessage(PostedMessage* out, const std::function<bool()>& stop);
void DispatchInternal(const PostedMessage& message);
void ServeSent(const std::shared_ptr<SentMessage>& message);
// Removes the first message in [first, last] posted to the window from the calling thread's
// queue: a control that follows the mouse until the button comes up takes the release this way.
bool TakePosted(HWND window, UINT first, UINT last);
// The window's senders still waiting get 0 (called on the window's thread when it goes).
void AnswerPendingSends(ThreadQueue& queue, HWND window);
// A window of the queue's thread that awaits painting, parents before children; or null.
HWND WindowToPaint(const ThreadQueue& queue);
bool EnableWindowInternal(HWND window, bool enable);
void ForgetMenu(HMENU menu);

// Dialog keyboard handling in a modal loop; true when the message was consumed.
bool IsDialogMessageInternal(HWND dialog, const PostedMessage& message);

// Uppercasing for ES_UPPERCASE.
std::u16string UpperCase(std::u16string_view text);

// Image lists, icons, the cursor.
SIZE ImageListSize(HIMAGELIST list);
void DestroyImageListInternal(HIMAGELIST list);  // aborts for one that does not exist
HICON MakeIcon(UINT id, int width, int height);
void ResetCursor();
std::vector<HWND> AllWindows();

}  // namespace headless::detail
