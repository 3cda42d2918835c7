// The formatter's library calls on a simulated player: host CPU time (the whole process: the
// library, the bench link and the player's firmware) and the simulated duration of the block status
// scan, the quick format and the full format of 64 and 512 MB media.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "library/VxMp3.h"
#include "machine/machine.h"
#include "player/player.h"

namespace {

enum class Operation { SCAN, QUICK_FORMAT, FULL_FORMAT };

const media_format::Geometry& GeometryOfMegabytes(std::uint32_t megabytes) {
    for (const auto& row : media_format::LibraryGeometries()) {
        if (row.HasFlashSizeIndex() && row.megabytes == megabytes) {
            return row;
        }
    }
    std::abort();
}

// A machine with a factory-fresh player of `megabytes`, the channel open as the formatter opens it.
class FormatBench {
  public:
    explicit FormatBench(std::uint32_t megabytes) {
        std::string pattern = (std::filesystem::temp_directory_path() / "rpx-format-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        folder_ = pattern;
        std::string error;
        machine_ = machine::Machine::Boot({}, &error);
        auto medium = player::NandMedium::Create((folder_ / "medium.nand").string(),
                                                 GeometryOfMegabytes(megabytes), {}, error);
        player::PlayerSettings settings;
        settings.dccRunning = true;
        auto attached =
            std::make_unique<player::Player>(std::move(settings), player::PlayerOptions{}, std::move(medium));
        if (!machine_ || !machine_->AttachPlayer(std::move(attached), &error)) {
            std::abort();
        }
        scope_ = std::make_unique<platform::ProcessScope>(machine_->Pc(), "formatter");
        win::ULONG failed = 0;
        if (!VxMp3OpenDriverEx(0, DEVICE_STATUS_NORMAL) ||
            VxMp3GetFlashSizes(&sizes_[0], &failed) != ACCESS_DEVICE_OK) {
            std::abort();
        }
    }
    ~FormatBench() {
        VxMp3FreeMemoryDevice(0);
        VxMp3CloseDriver();
        scope_.reset();
        machine_.reset();
        std::filesystem::remove_all(folder_);
    }

    bool Scan() { return VxMp3BuildBlockStatus(sizes_, 0, 1, &files_, nullptr) == PROGRAM_MEDIA_OK; }
    bool QuickFormat() { return VxMp3QuickFormatQorv(sizes_, 0, 1, &files_, nullptr) == PROGRAM_MEDIA_OK; }
    bool EraseDataArea() { return VxMp3FatEraseDataArea(sizes_, 0, nullptr) == PROGRAM_MEDIA_OK; }
    std::uint64_t NowMs() { return machine_->Pc().Sched().NowMs(); }

  private:
    std::filesystem::path folder_;
    std::unique_ptr<machine::Machine> machine_;
    std::unique_ptr<platform::ProcessScope> scope_;
    win::ULONG sizes_[1] = {36};
    _BinaryFilesInformation files_{};
};

void BM_Format(benchmark::State& state, Operation operation) {
    FormatBench bench(static_cast<std::uint32_t>(state.range(0)));
    std::uint64_t simulatedMs = 0;
    for (auto _ : state) {
        if (operation != Operation::SCAN) {
            state.PauseTiming();
            bool scanned = bench.Scan();
            state.ResumeTiming();
            if (!scanned) {
                state.SkipWithError("block status scan failed");
                return;
            }
        }
        std::uint64_t start = bench.NowMs();
        bool done =
            operation == Operation::SCAN
                ? bench.Scan()
                : bench.QuickFormat() && (operation == Operation::QUICK_FORMAT || bench.EraseDataArea());
        simulatedMs += bench.NowMs() - start;
        if (!done) {
            state.SkipWithError("operation failed");
            return;
        }
    }
    state.counters["simulated_s"] =
        benchmark::Counter(static_cast<double>(simulatedMs) / 1000.0, benchmark::Counter::kAvgIterations);
}

BENCHMARK_CAPTURE(BM_Format, Scan, Operation::SCAN)
    ->Arg(64)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Format, QuickFormat, Operation::QUICK_FORMAT)
    ->Arg(64)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_Format, FullFormat, Operation::FULL_FORMAT)
    ->Arg(64)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
