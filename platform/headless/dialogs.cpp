// Dialogs built from their compiled templates, their modal loop and keyboard handling; strings and
// icons in the user-interface language; the file dialogs, answered by the test.
#include <algorithm>
#include <optional>

#include "platform/headless/core.h"
#include "platform/text.h"
#include "platform/ui_resources.h"
#include "platform/ui_testing.h"

namespace headless::detail {

namespace {

thread_local LANGID t_language = kLangEnglish;

struct FileDialogs {
    std::deque<std::optional<std::u16string>> answers;
    std::vector<ui::testing::FileDialogRequest> requests;
};

FileDialogs& TheFileDialogs() {
    static auto* dialogs = new FileDialogs;
    return *dialogs;
}

constexpr int kDialogBaseX = 6;
constexpr int kDialogBaseY = 13;
constexpr DWORD kDsCenter = 0x0800;
constexpr DWORD kBsTypeMask = 0x000F;
constexpr int kComboHeight = 21;  // the selection field; the template's height includes the list
constexpr UINT kVkTab = 0x09;

RECT DialogUnitsToPixels(const RECT& r) {
    const int left = MulDiv(r.left, kDialogBaseX, 4);
    const int top = MulDiv(r.top, kDialogBaseY, 8);
    return {left, top, left + MulDiv(r.right - r.left, kDialogBaseX, 4),
            top + MulDiv(r.bottom - r.top, kDialogBaseY, 8)};
}

bool DialogEnded(HWND dialog) {
    auto lock = Lock();
    const Window* w = FindLocked(dialog);
    return w == nullptr || w->dialogEnded;
}

bool IsPushButton(HWND window, DWORD* type) {
    auto lock = Lock();
    const Window* w = FindLocked(window);
    if (w == nullptr || w->kind != Kind::Button)
        return false;
    *type = w->style & kBsTypeMask;
    return *type == BS_PUSHBUTTON || *type == BS_DEFPUSHBUTTON;
}

bool Enabled(HWND window) {
    return !(StyleOf(window) & WS_DISABLED);
}

// Focusable controls in tab order.
std::vector<HWND> TabStops(HWND dialog) {
    std::vector<HWND> stops;
    for (HWND child : ChildrenOf(dialog)) {
        const DWORD style = StyleOf(child);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED))
            stops.push_back(child);
    }
    return stops;
}

void Click(HWND dialog, int id) {
    const HWND control = FirstChildWithId(dialog, id);
    ui::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                    reinterpret_cast<LPARAM>(control));
}

void ReenableOwner(HWND dialog) {
    HWND owner;
    {
        auto lock = Lock();
        Window* w = FindLocked(dialog);
        if (w == nullptr)
            return;
        owner = std::exchange(w->disabledOwner, nullptr);
    }
    if (owner != nullptr)
        EnableWindowInternal(owner, true);
}

}  // namespace

bool IsDialogMessageInternal(HWND dialog, const PostedMessage& message) {
    if (message.message != WM_KEYDOWN ||
        (message.window != dialog && !IsChildOf(dialog, message.window))) {
        return false;
    }
    switch (message.wParam) {
        case VK_ESCAPE:
            Click(dialog, IDCANCEL);
            return true;
        case VK_RETURN: {
            // A focused push button answers first, then the default button, then IDOK.
            const HWND focus = FocusOfThisThread();
            DWORD type = 0;
            if (focus != nullptr && IsChildOf(dialog, focus) && IsPushButton(focus, &type)) {
                auto lock = Lock();
                const int id = FindLocked(focus)->id;
                lock.unlock();
                Click(dialog, id);
                return true;
            }
            for (HWND child : ChildrenOf(dialog)) {
                if (IsPushButton(child, &type) && type == BS_DEFPUSHBUTTON) {
                    if (Enabled(child)) {
                        auto lock = Lock();
                        const int id = FindLocked(child)->id;
                        lock.unlock();
                        Click(dialog, id);
                    }
                    return true;
                }
            }
            Click(dialog, IDOK);
            return true;
        }
        case kVkTab: {
            const auto stops = TabStops(dialog);
            if (stops.empty())
                return true;
            const auto it = std::find(stops.begin(), stops.end(), FocusOfThisThread());
            const auto next = (it == stops.end() || it + 1 == stops.end()) ? stops.begin() : it + 1;
            SetFocusInternal(*next);
            return true;
        }
        default:
            return false;
    }
}

