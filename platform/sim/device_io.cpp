// The simulated OS backend of platform/device_io.h: every call goes to the virtual station.
#include "platform/device_io.h"

#include <algorithm>

#include "platform/sim/faults.h"
#include "platform/sim/station.h"
#include "platform/text.h"
#include "platform/thread_own.h"

namespace platform {
namespace {

// Windows-1252 bytes 0x80-0x9F; the undefined ones map to the same code point, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The errors of the calls the station answers, as Windows numbers and words them.
struct LastErrorSlot {};
DeviceError& LastError() {
    return ThreadOwn<DeviceError, LastErrorSlot>();
}

void Failed(int code, std::u16string_view text) {
    LastError() = {code, std::u16string(text)};
}

}  // namespace

TAVRIN_BACKEND_BEGIN

DeviceError LastDeviceError() {
    return LastError();
}

void SetLastDeviceError(const DeviceError& error) {
    LastError() = error;
}

Handle OpenDeviceFile(const char16_t* path) {
    if (path != nullptr)
        sim::Station::Get().BeforeOpen(path);
    if (sim::Faults::Fail(sim::FaultCall::Open) ||
        (path != nullptr && sim::Station::Get().OpenDenied(path))) {
        Failed(5, u"Access is denied.");
        return kInvalidHandle;
    }
    const Handle handle = sim::Station::Get().Open(path);
    if (handle == kInvalidHandle)
        Failed(2, u"The system cannot find the file specified.");
    return handle;
}

bool CloseDevice(Handle handle) {
    return sim::Station::Get().Close(handle);
}

bool DeviceControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                   std::uint32_t outSize, std::uint32_t* returned) {
    if (sim::Faults::Fail(code == kIoctlScsiPassThrough ? sim::FaultCall::PassThrough
                                                        : sim::FaultCall::DeviceRequest) ||
        !sim::Station::Get().Control(handle, code, in, inSize, out, outSize, returned)) {
        Failed(1117, u"The request could not be performed because of an I/O device error.");
        return false;
    }
    return true;
}

bool DiskFreeBytesAvailable(const char16_t* root, std::uint64_t* available) {
    if (sim::Faults::Fail(sim::FaultCall::FreeBytes))
        return false;
    return sim::Station::Get().FreeBytes(root, available);
}

std::uint32_t LogicalDriveStrings(std::uint32_t length, char16_t* buffer) {
    sim::Station& station = sim::Station::Get();
    if (sim::Faults::Fail(sim::FaultCall::LogicalDrives) || station.LogicalDrivesFail())
        return 0;
    std::u16string letters = station.DriveLetters();
    // The workstation's own drive, where the system and the program live, is always there.
    if (letters.find(u'C') == std::u16string::npos)
        letters.insert(letters.begin(), u'C');
    std::sort(letters.begin(), letters.end());
    return PackDriveStrings(letters, length, buffer);
}

void CharUpperText(char16_t* text) {
    for (; text != nullptr && *text != u'\0'; ++text)
        *text = AsciiUpper(*text);
}

void DebugOutput(const char16_t* text) {
    sim::Station::Get().Debug(text);
}

std::u16string AnsiToWide(std::string_view bytes) {
    const unsigned codePage = sim::Station::Get().AnsiCodePage();
    if (codePage == 65001)
        return FromUtf8(bytes);
    std::u16string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (codePage == 1252 && b >= 0x80 && b <= 0x9F) {
            out += kCp1252High[b - 0x80];
        } else {
            out += static_cast<char16_t>(b);
        }
    }
    return out;
}

TAVRIN_BACKEND_END

}  // namespace platform

std::string sim::WideToAnsi(std::u16string_view text) {
    const unsigned codePage = Station::Get().AnsiCodePage();
    if (codePage == 65001)
        return platform::ToUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        char byte = '?';
        if (codePage == 28591 && c <= 0xFF) {
            byte = static_cast<char>(c);
        } else if (codePage == 1252) {
            for (int k = 0; k < 32; ++k) {
                if (platform::kCp1252High[k] == c)
                    byte = static_cast<char>(0x80 + k);
            }
        }
        // A surrogate pair is one character: one '?'.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        out += byte;
    }
    return out;
}
