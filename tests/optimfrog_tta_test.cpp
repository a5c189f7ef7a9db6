#include "core/Analysis.h"
#include "readers/OptimFROG.h"
#include "readers/TTA.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

struct OfrHeader {
    uint64_t length = 2 * 44100;   // samples of all channels
    uint8_t sampleType = 2;        // 16 bits
    uint8_t channelMode = 1;       // stereo
    int32_t rate = 44100;
    uint16_t encoderId = 0x0140;
    uint8_t compressionId = 0x08;  // normal
};

Bytes OfrFile(const OfrHeader& h, std::size_t audioBytes = 20000) {
    Bytes out;
    Append(out, "OFR ");
    AppendLE32(out, 15);   // header size
    AppendLE32(out, static_cast<uint32_t>(h.length));
    AppendLE16(out, static_cast<uint32_t>(h.length >> 32));
    out.push_back(h.sampleType);
    out.push_back(h.channelMode);
    AppendLE32(out, static_cast<uint32_t>(h.rate));
    AppendLE16(out, h.encoderId);
    out.push_back(h.compressionId);
    AppendZeros(out, audioBytes);
    return out;
}

Bytes TtaFile(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t samples, std::size_t audioBytes) {
    Bytes out;
    Append(out, "TTA1");
    AppendLE16(out, 1);   // PCM
    AppendLE16(out, channels);
    AppendLE16(out, bits);
    AppendLE32(out, rate);
    AppendLE32(out, samples);
    AppendLE32(out, 0xDEADBEEF);   // CRC
    AppendZeros(out, audioBytes);
    return out;
}

} // namespace

TEST(OptimFrog, StereoHeaderGivesItsRow) {
    TempDir dir;
    const Bytes file = OfrFile({});
    const auto item = Analyse(dir.Write("normal.ofr", file));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->EncoderInfo, "OptimFROG 4.520 normal");
    EXPECT_EQ(item->FileSize, int64_t(file.size()));
    EXPECT_DOUBLE_EQ(item->Duration, 1.0);
    EXPECT_EQ(item->SampleRate, 44100);
    EXPECT_EQ(item->Channels, 2);
    EXPECT_EQ(item->BitsPerSample, 16);
    EXPECT_EQ(item->BitRate, 160);   // 20,023 bytes in one second: 160.184 kbit/s
    EXPECT_DOUBLE_EQ(item->Ratio, double(file.size()) / (44100 * 4 + 44) * 100);
}

TEST(OptimFrog, LengthIsHalvedPerHalfForStereo) {
    TempDir dir;
    TOptimFrog ofr;
    OfrHeader h;
    h.length = (uint64_t(3) << 32) | 1001;   // each half shifted on its own
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("halves.ofr", OfrFile(h))));
    EXPECT_EQ(ofr.Samples(), (int64_t(1) << 32) | 500);
    h.channelMode = 0;
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("mono.ofr", OfrFile(h))));
    EXPECT_EQ(ofr.Samples(), int64_t(h.length));
    EXPECT_EQ(ofr.Channels(), 1);
}

TEST(OptimFrog, SampleTypesGiveBitsPerSample) {
    TempDir dir;
    TOptimFrog ofr;
    const int expected[] = {8, 8, 16, 16, 24, 24, 32, 32, -32, -32, -32};
    for (uint8_t type = 0; type < 11; ++type) {
        OfrHeader h;
        h.sampleType = type;
        ASSERT_TRUE(ofr.ReadFromFile(dir.Write("type.ofr", OfrFile(h))));
        EXPECT_EQ(ofr.BitsPerSample(), expected[type]) << int(type);
        EXPECT_TRUE(ofr.Valid());
    }
    // Floating point: shown as -32 bits, the ratio uses 32.
    OfrHeader h;
    h.sampleType = 8;
    const Bytes file = OfrFile(h);
    const auto item = Analyse(dir.Write("float.ofr", file));
    EXPECT_EQ(item->BitsPerSample, -32);
    EXPECT_DOUBLE_EQ(item->Ratio, double(file.size()) / (44100 * 8 + 44) * 100);

    h.sampleType = 11;
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("eleven.ofr", OfrFile(h))));
    EXPECT_FALSE(ofr.Valid());
    EXPECT_EQ(ofr.Ratio(), 0.0);
}

