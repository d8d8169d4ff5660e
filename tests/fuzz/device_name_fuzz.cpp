// Which paths name a device rather than a file (the log path a user gives): any text, NUL and
// surrogates included, is answered without harm, the answer ignores the case of letters, and
// every name in the device namespace that is not a drive's long path is a device.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "platform/sim/files.h"

namespace {

using tavrin_fuzz::Fail;
using tavrin_fuzz::Input;

constexpr std::u16string_view kPathChars = u"aNuLcOmPiPe1.:\\/ ?$";

std::u16string Upper(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    (void)sim::Files::NamesDevice(in.AnyText(64));
    const std::u16string path = in.Text(kPathChars, 24);
    if (sim::Files::NamesDevice(path) != sim::Files::NamesDevice(Upper(path)))
        Fail("the case of a letter changed the answer");
    if (!sim::Files::NamesDevice(u"C:\\x\\nul"))
        Fail("NUL in a folder is no device");
    if (!sim::Files::NamesDevice(u"\\\\.\\pipe\\" + in.Text(kPathChars, 8)))
        Fail("a pipe is no device");
    return 0;
}
