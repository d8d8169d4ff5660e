#include "message_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>

#include "platform/text.h"

namespace uitest {

using namespace ui;

Msg Msg::Item(long long value) const {
    Msg m = *this;
    m.item = value;
    m.match |= kItem;
    return m;
}

Msg Msg::SubItem(int value) const {
    Msg m = *this;
    m.subItem = value;
    m.match |= kSubItem;
    return m;
}

Msg Msg::States(UINT newValue, UINT oldValue) const {
    Msg m = *this;
    m.newState = newValue;
    m.oldState = oldValue;
    m.match |= kStates;
    return m;
}

Msg Msg::Optional() const {
    Msg m = *this;
    m.match |= kOptional;
    return m;
}

Msg Msg::WParam(WPARAM value) const {
    Msg m = *this;
    m.wParam = value;
    m.match |= kWParam;
    return m;
}

Msg Msg::LParam(LPARAM value) const {
    Msg m = *this;
    m.lParam = value;
    m.match |= kLParam;
    return m;
}

Msg Msg::To(HWND value) const {
    Msg m = *this;
    m.window = value;
    m.match |= kWindow;
    return m;
}

Msg Msg::Text(std::u16string value) const {
    Msg m = *this;
    m.text = std::move(value);
    m.match |= kText;
    return m;
}

Msg Msg::RealOnly() const {
    Msg m = *this;
    m.match |= kRealOnly;
    return m;
}

Msg Msg::HeadlessOnly() const {
    Msg m = *this;
    m.match |= kHeadlessOnly;
    return m;
}

Msg Message(UINT message) {
    Msg m;
    m.message = message;
    return m;
}

Msg Notify(int code) {
    Msg m = Message(WM_NOTIFY);
    m.code = code;
    m.match = kCode;
    return m;
}

Msg CustomDraw(DWORD stage) {
    Msg m = Notify(NM_CUSTOMDRAW);
    m.stage = stage;
    m.match |= kStage;
    return m;
}

namespace {

Msg Came(UINT message, How how) {
    Msg m = Message(message);
    m.how = how;
    m.match = kHow;
    return m;
}

}  // namespace

Msg Sent(UINT message) {
    return Came(message, How::kSentHere);
}

Msg SentFromAnotherThread(UINT message) {
    return Came(message, How::kSentFromAnotherThread);
}

Msg Posted(UINT message) {
    return Came(message, How::kPosted);
}

namespace {

#ifdef _WIN32
constexpr unsigned kOtherBackendOnly = kHeadlessOnly;
#else
constexpr unsigned kOtherBackendOnly = kRealOnly;
#endif

std::string HowName(How how) {
    switch (how) {
        case How::kSentHere:
            return "sent";
        case How::kSentFromAnotherThread:
            return "sent from another thread";
        case How::kPosted:
            return "posted";
    }
    return {};
}

std::string Hex(unsigned long long value) {
    return "0x" + platform::ToUtf8(platform::HexText(value, 1, false));
}

std::string CodeName(int code) {
    switch (code) {
        case NM_CLICK:
            return "NM_CLICK";
        case NM_RCLICK:
            return "NM_RCLICK";
        case NM_SETFOCUS:
            return "NM_SETFOCUS";
        case NM_KILLFOCUS:
            return "NM_KILLFOCUS";
        case NM_CUSTOMDRAW:
            return "NM_CUSTOMDRAW";
        case LVN_ITEMCHANGING:
            return "LVN_ITEMCHANGING";
        case LVN_ITEMCHANGED:
            return "LVN_ITEMCHANGED";
        case LVN_INSERTITEM:
            return "LVN_INSERTITEM";
        case LVN_DELETEITEM:
            return "LVN_DELETEITEM";
        case LVN_DELETEALLITEMS:
            return "LVN_DELETEALLITEMS";
        case HDN_BEGINTRACKW:
            return "HDN_BEGINTRACKW";
        case HDN_ENDTRACKW:
            return "HDN_ENDTRACKW";
        default:
            return std::to_string(code);
    }
}

std::string StageName(DWORD stage) {
    std::string name = (stage & CDDS_SUBITEM) ? "SUBITEM|" : "";
    switch (stage & ~CDDS_SUBITEM) {
        case CDDS_PREPAINT:
            return name + "PREPAINT";
        case CDDS_POSTPAINT:
            return name + "POSTPAINT";
        case CDDS_ITEMPREPAINT:
            return name + "ITEMPREPAINT";
        case CDDS_ITEMPOSTPAINT:
            return name + "ITEMPOSTPAINT";
        default:
            return name + std::to_string(stage);
    }
}

bool Matches(const Msg& expected, const Msg& seen) {
    const unsigned m = expected.match;
    return expected.message == seen.message && (!(m & kCode) || expected.code == seen.code) &&
           (!(m & kStage) || expected.stage == seen.stage) &&
           (!(m & kItem) || expected.item == seen.item) &&
           (!(m & kSubItem) || expected.subItem == seen.subItem) &&
           (!(m & kStates) ||
            (expected.newState == seen.newState && expected.oldState == seen.oldState)) &&
           (!(m & kHow) || expected.how == seen.how) &&
           (!(m & kWParam) || expected.wParam == seen.wParam) &&
           (!(m & kLParam) || expected.lParam == seen.lParam) &&
           (!(m & kWindow) || expected.window == seen.window) &&
           (!(m & kText) || expected.text == seen.text);
}

}  // namespace

// Every field a recorded entry has; an expected one shows only what it compares.
std::string Describe(const Msg& message) {
    const bool all = message.match == 0;
    std::ostringstream out;
    // Notifications are recorded without how they came.
    const bool delivered = all && message.message != WM_NOTIFY;
    if (delivered || (message.match & kHow))
        out << HowName(message.how) << ' ';
    out << (message.message == WM_NOTIFY ? std::string("WM_NOTIFY")
                                         : "message " + Hex(message.message));
    if (delivered || (message.match & kWindow))
        out << " to " << Hex(reinterpret_cast<std::uintptr_t>(message.window));
    if (delivered || (message.match & kWParam))
        out << " wParam " << Hex(message.wParam);
    if ((message.match & kLParam) || (delivered && message.text.empty()))
        out << " lParam " << Hex(static_cast<unsigned long long>(message.lParam));
    if ((all && !message.text.empty()) || (message.match & kText))
        out << " text \"" << platform::ToUtf8(message.text) << '"';
    if (message.message == WM_NOTIFY && (all || (message.match & kCode)))
        out << ' ' << CodeName(message.code);
    if ((all && message.code == NM_CUSTOMDRAW) || (message.match & kStage))
        out << ' ' << StageName(message.stage);
    if ((all && (!delivered || message.item != 0)) || (message.match & kItem))
        out << " item " << message.item;
    if ((all && message.subItem != 0) || (message.match & kSubItem))
        out << " sub " << message.subItem;
    if ((all && (message.newState | message.oldState) != 0) || (message.match & kStates))
        out << " state " << message.newState << '/' << message.oldState;
    if (message.match & kOptional)
        out << " (optional)";
    if (message.match & kRealOnly)
        out << " (real controls only)";
    if (message.match & kHeadlessOnly)
        out << " (headless only)";
    return out.str();
}

void MessageSequence::AddNotify(const NMHDR& header) {
    Msg m = Message(WM_NOTIFY);
    m.code = static_cast<int>(header.code);
    switch (m.code) {
        case NM_CUSTOMDRAW: {
            const auto& draw = reinterpret_cast<const NMLVCUSTOMDRAW&>(header);
            m.stage = draw.nmcd.dwDrawStage;
            m.item = static_cast<long long>(draw.nmcd.dwItemSpec);
            m.subItem = (m.stage & CDDS_ITEM) ? draw.iSubItem : 0;
            break;
        }
        case LVN_ITEMCHANGING:
        case LVN_ITEMCHANGED:
        case LVN_INSERTITEM:
        case LVN_DELETEITEM: {
            const auto& list = reinterpret_cast<const NMLISTVIEW&>(header);
            m.item = list.iItem;
            m.subItem = list.iSubItem;
            if (list.uChanged & LVIF_STATE) {
                m.newState = list.uNewState;
                m.oldState = list.uOldState;
            }
            break;
        }
        case HDN_BEGINTRACKW:
        case HDN_ENDTRACKW:
            m.item = reinterpret_cast<const NMHEADER&>(header).iItem;
            break;
        default:
            break;
    }
    seen_.push_back(m);
}

Msg& MessageSequence::AddDelivery(const ui::testing::Delivery& delivery, bool text) {
    Msg m = Message(delivery.message);
    m.how = delivery.posted            ? How::kPosted
            : delivery.fromOtherThread ? How::kSentFromAnotherThread
                                       : How::kSentHere;
    m.window = delivery.window;
    m.wParam = delivery.wParam;
    m.lParam = delivery.lParam;
    if (text && delivery.lParam != 0)
        m.text = reinterpret_cast<const char16_t*>(delivery.lParam);
    seen_.push_back(m);
    return seen_.back();
}

void CheckSequence(const MessageSequence& sequence, const std::vector<Msg>& expected,
                   const std::string& context, const char* file, int line) {
    const std::vector<Msg>& seen = sequence.seen();
    std::size_t s = 0;
    std::string failure;
    for (std::size_t e = 0; e < expected.size() && failure.empty(); ++e) {
        if (expected[e].match & kOtherBackendOnly)
            continue;  // a known difference of the other backend: must not be here
        if (s < seen.size() && Matches(expected[e], seen[s])) {
            ++s;
        } else if (!(expected[e].match & kOptional)) {
            failure = "expected " + Describe(expected[e]) + ", got " +
                      (s < seen.size() ? Describe(seen[s]) : std::string("nothing more")) +
                      " (entry " + std::to_string(s) + ")";
        }
    }
    if (failure.empty() && s < seen.size())
        failure = "unexpected " + Describe(seen[s]) + " (entry " + std::to_string(s) + ")";
    if (failure.empty())
        return;
    std::ostringstream all;
    all << context << ": " << failure << "\n  expected:";
    for (const Msg& m : expected)
        all << "\n    " << Describe(m);
    all << "\n  recorded:";
    for (const Msg& m : seen) {
        Msg shown = m;
        shown.match = 0;
        all << "\n    " << Describe(shown);
    }
    ADD_FAILURE_AT(file, line) << all.str();
}

bool NotifyHost::Create(RECT rect) {
    return CWnd::Create(u"Static", u"Host", WS_POPUP | WS_VISIBLE, rect, nullptr, 0);
}

LRESULT NotifyHost::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && lParam != 0) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        const bool code =
            codes.empty() || std::count(codes.begin(), codes.end(), static_cast<int>(header->code));
        if (code && (from == nullptr || header->hwndFrom == from))
            sequence.AddNotify(*header);
        return answer ? answer(header) : 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

}  // namespace uitest
