// The demo's panel: a small window beside the main one with a tick box per disk of the
// station file (ticked: on its port) and one that runs or stops the timeline. It follows the
// station: the device notices that reach every top-level window tick and untick its boxes.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui.h"
#include "tools/demo/demo_station.h"

namespace demo {

class DemoPanel : public ui::CWnd {
  public:
    static constexpr ui::UINT kTimelineId = 100;
    static constexpr ui::UINT kFirstDiskId = 101;

    DemoPanel(DemoStation& station, Timeline timeline);

    // Top-level, at `topLeft` on the screen, in `font` when given; the timeline runs from the
    // start when `runTimeline`.
    bool Create(ui::POINT topLeft, ui::HFONT font, bool runTimeline);
    // Ticks each disk's box as the station has it.
    void Follow();

    ui::LRESULT WindowProc(ui::UINT message, ui::WPARAM wParam, ui::LPARAM lParam) override;

  private:
    void OnClicked(ui::UINT id);

    DemoStation& station_;
    Timeline timeline_;
    ui::CButton timelineBox_;
    std::vector<std::unique_ptr<ui::CButton>> diskBoxes_;
};

}  // namespace demo
