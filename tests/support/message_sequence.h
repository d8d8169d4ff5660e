// Recorded message sequences and their comparison with expected tables, for the control tests:
// a window records what it is sent (notifications with their code, custom-draw stage, item,
// sub-item and states), and a table of expected entries, some of them optional, is compared
// with the record; a mismatch names the caller's file and line and shows both sequences.
// Portable: runs on every backend of the class library.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace uitest {

// Which fields of an expected entry are compared; the message always is.
enum Match : unsigned {
    kCode = 1u << 0,   // WM_NOTIFY: the header's code
    kStage = 1u << 1,  // NM_CUSTOMDRAW: the draw stage
    kItem = 1u << 2,   // item (row, or the custom-drawn item)
    kSubItem = 1u << 3,
    kStates = 1u << 4,    // LVN_ITEMCHANGING/ED: new and old state
    kOptional = 1u << 5,  // may be missing from the record
};

struct Msg {
    ui::UINT message = 0;
    unsigned match = 0;
    int code = 0;
    ui::DWORD stage = 0;
    long long item = 0;
    int subItem = 0;
    ui::UINT newState = 0;
    ui::UINT oldState = 0;

    Msg Item(long long value) const;
    Msg SubItem(int value) const;
    Msg States(ui::UINT newValue, ui::UINT oldValue) const;
    Msg Optional() const;
};

// Expected entries.
Msg Message(ui::UINT message);
Msg Notify(int code);             // WM_NOTIFY with this code
Msg CustomDraw(ui::DWORD stage);  // WM_NOTIFY NM_CUSTOMDRAW at this stage

std::string Describe(const Msg& message);

class MessageSequence {
  public:
    void Add(const Msg& message) { seen_.push_back(message); }
    // A WM_NOTIFY as it came: list-view blocks are read by their code.
    void AddNotify(const ui::NMHDR& header);
    void Clear() { seen_.clear(); }
    const std::vector<Msg>& seen() const { return seen_; }

  private:
    std::vector<Msg> seen_;
};

// Compares in order: an expected entry that does not match is skipped when optional, else the
// comparison fails; what is left of the record at the end fails too.
void CheckSequence(const MessageSequence& sequence, const std::vector<Msg>& expected,
                   const std::string& context, const char* file, int line);

#define EXPECT_SEQUENCE(sequence, expected, context) \
    ::uitest::CheckSequence((sequence), (expected), (context), __FILE__, __LINE__)

// A top-level window that records the notifications its children send it (only those of
// `codes` unless it is empty, only those of `from` unless it is null); `answer` gives the result
// of one (custom-draw stages, refusals).
class NotifyHost : public ui::CWnd {
  public:
    MessageSequence sequence;
    std::vector<int> codes;
    ui::HWND from = nullptr;
    std::function<ui::LRESULT(ui::NMHDR*)> answer;

    bool Create(ui::RECT rect = {0, 0, 400, 300});
    ui::LRESULT WindowProc(ui::UINT message, ui::WPARAM wParam, ui::LPARAM lParam) override;
};

}  // namespace uitest
