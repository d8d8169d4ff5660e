// The parts of the class library that are the same on every backend: message-table dispatch,
// the dialog's typed handlers and data exchange, and the controls whose messages both backends
// understand (buttons, edit boxes, drop-down lists, window texts).
#include "platform/ui.h"

#include <algorithm>
#include <thread>

namespace ui {

// ---- Message tables

const MessageMap* CWnd::GetMessageMap() const {
    static constexpr MessageMap kEmpty{nullptr, nullptr, 0};
    return &kEmpty;
}

bool CWnd::DispatchToTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const NMHDR* header = message == WM_NOTIFY ? reinterpret_cast<const NMHDR*>(lParam) : nullptr;
    if (message == WM_NOTIFY && header == nullptr)
        return false;
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageEntry& e = map->entries[i];
            if (e.message != message)
                continue;
            if (message == WM_COMMAND && (e.id != LOWORD(wParam) || e.code != HIWORD(wParam))) {
                continue;
            }
            if (message == WM_NOTIFY &&
                ((e.id != kAnyId && e.id != header->idFrom) || e.code != header->code)) {
                continue;
            }
            *result = e.thunk(*this, wParam, lParam);
            return true;
        }
    }
    return false;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (DispatchToTable(message, wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ui::SendMessage(m_hWnd, message, wParam, lParam);
}

bool CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ui::PostMessage(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(std::u16string_view text) {
    const std::u16string terminated(text);
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(terminated.c_str()));
}

std::u16string CWnd::GetWindowText() const {
    const auto length = static_cast<std::size_t>(SendMessage(WM_GETTEXTLENGTH));
    std::u16string text(length + 1, u'\0');
    const auto copied = static_cast<std::size_t>(
        SendMessage(WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return text;
}

// ---- Dialogs

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        return OnInitDialog();
    LRESULT result = 0;
    if (DispatchToTable(message, wParam, lParam, &result))
        return result;
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return 0;
        }
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return true;
}

void CDialog::OnOK() {
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd == nullptr)
        control.Attach(dx->m_pDlgWnd->GetDlgItem(id));
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    const HWND box = dx->m_pDlgWnd->GetDlgItem(id);
    if (dx->m_bSaveAndValidate) {
        value = static_cast<int>(ui::SendMessage(box, BM_GETCHECK));
    } else {
        ui::SendMessage(box, BM_SETCHECK, static_cast<WPARAM>(value));
    }
}

// ---- Controls understood by both backends through their messages

int CButton::GetCheck() const {
    return static_cast<int>(SendMessage(BM_GETCHECK));
}

void CButton::SetCheck(int check) {
    SendMessage(BM_SETCHECK, static_cast<WPARAM>(check));
}

int CComboBox::AddString(std::u16string_view text) {
    const std::u16string terminated(text);
    return static_cast<int>(
        SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(terminated.c_str())));
}

int CComboBox::GetCount() const {
    return static_cast<int>(SendMessage(CB_GETCOUNT));
}

int CComboBox::GetCurSel() const {
    return static_cast<int>(SendMessage(CB_GETCURSEL));
}

int CComboBox::SetCurSel(int index) {
    return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

std::u16string CComboBox::GetLBText(int index) const {
    const LRESULT length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length < 0)
        return {};
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    const LRESULT copied = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0
                           : std::min<std::size_t>(static_cast<std::size_t>(copied),
                                                   static_cast<std::size_t>(length)));
    return text;
}

void CComboBox::ResetContent() {
    SendMessage(CB_RESETCONTENT);
}

// ---- File dialogs: what to ask; each backend shows them its own way

CFileDialog::CFileDialog(bool open, std::u16string_view defaultExtension,
                         std::u16string_view fileName, DWORD flags, std::u16string_view filter,
                         CWnd* parent)
    : open_(open),
      defaultExtension_(defaultExtension),
      fileName_(fileName),
      flags_(flags),
      filter_(filter),
      parent_(parent) {}

// ---- Application

namespace {
CWinApp* theApp = nullptr;
}

CWinApp::CWinApp() {
    theApp = this;
}

CWinApp::~CWinApp() {
    if (theApp == this)
        theApp = nullptr;
}

CWinApp* AfxGetApp() {
    return theApp;
}

CWnd* AfxGetMainWnd() {
    return theApp == nullptr ? nullptr : theApp->m_pMainWnd;
}

}  // namespace ui

// ---- Threads

namespace ui {

CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* parameter, int, UINT, DWORD, void*) {
    if (proc == nullptr)
        return nullptr;
    auto* thread = new CWinThread{proc, parameter};
    try {
        std::thread([thread] {
            std::unique_ptr<CWinThread> self(thread);  // the thread object deletes itself
            self->proc(self->parameter);
        }).detach();
    } catch (...) {
        delete thread;
        return nullptr;
    }
    return thread;
}

}  // namespace ui
