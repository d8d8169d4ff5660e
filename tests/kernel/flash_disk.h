// The kernel test's USB flash disk, apart from its link: bulk-only transport over a RAM image,
// the SCSI commands the kernel sends, and the vendor command 0xA1 answered from a station
// file's disk (identification, information block, scripted replies). No I/O: the program
// around it (usb_disk_main.cpp) carries its transfers to and from the emulator.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/sim/station_file.h"

namespace kernel_test {

inline constexpr std::size_t kSectorSize = 512;
inline constexpr std::size_t kCbwSize = 31;
inline constexpr std::size_t kCswSize = 13;

// What one bulk IN transfer gets: bytes, or a stall of the endpoint.
struct BulkIn {
    bool stall = false;
    std::vector<std::uint8_t> bytes;
};

class FlashDisk {
  public:
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // `image`: the medium, a whole number of sectors. `sleep` waits out a reply's delay.
    FlashDisk(sim::ControllerAnswers answers, std::vector<std::uint8_t> image, Sleep sleep);

    // A command block wrapper, or data of a command that writes. False: the endpoint stalls
    // (a wrapper that is not one).
    bool BulkOut(std::span<const std::uint8_t> bytes);
    // Data of a command that reads, then its status wrapper.
    BulkIn BulkInTransfer(std::size_t maxLength);
    // The class's bulk-only reset, or a reset of the port: back to waiting for a command.
    void Reset();

    const std::vector<std::uint8_t>& Image() const { return image_; }
    // Vendor commands received, whatever their answer.
    int VendorCommands() const { return vendorCommands_; }

  private:
    enum class Phase { Command, DataIn, DataOut, Status };
    struct Result {
        std::uint8_t status = 0;  // 0 passed, 1 failed (sense pending), 2 phase error
        std::vector<std::uint8_t> data;
        std::size_t writeOffset = 0;  // where the data of a write goes
        std::size_t writeLength = 0;
    };

    Result Execute(std::span<const std::uint8_t> cdb);
    Result Vendor(std::span<const std::uint8_t> cdb);
    Result Fail(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, bool descriptor = false);
    Result ReadWrite(bool write, std::uint64_t lba, std::uint32_t blocks);
    std::vector<std::uint8_t> Status() const;

    sim::ControllerAnswers answers_;
    std::vector<std::uint8_t> image_;
    Sleep sleep_;
    Phase phase_ = Phase::Command;
    std::uint32_t tag_ = 0;
    std::uint32_t residue_ = 0;
    std::uint8_t status_ = 0;
    std::vector<std::uint8_t> dataIn_;
    std::size_t dataInSent_ = 0;
    bool stallIn_ = false;
    std::size_t outOffset_ = 0;
    std::size_t outLeft_ = 0;
    bool outKept_ = false;
    sim::SenseData sense_;
    bool sensePending_ = false;
    int vendorCommands_ = 0;
};

}  // namespace kernel_test
