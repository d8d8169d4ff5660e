#include "tools/demo/demo_panel.h"

namespace demo {

using namespace ui;

namespace {

constexpr int kMargin = 10;
constexpr int kRowHeight = 22;
constexpr int kWidth = 260;
constexpr DWORD kSsNotify = 0x0100;  // SS_NOTIFY: the caption answers the mouse

}  // namespace

DemoPanel::DemoPanel(DemoStation& station, Timeline timeline)
    : station_(station), timeline_(timeline) {}

bool DemoPanel::Create(POINT topLeft, HFONT font, bool runTimeline) {
    const int rows = static_cast<int>(station_.Disks().size()) + 1;
    const int captionAndFrame =
        GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFIXEDFRAME);
    const RECT frame{topLeft.x, topLeft.y, topLeft.x + kWidth + 2 * kMargin,
                     topLeft.y + captionAndFrame + rows * kRowHeight + 2 * kMargin};
    if (!CWnd::Create(u"Static", u"Tavrin demo station", WS_POPUP | WS_CAPTION | kSsNotify, frame,
                      nullptr, 0))
        return false;
    const auto add = [&](CButton& box, UINT id, std::u16string_view text, int row) {
        const RECT place{kMargin, kMargin + row * kRowHeight, kMargin + kWidth,
                         kMargin + row * kRowHeight + kRowHeight - 2};
        if (!box.Create(u"Button", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                        place, this, id))
            return false;
        if (font != nullptr)
            box.SetFont(font, false);
        return true;
    };
    if (!add(timelineBox_, kTimelineId, u"Disks come and go by themselves", 0))
        return false;
    for (std::size_t i = 0; i < station_.Disks().size(); ++i) {
        diskBoxes_.push_back(std::make_unique<CButton>());
        if (!add(*diskBoxes_.back(), kFirstDiskId + static_cast<UINT>(i), station_.Disks()[i].label,
                 static_cast<int>(i) + 1))
            return false;
    }
    if (runTimeline) {
        timelineBox_.SetCheck(BST_CHECKED);
        station_.StartTimeline(timeline_);
    }
    Follow();
    ShowWindow(SW_SHOWNOACTIVATE);
    return true;
}

void DemoPanel::Follow() {
    for (std::size_t i = 0; i < diskBoxes_.size(); ++i)
        diskBoxes_[i]->SetCheck(station_.IsPlugged(i) ? BST_CHECKED : BST_UNCHECKED);
}

void DemoPanel::OnClicked(UINT id) {
    if (id == kTimelineId) {
        if (timelineBox_.GetCheck() == BST_CHECKED)
            station_.StartTimeline(timeline_);
        else
            station_.StopTimeline();
        return;
    }
    const std::size_t disk = id - kFirstDiskId;
    if (disk >= diskBoxes_.size())
        return;
    // The box shows the click already; the station decides.
    if (diskBoxes_[disk]->GetCheck() == BST_CHECKED)
        station_.Plug(disk);
    else
        station_.Unplug(disk);
    Follow();
}

LRESULT DemoPanel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)
                OnClicked(LOWORD(wParam));
            return 0;
        case WM_DEVICECHANGE:
            Follow();
            return TRUE;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_PAINT: {
            // The static class would draw the caption's text into the panel.
            CPaintDC dc(this);
            RECT client{};
            GetClientRect(&client);
            dc.FillSolidRect(client, GetSysColor(COLOR_BTNFACE));
            return 0;
        }
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
}

}  // namespace demo
