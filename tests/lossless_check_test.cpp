// The lossless-origin check: the FFmpeg decoding layer, the spectrum, the
// cliff search and the verdicts on files made by real encoders
// (tests/files/losslesscheck/make.sh).
#include "TestSupport.h"

#include "check/Cutoff.h"
#include "check/LosslessCheck.h"
#include "check/SampleStats.h"
#include "check/Verdict.h"
#include "decode/AudioDecoder.h"
#include "dsp/Spectrogram.h"
#include "dsp/Welch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>

namespace {

std::string Fixture(const std::string& name) { return FixturePath("losslesscheck/" + name); }

TPcmBlock FloatBlock(std::vector<std::vector<float>> samples) {
    TPcmBlock block;
    block.Channels = static_cast<int>(samples.size());
    block.Frames = samples.empty() ? 0 : samples[0].size();
    block.Samples = std::move(samples);
    return block;
}

TStreamInfo FloatStream(int rate, int channels) {
    TStreamInfo info;
    info.SampleRate = rate;
    info.Channels = channels;
    return info;
}

}  // namespace

// ffprobe -show_entries stream=codec_name,sample_rate,channels,bits_per_raw_sample:
// genuine.flac flac 44100 1 16; padded-24.flac flac 44100 1 24; opus-96.wav
// pcm_s16le 44100 1; upsampled-96k.flac flac 96000 1 24. Durations 2.5 s and 1 s.
TEST(AudioDecoder, ReadsTheStreamFactsAndEverySample) {
    struct Case {
        const char* file;
        const char* codec;
        int rate, bits;
        std::size_t frames;
    };
    for (const Case& c : {Case{"genuine.flac", "flac", 44100, 16, 110250},
                          Case{"padded-24.flac", "flac", 44100, 24, 110250},
                          Case{"opus-96.wav", "pcm_s16le", 44100, 16, 110250},
                          Case{"upsampled-96k.flac", "flac", 96000, 24, 96000}}) {
        SCOPED_TRACE(c.file);
        TAudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Fixture(c.file))) << decoder.Error();
        const TStreamInfo& info = decoder.Info();
        EXPECT_EQ(info.CodecName, c.codec);
        EXPECT_EQ(info.SampleRate, c.rate);
        EXPECT_EQ(info.Channels, 1);
        EXPECT_EQ(info.BitsPerSample, c.bits);
        EXPECT_TRUE(info.IntegerSamples);
        EXPECT_TRUE(info.Lossless);
        EXPECT_NEAR(info.Duration, static_cast<double>(c.frames) / c.rate, 0.001);
        std::size_t frames = 0;
        TPcmBlock block;
        while (decoder.Read(block)) {
            ASSERT_EQ(block.Samples.size(), 1u);
            ASSERT_EQ(block.IntSamples.size(), 1u);
            ASSERT_EQ(block.Samples[0].size(), block.Frames);
            frames += block.Frames;
        }
        EXPECT_EQ(decoder.Error(), "");
        EXPECT_EQ(frames, c.frames);
    }
}

TEST(AudioDecoder, SaysPlainlyWhatCannotBeDecoded) {
    TempDir dir;
    TAudioDecoder decoder;
    EXPECT_FALSE(decoder.Open(dir / "missing.flac"));
    EXPECT_EQ(decoder.Error(), "Cannot decode: No such file or directory");

    const std::string text = dir.Write("notes.flac", std::string_view("these are not audio samples\n"));
    EXPECT_FALSE(decoder.Open(text));
    EXPECT_EQ(decoder.Error().rfind("Cannot decode: ", 0), 0u) << decoder.Error();
    TPcmBlock block;
    EXPECT_FALSE(decoder.Read(block));

    // The FLAC fixture cut after its headers and a few frames: what is there is
    // decoded, the rest ends the stream without a crash.
    Bytes bytes = ReadAll(Fixture("genuine.flac"));
    bytes.resize(40000);   // past the 8 KiB padding block flac -8 writes
    const std::string cut = dir.Write("cut.flac", bytes);
    ASSERT_TRUE(decoder.Open(cut)) << decoder.Error();
    std::size_t frames = 0;
    while (decoder.Read(block)) frames += block.Frames;
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, 110250u);

    // Damage inside a frame: that frame is skipped and counted, the rest decoded and judged.
    Bytes damaged = ReadAll(Fixture("genuine.flac"));
    for (std::size_t i = 40000; i < 40400; ++i) damaged[i] ^= 0x5a;
    const TLosslessReport skipped = CheckLossless(dir.Write("damaged.flac", damaged));
    EXPECT_EQ(skipped.Verdict, TCheckVerdict::FullBand);
    EXPECT_GE(skipped.DamagedPackets, 1);
    EXPECT_NE(skipped.Text.find("damaged packet"), std::string::npos) << skipped.Text;

    const TLosslessReport report = CheckLossless(dir / "missing.flac");
    EXPECT_EQ(report.Verdict, TCheckVerdict::NotChecked);
    EXPECT_EQ(report.Text, "Cannot decode: No such file or directory");
}

