#include "usb/usb_port.h"

#include <utility>

#include "config/settings.h"
#include "platform/profile.h"
#include "platform/ui_host.h"
#include "usb/port_map.h"
#include "usb/res/port_select.h"
#include "usb/tree_text.h"

namespace usb {

using namespace ui;

namespace {

constexpr char16_t kExtension[] = u".pfg";
// The new map's file beside the port file, until it replaces it.
constexpr char16_t kTempSuffix[] = u".new";
constexpr DWORD kFileDialogFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
// From the worker, once the tree holds every tick of the map.
constexpr UINT kMsgChecksLoaded = WM_APP + 1;
HTREEITEM ItemOf(NodeHandle node) {
    return reinterpret_cast<HTREEITEM>(node);
}

NodeHandle NodeOf(HTREEITEM item) {
    return reinterpret_cast<NodeHandle>(item);
}

}  // namespace

CUsbPort::CUsbPort(CWnd* parent)
    : CDialog(IDD_PORT_SELECT, parent), CEnumUSB(ui::WaitServingSentMessages) {}

CUsbPort::~CUsbPort() {
    closing_.store(true, std::memory_order_release);
    WaitForWorker();
}

void CUsbPort::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDT_PORTS, tree);
    DDX_Check(dx, IDX_ENABLE_PORT, enablePort);
}

const MessageMap* CUsbPort::GetMessageMap() const {
    static constexpr MessageEntry kEntries[] = {
        OnMessage<&CUsbPort::OnDestroy>(WM_DESTROY),
        OnMessage<&CUsbPort::OnChecksLoaded>(kMsgChecksLoaded),
        OnNotify<&CUsbPort::OnTreeClick>(IDT_PORTS, NM_CLICK),
        OnCommand<&CUsbPort::OnLoad>(IDB_LOAD),
        OnCommand<&CUsbPort::OnSave>(IDB_SAVE),
    };
    static const MessageMap kMap{CDialog::GetMessageMap(), kEntries, std::size(kEntries)};
    return &kMap;
}

INT_PTR CUsbPort::DoModal() {
    const INT_PTR result = CDialog::DoModal();
    closing_.store(true, std::memory_order_release);
    WaitForWorker();
    return result;
}

BOOL CUsbPort::OnInitDialog() {
    CDialog::OnInitDialog();

    settingsPath = config::SettingsPath();
    SetPortFilePath(ReadPortFileSetting(settingsPath));
    enablePort = EnablePortOf(portFilePath);
    UpdateTitle();
    UpdateData(false);

    // The tree would make its check boxes at its first paint and clear every tick given before;
    // given the style anew, it makes them now, so the worker's ticks stay.
    tree.ModifyStyle(TVS_CHECKBOXES, 0);
    tree.ModifyStyle(0, TVS_CHECKBOXES);

    // OK and Save would write the ticks found so far over the map, before the worker has
    // loaded them, and Load's ticks would mix with the worker's: they wait for it.
    EnableFileButtons(false);
    treeWindow_ = tree.m_hWnd;
    dialogWindow_ = m_hWnd;
    workerRunning_.store(true, std::memory_order_release);
    if (AfxBeginThread(&CUsbPort::Worker, this) == nullptr)
        workerRunning_.store(false, std::memory_order_release);
    return TRUE;
}

UINT CUsbPort::Worker(void* parameter) {
    auto* self = static_cast<CUsbPort*>(parameter);
    self->Enumerate(1);
    if (!self->IsClosing()) {
        CBorrowed<CTreeCtrl> on(self->treeWindow_);
        self->ExpandAll(on, on.GetRootItem());
        std::u16string file;
        {
            std::lock_guard lock(self->pathMutex_);
            file = self->portFilePath;
        }
        self->LoadChecks(on, on.GetRootItem(), file);
        if (!self->IsClosing())
            ui::SendMessage(self->dialogWindow_, kMsgChecksLoaded);
    }
    // The last touch of the dialog: it may go right after.
    self->workerRunning_.store(false, std::memory_order_release);
    return 0;
}

void CUsbPort::WaitForWorker() {
    // The worker may be waiting in a send to the tree, whose window lives on this thread; the
    // owner keeps painting meanwhile, but takes no input: nothing can start on the list the
    // worker still rebuilds, nor on this object.
    while (!WaitServingSentMessagesAndPaint([this] { return !IsWorkerRunning(); }, 1000)) {
    }
}

LRESULT CUsbPort::OnDestroy(WPARAM, LPARAM) {
    closing_.store(true, std::memory_order_release);
    return Default();
}

