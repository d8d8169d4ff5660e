#include "platform/sim/faults.h"

#include <mutex>

namespace sim {
namespace {

struct State {
    std::mutex mutex;
    std::uint64_t calls = 0;
    std::uint64_t failAt = 0;    // the value of `calls` whose call fails; 0: none
    std::uint64_t alsoFail = 0;  // likewise, a second one
    std::optional<FaultCall> failed;
};

// Never destroyed: detached workers may still make a call while the process exits.
State& Get() {
    static State& state = *new State;
    return state;
}

}  // namespace

std::string_view FaultCallName(FaultCall call) {
    switch (call) {
        case FaultCall::Open:
            return "Open";
        case FaultCall::PassThrough:
            return "PassThrough";
        case FaultCall::DeviceRequest:
            return "DeviceRequest";
        case FaultCall::FreeBytes:
            return "FreeBytes";
        case FaultCall::LogicalDrives:
            return "LogicalDrives";
        case FaultCall::ClassDevices:
            return "ClassDevices";
        case FaultCall::EnumInterface:
            return "EnumInterface";
        case FaultCall::DetailSize:
            return "DetailSize";
        case FaultCall::Detail:
            return "Detail";
        case FaultCall::Parent:
            return "Parent";
        case FaultCall::DriverProperty:
            return "DriverProperty";
        case FaultCall::OpenKey:
            return "OpenKey";
        case FaultCall::QueryValue:
            return "QueryValue";
        case FaultCall::VolumeName:
            return "VolumeName";
        case FaultCall::PathNames:
            return "PathNames";
        case FaultCall::DriveType:
            return "DriveType";
        case FaultCall::ProfileRead:
            return "ProfileRead";
        case FaultCall::ProfileWrite:
            return "ProfileWrite";
        case FaultCall::CreateFile:
            return "CreateFile";
        case FaultCall::ProfileFlush:
            return "ProfileFlush";
        case FaultCall::MoveFile:
            return "MoveFile";
        case FaultCall::DeleteFile:
            return "DeleteFile";
        case FaultCall::LogOpen:
            return "LogOpen";
        case FaultCall::LogWrite:
            return "LogWrite";
        case FaultCall::LogFlush:
            return "LogFlush";
        case FaultCall::LogCut:
            return "LogCut";
    }
    return "?";
}

void Faults::Reset() {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    s.calls = 0;
    s.failAt = 0;
    s.alsoFail = 0;
    s.failed.reset();
}

void Faults::Arm(std::uint64_t n) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    s.failAt = n == 0 ? 0 : s.calls + n;
}

void Faults::ArmAlso(std::uint64_t n) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    s.alsoFail = n == 0 ? 0 : s.calls + n;
}

std::uint64_t Faults::Calls() {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.calls;
}

std::optional<FaultCall> Faults::FirstFailed() {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.failed;
}

bool Faults::Fail(FaultCall call) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    ++s.calls;
    if (s.calls != s.failAt && s.calls != s.alsoFail)
        return false;
    if (!s.failed)
        s.failed = call;
    return true;
}

}  // namespace sim
