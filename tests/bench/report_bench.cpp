// tavrin-report over a shift's worth of logs and far more: a generated log of ten million
// records (TAVRIN_REPORT_BENCH_LINES sets another count), read from a file as the program reads
// it, alone and with --records. Reports records per second and the process's peak memory (the
// process's: the second benchmark's figure includes the first's).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/report/report.h"

namespace {

namespace fs = std::filesystem;

std::uint64_t Lines() {
    const char* text = std::getenv("TAVRIN_REPORT_BENCH_LINES");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 10'000'000;
}

// Five stations writing in turn, sixteen ports each, one disk in thirty failing its product
// name (as its record says), one in a hundred checked again; a new hour every 3,600 records.
fs::path Generate(const fs::path& folder, std::uint64_t lines) {
    const fs::path log = folder / "bench.csv";
    std::ofstream out(log, std::ios::binary);
    out << "\xEF\xBB\xBF"
           "Date and time,Station port,Ordinal,Vol,Verdict,vid,pid,revision,VendorName,"
           "ProductName,RFreq,WFreq,Idle,Sleep,Blink,DiskType,Part,Master,Efs,MultiPlane,"
           "Interleave,CacheProgram,DualMode,Randomize,CapMin,CapMax,MPVer,FWVer,Serial number,"
           "Check file,Station,Failed items\r\n";
    std::string line;
    for (std::uint64_t i = 0; i < lines; ++i) {
        const std::uint64_t hour = i / 3600, second = i % 3600;
        char time[32];
        std::snprintf(time, sizeof time, "2026-%02u-%02u %02u:%02u:%02u",
                      unsigned(1 + hour / 24 / 28 % 12), unsigned(1 + hour / 24 % 28),
                      unsigned(hour % 24), unsigned(second / 60), unsigned(second % 60));
        const bool fail = i % 30 == 7;
        const unsigned port = unsigned(1 + i / 5 % 16);
        const std::uint64_t serial = i % 100 == 3 ? i - 3 : i;
        line.assign(time);
        line += "," + std::to_string(port) + "," + std::to_string(port) + ",E,";
        line += fail ? "FAIL,1234,7730,1.00,Generic,USB DISK,"
                     : "PASS,1234,7730,1.00,Generic,Flash Disk,";
        line +=
            "30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,3814MB,MP 2.15.0.7,"
            "FW 7730.0412,AA";
        line += std::to_string(1000000000 + serial);
        line += ",C:\\Tools\\Tavrin\\line16.chk,LINE1-ST0" + std::to_string(i % 5);
        line += fail ? ",ProductName\r\n" : ",\r\n";
        out << line;
    }
    return log;
}

std::uint64_t PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmHWM:") {
            std::uint64_t kb = 0;
            status >> kb;
            return kb;
        }
    }
    return 0;
}

// The report over the generated log; `records`: with every record written out too.
void ReportOverGeneratedLog(benchmark::State& state, bool records) {
    const std::uint64_t lines = Lines();
    const fs::path folder = fs::temp_directory_path() / "tavrin-report-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path log = Generate(folder, lines);
    std::vector<std::string> args = {log.string()};
    if (records)
        args.insert(args.end(), {"--records", (folder / "records.out").string()});

    for (auto _ : state) {
        std::ostringstream out, err;
        if (tools::report::RunReport(args, out, err) != 0)
            state.SkipWithError(err.str().c_str());
        benchmark::DoNotOptimize(out.str());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(log)));
    state.counters["peak_MiB"] = double(PeakKilobytes()) / 1024;
    fs::remove_all(folder);
}

void BM_ReportOverGeneratedLog(benchmark::State& state) {
    ReportOverGeneratedLog(state, false);
}
BENCHMARK(BM_ReportOverGeneratedLog)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same with --records: the table written as the log is read.
void BM_ReportWithRecords(benchmark::State& state) {
    ReportOverGeneratedLog(state, true);
}
BENCHMARK(BM_ReportWithRecords)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
