#include "check/LosslessCheck.h"

#include "check/Verdict.h"
#include "decode/AudioDecoder.h"

#include <algorithm>

std::size_t TLosslessAnalyser::WindowSize(int sampleRate) { return sampleRate > 48000 ? 8192 : 4096; }

TLosslessAnalyser::TLosslessAnalyser(const TStreamInfo& stream)
    : Stream(stream),
      Spectrum(std::max(stream.Channels, 0), WindowSize(stream.SampleRate)),
      HoleCounter(stream.SampleRate, Spectrum.Bins()),
      Occupancy(stream.SampleRate, Spectrum.Bins()),
      Stats(std::max(stream.Channels, 0), stream.IntegerSamples ? stream.BitsPerSample : 0),
      Grid(stream.SampleRate, stream.Channels, stream.Duration * stream.SampleRate) {
    Spectrum.SetFrameObserver([this](int, const std::vector<double>& power) {
        HoleCounter.AddWindow(power);
        Occupancy.AddWindow(power);
    });
}

TLosslessAnalyser::~TLosslessAnalyser() = default;

void TLosslessAnalyser::Add(const TPcmBlock& block) {
    const int channels = std::min(block.Channels, Stream.Channels);
    for (int c = 0; c < channels; ++c) {
        const std::size_t ch = static_cast<std::size_t>(c);
        if (ch >= block.Samples.size()) break;
        const std::vector<float>& samples = block.Samples[ch];
        const std::size_t count = std::min(block.Frames, samples.size());
        Spectrum.Add(c, samples.data(), count);
        if (ch < block.IntSamples.size()) {
            const std::vector<int32_t>& ints = block.IntSamples[ch];
            Stats.AddInt(c, ints.data(), std::min(count, ints.size()));
        } else {
            Stats.AddFloat(c, samples.data(), count);
        }
    }
    Grid.Add(block);
    Frames += block.Frames;
}

TLosslessReport TLosslessAnalyser::Finish() {
    Spectrum.Finish();
    TLosslessReport report;
    report.Stream = Stream;
    report.SecondsChecked = Stream.SampleRate > 0 ? static_cast<double>(Frames) / Stream.SampleRate : 0.0;
    report.BitDepth = Stats.BitDepth();
    // The floor of the bits really used; a float stream has none of its own, and
    // is most often a 16-bit source decoded or processed.
    const int floorBits = report.BitDepth.UsedBits > 0 ? report.BitDepth.UsedBits : 16;
    const double floorDb = QuantisationFloorDb(floorBits, Spectrum.Size());
    const std::vector<double> power = Spectrum.AverageOfChannels();
    if (Stream.SampleRate > 0) report.Cutoff = FindCutoff(power, Stream.SampleRate, floorDb);
    report.Holes = HoleCounter.Finding(report.Cutoff.TopHz, power, floorDb);
    report.Occupancy = Occupancy.Finding(floorDb);
    report.Clipping = Stats.Clipping();
    Grid.Finish();
    report.Grid = Grid.Finding();
    ComposeVerdict(report);
    return report;
}

TLosslessReport CheckLossless(const std::string& path, const TCheckControl& control) {
    TAudioDecoder decoder;
    TLosslessReport failed;
    if (!decoder.Open(path)) {
        failed.Error = decoder.Error();
        ComposeVerdict(failed);
        return failed;
    }
    const TStreamInfo& stream = decoder.Info();
    TLosslessAnalyser analyser(stream);
    const double expectedFrames = stream.Duration * stream.SampleRate;
    double framesDone = 0;
    TPcmBlock block;
    while (decoder.Read(block)) {
        if (control.Cancel != nullptr && control.Cancel->load(std::memory_order_relaxed)) {
            failed.Stream = stream;
            failed.Error = "Cancelled";
            ComposeVerdict(failed);
            return failed;
        }
        analyser.Add(block);
        framesDone += static_cast<double>(block.Frames);
        if (control.Progress && expectedFrames > 0) control.Progress(std::min(1.0, framesDone / expectedFrames));
    }
    if (!decoder.Error().empty()) {
        failed.Stream = stream;
        failed.Error = decoder.Error();
        ComposeVerdict(failed);
        return failed;
    }
    TLosslessReport report = analyser.Finish();
    if (decoder.DamagedPackets() > 0) {
        report.DamagedPackets = decoder.DamagedPackets();
        ComposeVerdict(report);
    }
    return report;
}