LRESULT CUsbPort::OnChecksLoaded(WPARAM, LPARAM) {
    checksLoaded_ = true;
    EnableFileButtons(true);
    return 0;
}

// The buttons wait disabled; a command that comes all the same (sent, not clicked) waits here.
bool CUsbPort::WaitForChecks() {
    while (!checksLoaded_ && IsWorkerRunning()) {
        WaitServingSentMessagesAndPaint([this] { return checksLoaded_ || !IsWorkerRunning(); },
                                        1000);
    }
    return checksLoaded_;
}

void CUsbPort::EnableFileButtons(bool enable) {
    for (const int id : {IDOK, IDB_SAVE, IDB_LOAD}) {
        if (const HWND button = GetDlgItem(id); button != nullptr)
            CBorrowed<>(button).EnableWindow(enable);
    }
}

// ---- The tree

HTREEITEM CUsbPort::Insert(std::u16string_view text, NodeHandle parent) {
    if (IsClosing())
        return nullptr;
    CBorrowed<CTreeCtrl> on(treeWindow_);
    return on.InsertItem(text, parent == 0 ? TviRoot() : ItemOf(parent), TviLast());
}

NodeHandle CUsbPort::OnHostController(const char16_t* description) {
    return NodeOf(Insert(description != nullptr ? description : u"", 0));
}

NodeHandle CUsbPort::OnHub(const char16_t* description, NodeHandle parent) {
    // An external hub hangs below a hub item, which has a parent of its own.
    const bool parentHasParent =
        !IsClosing() && parent != 0 &&
        CBorrowed<CTreeCtrl>(treeWindow_).GetParentItem(ItemOf(parent)) != nullptr;
    return NodeOf(Insert(HubItemText(description, parentHasParent), parent));
}

NodeHandle CUsbPort::OnPort(int port, int connected, const char16_t* description,
                            NodeHandle parent) {
    const HTREEITEM item = Insert(PortItemText(port, connected == 1, description), parent);
    ++portCounter;
    if (item != nullptr)
        CBorrowed<CTreeCtrl>(treeWindow_).SetItemData(item, static_cast<DWORD_PTR>(portCounter));
    return NodeOf(item);
}

void CUsbPort::ExpandAll(CTreeCtrl& on, HTREEITEM item) {
    for (; item != nullptr && !IsClosing(); item = on.GetNextSiblingItem(item)) {
        on.Expand(item, TVE_EXPAND);
        ExpandAll(on, on.GetChildItem(item));
    }
}

int CUsbPort::LoadChecks(CTreeCtrl& on, HTREEITEM item, const std::u16string& file) {
    int all = 1;
    for (; item != nullptr && !IsClosing(); item = on.GetNextSiblingItem(item)) {
        int checked = 0;
        if (const HTREEITEM child = on.GetChildItem(item); child != nullptr) {
            checked = LoadChecks(on, child, file);
        } else {
            const int value =
                file.empty() ? 0
                             : StationPortIn(file, static_cast<long long>(on.GetItemData(item)));
            checked = value != 0 ? 1 : 0;
        }
        on.SetCheck(item, checked != 0);
        on.Expand(item, TVE_EXPAND);
        if (checked == 0)
            all = 0;
    }
    return all;
}

int CUsbPort::StationPortIn(const std::u16string& file, long long portOrdinal) {
    return StationPortOf(file, portOrdinal);
}

bool CUsbPort::WritePortMap(HTREEITEM item, const std::u16string& file, int& station) {
    for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
        if (const HTREEITEM child = tree.GetChildItem(item); child != nullptr) {
            if (!WritePortMap(child, file, station))
                return false;
        } else if (tree.GetCheck(item)) {
            if (!WriteStationPort(file, static_cast<long long>(tree.GetItemData(item)), station))
                return false;
            ++station;
        }
    }
    return true;
}

