// The Win32 backend of the class library: modal dialogs from resources, the file dialogs.
#include <algorithm>
#include <vector>

#include "platform/ui_resources.h"
#include "platform/win32/ui_internal.h"

namespace win32 {
namespace {

// Everything goes through the subclassed window first; what reaches the dialog procedure
// is left to the default dialog processing.
INT_PTR CALLBACK DialogProc(::HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The top-level window a dialog of this thread is modal to, as MFC picks it: the parent, else
// the application's main window.
::HWND ModalOwner(const ui::CWnd* dialog, const ui::CWnd* parent) {
    ::HWND owner = parent != nullptr ? Native(parent->m_hWnd) : nullptr;
    if (owner == nullptr) {
        const ui::CWnd* main = ui::AfxGetMainWnd();
        if (main != nullptr && main != dialog)
            owner = Native(main->m_hWnd);
    }
    if (owner == nullptr || !IsWindow(owner))
        return nullptr;
    owner = GetAncestor(owner, GA_ROOT);
    if (GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId())
        return nullptr;
    return owner;
}

}  // namespace

// A template cannot hold a list's entries: they come from the dialog's drop-down entries, found in
// the same order of languages as the template.
void FillDropDownLists(::HWND dialog, UINT templateId) {
    for (const auto& [id, text] : ui::res::DropDownEntries(templateId, ui::GetUiLanguage())) {
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(Native(text.c_str())));
    }
}

}  // namespace win32

namespace ui {

using namespace win32;

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

// A modeless dialog from the template in the user-interface language, subclassed before its
// first message, run by our own loop with the owner disabled (as MFC does).
// https://learn.microsoft.com/windows/win32/dlgbox/using-dialog-boxes
INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr)
        return -1;
    const platform::res::Bytes dialogTemplate =
        res::FindLocalizedData(platform::res::Ordinal(platform::res::kTypeDialog),
                               static_cast<WORD>(templateId_), GetUiLanguage());
    const auto decoded = platform::res::DecodeDialog(dialogTemplate);
    if (!decoded)
        return -1;

    const ::HWND owner = ModalOwner(this, parent_);
    const bool disableOwner = owner != nullptr && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);
    State& state = *state_;
    state.modal = true;
    state.ended = false;
    state.result = IDCANCEL;

    ::HWND dialog = nullptr;
    {
        CreationHook hook(*this, L"#32770", templateId_);
        dialog = CreateDialogIndirectParamW(
            ResourceModule(), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), owner,
            DialogProc, reinterpret_cast<LPARAM>(this));
    }
    if (dialog != nullptr && m_hWnd == nullptr && ::IsWindow(dialog))
        Subclass(*this, dialog);  // the hook missed it: too late for WM_INITDIALOG

    INT_PTR result = -1;
    if (dialog != nullptr) {
        if (!state.ended && ::IsWindow(dialog) && (decoded->style & WS_VISIBLE) == 0)
            ::ShowWindow(dialog, SW_SHOWNORMAL);
        MSG msg;
        while (!state.ended && m_hWnd == Ui(dialog)) {
            if (RunIdleTask())
                continue;
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == -1)
                break;
            if (got == 0) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
                break;
            }
            if (IsDialogMessageW(dialog, &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        result = state.result;
    }

    // The owner first, so that activation goes back to it.
    if (disableOwner)
        ::EnableWindow(owner, TRUE);
    if (dialog != nullptr && ::IsWindow(dialog) && m_hWnd == Ui(dialog)) {
        if (owner != nullptr && GetActiveWindow() == dialog)
            SetActiveWindow(owner);
        ::DestroyWindow(dialog);
    }
    state.modal = false;
    return result;
}

void CDialog::EndDialog(int result) {
    state_->result = result;
    state_->ended = true;
    // Wakes the modal loop should this run inside GetMessage (a sent message).
    if (m_hWnd != nullptr && state_->modal)
        PostMessageW(Native(m_hWnd), WM_NULL, 0, 0);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (state_->original != nullptr)
        return CallWindowProcW(state_->original, Native(m_hWnd), message, wParam, lParam);
    return DefDlgProcW(Native(m_hWnd), message, wParam, lParam);
}

// ---- File dialogs

// https://learn.microsoft.com/windows/win32/api/commdlg/ns-commdlg-openfilenamew
INT_PTR CFileDialog::DoModal() {
    std::optional<std::u16string> answer;
    if (AnswerFileDialog({open_, filter_, defaultExtension_, fileName_, flags_,
                          parent_ != nullptr ? parent_->m_hWnd : nullptr},
                         &answer)) {
        if (!answer)
            return IDCANCEL;
        path_ = std::move(*answer);
        return IDOK;
    }
    // "Text|pattern|...||": the bars become the terminators the structure wants.
    std::u16string filter = filter_;
    for (char16_t& c : filter) {
        if (c == u'|')
            c = u'\0';
    }
    filter.append(2, u'\0');
    std::u16string extension = defaultExtension_;
    if (!extension.empty() && extension.front() == u'.')
        extension.erase(0, 1);
    std::vector<char16_t> file(32768, u'\0');
    fileName_.copy(file.data(), std::min(fileName_.size(), file.size() - 1));

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = parent_ != nullptr ? Native(parent_->m_hWnd) : nullptr;
    ofn.lpstrFilter = filter_.empty() ? nullptr : Native(filter.c_str());
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = Native(file.data());
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = extension.empty() ? nullptr : Native(extension.c_str());
    ofn.Flags = flags_ | OFN_EXPLORER;
    const BOOL chosen = open_ ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!chosen)
        return IDCANCEL;
    path_ = file.data();
    return IDOK;
}

}  // namespace ui
