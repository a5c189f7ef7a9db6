// MP3's granule grid: the polyphase filterbank with the measured window, and
// the tiny-line shares on files LAME made (tests/files/losslesscheck/make.sh).
#include "TestSupport.h"

#include "check/Mp3Grid.h"
#include "check/MpegFilterbank.h"
#include "decode/AudioDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

namespace {

std::vector<float> FirstChannel(const std::string& name, int& rate) {
    TAudioDecoder decoder;
    EXPECT_TRUE(decoder.Open(FixturePath("losslesscheck/" + name))) << decoder.Error();
    rate = decoder.Info().SampleRate;
    std::vector<float> samples;
    TPcmBlock block;
    while (decoder.Read(block)) samples.insert(samples.end(), block.Samples[0].begin(), block.Samples[0].end());
    return samples;
}

// A repeatable noise in [-0.5, 0.5).
std::vector<double> Noise(std::size_t count) {
    std::vector<double> x(count);
    std::uint32_t state = 12345;
    for (double& v : x) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    }
    return x;
}

}  // namespace

TEST(MpegFilterbank, SynthesisAfterAnalysisGivesTheSignalBack) {
    constexpr std::size_t slots = 200;
    const std::vector<double> x = Noise(kMpegSubbands * slots + kMpegWindowTaps);
    std::vector<double> y(x.size(), 0.0);
    double bands[kMpegSubbands];
    for (std::size_t t = 0; t < slots; ++t) {
        MpegAnalyseSlot(x.data() + kMpegSubbands * t, bands);
        MpegSynthesiseSlot(bands, y.data() + kMpegSubbands * t);
    }
    // Every sample from 512 to 32 * slots has all its slots.
    double error = 0, signal = 0;
    for (std::size_t n = kMpegWindowTaps; n < kMpegSubbands * slots; ++n) {
        error += (y[n] - x[n]) * (y[n] - x[n]);
        signal += x[n] * x[n];
    }
    // A pseudo-QMF bank is not exactly lossless: about -84 dB here. A single
    // tap off by 1e-3 gives about -75 dB, every tap 0.1% too large -54 dB.
    EXPECT_LT(10 * std::log10(error / signal), -80.0);
}

// Band k spans k to k + 1 times a 64th of the sample rate: a sine in the
// middle of band 5 lands there and nowhere else.
TEST(MpegFilterbank, SplitsTheSpectrumInto32EqualBands) {
    constexpr std::size_t slots = 64;
    std::vector<double> x(kMpegSubbands * slots + kMpegWindowTaps);
    for (std::size_t n = 0; n < x.size(); ++n) x[n] = std::sin(2 * std::numbers::pi * 5.5 / 64.0 * static_cast<double>(n));
    double power[kMpegSubbands] = {};
    double bands[kMpegSubbands];
    for (std::size_t t = 0; t < slots; ++t) {
        MpegAnalyseSlot(x.data() + kMpegSubbands * t, bands);
        for (std::size_t k = 0; k < kMpegSubbands; ++k) power[k] += bands[k] * bands[k];
    }
    double total = 0;
    for (double p : power) total += p;
    EXPECT_GT(power[5] / total, 0.9999);
    // Band samples keep the level of what falls in their band: a sine of
    // amplitude 1 gives band samples of mean power 1/2. (White noise spreads
    // over all 32 bands, a 32nd of its power in each.)
    EXPECT_NEAR(power[5] / slots, 0.5, 0.005);
}

// LAME's files, decoded back by FFmpeg (which drops the encoder's 576 and the
// decoder's 529 samples of delay): granules start to sound every 576 samples
// from sample 2 * 576 - (576 + 529) = 47. Nowhere else do so many lines vanish.
TEST(Mp3Grid, FindsTheGranuleGridOfLameFiles) {
    for (const char* name : {"mp3-320.flac", "mp3-v2.flac", "mp3-v0-48k.flac", "mp3-128.flac"}) {
        SCOPED_TRACE(name);
        int rate = 0;
        const std::vector<float> samples = FirstChannel(name, rate);
        const TMp3GridShares shares = Mp3GridTinyShares(samples.data(), samples.size(), rate, 8);
        ASSERT_EQ(shares.Shares().size(), kMp3GranuleSamples);
        EXPECT_EQ(shares.Granules, 8u);
        const TMp3GridPeak peak = Mp3GridPeak(shares);
        EXPECT_EQ(peak.Offset, 47u);
        EXPECT_GT(peak.Share, 0.05);
        EXPECT_GT(peak.Share, 3 * peak.RunnerUp);
        EXPECT_GT(peak.Standout, 10.0);
    }
}

