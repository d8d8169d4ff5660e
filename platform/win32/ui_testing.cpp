// The Win32 backend of what only tests ask of the window system (ui_testing.h) and of what a
// program asks of its host (ui_host.h).
#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/win32/ui_internal.h"

#include <shellapi.h>

namespace win32 {
namespace {

// Queued answers make every file dialog a test's; the real program never queues one.
struct FileDialogs {
    std::mutex mutex;
    bool answering = false;
    std::deque<std::optional<std::u16string>> answers;
    std::vector<ui::testing::FileDialogRequest> requests;
};

FileDialogs& TheFileDialogs() {
    static auto* dialogs = new FileDialogs;
    return *dialogs;
}

// Made by the first WhenIdle of a thread, so that the real program's threads keep none. A plain
// pointer: mingw's thread-local objects with destructors crash the thread at its end.
using IdleQueue = std::deque<std::function<void()>>;
thread_local IdleQueue* t_idleTasks = nullptr;

// Windows the platform makes for itself: input-method windows, and the parts that controls
// create as top-level windows (tooltips, a drop-down list's list box).
bool IsHelperWindow(::HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    for (const wchar_t* helper : {L"IME", L"MSCTFIME UI", L"tooltips_class32", L"ComboLBox"}) {
        if (lstrcmpiW(name, helper) == 0)
            return true;
    }
    return false;
}

BOOL CALLBACK CollectAll(::HWND window, ::LPARAM found) {
    if (!IsHelperWindow(window))
        reinterpret_cast<std::vector<::HWND>*>(found)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectOurs(::HWND window, ::LPARAM found) {
    ::DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && !IsHelperWindow(window))
        reinterpret_cast<std::vector<::HWND>*>(found)->push_back(window);
    return TRUE;
}

UINT_PTR SequenceOf(::HWND window) {
    return reinterpret_cast<UINT_PTR>(GetPropW(window, kSequenceProperty));
}

}  // namespace

// A peek that finds nothing has also served the sent messages and found no window to paint.
bool RunIdleTask() {
    MSG msg;
    if (t_idleTasks == nullptr || t_idleTasks->empty() ||
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        return false;
    }
    const std::function<void()> task = std::move(t_idleTasks->front());
    t_idleTasks->pop_front();
    try {
        task();
    } catch (...) {
    }
    return true;
}

bool AnswerFileDialog(const ui::testing::FileDialogRequest& request,
                      std::optional<std::u16string>* answer) {
    FileDialogs& dialogs = TheFileDialogs();
    std::lock_guard lock(dialogs.mutex);
    if (!dialogs.answering)
        return false;
    dialogs.requests.push_back(request);
    answer->reset();
    if (!dialogs.answers.empty()) {
        *answer = std::move(dialogs.answers.front());
        dialogs.answers.pop_front();
    }
    return true;
}

}  // namespace win32

namespace ui::testing {

using namespace win32;

// The title is read without a message: the window's thread may be busy.
HWND FindTopLevelWindow(std::u16string_view title) {
    for (HWND window : TopLevelWindows()) {
        std::u16string text(title.size() + 2, u'\0');
        const int length = InternalGetWindowText(Native(window), Native(text.data()),
                                                 static_cast<int>(text.size()));
        if (length >= 0 && static_cast<std::size_t>(length) == title.size() &&
            std::u16string_view(text.data(), title.size()) == title) {
            return window;
        }
    }
    return nullptr;
}

std::u16string ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(Native(window), name, 256);
    return std::u16string(Ui(name), static_cast<std::size_t>(length > 0 ? length : 0));
}

UINT DialogTemplateOf(HWND window) {
    return static_cast<UINT>(
        reinterpret_cast<UINT_PTR>(GetPropW(Native(window), kTemplateProperty)));
}

void SetCursorPos(POINT point) {
    ::SetCursorPos(point.x, point.y);
}

void QueueFileDialogAnswer(std::u16string path) {
    FileDialogs& dialogs = TheFileDialogs();
    std::lock_guard lock(dialogs.mutex);
    dialogs.answering = true;
    dialogs.answers.emplace_back(std::move(path));
}

void QueueFileDialogCancel() {
    FileDialogs& dialogs = TheFileDialogs();
    std::lock_guard lock(dialogs.mutex);
    dialogs.answering = true;
    dialogs.answers.emplace_back(std::nullopt);
}

std::vector<FileDialogRequest> FileDialogRequests() {
    FileDialogs& dialogs = TheFileDialogs();
    std::lock_guard lock(dialogs.mutex);
    return dialogs.requests;
}

