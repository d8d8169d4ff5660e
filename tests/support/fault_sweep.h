// The fault sweeps' driver: a run with no call failing, then one run for each call that fails in
// turn; which calls to fail, how to name a case, and what a run left open.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
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

// Each call in turn, or the sample of Schedule.
enum class Sample { kSampled, kEveryCall };

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

// What a run left open on the virtual station.
struct LeftOpen {
    std::size_t handles = 0;
    std::size_t sets = 0;  // device information sets
    std::size_t keys = 0;  // registry keys
    std::size_t total() const { return handles + sets + keys; }
};
LeftOpen OpenNow();
// Nothing left open; the paths of handles that were.
void ExpectNothingOpen(const LeftOpen& open);

// `run(k)` runs once with the k-th counted call failing (0: none) and answers an outcome whose
// `failed` is the kind of call that was made to fail. The run without a failure is checked by
// `clean(outcome, calls)`, each later one by `failed(clean, got, k, kind)` under a trace that
// names the call. The sweep ends at the first fatal failure, as the test's body would.
template <class Run, class Clean, class Failed>
void Sweep(Run run, Clean clean, Failed failed, Sample sample = Sample::kSampled) {
    const auto cleanRun = run(0);
    const std::uint64_t calls = sim::Faults::Calls();
    ASSERT_FALSE(cleanRun.failed);
    clean(cleanRun, calls);
    if (::testing::Test::HasFatalFailure())
        return;
    ::testing::Test::RecordProperty("calls", static_cast<int>(calls));

    const std::vector<std::uint64_t> ks =
        sample == Sample::kEveryCall ? Schedule(calls, calls, 1) : Schedule(calls);
    for (std::uint64_t k : ks) {
        const auto got = run(k);
        ASSERT_TRUE(got.failed) << "call " << k << " of " << calls << " was never made";
        const sim::FaultCall kind = *got.failed;
        SCOPED_TRACE(Trace(k, kind));
        failed(cleanRun, got, k, kind);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

}  // namespace faultsweep