// Blocks from anywhere in the file, each told where it starts, agree on the
// grid and add up.
TEST(Mp3Grid, BlocksOfOneFileAddUp) {
    int rate = 0;
    const std::vector<float> samples = FirstChannel("mp3-v2.flac", rate);
    TMp3GridShares sum;
    std::size_t counted = 0;   // lines counted at offset 47
    for (std::size_t first : {0, 30001, 60000}) {
        SCOPED_TRACE(first);
        const TMp3GridShares block = Mp3GridTinyShares(samples.data() + first, samples.size() - first, rate, 8, first);
        EXPECT_EQ(Mp3GridPeak(block).Offset, 47u);
        counted += block.Counted[47];
        sum.Add(block);
    }
    EXPECT_EQ(sum.Counted[47], counted);
    EXPECT_EQ(sum.Granules, 24u);
    EXPECT_EQ(Mp3GridPeak(sum).Offset, 47u);
}

// Neither genuine audio nor other codecs' transforms leave MP3's grid.
TEST(Mp3Grid, GenuineAudioAndOtherCodecsHaveNoGrid) {
    for (const char* name : {"genuine.flac", "steep-44k.flac", "aac-128.flac", "vorbis-q3.flac"}) {
        SCOPED_TRACE(name);
        int rate = 0;
        const std::vector<float> samples = FirstChannel(name, rate);
        const TMp3GridShares shares = Mp3GridTinyShares(samples.data(), samples.size(), rate, 8);
        ASSERT_EQ(shares.Shares().size(), kMp3GranuleSamples);
        const TMp3GridPeak peak = Mp3GridPeak(shares);
        EXPECT_LT(peak.Share - peak.RunnerUp, 0.005);
        EXPECT_LT(peak.Standout, 2.0);
    }
}

// Bursts of noise between silences: where a granule straddles a burst's edge
// its lines can be small, and how many depends on where the edge falls, so
// the shares climb and fall over a range of offsets. No single one stands out.
TEST(Mp3Grid, BurstsOfNoiseHaveNoGrid) {
    const std::vector<double> noise = Noise(300000);
    std::vector<float> bursts(noise.size());
    for (std::size_t n = 0; n < bursts.size(); ++n) {
        const bool on = n % 11025 < 2205;   // 50 ms of every 250 ms at 44.1 kHz
        bursts[n] = on ? static_cast<float>(std::round(noise[n] * 32768.0) / 32768.0) : 0.0f;
    }
    for (std::size_t first : {0, 10000, 44100, 100000, 150000, 250000}) {
        SCOPED_TRACE(first);
        const TMp3GridShares shares = Mp3GridTinyShares(bursts.data() + first, bursts.size() - first, 44100, 8, first);
        ASSERT_EQ(shares.Shares().size(), kMp3GranuleSamples);
        EXPECT_LT(Mp3GridPeak(shares).Standout, 2.0);
    }
}

TEST(Mp3Grid, RefusesWhatItCannotJudge) {
    // Two granules at every offset need 32 * (18 * 3 + 16) + 31 + 512 samples.
    constexpr std::size_t least = 2783;
    std::vector<double> noise = Noise(least);
    std::vector<float> x(noise.begin(), noise.end());
    EXPECT_TRUE(Mp3GridTinyShares(x.data(), least - 1, 44100, 8).Shares().empty());
    const TMp3GridShares two = Mp3GridTinyShares(x.data(), least, 44100, 8);
    EXPECT_EQ(two.Shares().size(), kMp3GranuleSamples);
    EXPECT_EQ(two.Granules, 2u);
    EXPECT_TRUE(Mp3GridTinyShares(nullptr, 100000, 44100, 8).Shares().empty());
    EXPECT_TRUE(Mp3GridTinyShares(x.data(), least, 0, 8).Shares().empty());
    EXPECT_TRUE(Mp3GridTinyShares(x.data(), least, 44100, 0).Shares().empty());
    // Silence: no line carries anything, so no offset can stand out.
    const std::vector<float> silence(100000, 0.0f);
    EXPECT_TRUE(Mp3GridTinyShares(silence.data(), silence.size(), 44100, 8).Shares().empty());
    // Samples that are not numbers count as zero; the noise around them still counts.
    x[100] = std::numeric_limits<float>::quiet_NaN();
    x[200] = std::numeric_limits<float>::infinity();
    x[300] = -std::numeric_limits<float>::infinity();
    const TMp3GridShares damaged = Mp3GridTinyShares(x.data(), x.size(), 44100, 8);
    ASSERT_EQ(damaged.Shares().size(), kMp3GranuleSamples);
    for (double share : damaged.Shares()) EXPECT_TRUE(share >= 0.0 && share <= 1.0);
    // At most 64 granules, however many are asked for.
    const std::vector<double> longNoise = Noise(200000);
    const std::vector<float> y(longNoise.begin(), longNoise.end());
    EXPECT_EQ(Mp3GridTinyShares(y.data(), y.size(), 48000, 1000).Granules, 64u);
}
