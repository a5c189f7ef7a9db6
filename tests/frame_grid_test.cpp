// The frame-grid evidence of the lossless check: the MDCT and its windows,
// the grid of a codec-like signal made here, and real transcodes
// (tests/files/losslesscheck/make.sh).
#include "TestSupport.h"

#include "check/FrameGrid.h"
#include "check/FrameGridProbe.h"
#include "check/LosslessCheck.h"
#include "dsp/Mdct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace {

std::string Fixture(const std::string& name) { return FixturePath("losslesscheck/" + name); }

// The MDCT by its defining sum, orthonormal: sqrt(2/N) sum w x cos(pi/N (n + 1/2 + N/2)(k + 1/2)).
std::vector<double> MdctBySum(const std::vector<float>& x, const std::vector<float>& w, std::size_t n) {
    std::vector<double> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        double sum = 0;
        for (std::size_t i = 0; i < 2 * n; ++i)
            sum += double{w[i]} * x[i] *
                   std::cos(std::numbers::pi / static_cast<double>(n) * (static_cast<double>(i) + 0.5 + n / 2.0) *
                            (static_cast<double>(k) + 0.5));
        out[k] = sum * std::sqrt(2.0 / static_cast<double>(n));
    }
    return out;
}

// A codec in miniature: frames of N coefficients every N samples from offset
// on, most of those above 11 kHz zero and the rest random, laid out by the
// inverse MDCT with overlap-add and rounded to 16 bits.
std::vector<float> CodecLikeSignal(std::size_t n, const std::vector<float>& window, std::size_t offset,
                                   std::size_t length, int rate) {
    std::mt19937 random(7);
    std::normal_distribution<double> value(0.0, 0.02);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<double> out(length + 2 * n);
    const double hzPerLine = rate / 2.0 / static_cast<double>(n);
    std::vector<double> frame(n);
    std::vector<double> basis(2 * n * n);   // the inverse transform's cosines, once
    for (std::size_t i = 0; i < 2 * n; ++i)
        for (std::size_t k = 0; k < n; ++k)
            basis[i * n + k] = std::cos(std::numbers::pi / static_cast<double>(n) *
                                        (static_cast<double>(i) + 0.5 + n / 2.0) * (static_cast<double>(k) + 0.5));
    for (std::size_t start = offset; start + 2 * n <= out.size(); start += n) {
        for (std::size_t k = 0; k < n; ++k) {
            const bool high = static_cast<double>(k) * hzPerLine >= 11000;
            frame[k] = high && chance(random) < 0.6 ? 0.0 : value(random);
        }
        for (std::size_t i = 0; i < 2 * n; ++i) {
            double sum = 0;
            for (std::size_t k = 0; k < n; ++k) sum += frame[k] * basis[i * n + k];
            out[start + i] += window[i] * sum * std::sqrt(2.0 / static_cast<double>(n));
        }
    }
    std::vector<float> samples(length);
    for (std::size_t i = 0; i < length; ++i) samples[i] = static_cast<float>(std::round(out[i] * 32768) / 32768);
    return samples;
}

std::vector<float> WhiteNoise(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> value(0.0f, 0.1f);
    std::vector<float> samples(length);
    for (float& s : samples) s = std::round(value(random) * 32768) / 32768;
    return samples;
}

}  // namespace

TEST(Mdct, MatchesItsDefinitionAndItsWindowsCancelAliasing) {
    constexpr std::size_t n = 16;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-1, 1);
    std::vector<float> x(2 * n), w(2 * n);
    for (std::size_t i = 0; i < 2 * n; ++i) x[i] = value(random), w[i] = value(random);
    TMdct mdct(n);
    const float* fast = mdct.Run(x.data(), w.data());
    const std::vector<double> slow = MdctBySum(x, w, n);
    for (std::size_t k = 0; k < n; ++k) EXPECT_NEAR(fast[k], slow[k], 1e-5) << k;

    // Princen-Bradley: w[i]^2 + w[i + N]^2 = 1, and each window is symmetric.
    for (const std::vector<float>& window :
         {SineWindow(1024), KaiserBesselDerivedWindow(1024, 4.0), VorbisWindow(1024)}) {
        ASSERT_EQ(window.size(), 2048u);
        for (std::size_t i = 0; i < 1024; ++i) {
            EXPECT_NEAR(window[i] * window[i] + window[i + 1024] * window[i + 1024], 1.0, 1e-5) << i;
            EXPECT_FLOAT_EQ(window[i], window[2047 - i]) << i;
        }
    }
    // AAC's window at alpha 4 rises slowly: its first value is 0.00029 (a
    // hand sum of the Kaiser window's terms), the sine window's 0.00077.
    EXPECT_NEAR(KaiserBesselDerivedWindow(1024, 4.0)[0], 0.00029, 0.00002);
    EXPECT_THROW(TMdct(7), std::invalid_argument);
}