TEST(OptimFrog, CompressionIdsAndVersions) {
    TempDir dir;
    TOptimFrog ofr;
    const std::pair<uint8_t, const char*> modes[] = {
        {0x00, "fast"},  {0x0F, "normal"}, {0x10, "high"},    {0x18, "extra"},    {0x20, "best"},
        {0x28, "ultra"}, {0x30, "insane"}, {0x38, "highnew"}, {0x40, "extranew"}, {0x48, "bestnew"}};
    for (const auto& [id, name] : modes) {
        OfrHeader h;
        h.compressionId = id;
        ASSERT_TRUE(ofr.ReadFromFile(dir.Write("mode.ofr", OfrFile(h))));
        EXPECT_EQ(ofr.CompressionName(), name) << int(id);
        EXPECT_TRUE(ofr.Valid());
    }
    OfrHeader h;
    h.compressionId = 0x50;
    EXPECT_EQ(Analyse(dir.Write("beyond.ofr", OfrFile(h)))->EncoderInfo, kNotScannedText);

    h = {};
    h.encoderId = 0;
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("v.ofr", OfrFile(h))));
    EXPECT_EQ(ofr.VersionText(), "4.500");
    h.encoderId = 0xFFFF;   // (4095 + 4500) / 1000
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("v.ofr", OfrFile(h))));
    EXPECT_EQ(ofr.VersionText(), "8.595");
}

TEST(OptimFrog, OutOfRangeFieldsAndEmptyStreams) {
    TempDir dir;
    TOptimFrog ofr;
    OfrHeader h;
    h.channelMode = 2;
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("three.ofr", OfrFile(h))));
    EXPECT_FALSE(ofr.Valid());
    // A mode byte of 255 is no shift count: no samples, no duration.
    h.channelMode = 255;
    h.length = 0x80000000u;
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("mode255.ofr", OfrFile(h))));
    EXPECT_FALSE(ofr.Valid());
    EXPECT_EQ(ofr.Samples(), 0);
    EXPECT_EQ(ofr.Duration(), 0.0);

    h = {};
    h.rate = -44100;
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("negative.ofr", OfrFile(h))));
    EXPECT_FALSE(ofr.Valid());
    EXPECT_EQ(ofr.Duration(), 0.0);
    EXPECT_EQ(ofr.BitRate(), 0);

    h = {};
    h.length = 0;   // no samples: no division by zero
    ASSERT_TRUE(ofr.ReadFromFile(dir.Write("empty.ofr", OfrFile(h))));
    EXPECT_TRUE(ofr.Valid());
    EXPECT_EQ(ofr.BitRate(), 0);
    EXPECT_EQ(ofr.Duration(), 0.0);

    EXPECT_FALSE(ofr.ReadFromFile(dir.Write("text.ofr", "OFR")));
    EXPECT_FALSE(ofr.ReadFromFile(dir.Write("wave.ofr", "RIFF....WAVEfmt ")));
    EXPECT_FALSE(ofr.Valid());
}

