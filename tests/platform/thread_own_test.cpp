#include "platform/thread_own.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace tavrin_test {
namespace {

std::atomic<int> destroyedIntact = 0;
std::atomic<int> destroyedBroken = 0;

// A value whose destructor tells whether it still ran on its own storage: a value destroyed after
// its memory went back to the heap finds its mark and text overwritten.
struct Marked {
    static constexpr std::uint64_t kMark = 0x54415652494e2121;
    static constexpr char16_t kText[] = u"a text too long to be kept inside the string itself";
    std::uint64_t mark = kMark;
    std::u16string text = kText;
    ~Marked() {
        (mark == kMark && text == kText ? destroyedIntact : destroyedBroken)++;
        mark = 0;
    }
};
struct MarkedSlot {};
struct OtherSlot {};

TEST(ThreadOwnTest, EachThreadHasItsOwnValueAndItsEndDestroysItOnItsOwnStorage) {
    destroyedIntact = 0;
    destroyedBroken = 0;
    constexpr int kThreads = 16;
    std::vector<const Marked*> seen(kThreads);
    std::atomic<int> stable = 0;
    std::latch allHaveTheirs(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Marked& value = platform::ThreadOwn<Marked, MarkedSlot>();
            Marked& again = platform::ThreadOwn<Marked, MarkedSlot>();
            Marked& other = platform::ThreadOwn<Marked, OtherSlot>();
            if (&value == &again && &value != &other)
                ++stable;
            seen[t] = &value;
            // Every thread holds its value at once: no two may share one.
            allHaveTheirs.arrive_and_wait();
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(stable, kThreads);
    for (int a = 0; a < kThreads; ++a)
        for (int b = a + 1; b < kThreads; ++b)
            EXPECT_NE(seen[a], seen[b]) << "threads " << a << " and " << b;
    // Two values a thread, each destroyed once, at its thread's end, on storage still its own.
    EXPECT_EQ(destroyedIntact, 2 * kThreads);
    EXPECT_EQ(destroyedBroken, 0);
}

}  // namespace
}  // namespace tavrin_test