// A sine of amplitude 1 centred on bin k reads 0 dB there: the Hann window
// gives |X[k]| = N/4, and the spectrum scales power by 16 / N^2.
TEST(WelchSpectrum, FullScaleSineReadsZeroDecibelsInItsBin) {
    const std::size_t n = 4096;
    TWelchSpectrum spectrum(1, n);
    std::vector<float> sine(n * 4);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<float>(std::sin(2 * std::numbers::pi * 100.0 * static_cast<double>(i) / n));
    spectrum.Add(0, sine.data(), sine.size());
    spectrum.Finish();
    EXPECT_EQ(spectrum.Windows(0), 7u);   // 16,384 samples, windows every 2,048
    const std::vector<double> power = spectrum.Average(0);
    EXPECT_NEAR(PowerToDb(power[100]), 0.0, 0.01);
    EXPECT_NEAR(PowerToDb(power[99]), PowerToDb(0.25), 0.01);   // the Hann neighbours: a quarter
    EXPECT_LT(PowerToDb(power[110]), -100.0);

    // Fewer samples than one window: one window, padded.
    TWelchSpectrum shortOne(2, n);
    shortOne.Add(1, sine.data(), 1);
    shortOne.Finish();
    EXPECT_EQ(shortOne.Windows(0), 0u);
    EXPECT_EQ(shortOne.Windows(1), 1u);
}

TEST(WelchSpectrum, NonFiniteSamplesCountAsSilence) {
    TWelchSpectrum spectrum(1, 64);
    std::vector<float> samples(256, std::numeric_limits<float>::quiet_NaN());
    samples[10] = std::numeric_limits<float>::infinity();
    spectrum.Add(0, samples.data(), samples.size());
    EXPECT_EQ(spectrum.NonFiniteSamples(), 256u);
    for (double p : spectrum.Average(0)) EXPECT_EQ(p, 0.0);
}

TEST(Spectrogram, KeepsItsColumnsBoundedWhateverTheLength) {
    const std::size_t n = 256;
    TSpectrogram spectrogram(n, 8);
    std::vector<float> sine(n * 200);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<float>(std::sin(2 * std::numbers::pi * 32.0 * static_cast<double>(i) / n));
    spectrogram.Add(sine.data(), sine.size());
    spectrogram.Finish();
    // 399 windows; the columns were merged until fewer than 8 remained.
    EXPECT_GE(spectrogram.Columns(), 4u);
    EXPECT_LE(spectrogram.Columns(), 8u);
    EXPECT_EQ(spectrogram.WindowsPerColumn(), 64u);
    for (std::size_t c = 0; c < spectrogram.Columns(); ++c) {
        EXPECT_NEAR(PowerToDb(spectrogram.PowerAt(c, 32)), 0.0, 0.1) << c;
        EXPECT_LT(PowerToDb(spectrogram.PowerAt(c, 60)), -60.0) << c;
    }
}

// 16-bit rounding noise: q = 2^-15, variance q^2 / 12 = 7.76e-11; per bin under
// a Hann window of 4,096 points, variance * 6 / 4096 = 1.137e-13, -129.4 dB.
TEST(Cutoff, QuantisationFloorFollowsBitsAndWindow) {
    EXPECT_NEAR(QuantisationFloorDb(16, 4096), -129.44, 0.01);
    EXPECT_NEAR(QuantisationFloorDb(24, 4096), -129.44 - 48.16, 0.01);
    EXPECT_NEAR(QuantisationFloorDb(16, 8192), -129.44 - 3.01, 0.01);
}

TEST(Cutoff, FindsASteepFallToTheFloorAndNothingElse) {
    const double rate = 44100;
    const std::size_t bins = 2049;   // a 4,096-point window: 10.77 Hz per bin
    const double floor = QuantisationFloorDb(16, 4096);
    auto spectrum = [&](auto levelAt) {
        std::vector<double> power(bins);
        for (std::size_t k = 0; k < bins; ++k) power[k] = std::pow(10.0, levelAt(k * rate / 4096) / 10);
        return power;
    };
    // Flat to 16 kHz, then quantisation noise only.
    TCutoffFinding cut = FindCutoff(spectrum([&](double f) { return f < 16000 ? -80.0 : floor; }), rate, floor);
    EXPECT_TRUE(cut.Found);
    EXPECT_TRUE(cut.ReachesFloor);
    EXPECT_NEAR(cut.CutoffHz, 16000, 100);
    EXPECT_NEAR(cut.PassDb, -80, 0.5);
    EXPECT_NEAR(cut.StopDb, floor, 0.5);

    // The same fall to a level 12 dB above the floor: a cliff, but not an empty band.
    cut = FindCutoff(spectrum([&](double f) { return f < 16000 ? -80.0 : floor + 12; }), rate, floor);
    EXPECT_TRUE(cut.Found);
    EXPECT_FALSE(cut.ReachesFloor);

    // A roll-off of 20 dB per kHz from 15 kHz: too slow for a cliff.
    cut = FindCutoff(spectrum([&](double f) { return f < 15000 ? -80.0 : std::max(floor, -80 - (f - 15000) / 50); }),
                     rate, floor);
    EXPECT_FALSE(cut.Found);

    // Flat to the top, and silence.
    cut = FindCutoff(spectrum([](double) { return -60.0; }), rate, floor);
    EXPECT_FALSE(cut.Found);
    EXPECT_NEAR(cut.TopHz, 22000, 100);
    EXPECT_TRUE(FindCutoff(std::vector<double>(bins, 0.0), rate, floor).Silent);
    // Nonsense in: no finding, no crash.
    EXPECT_FALSE(FindCutoff({}, rate, floor).Found);
    EXPECT_FALSE(FindCutoff(std::vector<double>(bins, std::nan("")), rate, floor).Found);
    EXPECT_FALSE(FindCutoff(std::vector<double>(bins, 1.0), 0, floor).Found);
}

