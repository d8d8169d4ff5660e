// The main window: construction, start-up, the settings file, "Dialog Always on Top", the
// system menu, the minimised look, the header divider drag, the check selection button and
// closing.
#include "app/tavrin_dlg.h"

#include "app/about_dlg.h"
#include "app/check_items.h"
#include "app/chk_select.h"
#include "app/res/resource.h"
#include "config/settings.h"
#include "platform/text.h"
#include "platform/ui_host.h"
#include "qc/messages.h"
#include "usb/port_map.h"

namespace app {

using namespace ui;

namespace {

constexpr UINT kAboutCommand = 0x0010;

// The lines the result log's last try could not write: the operator learns how many, where and
// why, as the program ends.
void ReportLostLogLines(const qc::ResultLog& log) {
    std::u16string text = LoadString(IDS_LOG_NOT_WRITTEN);
    if (const std::size_t at = text.find(u"%d"); at != std::u16string::npos)
        text.replace(
            at, 2,
            platform::DecimalText(static_cast<long long>(log.WaitingLines() + log.DroppedLines())));
    text += u"\n\n" + log.path();
    if (!log.LastFailure().empty())
        text += u"\n" + log.LastFailure();
    ui::ShowError(LoadString(IDS_TITLE), text);
}

}  // namespace

CTavrinDlg::CTavrinDlg(CWnd* parent) : CDialog(IDD_MAIN, parent), icon(ui::LoadIcon(IDI_APP)) {}

CTavrinDlg::~CTavrinDlg() {
    // A window that never saw its closing sequence still keeps its scans away from it.
    if (scan != nullptr)
        scan->Detach();
}

void CTavrinDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDL_RESULTS, resultList);
    DDX_Check(dx, IDX_INFO_CHECK, infoCheck);
    DDX_Check(dx, IDX_TOPMOST, topmost);
    DDX_Check(dx, IDX_AUTO_CHECK, autoCheck);
}

const MessageMap* CTavrinDlg::GetMessageMap() const {
    static constexpr MessageEntry kEntries[] = {
        OnMessage<&CTavrinDlg::OnSysCommand>(WM_SYSCOMMAND),
        OnMessage<&CTavrinDlg::OnPaint>(WM_PAINT),
        OnMessage<&CTavrinDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
        OnMessage<&CTavrinDlg::OnDestroy>(WM_DESTROY),
        OnMessage<&CTavrinDlg::OnCollectCheckValues>(qc::kMsgCollectCheckValues),
        OnMessage<&CTavrinDlg::OnClearRowMessage>(qc::kMsgClearRow),
        OnMessage<&CTavrinDlg::OnAddDeviceRow>(qc::kMsgAddDeviceRow),
        OnMessage<&CTavrinDlg::OnIsDriveListed>(qc::kMsgIsDriveListed),
        // Also DM_SETDEFID to a dialog: consumed here, so a click on a bar never changes the
        // default button.
        OnMessage<&CTavrinDlg::OnBarClicked>(qc::kMsgBarClicked),
        OnMessage<&CTavrinDlg::OnDeviceChange>(WM_DEVICECHANGE),
        OnCommand<&CTavrinDlg::OnRun>(IDB_RUN),
        OnCommand<&CTavrinDlg::OnPortSelect>(IDB_PORT_SELECT),
        OnNotify<&CTavrinDlg::OnListCustomDraw>(IDL_RESULTS, NM_CUSTOMDRAW),
        OnNotify<&CTavrinDlg::OnListItemChanged>(IDL_RESULTS, LVN_ITEMCHANGED),
        OnNotify<&CTavrinDlg::OnListSetFocus>(IDL_RESULTS, NM_SETFOCUS),
        OnNotify<&CTavrinDlg::OnListKillFocus>(IDL_RESULTS, NM_KILLFOCUS),
        OnCommand<&CTavrinDlg::OnTopmost>(IDX_TOPMOST),
        OnCommand<&CTavrinDlg::OnLoad>(IDB_LOAD),
        OnCommand<&CTavrinDlg::OnSave>(IDB_SAVE),
        OnCommand<&CTavrinDlg::OnCheckSelect>(IDB_CHECK_SELECT),
        OnCommand<&CTavrinDlg::OnRefresh>(IDB_REFRESH),
        OnNotify<&CTavrinDlg::OnHeaderBeginTrack>(kAnyId, HDN_BEGINTRACKW),
        OnNotify<&CTavrinDlg::OnHeaderEndTrack>(kAnyId, HDN_ENDTRACKW),
    };
    static const MessageMap kMap{CDialog::GetMessageMap(), kEntries, std::size(kEntries)};
    return &kMap;
}