TEST(TTA, EncoderFileGivesItsRow) {
    // ffmpeg's encoder; rate, channels and length agree with ffprobe.
    const auto item = Analyse(FixturePath("xiph/tta-stereo.tta"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->EncoderInfo, "True Audio");
    EXPECT_EQ(item->FileSize, 32719);
    EXPECT_DOUBLE_EQ(item->Duration, 1.0);
    EXPECT_EQ(item->SampleRate, 44100);
    EXPECT_EQ(item->Channels, 2);
    EXPECT_EQ(item->BitsPerSample, 16);
    EXPECT_EQ(item->BitRate, 262);   // 261.752
    EXPECT_DOUBLE_EQ(item->Ratio, 32719.0 / (44100 * 4 + 44) * 100);

    TTTA tta;
    ASSERT_TRUE(tta.ReadFromFile(FixturePath("xiph/tta-stereo.tta")));
    EXPECT_EQ(tta.AudioFormat(), 1);
    EXPECT_EQ(tta.Samples(), 44100u);
}

TEST(TTA, TrailingTagCountsInSizeAndBitRate) {
    TempDir dir;
    Bytes file = TtaFile(1, 24, 48000, 24000, 10000);
    Append(file, "APETAGEX");
    AppendZeros(file, 1992);   // 2,000 bytes of trailing tag
    TTTA tta;
    ASSERT_TRUE(tta.ReadFromFile(dir.Write("tagged.tta", file)));
    EXPECT_TRUE(tta.Valid());
    EXPECT_EQ(tta.FileSize(), 12022);
    EXPECT_DOUBLE_EQ(tta.Duration(), 0.5);
    EXPECT_DOUBLE_EQ(tta.BitRate(), 12022 * 8 / 0.5 / 1000);
    EXPECT_DOUBLE_EQ(tta.Ratio(), 12022 / (24000 * 3.0 + 44) * 100);
}

TEST(TTA, HeaderWithoutSamplesOrRateIsNotValid) {
    TempDir dir;
    TTTA tta;
    ASSERT_TRUE(tta.ReadFromFile(dir.Write("norate.tta", TtaFile(2, 16, 0, 44100, 100))));
    EXPECT_FALSE(tta.Valid());
    EXPECT_EQ(tta.BitRate(), 0.0);
    EXPECT_EQ(tta.Duration(), 0.0);
    EXPECT_EQ(tta.Ratio(), 0.0);
    ASSERT_TRUE(tta.ReadFromFile(dir.Write("nosamples.tta", TtaFile(2, 16, 44100, 0, 100))));
    EXPECT_FALSE(tta.Valid());
    EXPECT_EQ(Analyse(dir / "nosamples.tta")->EncoderInfo, kNotScannedText);

    // A header cut after the marker: the missing fields read as zero.
    ASSERT_TRUE(tta.ReadFromFile(dir.Write("cut.tta", Bytes{'T', 'T', 'A', '1', 1, 0, 2})));
    EXPECT_EQ(tta.Channels(), 2);   // low byte present, high byte zero
    EXPECT_EQ(tta.SampleRate(), 0u);
    EXPECT_FALSE(tta.Valid());

    EXPECT_FALSE(tta.ReadFromFile(dir.Write("short.tta", "TTA")));
    EXPECT_FALSE(tta.ReadFromFile(dir.Write("other.tta", "TTA2 and the rest")));
    EXPECT_FALSE(tta.Valid());
}

TEST(OptimFrogAndTTA, HeadersBehindID3v2TagAreFound) {
    TempDir dir;
    // The 1,024-byte ID3v2.3 tag in front of the FLAC test file.
    Bytes tag = ReadAll(FixturePath("xiph/flac-id3v2.flac"));
    tag.resize(1024);

    Bytes tta = tag;
    Append(tta, TtaFile(2, 16, 44100, 44100, 5000));
    const auto ttaItem = Analyse(dir.Write("tagged.tta", tta));
    ASSERT_TRUE(ttaItem);
    EXPECT_EQ(ttaItem->EncoderInfo, "True Audio");
    EXPECT_EQ(ttaItem->FileSize, int64_t(tta.size()));
    EXPECT_EQ(ttaItem->BitRate, 48);   // tag bytes count: 6,046 bytes in one second

    Bytes ofr = tag;
    Append(ofr, OfrFile({}));
    const auto ofrItem = Analyse(dir.Write("tagged.ofr", ofr));
    ASSERT_TRUE(ofrItem);
    EXPECT_EQ(ofrItem->EncoderInfo, "OptimFROG 4.520 normal");
    EXPECT_EQ(ofrItem->BitRate, 168);   // 21,047 bytes in one second
}

TEST(TTA, WidestChannelsAndBitsDoNotOverflowTheRatio) {
    // The 22-byte header alone, as a folder scan meets it: 65535 channels of
    // 65535 bits, one sample at 1 Hz. Its seek table is missing: it was cut.
    const auto item = Analyse(FixturePath("regressions/tta-channels-times-bits.tta"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->Channels, 65535);
    EXPECT_EQ(item->BitsPerSample, 65535);
    EXPECT_EQ(HealthText(item->Health), "Truncated: 00:00 of 00:01");
    // With the one-frame seek table (a frame of 0 bytes) and its CRC the file
    // is whole: 30 bytes against PCM of 65535 * 65535 / 8 + 44 bytes.
    TempDir dir;
    Bytes whole = ReadAll(FixturePath("regressions/tta-channels-times-bits.tta"));
    whole.resize(whole.size() + 8);
    const auto wholeItem = Analyse(dir.Write("whole.tta", whole));
    ASSERT_TRUE(wholeItem);
    EXPECT_EQ(HealthText(wholeItem->Health), "OK");
    EXPECT_NEAR(wholeItem->Ratio, 30 / 536854572.125 * 100, 1e-12);
}