TEST(SampleStats, CountsUsedBitsAndRunsOfFullScaleSamples) {
    TSampleStats stats(2, 16);
    const int32_t top = 32767 << 16, bottom = std::numeric_limits<int32_t>::min();
    // Channel 0: a run of three at the top, a run of two at the bottom (not clipping).
    const std::vector<int32_t> left = {0, top, top, top, 5 << 16, bottom, bottom, 0};
    // Channel 1: a run of four at the bottom that the end of the stream closes.
    const std::vector<int32_t> right = {1 << 24, 0, 0, 0, bottom, bottom, bottom, bottom};
    stats.AddInt(0, left.data(), left.size());
    stats.AddInt(1, right.data(), right.size());
    stats.AddInt(7, right.data(), right.size());   // no such channel: ignored
    EXPECT_EQ(stats.Clipping().Runs, 2u);
    EXPECT_EQ(stats.Clipping().Samples, 7u);
    EXPECT_EQ(stats.BitDepth().FileBits, 16);
    EXPECT_EQ(stats.BitDepth().UsedBits, 16);   // 5 << 16 sets bit 16: the lowest of 16 bits

    TSampleStats eightInSixteen(1, 16);
    const std::vector<int32_t> coarse = {1 << 24, -(3 << 24), 127 << 24};
    eightInSixteen.AddInt(0, coarse.data(), coarse.size());
    EXPECT_EQ(eightInSixteen.BitDepth().UsedBits, 8);
    EXPECT_TRUE(eightInSixteen.BitDepth().Padded());

    TSampleStats floats(1, 0);
    const std::vector<float> samples = {1.0f, -1.0f, 1.5f, std::nanf(""), 1.0f, 1.0f};
    floats.AddFloat(0, samples.data(), samples.size());
    EXPECT_EQ(floats.Clipping().Runs, 1u);   // the three before the NaN; the two after are too few
    EXPECT_FALSE(floats.BitDepth().Padded());
}

TEST(LosslessAnalyser, IsSafeOnAnySamples) {
    {   // one sample
        TLosslessAnalyser analyser(FloatStream(44100, 1));
        analyser.Add(FloatBlock({{0.5f}}));
        const TLosslessReport report = analyser.Finish();
        EXPECT_NE(report.Verdict, TCheckVerdict::NotChecked);
        EXPECT_FALSE(report.Text.empty());
    }
    {   // silence
        TLosslessAnalyser analyser(FloatStream(48000, 2));
        analyser.Add(FloatBlock({std::vector<float>(48000), std::vector<float>(48000)}));
        const TLosslessReport report = analyser.Finish();
        EXPECT_EQ(report.Verdict, TCheckVerdict::Silent);
        EXPECT_EQ(report.Text, "Silent: nothing to judge");
    }
    {   // NaN and infinities, and a block with fewer channels than the stream
        TLosslessAnalyser analyser(FloatStream(44100, 2));
        analyser.Add(FloatBlock({std::vector<float>(10000, std::nanf(""))}));
        analyser.Add(FloatBlock({std::vector<float>(10000, std::numeric_limits<float>::infinity()),
                                 std::vector<float>(10000, -std::numeric_limits<float>::infinity())}));
        const TLosslessReport report = analyser.Finish();
        EXPECT_EQ(report.Verdict, TCheckVerdict::Silent);
        EXPECT_EQ(report.Clipping.Runs, 2u);
    }
    // Low sample rates leave a spectrum narrower than the lowest cutoff
    // searched: no cliff, and no crash (a 4 kHz FLAC once ended the program).
    for (const int rate : {4000, 6000, 8000, 11025}) {
        TLosslessAnalyser analyser(FloatStream(rate, 1));
        std::vector<float> noise(static_cast<std::size_t>(rate) * 2);
        uint32_t state = 1;
        for (float& sample : noise) {
            state = state * 1664525u + 1013904223u;
            sample = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
        }
        analyser.Add(FloatBlock({noise}));
        const TLosslessReport report = analyser.Finish();
        EXPECT_NE(report.Verdict, TCheckVerdict::NotChecked) << rate;
        EXPECT_FALSE(report.Text.empty()) << rate;
    }
    {   // no channels, no rate, no samples
        TLosslessAnalyser analyser(FloatStream(0, 0));
        analyser.Add(FloatBlock({}));
        EXPECT_FALSE(analyser.Finish().Text.empty());
    }
}

