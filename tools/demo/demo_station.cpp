#include "tools/demo/demo_station.h"

#include <algorithm>
#include <utility>

#include "platform/sim/station.h"
#include "platform/ui.h"

namespace demo {
namespace {

std::u16string PlaceText(const sim::UsbPortAddress& address) {
    std::string text = std::to_string(address.controller + 1);
    for (int port : address.ports)
        text += "." + std::to_string(port);
    return std::u16string(text.begin(), text.end());
}

std::u16string LettersOf(const sim::UsbDevice& device) {
    std::u16string letters;
    for (const sim::UsbDisk& disk : device.disks) {
        for (const sim::UsbVolume& volume : disk.volumes) {
            if (volume.mountPaths.empty() || volume.mountPaths.front().size() != 3)
                continue;
            if (!letters.empty())
                letters += u' ';
            letters += volume.mountPaths.front().substr(0, 2);
        }
    }
    return letters;
}

// Takes every device with a disk off the hub's ports, recording where it was.
void TakeOff(sim::UsbHub& hub, sim::UsbPortAddress at, std::vector<DemoDisk>& disks) {
    for (std::size_t i = 0; i < hub.ports.size(); ++i) {
        sim::UsbPort& port = hub.ports[i];
        at.ports.push_back(static_cast<int>(i + 1));
        if (port.hub) {
            TakeOff(*port.hub, at, disks);
        } else if (port.device && !port.device->disks.empty()) {
            DemoDisk disk;
            disk.address = at;
            disk.place = PlaceText(at);
            disk.letters = LettersOf(*port.device);
            disk.device = std::move(*port.device);
            disk.label = u"Port " + disk.place + u"  " +
                         (disk.letters.empty() ? std::u16string(u"(no letter)") : disk.letters);
            disks.push_back(std::move(disk));
            port.device.reset();
            port.status.reset();
        }
        at.ports.pop_back();
    }
}

}  // namespace

DemoStation::~DemoStation() {
    StopTimeline();
}

sim::StationFileResult DemoStation::Load(const std::filesystem::path& file) {
    sim::StationDescription description;
    sim::StationFileResult result = sim::ReadStationFile(file, description);
    if (!result.ok)
        return result;
    StopTimeline();
    std::vector<DemoDisk> disks;
    for (std::size_t c = 0; c < description.machine.controllers.size(); ++c)
        TakeOff(description.machine.controllers[c].rootHub, {c, {}}, disks);
    // Plugged disks get their answers afresh each time; the others (the workstation's own)
    // are installed with the station.
    std::map<int, sim::ControllerAnswers> answers;
    for (const DemoDisk& disk : disks) {
        for (const sim::UsbDisk& d : disk.device.disks) {
            auto found = description.answers.find(d.number);
            if (found != description.answers.end()) {
                answers.insert(*found);
                description.answers.erase(found);
            }
        }
    }
    sim::InstallStation(description);
    std::lock_guard lock(mutex_);
    disks_ = std::move(disks);
    answers_ = std::move(answers);
    plugged_.assign(disks_.size(), false);
    return result;
}

bool DemoStation::IsPlugged(std::size_t disk) const {
    std::lock_guard lock(mutex_);
    return disk < plugged_.size() && plugged_[disk];
}

bool DemoStation::Plug(std::size_t disk) {
    {
        std::lock_guard lock(mutex_);
        if (disk >= plugged_.size() || plugged_[disk])
            return false;
        plugged_[disk] = true;
    }
    const bool plugged = sim::Station::Get().Usb().Plug(
        disks_[disk].address, disks_[disk].device, [this](int number, sim::VirtualDisk& d) {
            auto found = answers_.find(number);
            if (found == answers_.end())
                return;
            d.identification = found->second.identification;
            d.block = found->second.block;
            d.script = found->second.script;
        });
    if (!plugged) {
        std::lock_guard lock(mutex_);
        plugged_[disk] = false;
    }
    return plugged;
}

bool DemoStation::Unplug(std::size_t disk) {
    {
        std::lock_guard lock(mutex_);
        if (disk >= plugged_.size() || !plugged_[disk])
            return false;
        plugged_[disk] = false;
    }
    return sim::Station::Get().Usb().Unplug(disks_[disk].address);
}

void DemoStation::StartTimeline(const Timeline& timeline) {
    StopTimeline();
    std::lock_guard lock(mutex_);
    stop_ = false;
    timelineDone_ = false;
    timeline_ = std::thread([this, timeline] { RunTimeline(timeline); });
}

void DemoStation::StopTimeline() {
    {
        std::lock_guard lock(mutex_);
        if (!timeline_.joinable())
            return;
        stop_ = true;
    }
    wake_.notify_all();
    // The timeline may be sending a device notice to one of this thread's windows.
    ui::WaitServingSentMessages(
        [this] {
            std::lock_guard lock(mutex_);
            return timelineDone_;
        },
        60000);
    timeline_.join();
}

void DemoStation::RunTimeline(Timeline timeline) {
    struct Event {
        std::chrono::milliseconds at;
        std::size_t disk;
        bool plug;
    };
    std::vector<Event> events;
    for (std::size_t i = 0; i < disks_.size(); ++i) {
        const auto arrival = timeline.firstArrival + timeline.spacing * static_cast<int>(i);
        events.push_back({arrival, i, true});
        events.push_back({arrival + timeline.stay, i, false});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.at < b.at; });
    const auto round = (events.empty() ? timeline.firstArrival : events.back().at) + timeline.pause;
    auto start = std::chrono::steady_clock::now();
    std::size_t next = 0;
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (next == events.size()) {
            if (wake_.wait_until(lock, start + round, [this] { return stop_; }))
                break;
            start += round;
            next = 0;
            continue;
        }
        const Event event = events[next];
        if (wake_.wait_until(lock, start + event.at, [this] { return stop_; }))
            break;
        ++next;
        // A disk the operator plugged or pulled by hand meanwhile stays as it is.
        lock.unlock();
        if (event.plug)
            Plug(event.disk);
        else
            Unplug(event.disk);
        lock.lock();
    }
    timelineDone_ = true;
}

}  // namespace demo