// The zeros of a codec-like signal come back at its own offset, and only with
// its own window; white noise shows no offset at all.
TEST(FrameGrid, FindsTheOffsetOfACodecLikeSignalOnly) {
    constexpr std::size_t n = 1024;
    constexpr int rate = 44100;
    const std::vector<float> kbd = KaiserBesselDerivedWindow(n, 4.0);
    const std::vector<float> signal = CodecLikeSignal(n, kbd, 300, 10240, rate);
    TMdct mdct(n);
    const TGridPeak peak = FindGridPeak(MdctGridTally(signal.data(), signal.size(), rate, mdct, kbd, 8));
    EXPECT_EQ(peak.Offset, 300);
    EXPECT_GT(peak.Share, 0.5);    // 60% were zeroed; rounding makes a few of them larger than a step
    EXPECT_LT(peak.OtherShare, 0.05);
    EXPECT_GT(peak.Score, 50);

    for (unsigned seed : {1u, 2u, 3u}) {
        const std::vector<float> noise = WhiteNoise(10240, seed);
        const TGridPeak none = FindGridPeak(MdctGridTally(noise.data(), noise.size(), rate, mdct, kbd, 8));
        EXPECT_LT(none.Score, TFrameGridProbe::kGridScore) << seed;
    }
    // Too few samples for eight frames at every offset: nothing tallied.
    EXPECT_TRUE(MdctGridTally(signal.data(), 10238, rate, mdct, kbd, 8).Tiny.empty());
    EXPECT_EQ(FindGridPeak(TGridTally{}).Offset, -1);
    // Under 44 kHz the band starts at half the band: 5.5 kHz at 22,050 Hz. A
    // rate of 2 kHz leaves none (its top, 500 Hz under 1 kHz, lies under its start).
    EXPECT_DOUBLE_EQ(GridBandLowHz(22050), 5512.5);
    EXPECT_DOUBLE_EQ(GridBandLowHz(48000), 11000);
    EXPECT_TRUE(MdctGridTally(signal.data(), signal.size(), 2000, mdct, kbd, 8).Tiny.empty());
}

// A square wave whose period (128 samples at 48 kHz: 375 Hz) divides the
// frame makes the MDCT's lines vanish at one phase of it: a peak, but one
// that comes back every 128 offsets. A codec's grid stands alone.
TEST(FrameGrid, ARepeatingToneIsNoGrid) {
    constexpr int rate = 48000;
    std::vector<float> square(static_cast<std::size_t>(rate) * 3);
    for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 64) % 2 ? -0.3f : 0.3f;
    TMdct mdct(1024);
    const TGridPeak peak =
        FindGridPeak(MdctGridTally(square.data() + 20000, 10240, rate, mdct, VorbisWindow(1024), 8));
    EXPECT_GT(peak.Score, TFrameGridProbe::kGridScore);   // it does stand out...
    EXPECT_GE(peak.Echoes, 7);                            // ...at 8 offsets alike

    TFrameGridProbe probe(rate, 1, static_cast<double>(square.size()));
    TPcmBlock block;
    block.Channels = 1;
    block.Frames = square.size();
    block.Samples = {square};
    probe.Add(block);
    probe.Finish();
    EXPECT_FALSE(probe.Finding().Found()) << probe.Finding().Codec;
    EXPECT_EQ(probe.Finding().Stretches, TFrameGridProbe::kStretches);
}