// The verdicts on real transcodes. LAME 3.100 prints its lowpass transition
// band (make.sh quotes it); the cutoff lies from 200 Hz under its lower edge
// up to its upper edge. FFmpeg's AAC and Vorbis -q3 at these bitrates have no
// printed band; `sox FILE -n spectrogram` shows both ending between 17 and
// 18 kHz. Opus codes up to 20 kHz.
TEST(LosslessCheck, TellsTranscodesFromGenuineAudio) {
    struct Case {
        const char* file;
        TCheckVerdict verdict;
        double cutoffFrom, cutoffTo;
    };
    for (const Case& c : {Case{"genuine.flac", TCheckVerdict::FullBand, 0, 0},
                          Case{"mp3-128.flac", TCheckVerdict::LossyOrigin, 16338, 17071},
                          Case{"mp3-v2.flac", TCheckVerdict::LossyOrigin, 18471, 19205},
                          Case{"mp3-320.flac", TCheckVerdict::LossyOrigin, 19894, 20627},
                          Case{"aac-128.flac", TCheckVerdict::LossyOrigin, 17000, 18000},
                          Case{"vorbis-q3.flac", TCheckVerdict::LossyOrigin, 17000, 18000},
                          Case{"opus-96.wav", TCheckVerdict::LossyOrigin, 19700, 20100}}) {
        SCOPED_TRACE(c.file);
        const TLosslessReport report = CheckLossless(Fixture(c.file));
        EXPECT_EQ(report.Error, "");
        EXPECT_EQ(report.Verdict, c.verdict) << report.Text;
        if (c.verdict == TCheckVerdict::LossyOrigin) {
            EXPECT_GE(report.Cutoff.CutoffHz, c.cutoffFrom);
            EXPECT_LE(report.Cutoff.CutoffHz, c.cutoffTo);
            EXPECT_EQ(report.Text.rfind("Lossy origin likely: cutoff ", 0), 0u) << report.Text;
        }
        EXPECT_EQ(report.Clipping.Runs, 0u);
    }
    EXPECT_EQ(CheckLossless(Fixture("mp3-128.flac")).Text,
              "Lossy origin likely: cutoff 16.6 kHz, typical of MP3 at 128 kbps or -V5; MP3 frame grid found");
    EXPECT_EQ(CheckLossless(Fixture("genuine.flac")).Text, "Full band to 22.0 kHz");
}

TEST(LosslessCheck, FindsUpsamplingAndPaddedBits) {
    const TLosslessReport up = CheckLossless(Fixture("upsampled-96k.flac"));
    EXPECT_EQ(up.Verdict, TCheckVerdict::Upsampled) << up.Text;
    EXPECT_EQ(up.UpsampledFromHz, 44100);
    EXPECT_EQ(up.Text, "Upsampled from 44.1 kHz");

    const TLosslessReport padded = CheckLossless(Fixture("padded-24.flac"));
    EXPECT_EQ(padded.Verdict, TCheckVerdict::PaddedBits) << padded.Text;
    EXPECT_EQ(padded.BitDepth.UsedBits, 16);
    EXPECT_EQ(padded.BitDepth.FileBits, 24);
    EXPECT_EQ(padded.Text, "16-bit audio in a 24-bit file");
}

TEST(LosslessCheck, ReportsProgressAndStopsWhenCancelled) {
    std::vector<double> shares;
    TCheckControl control;
    control.Progress = [&](double share) { shares.push_back(share); };
    CheckLossless(Fixture("genuine.flac"), control);
    ASSERT_FALSE(shares.empty());
    EXPECT_NEAR(shares.back(), 1.0, 1e-9);
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));

    std::atomic<bool> cancel{true};
    control.Cancel = &cancel;
    const TLosslessReport report = CheckLossless(Fixture("genuine.flac"), control);
    EXPECT_EQ(report.Verdict, TCheckVerdict::NotChecked);
    EXPECT_EQ(report.Text, "Cancelled");
}

TEST(Verdict, NamesTypicalSourcesAndJoinsSideFindings) {
    EXPECT_EQ(KiloHertzText(16000), "16.0 kHz");
    EXPECT_EQ(KiloHertzText(21849), "21.8 kHz");
    EXPECT_EQ(TypicalSourceOf(11000), "MP3 at 64 kbps or less, or a low-bitrate AAC or Vorbis");
    EXPECT_EQ(TypicalSourceOf(18700), "MP3 at 192 kbps or -V2");
    EXPECT_EQ(TypicalSourceOf(21000), "");

    TLosslessReport report;
    report.SecondsChecked = 10;
    report.Cutoff.TopHz = 21800;
    report.Cutoff.ContentHz = 21800;
    report.BitDepth = {24, 16};
    report.Clipping = {1, 5};
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::PaddedBits);
    EXPECT_EQ(report.Text, "16-bit audio in a 24-bit file; clipping: 1 run of full-scale samples");

    report.Cutoff.Found = true;
    report.Cutoff.ReachesFloor = true;
    report.Cutoff.CutoffHz = 15500;
    report.Clipping = {};
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::LossyOrigin);
    EXPECT_EQ(report.Text, "Lossy origin likely: cutoff 15.5 kHz, typical of MP3 at 96-112 kbps; "
                           "16-bit audio in a 24-bit file");

    // Under 44.1 kHz a cliff in the last tenth of the band is where both
    // encoders and resamplers end (sox's "rate -v" from 44.1 to 32 kHz: 15.4
    // kHz), and the 44.1 kHz encoders' table does not apply.
    TLosslessReport low;
    low.SecondsChecked = 10;
    low.Stream.SampleRate = 32000;
    low.Cutoff = {};
    low.Cutoff.Found = true;
    low.Cutoff.ReachesFloor = true;
    low.Cutoff.CutoffHz = 15400;
    low.Cutoff.TopHz = low.Cutoff.ContentHz = 15400;
    ComposeVerdict(low);
    EXPECT_EQ(low.Verdict, TCheckVerdict::FullBand) << low.Text;
    EXPECT_EQ(low.Text, "Full band to 15.4 kHz");
    low.Cutoff.CutoffHz = 12000;
    ComposeVerdict(low);
    EXPECT_EQ(low.Text, "Lossy origin likely: cutoff 12.0 kHz");

    TLosslessReport full;
    full.SecondsChecked = 10;
    full.Cutoff.TopHz = 21800;
    ComposeVerdict(full);
    EXPECT_EQ(full.Text, "Full band to 21.8 kHz");
    full.DamagedPackets = 2;
    full.Clipping = {3, 12};
    ComposeVerdict(full);
    EXPECT_EQ(full.Text, "Full band to 21.8 kHz; clipping: 3 runs of full-scale samples; 2 damaged packets skipped");
}

