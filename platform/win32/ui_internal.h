// What the files of the Win32 backend of the class library share: the per-object state, the
// window procedure that routes a window's messages to its object, and resource lookup.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "platform/win32/win.h"

namespace win32 {

// One message being handled by an object; frames nest on the window's thread. A frame whose
// object was destroyed while it ran is marked dead so that the outer call leaves it alone.
struct Frame {
    ui::CWnd* window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    Frame* outer;        // the thread's previous frame
    Frame* outerOfSame;  // the previous frame of the same object
    bool alive = true;
};

// Attaches `object` to `window` and routes the window's messages through WindowEntry.
void Subclass(ui::CWnd& object, ::HWND window);

// While it lives, the first window of class `className` created on this thread is subclassed
// for `object` before its first message (WM_NCCREATE), as MFC does with a CBT hook. A dialog's
// window also remembers the template it came from.
class CreationHook {
  public:
    CreationHook(ui::CWnd& object, const wchar_t* className, UINT templateId = 0);
    ~CreationHook();
    CreationHook(const CreationHook&) = delete;
    CreationHook& operator=(const CreationHook&) = delete;

    struct Pending {
        ui::CWnd* object = nullptr;
        const wchar_t* className = nullptr;
        UINT templateId = 0;
    };

  private:
    HHOOK hook_;
    Pending outer_;  // a creation this one runs inside of
};

// Property names on our windows.
inline constexpr wchar_t kObjectProperty[] = L"Tavrin.Object";
inline constexpr wchar_t kProcedureProperty[] = L"Tavrin.Procedure";
inline constexpr wchar_t kTemplateProperty[] = L"Tavrin.Template";
inline constexpr wchar_t kSequenceProperty[] = L"Tavrin.Sequence";

// Gives a top-level window its place in creation order (once).
void Sequence(::HWND window);

// Before a dialog made from a template initialises: its drop-down lists get their entries.
void FillDropDownLists(::HWND dialog, UINT templateId);

// The module whose resources the program uses: the executable.
HMODULE ResourceModule();
// What ui::SetUiLanguage sets for the calling thread (the platform's own setting is not
// honoured everywhere, e.g. under wine).
void SetThreadUiLanguage(LANGID language);

// What the backend's loops and dialogs consult.
// Runs the next task of ui::WhenIdle (ui_host.h) when one is queued and no message waits; true
// when it ran one (the caller's loop then checks whether it should still go on).
bool RunIdleTask();
// True when the file dialog is answered from the test's queue (ui_testing.h), with the answer in
// `answer` (empty for a cancel); false when no test queued answers and the platform's dialog shows.
bool AnswerFileDialog(const ui::testing::FileDialogRequest& request,
                      std::optional<std::u16string>* answer);

}  // namespace win32

namespace ui {

struct CWnd::State {
    WNDPROC original = nullptr;       // the class's procedure, when we subclassed the window
    win32::Frame* current = nullptr;  // the innermost message this object is handling
    // Modal dialogs; EndDialog may come from another thread.
    std::atomic<bool> modal{false};
    std::atomic<bool> ended{false};
    std::atomic<INT_PTR> result{0};
};

}  // namespace ui
