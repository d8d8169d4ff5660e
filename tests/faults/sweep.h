// Helpers of the fault sweeps: which calls to fail, and how to name a case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/faults.h"
#include "platform/text.h"

namespace faultsweep {

// Every call up to `every` of them, then every `stride`-th to the last one: a whole run of the
// window takes long enough under the sanitizers that failing each of several hundred calls in
// turn would dominate the suite, and the later calls repeat the earlier kinds. Where a run costs
// several times more again (the thread sanitizer; wine, which runs the Windows build), the
// sample past the first calls is sparser; the native build under the address sanitizer keeps
// the dense one.
#if defined(__SANITIZE_THREAD__) || defined(_WIN32)
inline constexpr std::uint64_t kEachCallUpTo = 40;
inline constexpr std::uint64_t kThenEvery = 8;
#else
inline constexpr std::uint64_t kEachCallUpTo = 120;
inline constexpr std::uint64_t kThenEvery = 3;
#endif

inline std::vector<std::uint64_t> Schedule(std::uint64_t calls, std::uint64_t every = kEachCallUpTo,
                                           std::uint64_t stride = kThenEvery) {
    std::vector<std::uint64_t> ks;
    for (std::uint64_t k = 1; k <= calls; k += k < every ? 1 : stride)
        ks.push_back(k);
    if (!ks.empty() && ks.back() != calls)
        ks.push_back(calls);
    return ks;
}

inline std::string Trace(std::uint64_t k, sim::FaultCall kind) {
    std::string text = "call ";
    text += std::to_string(k);
    text += " failing: ";
    text += sim::FaultCallName(kind);
    return text;
}

inline std::string Join(const std::vector<std::u16string>& texts) {
    std::string out;
    for (const auto& t : texts) {
        out += platform::ToUtf8(t);
        out += '\n';
    }
    return out;
}

// The lines of a text, without their CRLF.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

}  // namespace faultsweep
