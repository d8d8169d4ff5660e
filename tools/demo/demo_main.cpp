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
#include "tools/demo/demo_panel.h"
#include "tools/demo/demo_station.h"

namespace {

constexpr char16_t kTitle[] = u"Tavrin demo";
constexpr char16_t kUsage[] = u"Usage: TavrinDemo [--lang en|zh-CN|zh-TW] [STATION_FILE]";

bool LanguageOf(std::u16string_view name, ui::LANGID* language) {
    if (name == u"en")
        *language = ui::kLangEnglish;
    else if (name == u"zh-CN")
        *language = ui::kLangSimplifiedChinese;
    else if (name == u"zh-TW")
        *language = ui::kLangTraditionalChinese;
    else
        return false;
    return true;
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
    std::u16string file;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        ui::LANGID language = 0;
        if (arguments[i] == u"--lang" && i + 1 < arguments.size() &&
            LanguageOf(arguments[i + 1], &language)) {
            ui::SetUiLanguage(language);
            ++i;
        } else if (file.empty() && !arguments[i].starts_with(u"--")) {
            file = arguments[i];
        } else {
            ui::ShowError(kTitle, kUsage);
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
