// The MPEG reader's scan of whole MP3 files: MB/s of MP3 data scanned and
// system reads per frame (the counting scan walks every frame of the file).
#include "io/FileStream.h"
#include "mpeg/MPEGaudio.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<char> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A long MP3 made by repeating the frames of a fixture (a LAME file without
// tags) until it holds about megabytes MB.
fs::path MakeLongFile(const std::string& fixture, int megabytes) {
    const fs::path target =
        fs::temp_directory_path() / ("sondaro-bench-" + std::to_string(megabytes) + "MB-" + fixture);
    if (fs::exists(target)) return target;
    const std::vector<char> audio = ReadFile(fs::path(SONDARO_FIXTURES) / "mp3" / fixture);
    std::ofstream out(target, std::ios::binary);
    for (std::size_t written = 0; !audio.empty() && written < std::size_t(megabytes) << 20; written += audio.size())
        out.write(audio.data(), static_cast<std::streamsize>(audio.size()));
    return target;
}

void ScanFiles(benchmark::State& state, const std::vector<fs::path>& files) {
    TMPEGaudio reader;
    uint64_t bytes = 0, frames = 0, reads = 0, allReads = 0;
    for (auto _ : state) {
        for (const fs::path& file : files) {
            const uint64_t before = TFileStream::TotalSystemReads();
            reader.ReadFromFile(file.string());
            allReads += TFileStream::TotalSystemReads() - before;
            bytes += static_cast<uint64_t>(reader.FileSize());
            frames += static_cast<uint64_t>(std::max(reader.FramesCounted(), 0));
            reads += reader.SystemReads();
            benchmark::DoNotOptimize(reader.Duration());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    // Reads of the audio scan alone, and with the tag readers' reads.
    state.counters["reads/frame"] = frames ? static_cast<double>(reads) / static_cast<double>(frames) : 0;
    state.counters["all_reads/frame"] = frames ? static_cast<double>(allReads) / static_cast<double>(frames) : 0;
}

void BM_ScanLongCbr(benchmark::State& state) {
    ScanFiles(state, {MakeLongFile("lame_cbr128.mp3", static_cast<int>(state.range(0)))});
}

void BM_ScanLongVbr(benchmark::State& state) {
    ScanFiles(state, {MakeLongFile("lame_V2.mp3", static_cast<int>(state.range(0)))});
}

void BM_ScanFixtures(benchmark::State& state) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(SONDARO_FIXTURES) / "mp3"))
        if (entry.path().extension() == ".mp3" || entry.path().extension() == ".mp2") files.push_back(entry.path());
    ScanFiles(state, files);
}

} // namespace

BENCHMARK(BM_ScanLongCbr)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanLongVbr)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanFixtures)->Unit(benchmark::kMillisecond)->UseRealTime();