void CUsbPort::OnTreeClick(NMHDR*, LRESULT* result) {
    *result = 0;
    POINT point{};
    GetCursorPos(&point);
    tree.ScreenToClient(&point);
    UINT flags = 0;
    const HTREEITEM item = tree.HitTest(point, &flags);
    if (item == nullptr || (flags & TVHT_ONITEMSTATEICON) == 0)
        return;
    // The control toggles the box after this notification.
    bool state = !tree.GetCheck(item);

    struct Down {
        CTreeCtrl& tree;
        void Set(HTREEITEM first, bool check) {
            for (HTREEITEM i = first; i != nullptr; i = tree.GetNextSiblingItem(i)) {
                tree.SetCheck(i, check);
                Set(tree.GetChildItem(i), check);
            }
        }
    } down{tree};
    down.Set(tree.GetChildItem(item), state);

    for (HTREEITEM child = item, parent = tree.GetParentItem(item); parent != nullptr;
         child = parent, parent = tree.GetParentItem(parent)) {
        bool all = state;
        for (HTREEITEM i = tree.GetChildItem(parent); all && i != nullptr;
             i = tree.GetNextSiblingItem(i)) {
            if (i != child && !tree.GetCheck(i))
                all = false;
        }
        tree.SetCheck(parent, all);
        state = all;
    }
    tree.SelectItem(item);
}

// ---- Files

void CUsbPort::SetPortFilePath(std::u16string path) {
    std::lock_guard lock(pathMutex_);
    portFilePath = std::move(path);
}

void CUsbPort::UpdateTitle() {
    std::u16string title = LoadString(IDS_PORT_TITLE);
    if (!portFilePath.empty())
        title += u" - " + portFilePath;
    SetWindowText(title);
}

CUsbPort::Saved CUsbPort::SaveAs(bool withSwitch) {
    CFileDialog dialog(false, kExtension, portFilePath, kFileDialogFlags,
                       LoadString(IDS_PORT_FILTER), this);
    if (dialog.DoModal() != IDOK)
        return Saved::kCancelled;
    SetPortFilePath(dialog.GetPathName());
    UpdateTitle();
    const Written written = WriteWholeMap(withSwitch);
    if (written == Written::kWhole)
        return Saved::kWritten;
    TellNotSaved(written);
    return Saved::kFailed;
}

CUsbPort::Written CUsbPort::WriteWholeMap(bool withSwitch) {
    // Beside the port file, so that the replacing is a rename within one folder. Made empty
    // first: it holds this map alone, whatever a run that stopped half-way left in it.
    const std::u16string temp = portFilePath + kTempSuffix;
    if (!platform::CreateEmptyFile(temp))
        return Written::kNotMade;
    int station = 1;
    Written written = Written::kWhole;
    if (!WritePortMap(tree.GetRootItem(), temp, station) ||
        (withSwitch && !WriteEnablePort(temp, enablePort)) || !platform::FlushProfileFile(temp))
        written = Written::kNotWritten;
    else if (!platform::MoveFileReplacing(temp, portFilePath))
        written = Written::kNotReplaced;
    if (written != Written::kWhole)
        platform::RemoveFile(temp);
    return written;
}

void CUsbPort::TellNotSaved(Written why) {
    const UINT text = why == Written::kNotMade       ? IDS_PORT_FOLDER_NOT_WRITTEN
                      : why == Written::kNotReplaced ? IDS_PORT_NOT_REPLACED
                                                     : IDS_PORT_NOT_SAVED;
    ui::ShowError(LoadString(IDS_PORT_TITLE), LoadString(text) + u"\n\n" + portFilePath);
}

void CUsbPort::OnSave() {
    if (WaitForChecks())
        SaveAs(false);
}

void CUsbPort::OnLoad() {
    if (!WaitForChecks())
        return;
    CFileDialog dialog(true, kExtension, portFilePath, kFileDialogFlags,
                       LoadString(IDS_PORT_FILTER), this);
    if (dialog.DoModal() != IDOK)
        return;
    SetPortFilePath(dialog.GetPathName());
    UpdateTitle();
    LoadChecks(tree, tree.GetRootItem(), portFilePath);
}

void CUsbPort::OnOK() {
    if (!WaitForChecks())
        return;
    UpdateData(true);
    if (portFilePath.empty())
        return;
    // The map first, the settings last: a failure on the way leaves the settings naming the map
    // they named, which is still whole. Whatever was not written keeps the dialog open.
    const Written written = WriteWholeMap(true);
    if (written != Written::kWhole) {
        TellNotSaved(written);
        // A folder that takes no file leads into Save, for another one.
        if (written != Written::kNotMade || SaveAs(true) != Saved::kWritten)
            return;
    }
    if (!WritePortFileSetting(settingsPath, portFilePath) ||
        !platform::FlushProfileFile(settingsPath)) {
        ui::ShowError(LoadString(IDS_PORT_TITLE),
                      LoadString(IDS_PORT_SETTING_NOT_WRITTEN) + u"\n\n" + settingsPath);
        return;
    }
    CDialog::OnOK();
}

}  // namespace usb