TEST(FrameGridProbe, PlacesStretchesAndSurvivesOddStreams) {
    constexpr std::size_t n = 1024;
    const std::vector<float> vorbis = VorbisWindow(n);
    const std::vector<float> signal = CodecLikeSignal(n, vorbis, 77, 44100 * 3, 44100);
    const auto feed = [](TFrameGridProbe& probe, const std::vector<float>& samples, std::size_t blockSize) {
        for (std::size_t at = 0; at < samples.size(); at += blockSize) {
            TPcmBlock block;
            block.Channels = 1;
            block.Frames = std::min(blockSize, samples.size() - at);
            block.Samples = {std::vector<float>(samples.begin() + static_cast<std::ptrdiff_t>(at),
                                                samples.begin() + static_cast<std::ptrdiff_t>(at + block.Frames))};
            probe.Add(block);
        }
        probe.Finish();
        return probe.Finding();
    };
    // Any block size gives the same stretches, and each finds the grid.
    for (std::size_t blockSize : {1u, 1000u, 65536u}) {
        TFrameGridProbe probe(44100, 1, static_cast<double>(signal.size()));
        const TGridFinding found = feed(probe, signal, blockSize);
        EXPECT_EQ(found.Codec, "Vorbis") << blockSize;
        EXPECT_EQ(found.Stretches, 1);   // the first stretch found it
    }
    {   // a file shorter than a stretch, but long enough for the frames: analysed once at the end
        TFrameGridProbe probe(44100, 1, 10239);
        const TGridFinding found = feed(probe, std::vector<float>(signal.begin(), signal.begin() + 10239), 4096);
        EXPECT_EQ(found.Stretches, 1);
    }
    {   // no length known, and shorter than the lead-in: nothing looked at, no harm
        TFrameGridProbe probe(44100, 2, 0);
        EXPECT_EQ(feed(probe, std::vector<float>(5000, 0.5f), 4096).Stretches, 0);
        EXPECT_FALSE(probe.Finding().Found());
    }
    {   // samples that are not numbers count as silence
        std::vector<float> odd(signal.begin(), signal.begin() + 20000);
        for (std::size_t i = 0; i < odd.size(); i += 3) odd[i] = std::numeric_limits<float>::quiet_NaN();
        odd[5] = std::numeric_limits<float>::infinity();
        TFrameGridProbe probe(44100, 1, static_cast<double>(odd.size()));
        EXPECT_NO_FATAL_FAILURE(feed(probe, odd, 4096));
    }
    {   // no rate or no channels: nothing looked at
        TFrameGridProbe none(0, 0, 1e6);
        EXPECT_EQ(feed(none, signal, 4096).Stretches, 0);
    }
}

// Real transcodes where the band shows nothing: oggenc -q 6 and LAME -V 0
// keep pink noise whole to 21 kHz, yet about half of the lines above 11 kHz
// are zero on their grids. Each codec's grid is told from the others';
// genuine files show none.
TEST(LosslessCheck, NamesTheCodecWhoseFrameGridItFinds) {
    const TLosslessReport vorbis = CheckLossless(Fixture("vorbis-q6-noise.flac"));
    EXPECT_EQ(vorbis.Verdict, TCheckVerdict::LossyOrigin) << vorbis.Text;
    EXPECT_EQ(vorbis.Grid.Codec, "Vorbis");
    EXPECT_EQ(vorbis.Text.rfind("Lossy origin likely: quantised on a Vorbis frame grid (", 0), 0u) << vorbis.Text;
    EXPECT_GT(vorbis.Grid.Peak.Share, 0.4);

    const TLosslessReport mp3 = CheckLossless(Fixture("mp3-v0-noise.flac"));
    EXPECT_EQ(mp3.Verdict, TCheckVerdict::LossyOrigin) << mp3.Text;
    EXPECT_EQ(mp3.Text.rfind("Lossy origin likely: quantised on an MP3 frame grid (", 0), 0u) << mp3.Text;
    // FFmpeg drops LAME's 576 + 529 samples of delay: granules start at 2 x 576 - 1105.
    EXPECT_EQ(mp3.Grid.Peak.Offset, 47);

    EXPECT_EQ(CheckLossless(Fixture("aac-256-48k.flac")).Grid.Codec, "AAC");
    EXPECT_EQ(CheckLossless(Fixture("vorbis-q3.flac")).Grid.Codec, "Vorbis");
    // At 22.05 kHz libvorbis's long blocks are half as long, and the band
    // looked at starts at 5.5 kHz.
    const TLosslessReport vorbis22 = CheckLossless(Fixture("vorbis-22k.flac"));
    EXPECT_EQ(vorbis22.Grid.Codec, "Vorbis") << vorbis22.Text;
    EXPECT_NE(vorbis22.Text.find("of the coefficients above 5.5 kHz at zero"), std::string::npos) << vorbis22.Text;
    for (const char* lame : {"mp3-128.flac", "mp3-v2.flac", "mp3-320.flac", "mp3-v0-48k.flac"})
        EXPECT_EQ(CheckLossless(Fixture(lame)).Grid.Codec, "MP3") << lame;
    // Opus has no such grid (its bands are coded by energy and shape, not by
    // zeros); the samples' Speex file shows its 20 ms frames through every
    // window alike (a peak of 15 deviations), which is no codec's grid.
    EXPECT_FALSE(CheckLossless(Fixture("opus-96.wav")).Grid.Found());
    const TLosslessReport speex = CheckLossless(std::string(SONDARO_SOURCE_DIR) + "/samples/Chord.spx");
    EXPECT_FALSE(speex.Grid.Found()) << speex.Text;
    for (const char* genuine :
         {"genuine.flac", "steep-44k.flac", "padded-24.flac", "upsampled-96k.flac", "genuine-32k.flac"}) {
        const TLosslessReport report = CheckLossless(Fixture(genuine));
        EXPECT_FALSE(report.Grid.Found()) << genuine << ": " << report.Text;
        EXPECT_LT(report.Grid.Peak.Score, TFrameGridProbe::kGridScore) << genuine;
    }
}
