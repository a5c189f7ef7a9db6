// The lossless check: how fast it runs, as times real time and as seconds of
// work per minute of audio, for the analysis alone (stereo 44.1 kHz noise in
// blocks) and for decoding plus analysis (a one-minute 16-bit stereo WAV, and
// the FLAC fixture).
#include "check/LosslessCheck.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

void Report(benchmark::State& state, double audioSeconds) {
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    // Seconds of work per minute of audio: the time over the minutes done.
    state.counters["s_per_min"] =
        benchmark::Counter(audioSeconds / 60.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One minute of stereo 16-bit noise as a WAV file, made once.
fs::path MinuteOfWav() {
    const fs::path path = fs::temp_directory_path() / "sondaro-bench-minute.wav";
    if (fs::exists(path)) return path;
    const uint32_t frames = 60 * kRate, bytes = frames * 4;
    std::ofstream out(path, std::ios::binary);
    const auto le = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xff));
    };
    out.write("RIFF", 4);
    le(36 + bytes, 4);
    out.write("WAVEfmt ", 8);
    le(16, 4), le(1, 2), le(2, 2), le(kRate, 4), le(kRate * 4, 4), le(4, 2), le(16, 2);
    out.write("data", 4);
    le(bytes, 4);
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.0f, 3000.0f);
    for (uint32_t i = 0; i < frames * 2; ++i) le(static_cast<uint16_t>(static_cast<int16_t>(noise(random))), 2);
    return path;
}

void BM_CheckAnalysisOnly(benchmark::State& state) {
    TStreamInfo stream;
    stream.SampleRate = kRate;
    stream.Channels = 2;
    stream.BitsPerSample = 16;
    stream.IntegerSamples = true;
    TPcmBlock block;
    block.Channels = 2;
    block.Frames = 8192;
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    for (int c = 0; c < 2; ++c) {
        block.Samples.emplace_back(block.Frames);
        block.IntSamples.emplace_back(block.Frames);
        for (std::size_t i = 0; i < block.Frames; ++i) {
            block.IntSamples[c][i] = static_cast<int32_t>(noise(random) * 32768) * 65536;
            block.Samples[c][i] = static_cast<float>(block.IntSamples[c][i]) / 2147483648.0f;
        }
    }
    const int blocks = 60 * kRate / 8192;   // about a minute
    double seconds = 0;
    for (auto _ : state) {
        TLosslessAnalyser analyser(stream);
        for (int b = 0; b < blocks; ++b) analyser.Add(block);
        benchmark::DoNotOptimize(analyser.Finish().Verdict);
        seconds += static_cast<double>(blocks) * 8192 / kRate;
    }
    Report(state, seconds);
}

void CheckFile(benchmark::State& state, const fs::path& path) {
    double seconds = 0;
    for (auto _ : state) {
        const TLosslessReport report = CheckLossless(path.string());
        if (!report.Error.empty()) {
            state.SkipWithError(report.Error.c_str());
            return;
        }
        seconds += report.SecondsChecked;
    }
    Report(state, seconds);
}

void BM_CheckWavMinute(benchmark::State& state) { CheckFile(state, MinuteOfWav()); }
void BM_CheckFlacFixture(benchmark::State& state) {
    CheckFile(state, fs::path(SONDARO_FIXTURES) / "losslesscheck" / "genuine.flac");
}

}  // namespace

BENCHMARK(BM_CheckAnalysisOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckWavMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckFlacFixture)->Unit(benchmark::kMillisecond);
