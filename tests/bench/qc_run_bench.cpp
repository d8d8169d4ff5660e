// The QC run on the virtual station: a full scan of sixteen disks, the USB walk of a full tree,
// and the main window's messages, on the headless window system.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/check_items.h"
#include "app/res/resource.h"
#include "app/tavrin_app.h"
#include "app/tavrin_dlg.h"
#include "device/controller.h"
#include "device/selection_lists.h"
#include "platform/headless/headless.h"
#include "platform/sim/files.h"
#include "platform/sim/info_block.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"
#include "platform/ui_testing.h"
#include "qc/device_scan.h"
#include "qc/messages.h"
#include "qc/window_sink.h"
#include "tests/support/listed_devices.h"
#include "tests/support/program_folder.h"
#include "usb/enum_usb.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDisks = 16;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A check file enabling every item that is not a drop-down index, with the sample disk's values:
// every disk passes, every enabled cell is compared.
std::string SampleCheckFile() {
    const auto values = device::DecodeInfoBlock(
        sim::SampleInfoBlock().Bytes(), device::SelectionListsFor(device::Language::English),
        4'000'000'000ull);
    std::string stored = "[Value]\r\n", enabled = "[Enable]\r\n";
    for (std::size_t i = 0; i < device::kSlotCount; ++i) {
        if (app::IsListItem(i))
            continue;
        const std::u16string_view key = device::kSlotKeys[i];
        const std::string narrow(key.begin(), key.end());
        std::u16string text = (*values)[i].value_or(u"");
        if (i == device::kSlotCapMin || i == device::kSlotCapMax)
            text = text.substr(0, text.find(u'M'));
        stored += narrow + "=" + std::string(text.begin(), text.end()) + "\r\n";
        enabled += narrow + "=1\r\n";
    }
    return stored + enabled;
}

// The program's folder on a host folder of its own, with settings and a check file; a station
// of sixteen sample disks on four hubs of one controller.
class Program {
  public:
    explicit Program(const char* name) : folder_(std::string("bench-") + name) {
        folder_.WriteFile(testsupport::kSettings,
                          "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\nInfoCheck=1\r\n");
        folder_.WriteFile(u"C:\\Tools\\Tavrin\\a.chk", SampleCheckFile());

        sim::Station::Get().Reset();
        ui::testing::Reset();
        app::checkItems = app::MakeCheckItems();
        PlugSixteenDisks();
    }
    ~Program() {
        ui::testing::Reset();
        sim::Station::Get().Reset();
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Runs the program; `body` runs inside the main window's loop once the start-up scan has
    // ended and what it posted has arrived, and the window closes after it.
    void Run(const std::function<void(app::CTavrinDlg&)>& body) {
        app::CTavrinApp program;
        ui::WhenIdle([&] {
            auto* dialog = static_cast<app::CTavrinDlg*>(ui::AfxGetMainWnd());
            if (dialog == nullptr)
                return;
            WaitForScans(*dialog);
            // At the next idle moment: once the verdicts posted to the bars have arrived.
            ui::WhenIdle([&body, dialog] {
                body(*dialog);
                WaitForScans(*dialog);
                dialog->SendMessage(ui::WM_SYSCOMMAND, ui::SC_CLOSE, 0);
            });
        });
        program.InitInstance();
    }

    static void WaitForScans(app::CTavrinDlg& dialog) {
        ui::WaitServingSentMessages(
            [&dialog] { return dialog.scan != nullptr && dialog.scan->running() == 0; }, 60000);
    }

    // Pass-through commands the disks have taken since the last call.
    static std::size_t TakeCommandCount() {
        std::size_t count = 0;
        for (int number = 1; number <= kDisks; ++number) {
            if (sim::VirtualDisk* disk = sim::Station::Get().Disk(number)) {
                count += disk->calls.size();
                disk->calls.clear();
            }
        }
        return count;
    }

  private:
    static void PlugSixteenDisks() {
        auto& station = sim::Station::Get();
        sim::UsbMachine machine;
        machine.controllers.push_back(sim::Controller(4));
        int number = 1;
        for (sim::UsbPort& root : machine.controllers[0].rootHub.ports) {
            sim::UsbHub hub = sim::Hub(4);
            for (sim::UsbPort& port : hub.ports) {
                station.AddDisk(number).block = sim::SampleInfoBlock().Bytes();
                port = sim::UsbPort::With(
                    sim::FlashDisk(number, static_cast<char16_t>(u'D' + number - 1)));
                ++number;
            }
            root = sim::UsbPort::WithHub(std::move(hub));
        }
        station.Usb().SetMachine(std::move(machine));
    }

    testsupport::ProgramFolder folder_;
};

// Runs a function sent from another thread on the window's thread.
class Relay : public ui::CWnd {
  public:
    static constexpr ui::UINT kRun = ui::WM_APP + 1;
    ui::LRESULT OnRun(ui::WPARAM wParam, ui::LPARAM) {
        (*reinterpret_cast<const std::function<void()>*>(wParam))();
        return 0;
    }
    const ui::MessageMap* GetMessageMap() const override {
        static constexpr ui::MessageEntry kEntries[] = {ui::OnMessage<&Relay::OnRun>(kRun)};
        static const ui::MessageMap kMap{ui::CWnd::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
    void Run(const std::function<void()>& call) {
        ui::SendMessage(m_hWnd, kRun, reinterpret_cast<ui::WPARAM>(&call), 0);
    }
};

// The window's sink, except that "is this letter listed" is one message to the window, which
// looks at its own list, instead of a list message per row: what the scan would cost so.
class OneQuerySink : public qc::ScanSink {
  public:
    OneQuerySink(qc::ScanSink& window, Relay& relay, const qc::ResultList& results)
        : window_(window), relay_(relay), results_(results) {}
    void CollectCheckValues() override { window_.CollectCheckValues(); }
    void AddDeviceRow(const usb::UsbDeviceEntry& entry) override { window_.AddDeviceRow(entry); }
    void ClearRow(int row, char16_t letter) override { window_.ClearRow(row, letter); }
    int RowCount() override { return window_.RowCount(); }
    std::u16string VolCell(int row, int bufferSize) override {
        return window_.VolCell(row, bufferSize);
    }
    bool IsDriveListed(char16_t letter) override {
        bool listed = false;
        relay_.Run([&] { listed = results_.IsDriveListed(letter); });
        return listed;
    }

  private:
    qc::ScanSink& window_;
    Relay& relay_;
    const qc::ResultList& results_;
};

// A full scan that finds sixteen new supported disks, every row added, filled and checked,
// each pass-through command taking `latency` microseconds (the first argument) of device time.
// The second argument 1 runs it through OneQuerySink. The scan runs on a thread of its own, as
// after an arrival notice, and is timed from the thread's start to the scan's end (the
// window's wait for it looks at its end only every few milliseconds).
// "ratio": the wall time over the device time of the commands sent (their count times the
// latency); "ratio_spent": over the device time the station really spent (its sleeps overrun).
void BM_ScanSixteenDisks(benchmark::State& state) {
    const std::chrono::microseconds latency(state.range(0));
    Program program("scan");
    double wall = 0, spent = 0;
    std::size_t commands = 0;
    bool allListed = true;
    program.Run([&](app::CTavrinDlg& dialog) {
        auto& station = sim::Station::Get();
        Relay relay;
        relay.Create(u"Static", u"", ui::WS_POPUP, {0, 0, 1, 1}, nullptr, 0);
        OneQuerySink oneQuery(*dialog.scanSink, relay, dialog.results);
        const auto batched = std::make_shared<qc::ScanShared>(oneQuery);
        qc::ScanShared& shared = state.range(1) == 1 ? *batched : *dialog.scan;
        for (auto _ : state) {
            dialog.results.ClearAllRows();
            Program::TakeCommandCount();
            station.SetCommandLatency(latency);
            station.TakeDeviceTime();
            std::atomic<bool> ended{false};
            Clock::time_point end;
            const Clock::time_point start = Clock::now();
            std::thread scan([&] {
                shared.ScanDevices();
                end = Clock::now();
                ended = true;
            });
            ui::WaitServingSentMessages([&] { return ended.load(); }, 60000);
            scan.join();
            station.SetCommandLatency({});
            const double seconds = Seconds(end - start);
            state.SetIterationTime(seconds);
            wall += seconds;
            spent += Seconds(station.TakeDeviceTime());
            commands += Program::TakeCommandCount();
            allListed = allListed && dialog.resultList.GetItemCount() == kDisks;
        }
        relay.DestroyWindow();
    });
    if (!allListed)
        state.SkipWithError("the scan did not list the sixteen disks");
    const double iterations = static_cast<double>(state.iterations());
    const double device = static_cast<double>(commands) * Seconds(latency);
    state.counters["commands"] = static_cast<double>(commands) / iterations;
    state.counters["per_disk_ms"] = wall / iterations / kDisks * 1e3;
    if (device > 0) {
        state.counters["device_ms"] = device / iterations * 1e3;
        state.counters["ratio"] = wall / device;
        state.counters["ratio_spent"] = wall / spent;
    }
}
BENCHMARK(BM_ScanSixteenDisks)
    ->ArgsProduct({{0, 2000}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// What a scan pays for each of its calls to the window: a message sent from another thread
// and served by the window's thread (a list message: the row count).
void BM_CrossThreadListMessage(benchmark::State& state) {
    Program program("send");
    program.Run([&](app::CTavrinDlg& dialog) {
        const ui::HWND list = dialog.resultList.m_hWnd;
        std::atomic<bool> ended{false};
        std::thread sender([&] {
            for (auto _ : state)
                benchmark::DoNotOptimize(ui::SendMessage(list, ui::LVM_GETITEMCOUNT, 0, 0));
            ended = true;
        });
        ui::WaitServingSentMessages([&] { return ended.load(); }, 60000);
        sender.join();
    });
}
BENCHMARK(BM_CrossThreadListMessage)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One walk of a controller with 127 devices, the most it addresses: hubs four tiers deep (two
// on the root hub, two on each, three on each of those) and 109 flash disks on the last tier,
// the first 23 with drive letters.
void BM_EnumerateFullTree(benchmark::State& state) {
    auto& station = sim::Station::Get();
    station.Reset();
    constexpr int kDevices = 127;
    sim::UsbMachine machine;
    machine.controllers.push_back(sim::Controller(2));
    int devices = 0;
    int number = 1;
    std::vector<sim::UsbHub*> last;
    for (sim::UsbPort& first : machine.controllers[0].rootHub.ports) {
        first = sim::UsbPort::WithHub(sim::Hub(2));
        ++devices;
        for (sim::UsbPort& second : first.hub->ports) {
            second = sim::UsbPort::WithHub(sim::Hub(3));
            ++devices;
            for (sim::UsbPort& third : second.hub->ports) {
                third = sim::UsbPort::WithHub(sim::Hub(10));
                ++devices;
                last.push_back(third.hub.get());
            }
        }
    }
    for (sim::UsbHub* hub : last) {
        for (sim::UsbPort& port : hub->ports) {
            if (devices == kDevices)
                break;
            const char16_t letter = number <= 23 ? static_cast<char16_t>(u'D' + number - 1) : 0;
            port = sim::UsbPort::With(sim::FlashDisk(number++, letter));
            ++devices;
        }
    }
    station.Usb().SetMachine(std::move(machine));

    usb::CEnumUSB enumerator;
    for (auto _ : state) {
        enumerator.Enumerate(0);
        benchmark::DoNotOptimize(usb::CEnumUSB::GetFirstDevice());
        state.PauseTiming();
        station.Usb().ClearRequests();  // the station's record of them, not the system's work
        state.ResumeTiming();
    }
    state.counters["devices"] = devices;
    state.counters["listed"] = tavrin_test::ListedDeviceCount();
}
BENCHMARK(BM_EnumerateFullTree)->Unit(benchmark::kMillisecond);

// ---- The window's thread, with sixteen disks listed

// The device entries of the shared list, each with its volumes.
struct Entries {
    std::vector<usb::UsbDeviceEntry> devices;
    std::vector<std::vector<usb::VolumeEntry>> volumes;
};

Entries TakeEntries() {
    const usb::CEnumUSB::ListLock hold;
    usb::CEnumUSB enumerator;
    enumerator.Enumerate(0);
    Entries found;
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    while (position != nullptr) {
        usb::CEnumUSB::GetNextDevice(&found.devices.emplace_back(), &position);
        auto& volumes = found.volumes.emplace_back();
        usb::VolumePosition volume = found.devices.back().firstVolume;
        while (volume != nullptr)
            usb::CEnumUSB::GetNextVolume(&volumes.emplace_back(), &volume);
    }
    for (std::size_t d = 0; d < found.devices.size(); ++d) {
        auto& volumes = found.volumes[d];
        for (std::size_t i = 0; i < volumes.size(); ++i)
            volumes[i].next = i + 1 < volumes.size() ? &volumes[i + 1] : nullptr;
        found.devices[d].firstVolume = volumes.empty() ? nullptr : &volumes[0];
    }
    return found;
}

// The add message for one disk, as a scan sends it (zero device latency: what is measured is
// the window's own work and the station's), and its parts measured apart: the device read and
// decode, the fill, the check. The row is cleared between iterations, outside the time.
void BM_WindowAddDeviceRow(benchmark::State& state) {
    Program program("add");
    double read = 0, fill = 0, check = 0;
    program.Run([&](app::CTavrinDlg& dialog) {
        Entries entries = TakeEntries();
        const usb::UsbDeviceEntry& entry = entries.devices.front();
        dialog.results.ClearAllRows();
        const qc::CheckSetup setup = dialog.CheckSetupNow();
        const device::SelectionLists& lists = setup.lists;
        device::ValueSlots slots;
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            const auto row = static_cast<int>(
                dialog.SendMessage(qc::kMsgAddDeviceRow, reinterpret_cast<ui::WPARAM>(&entry), 0));
            const Clock::time_point added = Clock::now();
            state.SetIterationTime(Seconds(added - start));

            const Clock::time_point t0 = Clock::now();
            device::DecodeControllerInfo(entry.diskNumbers[0], entry.firstVolume->driveLetter,
                                         slots, lists);
            const Clock::time_point t1 = Clock::now();
            dialog.results.FillRowValues(row);
            const Clock::time_point t2 = Clock::now();
            dialog.results.CheckRow(row, setup);
            const Clock::time_point t3 = Clock::now();
            read += Seconds(t1 - t0);
            fill += Seconds(t2 - t1);
            check += Seconds(t3 - t2);
            dialog.results.ClearRow(row);
            Program::TakeCommandCount();
        }
    });
    const double n = static_cast<double>(state.iterations());
    state.counters["read_decode_us"] = read / n * 1e6;
    state.counters["fill_us"] = fill / n * 1e6;
    state.counters["check_us"] = check / n * 1e6;
}
BENCHMARK(BM_WindowAddDeviceRow)->UseManualTime()->Unit(benchmark::kMicrosecond);

// "Run": the values collected from the controls and the sixteen rows checked, in one message.
void BM_WindowRunSixteenRows(benchmark::State& state) {
    Program program("run");
    bool listed = true;
    program.Run([&](app::CTavrinDlg& dialog) {
        listed = dialog.resultList.GetItemCount() == kDisks;
        for (auto _ : state)
            dialog.SendMessage(ui::WM_COMMAND, IDB_RUN, 0);
    });
    if (!listed)
        state.SkipWithError("the start-up scan did not list the sixteen disks");
}
BENCHMARK(BM_WindowRunSixteenRows)->Unit(benchmark::kMicrosecond);

// A full repaint of the list with its sixteen rows and their bars (each bar showing its
// verdict): the list invalidated and painted, then every bar.
void BM_WindowRepaintSixteenRows(benchmark::State& state) {
    Program program("paint");
    program.Run([&](app::CTavrinDlg& dialog) {
        std::vector<ui::HWND> bars;
        for (int row = 0; row < dialog.resultList.GetItemCount(); ++row) {
            if (const qc::RowState* record = dialog.results.StateOf(row))
                bars.push_back(record->barWindow);
        }
        if (bars.size() != kDisks)
            state.SkipWithError("the start-up scan did not give sixteen bars");
        for (auto _ : state) {
            dialog.resultList.Invalidate(true);
            dialog.resultList.UpdateWindow();
            for (ui::HWND bar : bars) {
                ui::CBorrowed<> window(bar);
                window.Invalidate(true);
                window.UpdateWindow();
            }
        }
        // Drawn as the operator would see it: the cells' texts and every bar's verdict.
        std::size_t verdicts = 0;
        for (ui::HWND bar : bars) {
            for (const headless::TextRecord& text : headless::Texts(bar))
                verdicts += text.text == qc::ResultList::kPass ? 1 : 0;
        }
        if (headless::Texts(dialog.resultList.m_hWnd).size() < kDisks || verdicts < kDisks)
            state.SkipWithError("the list or its bars were not painted");
    });
}
BENCHMARK(BM_WindowRepaintSixteenRows)->Unit(benchmark::kMicrosecond);

}  // namespace