BOOL CTavrinDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    CMenu systemMenu = GetSystemMenu(false);
    const std::u16string about = LoadString(IDS_ABOUT);
    if (systemMenu.m_hMenu != nullptr && !about.empty()) {
        systemMenu.AppendMenu(MF_SEPARATOR);
        systemMenu.AppendMenu(MF_STRING, kAboutCommand, about);
    }
    SetIcon(icon, true);
    SetIcon(icon, false);

    // The list hosts one check bar per row: it clips them, except while a divider is dragged.
    // The row-height image list is our member, destroyed with us: the list must not destroy it
    // too when its window goes.
    resultList.ModifyStyle(0, LVS_REPORT | LVS_SHAREIMAGELISTS | WS_CLIPCHILDREN);
    resultList.SetExtendedStyle(resultList.GetExtendedStyle() | LVS_EX_GRIDLINES |
                                LVS_EX_FULLROWSELECT);
    rowHeight.Create(1, 15, ILC_COLOR, 0, 0);
    resultList.SetImageList(&rowHeight, LVSIL_SMALL);

    settingsPath = config::SettingsPath();
    const config::Settings stored = config::ReadSettings(settingsPath);
    portFilePath = stored.portFile;
    checkFilePath = stored.checkFile;
    // Only a station given a log keeps one; the key is never written.
    results.log.SetPath(stored.resultLog);
    // Another station writing to a shared log holds it for a write's time; one that holds it
    // longer costs a verdict a quarter of a second at most, never the window.
    results.log.SetHeldWait(std::chrono::milliseconds(250));
    topmost = stored.topmost;
    if (topmost != 0)
        ApplyTopmost();
    infoCheck = stored.infoCheck;
    autoCheck = stored.autoCheck;

    // Before the layout: it makes one column per enabled item.
    LoadCheckFile();
    results.SetPortMode(usb::EnablePortOf(portFilePath) == 1 ? 1 : 0, ItemColumnsNow());
    UpdateWindowTitle();
    UpdateData(false);

    scanSink = std::make_unique<qc::WindowScanSink>(m_hWnd, resultList.m_hWnd, results);
    scan = std::make_shared<qc::ScanShared>(*scanSink);
    StartScan();
    return TRUE;
}

void CTavrinDlg::ApplyTopmost() {
    SetWindowPos(topmost != 0 ? HwndTopmost() : HwndNoTopmost(), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

void CTavrinDlg::OnTopmost() {
    UpdateData(true);  // Auto Check too
    setup_.reset();
    ApplyTopmost();
}

LRESULT CTavrinDlg::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((wParam & 0xFFF0) == kAboutCommand) {
        CAboutDlg about;
        about.DoModal();
        return 0;
    }
    return Default();
}

LRESULT CTavrinDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic())
        return Default();
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT client;
    GetClientRect(&client);
    const int x = (Width(client) - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (Height(client) - GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, icon);
    return 0;
}

LRESULT CTavrinDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(icon);
}

void CTavrinDlg::OnHeaderBeginTrack(NMHDR*, LRESULT* result) {
    resultList.ModifyStyle(WS_CLIPCHILDREN, 0);
    *result = 0;
}

void CTavrinDlg::OnHeaderEndTrack(NMHDR*, LRESULT* result) {
    resultList.ModifyStyle(0, WS_CLIPCHILDREN);
    *result = 0;
}

void CTavrinDlg::EnableItemControls() {
    for (const CheckItem& item : checkItems) {
        if (const HWND control = GetDlgItem(item.controlId); control != nullptr)
            CBorrowed<>(control).EnableWindow(item.enabled != 0);
    }
}

void CTavrinDlg::OnCheckSelect() {
    CChkSelect select(this);
    if (select.DoModal() != IDOK)
        return;
    setup_.reset();
    EnableItemControls();
    results.RebuildItemColumns(ItemColumnsNow());
    for (int row = 0; row < resultList.GetItemCount(); ++row)
        results.FillRowValues(row);
}

LRESULT CTavrinDlg::OnDestroy(WPARAM wParam, LPARAM lParam) {
    // Scans keep what they use (shared with them); once detached none reaches this window, and
    // none is waited for beyond the message it may be sending now.
    if (scan != nullptr)
        scan->Detach();
    results.ClearAllRows();
    // The last try for lines still waiting, with a longer wait for another writer: one that
    // fails is told, not dropped in silence.
    if (!results.log.WriteWaiting(std::chrono::seconds(3)) || results.log.DroppedLines() > 0)
        ReportLostLogLines(results.log);
    UpdateData(true);
    config::Settings closing;
    closing.topmost = topmost;
    closing.infoCheck = infoCheck;
    closing.autoCheck = autoCheck;
    config::WriteSettings(closing, config::Written::AtClosing, settingsPath);
    return DefWindowProc(WM_DESTROY, wParam, lParam);
}

}  // namespace app
