// Scanning a generated folder of thousands of files through the whole
// analysis: files per second, and per file the bytes read from disk, the
// system reads, all system calls of the file streams, and the opens.
#include "core/AnalysisList.h"
#include "io/FileStream.h"
#include "core/FolderScan.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Copies every file of the sample folder until the folder holds count files.
fs::path MakeFolder(int count) {
    const fs::path folder = fs::temp_directory_path() / ("sondaro-bench-" + std::to_string(count));
    if (fs::exists(folder)) return folder;
    fs::create_directories(folder);
    std::vector<fs::path> samples;
    for (const auto& entry : fs::directory_iterator(fs::path(SONDARO_FIXTURES).parent_path().parent_path() / "samples"))
        if (entry.path().extension() != ".sh") samples.push_back(entry.path());
    if (samples.empty()) return folder;
    for (int i = 0; i < count; ++i) {
        const fs::path& source = samples[static_cast<std::size_t>(i) % samples.size()];
        fs::copy_file(source, folder / ("f" + std::to_string(i) + source.extension().string()),
                      fs::copy_options::overwrite_existing);
    }
    return folder;
}

void BM_ScanFolder(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const fs::path folder = MakeFolder(count);
    TAnalysisList list;
    uint64_t files = 0, bytes = 0, reads = 0, calls = 0, opens = 0;
    for (auto _ : state) {
        const uint64_t bytesBefore = TFileStream::TotalBytesRead();
        const uint64_t readsBefore = TFileStream::TotalSystemReads();
        const uint64_t callsBefore = TFileStream::TotalSystemCalls();
        const uint64_t opensBefore = TFileStream::TotalOpens();
        ScanIntoList(list, folder.string(), false);
        files += list.Rows().size();
        bytes += TFileStream::TotalBytesRead() - bytesBefore;
        reads += TFileStream::TotalSystemReads() - readsBefore;
        calls += TFileStream::TotalSystemCalls() - callsBefore;
        opens += TFileStream::TotalOpens() - opensBefore;
        benchmark::DoNotOptimize(list.ShowTotals());
    }
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsRate);
    state.counters["bytes_read/file"] = files ? static_cast<double>(bytes) / static_cast<double>(files) : 0;
    state.counters["reads/file"] = files ? static_cast<double>(reads) / static_cast<double>(files) : 0;
    // Every system call of the file streams (open, size, seek, read, close),
    // and the opens: one per file.
    state.counters["syscalls/file"] = files ? static_cast<double>(calls) / static_cast<double>(files) : 0;
    state.counters["opens/file"] = files ? static_cast<double>(opens) / static_cast<double>(files) : 0;
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

} // namespace

BENCHMARK(BM_ScanFolder)->Arg(3000)->Unit(benchmark::kMillisecond);