// The decoder's fuzz findings (tests/files/regressions/decode-*; the first
// byte picked the file's extension): each fails cleanly or decodes.
TEST(AudioDecoder, FuzzFindingsFailCleanly) {
    const std::filesystem::path folder = FixturePath("regressions");
    TempDir dir;
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("decode-", 0) != 0) continue;
        ++seen;
        Bytes bytes = ReadAll(entry.path().string());
        if (bytes.empty()) continue;
        bytes.erase(bytes.begin());
        const std::string path = dir.Write("input.wav", bytes);
        TAudioDecoder decoder;
        if (!decoder.Open(path)) {
            EXPECT_EQ(decoder.Error().rfind("Cannot decode: ", 0), 0u) << entry.path();
            continue;
        }
        TPcmBlock block;
        std::size_t frames = 0;
        while (frames < (1u << 22) && decoder.Read(block)) frames += block.Frames;
    }
    EXPECT_GE(seen, 1);
}

// Holes: a band above 16 kHz empty in a fifth of the busy windows while the
// band under it is loud; the same band merely quieter in every window is none.
TEST(HoleCounter, FindsBandsEmptiedInSomeWindowsOnly) {
    const double rate = 44100;
    const std::size_t bins = 2049;
    const auto window = [&](double highLevel) {
        std::vector<double> power(bins);
        for (std::size_t k = 0; k < bins; ++k) {
            const double hertz = static_cast<double>(k) * rate / 4096;
            power[k] = hertz < 16000 ? 1e-6 : highLevel;
        }
        return power;
    };
    const std::vector<double> longTerm = window(1e-7);
    const double floor = QuantisationFloorDb(16, 4096);
    THoleCounter holes(rate, bins);
    for (int i = 0; i < 100; ++i) holes.AddWindow(window(i % 5 == 0 ? 1e-13 : 1e-7));
    THolesFinding finding = holes.Finding(22050, longTerm, floor);
    EXPECT_TRUE(finding.Found);
    EXPECT_EQ(finding.FromHz, 16000);
    EXPECT_DOUBLE_EQ(finding.Fraction, 0.2);
    EXPECT_EQ(finding.BusyWindows, 100u);
    // Above the content's top there is nothing to have holes in.
    EXPECT_FALSE(holes.Finding(16000, longTerm, floor).Found);

    THoleCounter steady(rate, bins);
    for (int i = 0; i < 100; ++i) steady.AddWindow(window(1e-9));
    EXPECT_FALSE(steady.Finding(22050, longTerm, floor).Found);
    // Quiet windows (the band under 16 kHz below -80 dB) do not count.
    THoleCounter quiet(rate, bins);
    for (int i = 0; i < 100; ++i) quiet.AddWindow(std::vector<double>(bins, 1e-12));
    EXPECT_EQ(quiet.Finding(22050, longTerm, floor).BusyWindows, 0u);
}

// Upsampling: a 96 kHz file whose content ends within 7% under 24 kHz comes
// from 48 kHz; under 22.05 kHz, from 44.1 kHz; at 18 kHz it is a lossy
// encoder's cutoff, whatever the rate.
TEST(Verdict, UpsamplingIsToldByTheLowerRatesNyquistFrequency) {
    TLosslessReport report;
    report.Stream.SampleRate = 96000;
    report.SecondsChecked = 10;
    report.Cutoff.Found = true;
    report.Cutoff.ReachesFloor = true;
    for (const auto& [cutoff, text] : {std::pair{23500.0, "Upsampled from 48.0 kHz"},
                                       std::pair{21000.0, "Upsampled from 44.1 kHz"},
                                       std::pair{18000.0, "Lossy origin likely: cutoff 18.0 kHz, typical of MP3 -V3"}}) {
        report.Cutoff.CutoffHz = cutoff;
        ComposeVerdict(report);
        EXPECT_EQ(report.Text, text);
    }
    // At 44.1 kHz nothing is upsampled: the cutoff under 21 kHz is lossy, above it full band.
    report.Stream.SampleRate = 44100;
    report.Cutoff.CutoffHz = 21500;
    report.Cutoff.TopHz = 21500;
    report.Cutoff.ContentHz = 21500;
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::FullBand);
    EXPECT_EQ(report.Text, "Full band to 21.5 kHz");
    // A cliff whose top is not empty (a natural roll-off) is no lossy origin.
    report.Cutoff.CutoffHz = 20000;
    report.Cutoff.TopHz = 20000;
    report.Cutoff.ContentHz = 20000;
    report.Cutoff.ReachesFloor = false;
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::FullBand);
}

