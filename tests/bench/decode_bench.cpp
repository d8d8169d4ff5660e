// Decoding is on the window's thread for every disk that arrives.
#include <benchmark/benchmark.h>

#include "device/controller.h"
#include "device/drive.h"
#include "platform/sim/info_block.h"
#include "platform/sim/station.h"

namespace {

void BM_DecodeInfoBlock(benchmark::State& state) {
    const sim::InfoBlock block = sim::SampleInfoBlock();
    const auto& lists = device::SelectionListsFor(device::Language::English);
    for (auto _ : state) {
        benchmark::DoNotOptimize(device::DecodeInfoBlock(block.Bytes(), lists, 4'000'000'000ull));
    }
}
BENCHMARK(BM_DecodeInfoBlock);

// One disk read end to end on the virtual station: open, two vendor reads, decode, close.
void BM_DecodeControllerInfo(benchmark::State& state) {
    auto& station = sim::Station::Get();
    station.Reset();
    station.AddDisk(1).block = sim::SampleInfoBlock().Bytes();
    station.AddVolume(u'E', 1, 4'000'000'000ull);
    const auto& lists = device::SelectionListsFor(device::Language::English);
    device::ValueSlots slots;
    for (auto _ : state) {
        device::DecodeControllerInfo(1, u'E', slots, lists);
        station.Disk(1)->calls.clear();
    }
    station.Reset();
}
BENCHMARK(BM_DecodeControllerInfo);

}  // namespace