LRESULT DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE: {
            // The close box is Cancel, unless Cancel is there and disabled.
            const HWND cancel = FirstChildWithId(window, IDCANCEL);
            if (cancel == nullptr || Enabled(cancel)) {
                ui::PostMessage(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                reinterpret_cast<LPARAM>(cancel));
            }
            return 0;
        }
        case WM_INITDIALOG:
            return TRUE;
        case DM_SETDEFID: {
            auto lock = Lock();
            if (Window* w = FindLocked(window))
                w->defaultId = static_cast<int>(wParam);
            return TRUE;
        }
        case DM_GETDEFID: {
            // As the platform: the id set, else the default push button's, with DC_HASDEFID.
            constexpr LRESULT kHasDefId = 0x534B;
            int id = 0;
            {
                auto lock = Lock();
                if (const Window* w = FindLocked(window))
                    id = w->defaultId;
            }
            DWORD type = 0;
            for (HWND child : ChildrenOf(window)) {
                if (id == 0 && IsPushButton(child, &type) && type == BS_DEFPUSHBUTTON) {
                    auto lock = Lock();
                    id = FindLocked(child)->id;
                }
            }
            return id == 0 ? 0 : (kHasDefId << 16) | static_cast<LRESULT>(id & 0xFFFF);
        }
        default:
            return GenericProc(window, message, wParam, lParam);
    }
}

LANGID ThreadLanguage() {
    return t_language;
}

void ResetDialogs() {
    t_language = kLangEnglish;
    auto lock = Lock();
    TheFileDialogs() = {};
}

}  // namespace headless::detail

namespace ui::testing {

using namespace headless::detail;

void QueueFileDialogAnswer(std::u16string path) {
    auto lock = Lock();
    TheFileDialogs().answers.emplace_back(std::move(path));
}

void QueueFileDialogCancel() {
    auto lock = Lock();
    TheFileDialogs().answers.emplace_back(std::nullopt);
}

std::vector<FileDialogRequest> FileDialogRequests() {
    auto lock = Lock();
    return TheFileDialogs().requests;
}

}  // namespace ui::testing