namespace {

// One window's power, as TWelchSpectrum scales it, of a 4,096-point window:
// levelAt(hertz) in dB for every bin.
template <typename Level>
std::vector<double> WindowPower(double rate, Level levelAt) {
    std::vector<double> power(2049);
    for (std::size_t k = 0; k < power.size(); ++k)
        power[k] = std::pow(10.0, levelAt(static_cast<double>(k) * rate / 4096) / 10);
    return power;
}

}  // namespace

// The 16-bit floor of a 4,096-point window is -129.4 dB per bin; loud windows
// carry -60 dB under 16 kHz (the 11-15.5 kHz band above -80 dB).
TEST(BandOccupancy, FindsWhereEachWindowsContentEnds) {
    const double floor = QuantisationFloorDb(16, 4096);
    const double rate = 48000;
    const auto upTo = [&](double edge, double level) {
        return WindowPower(rate, [=](double f) { return f < edge ? level : floor; });
    };
    {   // A lowpass at 20 kHz in every loud window; quiet windows do not count.
        TBandOccupancy occupancy(rate, 2049);
        for (int i = 0; i < 50; ++i) occupancy.AddWindow(upTo(20000, -60));
        for (int i = 0; i < 50; ++i) occupancy.AddWindow(upTo(24000, -100));
        const TOccupancyFinding finding = occupancy.Finding(floor);
        EXPECT_EQ(finding.LoudWindows, 50u);
        EXPECT_EQ(finding.SteadyEdgeHz, 20000);
        EXPECT_EQ(finding.SwitchedEdgeHz, 0);
    }
    {   // 22 kHz in 80 windows, the whole band in 20: no steady edge; switched at 22 kHz.
        TBandOccupancy occupancy(rate, 2049);
        for (int i = 0; i < 100; ++i) occupancy.AddWindow(upTo(i % 5 == 0 ? 24000 : 22000, -60));
        const TOccupancyFinding finding = occupancy.Finding(floor);
        EXPECT_EQ(finding.SteadyEdgeHz, 0);
        EXPECT_EQ(finding.SwitchedEdgeHz, 22000);
        EXPECT_DOUBLE_EQ(finding.EmptyAboveSwitchedEdge, 0.8);
        EXPECT_DOUBLE_EQ(finding.FullAboveSwitchedEdge, 0.2);
    }
    {   // 21 kHz in half the windows, the whole band in the other half: switched at 21 kHz.
        TBandOccupancy occupancy(rate, 2049);
        for (int i = 0; i < 100; ++i) occupancy.AddWindow(upTo(i % 2 == 0 ? 24000 : 21000, -60));
        const TOccupancyFinding finding = occupancy.Finding(floor);
        EXPECT_EQ(finding.SwitchedEdgeHz, 21000);
        EXPECT_DOUBLE_EQ(finding.EmptyAboveSwitchedEdge, 0.5);
        EXPECT_DOUBLE_EQ(finding.FullAboveSwitchedEdge, 0.5);
    }
    {   // The whole band in 96 windows, 20 kHz in 4: switched at 20 kHz. The
        // same with 16 kHz (an instrument sampled at 32 kHz, alone for a
        // moment) is not looked for.
        TBandOccupancy occupancy(rate, 2049);
        for (int i = 0; i < 100; ++i) occupancy.AddWindow(upTo(i % 25 == 0 ? 20000 : 24000, -60));
        const TOccupancyFinding finding = occupancy.Finding(floor);
        EXPECT_EQ(finding.SwitchedEdgeHz, 20000);
        EXPECT_DOUBLE_EQ(finding.EmptyAboveSwitchedEdge, 0.04);
        EXPECT_DOUBLE_EQ(finding.FullAboveSwitchedEdge, 0.96);
        TBandOccupancy sampled(rate, 2049);
        for (int i = 0; i < 100; ++i) sampled.AddWindow(upTo(i % 10 == 0 ? 16000 : 24000, -60));
        EXPECT_EQ(sampled.Finding(floor).SwitchedEdgeHz, 0);
    }
    {   // A steep filter: the loudest windows (1 in 10) reach 250 Hz past the
        // usual edge, never 500 Hz: nothing counts as let through.
        TBandOccupancy occupancy(rate, 2049);
        for (int i = 0; i < 100; ++i) occupancy.AddWindow(upTo(i % 10 == 0 ? 22250 : 22000, -60));
        const TOccupancyFinding finding = occupancy.Finding(floor);
        EXPECT_EQ(finding.SteadyEdgeHz, 22000);
        EXPECT_EQ(finding.SwitchedEdgeHz, 0);
    }
    {   // Dither (4.8 dB over the floor) is empty; 20 dB over it is content.
        TBandOccupancy occupancy(rate, 2049);
        for (int i = 0; i < 30; ++i)
            occupancy.AddWindow(WindowPower(rate, [&](double f) { return f < 21000 ? -60 : floor + 4.8; }));
        EXPECT_EQ(occupancy.Finding(floor).SteadyEdgeHz, 21000);
        TBandOccupancy louder(rate, 2049);
        for (int i = 0; i < 30; ++i)
            louder.AddWindow(WindowPower(rate, [&](double f) { return f < 21000 ? -60 : floor + 20; }));
        EXPECT_EQ(louder.Finding(floor).SteadyEdgeHz, 0);
    }
    {   // Too few loud windows, NaN, and a rate with no band above 15 kHz: no finding, no crash.
        TBandOccupancy occupancy(rate, 2049);
        for (int i = 0; i < 19; ++i) occupancy.AddWindow(upTo(20000, -60));
        occupancy.AddWindow(std::vector<double>(2049, std::nan("")));
        EXPECT_EQ(occupancy.Finding(floor).SteadyEdgeHz, 0);
        TBandOccupancy narrow(22050, 2049);
        narrow.AddWindow(std::vector<double>(2049, 1e-6));
        EXPECT_EQ(narrow.Finding(floor).LoudWindows, 0u);
        TBandOccupancy none(0, 0);
        none.AddWindow({});
        EXPECT_EQ(none.Finding(floor).LoudWindows, 0u);
    }
}

