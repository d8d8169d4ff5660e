// The demo's station: a station file whose disks come and go. At the start every USB device
// with a disk is off its port; a timeline plugs them in one after another and pulls them
// again after a while, over and over, and the demo's panel plugs and pulls them by hand. Each
// disk's controller answers as the file says from the moment it arrives.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/station_file.h"
#include "platform/sim/usb_side.h"

namespace demo {

struct DemoDisk {
    sim::UsbPortAddress address;
    std::u16string place;    // "1.2.3": the controller and the port at each hub
    std::u16string letters;  // "E:" and the like, of its volumes
    std::u16string label;    // for the panel
    sim::UsbDevice device;
};

// When the timeline plugs and pulls the disks: disk i arrives `firstArrival + i * spacing`
// into each round and leaves `stay` after it came; a round lasts until the last has left and
// `pause` more.
struct Timeline {
    std::chrono::milliseconds firstArrival{1000};
    std::chrono::milliseconds spacing{1000};
    std::chrono::milliseconds stay{40000};
    std::chrono::milliseconds pause{5000};
};

class DemoStation {
  public:
    DemoStation() = default;
    ~DemoStation();  // stops the timeline
    DemoStation(const DemoStation&) = delete;
    DemoStation& operator=(const DemoStation&) = delete;

    // Reads the file and installs it with every disk off its port; the station is untouched
    // when the file does not load.
    sim::StationFileResult Load(const std::filesystem::path& file);

    const std::vector<DemoDisk>& Disks() const { return disks_; }
    bool IsPlugged(std::size_t disk) const;
    // False when the disk is there already (or gone already), or there is no such disk.
    bool Plug(std::size_t disk);
    bool Unplug(std::size_t disk);

    void StartTimeline(const Timeline& timeline);
    // Waits for the timeline's thread, serving what it sends to this thread's windows.
    void StopTimeline();

  private:
    void RunTimeline(Timeline timeline);

    std::vector<DemoDisk> disks_;
    std::map<int, sim::ControllerAnswers> answers_;
    mutable std::mutex mutex_;
    std::vector<bool> plugged_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool timelineDone_ = true;
    std::thread timeline_;
};

}  // namespace demo