namespace {

struct KeptErrorBoxes {
    std::mutex mutex;
    bool keeping = false;
    std::vector<ErrorBox> boxes;
};

KeptErrorBoxes& TheErrorBoxes() {
    static KeptErrorBoxes& boxes = *new KeptErrorBoxes;
    return boxes;
}

// True when a test keeps the box instead of its showing.
bool KeptErrorBox(std::u16string_view title, std::u16string_view text) {
    KeptErrorBoxes& kept = TheErrorBoxes();
    std::lock_guard lock(kept.mutex);
    if (kept.keeping)
        kept.boxes.push_back({std::u16string(title), std::u16string(text)});
    return kept.keeping;
}

}  // namespace

void KeepErrorBoxes() {
    KeptErrorBoxes& kept = TheErrorBoxes();
    std::lock_guard lock(kept.mutex);
    kept.keeping = true;
}

std::vector<ErrorBox> ErrorBoxes() {
    KeptErrorBoxes& kept = TheErrorBoxes();
    std::lock_guard lock(kept.mutex);
    return kept.boxes;
}

void PressKey(HWND window, UINT virtualKey) {
    PostMessageW(Native(window), WM_KEYDOWN, virtualKey, 1);
}

// The mouse on the header, as the user drags: down on the divider at the column's right edge,
// over to where the edge goes, up. The header tracks it by capture and tells the list.
// https://learn.microsoft.com/windows/win32/controls/hdn-begintrack
bool TrackColumn(HWND list, int column, int width) {
    const ::HWND header = reinterpret_cast<::HWND>(SendMessageW(Native(list), LVM_GETHEADER, 0, 0));
    ::RECT item{};
    if (header == nullptr || !SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                                           reinterpret_cast<LPARAM>(&item))) {
        return false;
    }
    const int y = (item.top + item.bottom) / 2;
    const int from = item.right - 1;
    const int to = item.left + width - 1;
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from, y));
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to, y));
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(to, y));
    return SendMessageW(Native(list), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0) == width;
}

void Reset() {
    std::vector<::HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectAll, reinterpret_cast<LPARAM>(&windows));
    for (::HWND window : windows) {
        if (IsWindow(window))
            DestroyWindow(window);
    }
    // Posted messages only: a paint message stays until its window is painted.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
    }
    delete t_idleTasks;
    t_idleTasks = nullptr;
    {
        FileDialogs& dialogs = TheFileDialogs();
        std::lock_guard lock(dialogs.mutex);
        dialogs.answering = false;
        dialogs.answers.clear();
        dialogs.requests.clear();
    }
    {
        KeptErrorBoxes& kept = TheErrorBoxes();
        std::lock_guard lock(kept.mutex);
        kept.keeping = false;
        kept.boxes.clear();
    }
    ::SetCursorPos(0, 0);
    SetUiLanguage(kLangEnglish);
}

}  // namespace ui::testing

// ---- What a program asks of its host (ui_host.h), and the focus (ui.h)

namespace ui {

using namespace win32;

// Our windows carry their place in creation order; others get theirs when first seen, the
// bottom of the Z order (the oldest, mostly) first.
std::vector<HWND> TopLevelWindows() {
    std::vector<::HWND> found;
    EnumWindows(CollectOurs, reinterpret_cast<LPARAM>(&found));
    for (auto w = found.rbegin(); w != found.rend(); ++w)
        Sequence(*w);
    std::stable_sort(found.begin(), found.end(),
                     [](::HWND a, ::HWND b) { return SequenceOf(a) < SequenceOf(b); });
    std::vector<HWND> windows;
    windows.reserve(found.size());
    for (::HWND w : found)
        windows.push_back(Ui(w));
    return windows;
}

HWND GetFocus() {
    return Ui(::GetFocus());
}

// The platform's setting too, for whatever else honours it.
void SetUiLanguage(LANGID language) {
    SetThreadUiLanguage(language);
    SetThreadUILanguage(language);
}

void WhenIdle(std::function<void()> task) {
    if (t_idleTasks == nullptr)
        t_idleTasks = new IdleQueue;
    t_idleTasks->push_back(std::move(task));
}

std::vector<std::u16string> ProgramArguments() {
    std::vector<std::u16string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.emplace_back(reinterpret_cast<const char16_t*>(words[i]));
    LocalFree(words);
    return arguments;
}

void ShowError(std::u16string_view title, std::u16string_view text) {
    if (testing::KeptErrorBox(title, text))
        return;
    const std::u16string caption(title), body(text);
    MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(body.c_str()),
                reinterpret_cast<LPCWSTR>(caption.c_str()), MB_OK | MB_ICONERROR);
}

}  // namespace ui
