// What tests reach (ui_testing.h, headless.h) and what a program asks of its host (ui_host.h).
#include "platform/headless/core.h"
#include "platform/ui_testing.h"

#include <cstdio>
#include <mutex>

#include "platform/text.h"

namespace headless::detail {
void ResetDialogs();
bool TrackColumnInternal(HWND list, int column, int width);
}  // namespace headless::detail

namespace headless::detail {
namespace {

struct KeptErrorBoxes {
    std::mutex mutex;
    bool kept = false;  // a test asked: not written to the error stream
    std::vector<ui::testing::ErrorBox> boxes;
};

KeptErrorBoxes& TheErrorBoxes() {
    static KeptErrorBoxes& boxes = *new KeptErrorBoxes;
    return boxes;
}

}  // namespace
}  // namespace headless::detail

namespace ui::testing {

using namespace headless::detail;

void KeepErrorBoxes() {
    KeptErrorBoxes& kept = TheErrorBoxes();
    std::lock_guard lock(kept.mutex);
    kept.kept = true;
}

std::vector<ErrorBox> ErrorBoxes() {
    KeptErrorBoxes& kept = TheErrorBoxes();
    std::lock_guard lock(kept.mutex);
    return kept.boxes;
}

HWND FindTopLevelWindow(std::u16string_view title) {
    for (HWND w : TopLevelWindows()) {
        auto lock = Lock();
        const Window* record = FindLocked(w);
        if (record != nullptr && record->text == title)
            return w;
    }
    return nullptr;
}

std::u16string ClassName(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->className : std::u16string();
}

UINT DialogTemplateOf(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w ? w->dialogTemplate : 0;
}

void PressKey(HWND window, UINT virtualKey) {
    ui::PostMessage(window, WM_KEYDOWN, virtualKey, 1);
}

bool TrackColumn(HWND list, int column, int width) {
    return TrackColumnInternal(list, column, width);
}

void Reset() {
    const auto queue = CurrentQueue();
    for (HWND w : TopLevelWindows()) {
        bool mine;
        {
            auto lock = Lock();
            const Window* record = FindLocked(w);
            mine = record != nullptr && record->queue == queue;
        }
        if (mine)
            DestroyWindowInternal(w);
    }
    {
        std::lock_guard lock(queue->mutex);
        queue->posted.clear();
        queue->quit = false;
    }
    queue->idleTasks.clear();
    {
        auto lock = Lock();
        queue->focus = nullptr;
    }
    ResetDialogs();
    ResetCursor();
    {
        KeptErrorBoxes& kept = TheErrorBoxes();
        std::lock_guard lock(kept.mutex);
        kept.kept = false;
        kept.boxes.clear();
    }
}

}  // namespace ui::testing

namespace headless {

using namespace detail;

WindowInfo Describe(HWND window) {
    WindowInfo info;
    {
        auto lock = Lock();
        const Window* w = FindLocked(window);
        if (w == nullptr)
            return info;
        info.className = w->className;
        info.text = w->text;
        info.id = w->id;
        info.style = w->style;
        info.exStyle = w->exStyle;
        info.parent = w->parent;
        info.owner = w->owner;
    }
    info.windowRect = WindowRectScreen(window);
    info.clientRect = ClientRectScreen(window);
    return info;
}

std::vector<HWND> Children(HWND window) {
    return ChildrenOf(window);
}

bool HasUpdateRegion(HWND window) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    return w != nullptr && w->hasUpdate;
}

void Click(HWND window, POINT clientPoint) {
    const RECT client = ClientRectScreen(window);
    ui::testing::SetCursorPos({client.left + clientPoint.x, client.top + clientPoint.y});
    const LPARAM at =
        MAKELPARAM(static_cast<WORD>(clientPoint.x), static_cast<WORD>(clientPoint.y));
    ui::SendMessage(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ui::SendMessage(window, WM_LBUTTONUP, 0, at);
}

void ChooseComboItem(HWND combo, int index) {
    ui::SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
    CommandParent(combo, CBN_SELCHANGE);
}

void RefuseMessages(HWND window, UINT message, int count) {
    auto lock = Lock();
    Window* w = FindLocked(window);
    if (w == nullptr)
        return;
    if (count > 0)
        w->refusals[message] = count;
    else
        w->refusals.erase(message);
}

}  // namespace headless

// ---- What a program asks of its host (ui_host.h), and the focus (ui.h)

namespace ui {

using namespace headless::detail;

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> result;
    for (HWND w : AllWindows()) {
        if (!(StyleOf(w) & WS_CHILD))
            result.push_back(w);
    }
    return result;
}

HWND GetFocus() {
    return FocusOfThisThread();
}

void WhenIdle(std::function<void()> task) {
    CurrentQueue()->idleTasks.push_back(std::move(task));
}

std::vector<std::u16string> ProgramArguments() {
    return {};
}

void ShowError(std::u16string_view title, std::u16string_view text) {
    KeptErrorBoxes& kept = TheErrorBoxes();
    std::lock_guard lock(kept.mutex);
    kept.boxes.push_back({std::u16string(title), std::u16string(text)});
    if (!kept.kept)
        std::fprintf(stderr, "%s: %s\n", platform::ToUtf8(title).c_str(),
                     platform::ToUtf8(text).c_str());
}

}  // namespace ui
