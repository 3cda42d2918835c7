// Throughput of the page ECC: computing both halves as a writer does, and checking them as a reader does.
#include <benchmark/benchmark.h>

#include <array>
#include <random>

#include "media_format/ecc.h"
#include "media_format/geometry.h"
#include "media_format/redundant_area.h"

namespace {

using media_format::kPageDataBytes;

std::array<uint8_t, kPageDataBytes> RandomPage() {
    std::mt19937 random(1);
    std::array<uint8_t, kPageDataBytes> page;
    for (auto& byte : page) {
        byte = static_cast<uint8_t>(random());
    }
    return page;
}

void ComputePageEcc(benchmark::State& state) {
    const auto page = RandomPage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(media_format::BuildDataPageRedundantArea(page, 17));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPageDataBytes);
}
BENCHMARK(ComputePageEcc);

void CheckPageEcc(benchmark::State& state) {
    auto page = RandomPage();
    const media_format::RedundantArea area = media_format::BuildDataPageRedundantArea(page, 17);
    for (auto _ : state) {
        benchmark::DoNotOptimize(media_format::CheckAndCorrectPage(page, area));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPageDataBytes);
}
BENCHMARK(CheckPageEcc);

// A page with one flipped bit per half: the correction path, flipped back on every check.
void CorrectPageEcc(benchmark::State& state) {
    auto page = RandomPage();
    const media_format::RedundantArea area = media_format::BuildDataPageRedundantArea(page, 17);
    for (auto _ : state) {
        page[100] ^= 0x08;
        page[400] ^= 0x01;
        benchmark::DoNotOptimize(media_format::CheckAndCorrectPage(page, area));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPageDataBytes);
}
BENCHMARK(CorrectPageEcc);

}  // namespace

BENCHMARK_MAIN();