// A long-term cliff from 20.5 kHz up is lossy only when the band above is
// empty window by window from under 96% of 22.05 kHz (21.17 kHz): sox's
// "rate -v" leaves content to about 21.4 kHz, in 44.1 kHz audio and in 48 kHz
// audio made from it; LAME -V0 and Vorbis -q6 end at 21.0 kHz.
TEST(Verdict, HighCliffsNeedWindowByWindowEvidence) {
    TLosslessReport report;
    report.Stream.SampleRate = 44100;
    report.SecondsChecked = 10;
    report.Cutoff.Found = true;
    report.Cutoff.ReachesFloor = true;
    report.Cutoff.CutoffHz = 20900;
    report.Cutoff.TopHz = 20900;
    report.Cutoff.ContentHz = 20900;
    report.Occupancy.LoudWindows = 150;
    report.Occupancy.SteadyEdgeHz = 21500;
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::FullBand);
    EXPECT_EQ(report.Text, "Full band to 20.9 kHz");

    report.Occupancy.SteadyEdgeHz = 21000;
    ComposeVerdict(report);
    EXPECT_EQ(report.Text, "Lossy origin likely: cutoff 20.9 kHz, typical of MP3 at 320 kbps or -V0, Vorbis -q6 or Opus");
    EXPECT_EQ(report.LossyCutoffHz, 20900);
    // The same at 48 kHz; an edge at 21.5 kHz there is a 44.1 kHz source's.
    report.Stream.SampleRate = 48000;
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::LossyOrigin);
    report.Occupancy.SteadyEdgeHz = 21500;
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::FullBand);
    report.Occupancy.SteadyEdgeHz = 21000;

    // Too few loud windows to tell: not called lossy.
    report.Occupancy.LoudWindows = 19;
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::FullBand);
    // A lower cliff needs no such evidence.
    report.Cutoff.CutoffHz = 20100;
    ComposeVerdict(report);
    EXPECT_EQ(report.Verdict, TCheckVerdict::LossyOrigin);
    EXPECT_EQ(report.LossyCutoffHz, 20100);

    // No cliff; at 48 kHz the band above 22 kHz empty in 84% of 150 loud
    // windows and full in 10%: a bandwidth switched frame by frame.
    TLosslessReport switched;
    switched.Stream.SampleRate = 48000;
    switched.SecondsChecked = 10;
    switched.Cutoff.TopHz = 24000;
    switched.Cutoff.ContentHz = 24000;
    switched.Occupancy.LoudWindows = 150;
    switched.Occupancy.SwitchedEdgeHz = 22000;
    switched.Occupancy.EmptyAboveSwitchedEdge = 0.84;
    switched.Occupancy.FullAboveSwitchedEdge = 0.10;
    ComposeVerdict(switched);
    EXPECT_EQ(switched.Verdict, TCheckVerdict::LossyOrigin);
    EXPECT_EQ(switched.Text, "Lossy origin likely: cutoff 22.0 kHz in 84% of the audio, typical of AAC, Vorbis or "
                             "MP3 -V0 setting their bandwidth frame by frame");
    EXPECT_EQ(switched.LossyCutoffHz, 22000);
    // Full in 2 windows of 100: too few to tell.
    switched.Occupancy.LoudWindows = 100;
    switched.Occupancy.FullAboveSwitchedEdge = 0.02;
    ComposeVerdict(switched);
    EXPECT_EQ(switched.Verdict, TCheckVerdict::FullBand);
    // High-rate files are judged by their long-term spectrum alone.
    switched.Stream.SampleRate = 96000;
    switched.Occupancy.LoudWindows = 150;
    switched.Occupancy.FullAboveSwitchedEdge = 0.10;
    ComposeVerdict(switched);
    EXPECT_EQ(switched.Verdict, TCheckVerdict::FullBand);
}