namespace ui {

using namespace headless::detail;

namespace {

using platform::res::DialogTemplate;

// The given parent, else the main window; always a top-level window.
HWND DialogOwner(const CWnd* parent, const CWnd* dialog) {
    HWND owner = parent ? parent->m_hWnd : nullptr;
    if (owner == nullptr && AfxGetMainWnd() != dialog && AfxGetMainWnd() != nullptr)
        owner = AfxGetMainWnd()->m_hWnd;
    while (owner != nullptr && (StyleOf(owner) & WS_CHILD))
        owner = GetParentInternal(owner);
    return owner;
}

// The dialog's frame on the screen: centred on its owner (or the screen) with DS_CENTER, else
// placed in its owner's client area.
RECT DialogRect(const DialogTemplate& t, HWND owner) {
    const RECT client = DialogUnitsToPixels(t.rect);
    const RECT frame = FrameOf(t.style & ~WS_VISIBLE, t.exStyle);
    const int width = Width(client) + frame.left + frame.right;
    const int height = Height(client) + frame.top + frame.bottom;
    POINT at{client.left, client.top};
    if (t.style & kDsCenter) {
        const RECT around =
            owner ? WindowRectScreen(owner) : RECT{0, 0, GetSystemMetrics(0), GetSystemMetrics(1)};
        at = {around.left + (Width(around) - width) / 2,
              around.top + (Height(around) - height) / 2};
    } else if (owner != nullptr) {
        const RECT ownerClient = ClientRectScreen(owner);
        at = {ownerClient.left + client.left, ownerClient.top + client.top};
    }
    return {at.x, at.y, at.x + width, at.y + height};
}

// Hidden until WM_INITDIALOG has run.
HWND MakeDialog(const DialogTemplate& t, UINT templateId, HWND owner, CDialog* object) {
    CreateArgs args;
    args.className = u"#32770";
    args.text = t.caption;
    args.style = t.style & ~WS_VISIBLE;
    args.exStyle = t.exStyle;
    args.rect = DialogRect(t, owner);
    args.owner = owner;
    args.object = object;
    args.dialogTemplate = templateId;
    return CreateWindowInternal(args);
}

// A drop-down list is as high as its selection field and gets its entries from the layout.
bool MakeControls(HWND dialog, const DialogTemplate& t, UINT templateId, HFONT font) {
    const platform::res::ListEntries entries = res::DropDownEntries(templateId, GetUiLanguage());
    for (const auto& c : t.items) {
        CreateArgs control;
        control.className = c.className;
        control.text = c.text;
        control.style = c.style | WS_CHILD;
        control.exStyle = c.exStyle;
        control.rect = DialogUnitsToPixels(c.rect);
        control.parent = dialog;
        control.id = c.id;
        const bool combo = platform::EqualsNoCase(c.className, u"ComboBox");
        if (combo)
            control.rect.bottom = control.rect.top + kComboHeight;
        const HWND h = CreateWindowInternal(control);
        if (h == nullptr)
            return false;
        ui::SendMessage(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (combo) {
            for (const auto& [id, text] : entries) {
                if (id == c.id)
                    ui::SendMessage(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            }
        }
    }
    return true;
}

// Modal: the owner takes no input while the dialog runs.
void DisableOwner(HWND dialog, HWND owner) {
    if (owner == nullptr || (StyleOf(owner) & WS_DISABLED))
        return;
    {
        auto lock = Lock();
        if (Window* w = FindLocked(dialog))
            w->disabledOwner = owner;
    }
    EnableWindowInternal(owner, false);
}

// WM_INITDIALOG answering nonzero gives the first tab stop the focus; a dialog ended there is
// never shown.
void StartDialog(const CWnd& object, HWND dialog) {
    const auto stops = TabStops(dialog);
    const HWND first = stops.empty() ? nullptr : stops.front();
    if (object.SendMessage(WM_INITDIALOG, reinterpret_cast<WPARAM>(first)) && first != nullptr &&
        IsWindow(first)) {
        SetFocusInternal(first);
    }
    if (IsWindow(dialog) && !DialogEnded(dialog))
        ShowWindowInternal(dialog, SW_SHOW);
}

// Until EndDialog or the dialog's destruction; a WM_QUIT is posted again for the loop outside.
void RunModalLoop(HWND dialog) {
    PostedMessage message{};
    while (IsWindow(dialog) && !DialogEnded(dialog)) {
        const Got got = NextMessage(&message, [dialog] { return DialogEnded(dialog); });
        if (got == Got::Stopped)
            break;
        if (got == Got::Quit) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!IsDialogMessageInternal(dialog, message))
            DispatchInternal(message);
    }
}

// The result EndDialog gave (0 for a dialog destroyed without it); the focus goes back.
INT_PTR EndModal(HWND dialog, HWND previousFocus) {
    INT_PTR result = 0;
    {
        auto lock = Lock();
        if (const Window* w = FindLocked(dialog))
            result = w->dialogResult;
    }
    ReenableOwner(dialog);
    DestroyWindowInternal(dialog);
    if (previousFocus != nullptr && IsWindow(previousFocus))
        SetFocusInternal(previousFocus);
    return result;
}

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr)
        return -1;
    const std::optional<DialogTemplate> t = platform::res::DecodeDialog(
        res::FindLocalizedData(platform::res::Ordinal(platform::res::kTypeDialog),
                               static_cast<WORD>(templateId_), GetUiLanguage()));
    if (!t)
        return -1;
    const HWND owner = DialogOwner(parent_, this);
    const HFONT font = MakeFont(t->fontName, t->pointSize);
    const HWND dialog = MakeDialog(*t, templateId_, owner, this);
    if (dialog == nullptr)
        return -1;
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (!MakeControls(dialog, *t, templateId_, font)) {
        DestroyWindowInternal(dialog);
        return -1;
    }
    DisableOwner(dialog, owner);
    const HWND previousFocus = FocusOfThisThread();
    StartDialog(*this, dialog);
    RunModalLoop(dialog);
    return EndModal(dialog, previousFocus);
}

void CDialog::EndDialog(int result) {
    std::shared_ptr<ThreadQueue> queue;
    {
        auto lock = Lock();
        Window* w = FindLocked(m_hWnd);
        if (w == nullptr)
            return;
        w->dialogEnded = true;
        w->dialogResult = result;
        queue = w->queue;
    }
    ReenableOwner(m_hWnd);
    ShowWindowInternal(m_hWnd, SW_HIDE);
    Wake(*queue);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CWnd::DefWindowProc(message, wParam, lParam);
}

// ---- Strings and icons

// The icon's largest image gives its size.
HICON LoadIcon(UINT id) {
    const auto sizes = platform::res::DecodeIconGroup(
        res::FindLocalizedData(platform::res::Ordinal(platform::res::kTypeGroupIcon),
                               static_cast<WORD>(id), GetUiLanguage()));
    if (!sizes || sizes->empty())
        return nullptr;
    platform::res::IconSize largest;
    for (const auto& size : *sizes) {
        if (size.width * size.height > largest.width * largest.height)
            largest = size;
    }
    return MakeIcon(id, largest.width, largest.height);
}

LANGID GetUiLanguage() {
    return platform::res::ResourceLanguage(t_language);
}

void SetUiLanguage(LANGID language) {
    t_language = language;
}

// ---- File dialogs

INT_PTR CFileDialog::DoModal() {
    std::optional<std::u16string> answer;
    {
        auto lock = Lock();
        auto& dialogs = TheFileDialogs();
        dialogs.requests.push_back({open_, filter_, defaultExtension_, fileName_, flags_,
                                    parent_ ? parent_->m_hWnd : nullptr});
        if (!dialogs.answers.empty()) {
            answer = std::move(dialogs.answers.front());
            dialogs.answers.pop_front();
        }
    }
    if (!answer)
        return IDCANCEL;
    path_ = std::move(*answer);
    return IDOK;
}

}  // namespace ui
