// TavrinDemo [--lang en|zh-CN|zh-TW] [STATION_FILE]: the real main window on a virtual station
// whose disks come and go (station16.station beside the program when no file is given), with
// the panel that plugs and pulls them by hand. Settings and check files are real files beside
// the program, as Tavrin's are.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/tavrin_app.h"
#include "platform/profile.h"
#include "platform/sim/device_notices.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_host.h"
#include "tools/block_line.h"
#include "tools/demo/demo_panel.h"
#include "tools/demo/demo_station.h"

namespace {

constexpr char16_t kTitle[] = u"Tavrin demo";

std::u16string UsageText() {
    return u"Usage: TavrinDemo [--lang " + platform::FromUtf8(device::LanguageOptions()) +
           u"] [STATION_FILE]";
}

class CDemoApp : public app::CTavrinApp {
  public:
    ui::BOOL InitInstance() override;

  private:
    void ShowPanel();

    demo::DemoStation station_;
    std::unique_ptr<demo::DemoPanel> panel_;
};

ui::BOOL CDemoApp::InitInstance() {
    const std::vector<std::u16string> arguments = ui::ProgramArguments();
    // The tools' parser of --lang reads UTF-8.
    std::vector<std::string> utf8;
    for (const std::u16string& argument : arguments)
        utf8.push_back(platform::ToUtf8(argument));
    std::u16string file;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--lang") {
            std::string why;
            const auto language = tools::LanguageOption(utf8, i, &why);
            if (!language) {
                ui::ShowError(kTitle, UsageText());
                return ui::FALSE;
            }
            ui::SetUiLanguage(device::EntryOf(*language).langId);
        } else if (file.empty() && !arguments[i].starts_with(u"--")) {
            file = arguments[i];
        } else {
            ui::ShowError(kTitle, UsageText());
            return ui::FALSE;
        }
    }
    if (file.empty()) {
        const std::u16string program = platform::ModuleFileName();
        file = program.substr(0, program.find_last_of(u'\\') + 1) + u"station16.station";
    }
    const sim::StationFileResult loaded = station_.Load(std::filesystem::path(file));
    if (!loaded.ok) {
        ui::ShowError(kTitle, file + u": " + platform::FromUtf8(loaded.error));
        return ui::FALSE;
    }
    sim::SendDeviceNotices(true);
    // Once the main window runs: the panel beside it, and with it the timeline.
    ui::WhenIdle([this] { ShowPanel(); });
    CTavrinApp::InitInstance();
    station_.StopTimeline();
    sim::SendDeviceNotices(false);
    if (panel_ != nullptr && panel_->m_hWnd != nullptr)
        panel_->DestroyWindow();
    return ui::FALSE;
}

void CDemoApp::ShowPanel() {
    ui::CWnd* main = ui::AfxGetMainWnd();
    if (main == nullptr || !ui::IsWindow(main->m_hWnd))
        return;
    ui::RECT frame{};
    main->GetWindowRect(&frame);
    panel_ = std::make_unique<demo::DemoPanel>(station_, demo::Timeline{});
    panel_->Create({frame.right + 8, frame.top}, main->GetFont(), true);
}

}  // namespace

CDemoApp theApp;
