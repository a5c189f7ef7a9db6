#include "check/FileSpectrogram.h"

#include "decode/AudioDecoder.h"
#include "dsp/Spectrogram.h"

#include <algorithm>
#include <array>
#include <cmath>

TFileSpectrogram MakeFileSpectrogram(const std::string& path, const TCheckControl& control) {
    TFileSpectrogram result;
    TAudioDecoder decoder;
    if (!decoder.Open(path)) {
        result.Error = decoder.Error();
        return result;
    }
    result.Stream = decoder.Info();
    const int channels = result.Stream.Channels;
    TLosslessAnalyser analyser(result.Stream);
    TSpectrogram spectrogram(kSpectrogramWindow, kSpectrogramMaxColumns);
    const double expectedFrames = result.Stream.Duration * result.Stream.SampleRate;
    double framesDone = 0;
    std::vector<float> mono;
    TPcmBlock block;
    while (decoder.Read(block)) {
        if (control.Cancel != nullptr && control.Cancel->load(std::memory_order_relaxed)) {
            result.Error = "Cancelled";
            return result;
        }
        analyser.Add(block);
        mono.assign(block.Frames, 0.0f);
        for (int c = 0; c < channels && static_cast<std::size_t>(c) < block.Samples.size(); ++c) {
            const std::vector<float>& samples = block.Samples[static_cast<std::size_t>(c)];
            for (std::size_t i = 0; i < block.Frames && i < samples.size(); ++i) mono[i] += samples[i];
        }
        if (channels > 1)
            for (float& value : mono) value /= static_cast<float>(channels);
        spectrogram.Add(mono.data(), mono.size());
        framesDone += static_cast<double>(block.Frames);
        if (control.Progress && expectedFrames > 0) control.Progress(std::min(1.0, framesDone / expectedFrames));
    }
    if (!decoder.Error().empty()) {
        result.Error = decoder.Error();
        return result;
    }
    spectrogram.Finish();
    result.Check = analyser.Finish();
    result.Seconds = result.Check.SecondsChecked;
    result.Columns = spectrogram.Columns();
    result.Bins = spectrogram.Bins();
    result.LevelsDb.resize(result.Columns * result.Bins);
    for (std::size_t c = 0; c < result.Columns; ++c)
        for (std::size_t k = 0; k < result.Bins; ++k)
            result.LevelsDb[c * result.Bins + k] = static_cast<float>(PowerToDb(spectrogram.PowerAt(c, k)));
    return result;
}

uint32_t SpectrogramColour(double position) {
    // Stops of the scale, evenly spaced, interpolated in between.
    static constexpr std::array<uint32_t, 7> kStops = {0x000000, 0x10105a, 0x5a1a8c, 0xb4245a,
                                                       0xf0641e, 0xfad232, 0xffffff};
    if (!(position > 0)) return kStops.front();
    if (position >= 1) return kStops.back();
    const double scaled = position * (kStops.size() - 1);
    const std::size_t low = static_cast<std::size_t>(scaled);
    const double t = scaled - static_cast<double>(low);
    const auto mix = [&](int shift) {
        const double a = (kStops[low] >> shift) & 0xff;
        const double b = (kStops[low + 1] >> shift) & 0xff;
        return static_cast<uint32_t>(std::lround(a + (b - a) * t)) << shift;
    };
    return mix(16) | mix(8) | mix(0);
}

std::vector<uint32_t> SpectrogramPixels(const TFileSpectrogram& spectrogram, int width, int height, double minDb,
                                        double maxDb) {
    std::vector<uint32_t> pixels;
    if (width <= 0 || height <= 0) return pixels;
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), SpectrogramColour(0));
    if (spectrogram.Columns == 0 || spectrogram.Bins == 0 || !(maxDb > minDb)) return pixels;
    for (int x = 0; x < width; ++x) {
        const std::size_t column = std::min(spectrogram.Columns - 1,
                                            static_cast<std::size_t>(static_cast<double>(x) * spectrogram.Columns / width));
        for (int y = 0; y < height; ++y) {
            // Row 0 is the top: the Nyquist frequency.
            const double share = 1.0 - (static_cast<double>(y) + 0.5) / height;
            const std::size_t bin =
                std::min(spectrogram.Bins - 1, static_cast<std::size_t>(std::lround(share * (spectrogram.Bins - 1))));
            const double level = spectrogram.LevelAt(column, bin);
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                SpectrogramColour((level - minDb) / (maxDb - minDb));
        }
    }
    return pixels;
}
