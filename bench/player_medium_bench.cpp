// Throughput of the player's NAND medium model and the cost of opening a large medium.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "media_format/geometry.h"
#include "player/nand_medium.h"

namespace {

// A medium file in a temporary folder, removed at the end.
class BenchMedium {
  public:
    explicit BenchMedium(std::uint32_t flashSizeIndex) {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/player_bench_XXXXXX";
        folder_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
        path_ = folder_ + "/medium.nand";
        std::string error;
        auto medium = player::NandMedium::Create(
            path_, *media_format::GeometryOfFlashSizeIndex(flashSizeIndex), {}, error);
        created_ = medium.has_value();
    }
    ~BenchMedium() { std::filesystem::remove_all(folder_); }
    const std::string& Path() const { return path_; }
    bool Created() const { return created_; }

  private:
    std::string folder_;
    std::string path_;
    bool created_ = false;
};

// The bench medium opened as the player opens it; the benchmark is skipped when that fails.
std::optional<player::NandMedium> OpenOrSkip(const BenchMedium& file, benchmark::State& state) {
    std::string error;
    auto medium = player::NandMedium::Open(file.Path(), error);
    if (!medium) {
        state.SkipWithError(error.c_str());
    }
    return medium;
}

constexpr std::uint32_t PAGES_TOUCHED = 32 * 1024;  // 16.5 MB of pages, the first 1024 blocks

void PageRead(benchmark::State& state) {
    BenchMedium file(4);
    auto medium = OpenOrSkip(file, state);
    if (!medium) {
        return;
    }
    std::array<std::uint8_t, player::PAGE_BYTES> out;
    std::uint64_t page = 0;
    for (auto _ : state) {
        const auto bytes = medium->Page(page);
        std::copy(bytes.begin(), bytes.end(), out.begin());
        benchmark::DoNotOptimize(out.data());
        page = (page + 1) % PAGES_TOUCHED;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * player::PAGE_BYTES);
}
BENCHMARK(PageRead);

void PageProgram(benchmark::State& state) {
    BenchMedium file(4);
    auto medium = OpenOrSkip(file, state);
    if (!medium) {
        return;
    }
    std::vector<std::uint8_t> data(player::PAGE_BYTES, 0xFF);
    std::uint64_t page = 0;
    for (auto _ : state) {
        medium->ProgramPage(page, data);
        page = (page + 1) % PAGES_TOUCHED;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * player::PAGE_BYTES);
}
BENCHMARK(PageProgram);

void BlockErase(benchmark::State& state) {
    BenchMedium file(4);
    auto medium = OpenOrSkip(file, state);
    if (!medium) {
        return;
    }
    std::uint32_t block = 0;
    for (auto _ : state) {
        medium->EraseBlock(block);
        block = (block + 1) % (PAGES_TOUCHED / 32);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 32 * player::PAGE_BYTES);
}
BENCHMARK(BlockErase);

// Opening maps the file: the cost must not grow with the medium.
void Open512MegabyteMedium(benchmark::State& state) {
    BenchMedium file(32);
    if (!file.Created()) {
        state.SkipWithError("cannot create the medium");
        return;
    }
    std::string error;
    for (auto _ : state) {
        auto medium = player::NandMedium::Open(file.Path(), error);
        benchmark::DoNotOptimize(medium->BlockCount());
    }
}
BENCHMARK(Open512MegabyteMedium)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
