// MP3's granule grid: one search of all 576 offsets over 8 granules of
// 44.1 kHz noise, the amount the lossless check looks at per block.
#include "check/Mp3Grid.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

static void BM_Mp3GridEightGranules(benchmark::State& state) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> samples(8192 + 8 * 576);
    for (float& sample : samples) sample = noise(random);
    for (auto _ : state) {
        const TMp3GridShares grid = Mp3GridTinyShares(samples.data(), samples.size(), 44100, 8);
        benchmark::DoNotOptimize(grid.Tiny.data());
    }
}
BENCHMARK(BM_Mp3GridEightGranules)->Unit(benchmark::kMillisecond);
