// Recorded message sequences and their comparison with expected tables: a window records what it
// is given (notifications with their code, custom-draw stage, item, sub-item and states; any
// message with its window, parameters and whether it was sent or posted), and a table of
// expected entries, some of them optional or of one backend only, is compared with the record; a
// mismatch names the caller's file and line and shows both sequences.
// Portable: runs on every backend of the class library.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_message_watch.h"

namespace uitest {

// Which fields of an expected entry are compared; the message always is.
enum Match : unsigned {
    kCode = 1u << 0,   // WM_NOTIFY: the header's code
    kStage = 1u << 1,  // NM_CUSTOMDRAW: the draw stage
    kItem = 1u << 2,   // item (row, or the custom-drawn item)
    kSubItem = 1u << 3,
    kStates = 1u << 4,    // LVN_ITEMCHANGING/ED: new and old state
    kOptional = 1u << 5,  // may be missing from the record
    kHow = 1u << 6,       // sent or posted, and a send's thread
    kWParam = 1u << 7,
    kLParam = 1u << 8,
    kWindow = 1u << 9,
    kText = 1u << 10,  // the text that lParam points to
    // A known difference: expected on the real controls only, or on the headless backend only;
    // on the other it must be missing.
    kRealOnly = 1u << 11,
    kHeadlessOnly = 1u << 12,
};

enum class How { kSentHere, kSentFromAnotherThread, kPosted };

struct Msg {
    ui::UINT message = 0;
    unsigned match = 0;
    int code = 0;
    ui::DWORD stage = 0;
    long long item = 0;
    int subItem = 0;
    ui::UINT newState = 0;
    ui::UINT oldState = 0;
    How how = How::kSentHere;
    ui::WPARAM wParam = 0;
    ui::LPARAM lParam = 0;
    ui::HWND window = nullptr;
    std::u16string text;

    Msg Item(long long value) const;
    Msg SubItem(int value) const;
    Msg States(ui::UINT newValue, ui::UINT oldValue) const;
    Msg Optional() const;
    Msg WParam(ui::WPARAM value) const;
    Msg LParam(ui::LPARAM value) const;
    Msg To(ui::HWND value) const;
    Msg Text(std::u16string value) const;
    Msg RealOnly() const;
    Msg HeadlessOnly() const;
};

// Expected entries.
Msg Message(ui::UINT message);
Msg Notify(int code);             // WM_NOTIFY with this code
Msg CustomDraw(ui::DWORD stage);  // WM_NOTIFY NM_CUSTOMDRAW at this stage
Msg Sent(ui::UINT message);       // sent by the window's own thread
Msg SentFromAnotherThread(ui::UINT message);
Msg Posted(ui::UINT message);

std::string Describe(const Msg& message);

class MessageSequence {
  public:
    void Add(const Msg& message) { seen_.push_back(message); }
    // A WM_NOTIFY as it came: list-view blocks are read by their code.
    void AddNotify(const ui::NMHDR& header);
    // A message as it came, with the text at lParam when `text`; the caller may add an item.
    Msg& AddDelivery(const ui::testing::Delivery& delivery, bool text = false);
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