// A sine sweep over the whole band holds one frequency per window: the band
// above it is empty, and that is no lossy encoder's hole (a sweep was once
// called "holes from 16.0 kHz in 90% of the audio").
TEST(LosslessAnalyser, ASineSweepIsFullBand) {
    const int rate = 44100;
    const double seconds = 8;
    TLosslessAnalyser analyser(FloatStream(rate, 1));
    std::vector<float> sweep(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < sweep.size(); ++i) {
        // 20 Hz to 22,050 Hz: the phase of a linear chirp.
        const double t = static_cast<double>(i) / rate;
        const double phase = 2 * std::numbers::pi * (20 * t + (22050.0 - 20) / (2 * seconds) * t * t);
        sweep[i] = static_cast<float>(0.5 * std::sin(phase));
    }
    for (std::size_t at = 0; at < sweep.size(); at += 4096) {
        const std::size_t count = std::min<std::size_t>(4096, sweep.size() - at);
        analyser.Add(FloatBlock({std::vector<float>(sweep.begin() + static_cast<std::ptrdiff_t>(at),
                                                    sweep.begin() + static_cast<std::ptrdiff_t>(at + count))}));
    }
    const TLosslessReport report = analyser.Finish();
    EXPECT_EQ(report.Verdict, TCheckVerdict::FullBand) << report.Text;
    EXPECT_FALSE(report.Holes.Found);
}

// FFmpeg's AAC encoder at 256 kbps and 48 kHz (make.sh): the band above
// 22.0 kHz is empty in most windows and carries content in some
// (bench/losslesscheck/bands.py shows it, and `sox FILE -n spectrogram`).
// The steep genuine file, 96 kHz brought down by sox's "rate -v", keeps
// content to about 21.3 kHz and must not be called lossy.
TEST(LosslessCheck, FindsSwitchedBandwidthAndLeavesSteepFiltersAlone) {
    const TLosslessReport aac = CheckLossless(Fixture("aac-256-48k.flac"));
    EXPECT_EQ(aac.Verdict, TCheckVerdict::LossyOrigin) << aac.Text;
    EXPECT_EQ(aac.LossyCutoffHz, 22000);
    EXPECT_EQ(aac.Text.rfind("Lossy origin likely: cutoff 22.0 kHz in ", 0), 0u) << aac.Text;

    // LAME -V0 at 48 kHz sets no lowpass; it drops the band from about 21 kHz
    // up from a fifth to a third of the frames (bands.py), and its long-term
    // spectrum's cliff lies above 21 kHz, where genuine filters end too.
    const TLosslessReport v0 = CheckLossless(Fixture("mp3-v0-48k.flac"));
    EXPECT_EQ(v0.Verdict, TCheckVerdict::LossyOrigin) << v0.Text;
    EXPECT_GE(v0.LossyCutoffHz, 20000);
    EXPECT_LE(v0.LossyCutoffHz, 22000);

    const TLosslessReport steep = CheckLossless(Fixture("steep-44k.flac"));
    EXPECT_EQ(steep.Verdict, TCheckVerdict::FullBand) << steep.Text;
    EXPECT_EQ(steep.Stream.SampleRate, 44100);

    // Genuine 32 kHz audio made by sox from 44.1 kHz ends at 96% of its band,
    // where LAME's lowpass at 32 kHz ends too: not lossy (it was once called
    // "cutoff 15.4 kHz, typical of MP3 at 96-112 kbps").
    const TLosslessReport low = CheckLossless(Fixture("genuine-32k.flac"));
    EXPECT_EQ(low.Verdict, TCheckVerdict::FullBand) << low.Text;
    EXPECT_EQ(low.Text, "Full band to 15.4 kHz");
}

// A few tones and nothing above them: no cliff, but nothing up high to judge
// either, so not "full band" (the samples' chord was once called "Full band to
// 21.9 kHz"). At 8 kHz the same tones fill 90% of the band and are full band.
TEST(LosslessAnalyser, ToneOnlyAudioIsNarrowBandNotFullBand) {
    const auto chord = [](int rate, std::initializer_list<double> tones) {
        TLosslessAnalyser analyser(FloatStream(rate, 1));
        std::vector<float> samples(static_cast<std::size_t>(rate * 4));
        for (std::size_t i = 0; i < samples.size(); ++i) {
            double sum = 0;
            for (double hz : tones) sum += 0.2 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
            samples[i] = static_cast<float>(sum);
        }
        analyser.Add(FloatBlock({samples}));
        return analyser.Finish();
    };
    const TLosslessReport low = chord(44100, {261.6, 329.6, 392.0});
    EXPECT_EQ(low.Verdict, TCheckVerdict::NarrowBand) << low.Text;
    EXPECT_LT(low.Cutoff.ContentHz, 2000);
    EXPECT_EQ(low.Text.rfind("Narrow band: content only to ", 0), 0u) << low.Text;

    const TLosslessReport phone = chord(8000, {500, 1500, 2500, 3500, 3900});
    EXPECT_EQ(phone.Verdict, TCheckVerdict::FullBand) << phone.Text;
}
