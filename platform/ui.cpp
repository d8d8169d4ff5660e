// The parts of the class library that are the same on every backend: message-table dispatch,
// the dialog's typed handlers and data exchange, the control wrappers (one method per message,
// which each backend's controls answer), and the application's run.
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

// ---- List view: https://learn.microsoft.com/windows/win32/controls/list-view-control-reference

int CListCtrl::InsertColumn(int column, std::u16string_view heading, int format, int width) {
    std::u16string text(heading);
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_TEXT;
    c.fmt = format;
    c.pszText = text.data();
    if (width >= 0) {
        c.mask |= LVCF_WIDTH;
        c.cx = width;
    }
    return static_cast<int>(
        SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c)));
}

bool CListCtrl::DeleteColumn(int column) {
    return SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(column)) != 0;
}

// The list view has no message for it: its header knows.
int CListCtrl::GetColumnCount() const {
    const HWND header = GetHeaderCtrl();
    if (header == nullptr)
        return 0;
    return static_cast<int>(ui::SendMessage(header, HDM_GETITEMCOUNT));
}

int CListCtrl::InsertItem(int row, std::u16string_view text) {
    std::u16string content(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = content.data();
    return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool CListCtrl::DeleteItem(int row) {
    return SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(row)) != 0;
}

bool CListCtrl::DeleteAllItems() {
    return SendMessage(LVM_DELETEALLITEMS) != 0;
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(SendMessage(LVM_GETITEMCOUNT));
}

bool CListCtrl::SetItemText(int row, int column, std::u16string_view text) {
    std::u16string content(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = content.data();
    return SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item)) != 0;
}

std::u16string CListCtrl::GetItemText(int row, int column, int bufferSize) const {
    if (bufferSize <= 0)
        return {};
    std::u16string buffer(static_cast<std::size_t>(bufferSize), u'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = bufferSize;
    const LRESULT length =
        SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    if (length <= 0)
        return {};
    buffer.resize(std::min(static_cast<std::size_t>(length), buffer.size() - 1));
    return buffer;
}

bool CListCtrl::SetItemData(int row, DWORD_PTR data) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = static_cast<LPARAM>(data);
    return SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

DWORD_PTR CListCtrl::GetItemData(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == 0)
        return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

bool CListCtrl::SetItemState(int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    return SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item)) != 0;
}

UINT CListCtrl::GetItemState(int row, UINT mask) const {
    return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(row), mask));
}

int CListCtrl::GetNextItem(int start, int flags) const {
    return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start),
                                        MAKELPARAM(static_cast<WORD>(flags), 0)));
}

int CListCtrl::GetTopIndex() const {
    return static_cast<int>(SendMessage(LVM_GETTOPINDEX));
}

int CListCtrl::GetCountPerPage() const {
    return static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE));
}

// The column goes in `top` and the part in `left`.
bool CListCtrl::GetSubItemRect(int row, int column, int area, RECT& rect) const {
    rect = {};
    rect.top = column;
    rect.left = area;
    return SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&rect)) != 0;
}

int CListCtrl::HitTest(POINT point, UINT* flags) const {
    LVHITTESTINFO info{};
    info.pt = point;
    const auto row = static_cast<int>(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (flags != nullptr)
        *flags = info.flags;
    return row;
}

// Every extended style: the mask 0 means all of them. Returns the previous styles.
DWORD CListCtrl::SetExtendedStyle(DWORD style) {
    return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
}

DWORD CListCtrl::GetExtendedStyle() const {
    return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
}

HIMAGELIST CListCtrl::SetImageList(CImageList* list, int which) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(which),
                    reinterpret_cast<LPARAM>(list != nullptr ? list->m_hImageList : nullptr)));
}

HWND CListCtrl::GetHeaderCtrl() const {
    return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
}

// ---- Tree view: https://learn.microsoft.com/windows/win32/controls/tree-view-control-reference

namespace {

LPARAM Item(HTREEITEM item) {
    return reinterpret_cast<LPARAM>(item);
}

HTREEITEM NextItem(const CTreeCtrl& tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(tree.SendMessage(TVM_GETNEXTITEM, relation, Item(item)));
}

}  // namespace

HTREEITEM CTreeCtrl::InsertItem(std::u16string_view text, HTREEITEM parent, HTREEITEM after) {
    std::u16string content(text);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent != nullptr ? parent : TviRoot();
    insert.hInsertAfter = after != nullptr ? after : TviLast();
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = content.data();
    return reinterpret_cast<HTREEITEM>(
        SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_PARAM;
    tv.hItem = item;
    tv.lParam = static_cast<LPARAM>(data);
    return SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) != 0;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_PARAM;
    tv.hItem = item;
    if (SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) == 0)
        return 0;
    return static_cast<DWORD_PTR>(tv.lParam);
}

std::u16string CTreeCtrl::GetItemText(HTREEITEM item) const {
    // No message tells the length: grow until the text fits with room to spare.
    for (std::size_t size = 64;; size *= 4) {
        std::u16string text(size, u'\0');
        TVITEMW tv{};
        tv.mask = TVIF_HANDLE | TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = text.data();
        tv.cchTextMax = static_cast<int>(size);
        if (SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) == 0)
            return {};
        const std::u16string content = tv.pszText != nullptr ? tv.pszText : u"";
        if (content.size() + 1 < size || size >= 32768)
            return content;
    }
}

// The check box is state image 1 (clear) or 2 (ticked).
bool CTreeCtrl::GetCheck(HTREEITEM item) const {
    const auto state = static_cast<UINT>(
        SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
    return (state & TVIS_STATEIMAGEMASK) == StateImageMask(2);
}

bool CTreeCtrl::SetCheck(HTREEITEM item, bool check) {
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_STATE;
    tv.hItem = item;
    tv.stateMask = TVIS_STATEIMAGEMASK;
    tv.state = StateImageMask(check ? 2 : 1);
    return SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) != 0;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
    return NextItem(*this, TVGN_ROOT, nullptr);
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
    return NextItem(*this, TVGN_PARENT, item);
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
    return NextItem(*this, TVGN_CHILD, item);
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
    return NextItem(*this, TVGN_NEXT, item);
}

bool CTreeCtrl::Expand(HTREEITEM item, UINT code) {
    return SendMessage(TVM_EXPAND, code, Item(item)) != 0;
}

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const {
    TVHITTESTINFO info{};
    info.pt = point;
    const auto item =
        reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (flags != nullptr)
        *flags = info.flags;
    return item;
}

bool CTreeCtrl::SelectItem(HTREEITEM item) {
    return SendMessage(TVM_SELECTITEM, TVGN_CARET, Item(item)) != 0;
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

int CWinApp::ExitInstance() {
    return quitCode_;
}

// As the framework's entry point: InitInstance; the message loop when it succeeded; then
// ExitInstance, whose result is the exit code either way. Nothing of ours throws past here.
int RunApplication() {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    try {
        app->quitCode_ = 0;
        if (app->InitInstance())
            app->quitCode_ = RunMessageLoop();
        return app->ExitInstance();
    } catch (...) {
        return -1;
    }
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
