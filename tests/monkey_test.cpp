#include "core/Analysis.h"
#include "readers/Monkey.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct OldFields {
    uint16_t version = 3970;
    uint16_t level = 2000;
    uint16_t flags = 0;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t frames = 2;
    uint32_t finalBlocks = 1000;
    uint32_t peak = 0;
};

Bytes OldLayout(const OldFields& f, std::size_t fileSize = 4096) {
    Bytes b;
    Append(b, "MAC ");
    AppendLE16(b, f.version);
    AppendLE16(b, f.level);
    AppendLE16(b, f.flags);
    AppendLE16(b, f.channels);
    AppendLE32(b, f.sampleRate);
    AppendZeros(b, 8);   // WAV header and terminating bytes
    AppendLE32(b, f.frames);
    AppendLE32(b, f.finalBlocks);
    AppendLE32(b, f.peak);
    AppendZeros(b, fileSize - b.size());
    return b;
}

Bytes NewLayout(uint16_t version, uint16_t level, uint32_t descriptorBytes = 52, uint32_t headerBytes = 24,
                std::size_t fileSize = 100000) {
    Bytes b;
    Append(b, "MAC ");
    AppendLE16(b, version);
    AppendLE16(b, 0);
    AppendLE32(b, descriptorBytes);
    AppendLE32(b, headerBytes);
    AppendZeros(b, 20 + 16);   // seek table .. terminating bytes, MD5
    AppendZeros(b, descriptorBytes - 52);
    AppendLE16(b, level);
    AppendLE16(b, 0);        // flags
    AppendLE32(b, 73728);    // blocks per frame
    AppendLE32(b, 10000);    // blocks in the final frame
    AppendLE32(b, 3);        // total frames
    AppendLE16(b, 16);
    AppendLE16(b, 2);
    AppendLE32(b, 44100);
    AppendZeros(b, fileSize - b.size());
    return b;
}

Bytes Tags() {
    Bytes b;
    Append(b, "APETAGEX");
    AppendLE32(b, 2000);
    AppendLE32(b, 32);   // no items, footer only
    AppendZeros(b, 16);
    Append(b, "TAG");
    AppendZeros(b, 125);
    return b;
}

} // namespace

TEST(Monkey, OldLayoutBlocksPerFrameByVersionAndLevel) {
    struct Case {
        uint16_t version, level;
        uint64_t blocksPerFrame;
    } cases[] = {{3850, 2000, 9216},   {3850, 4000, 73728}, {3790, 4000, 9216},
                 {3920, 2000, 73728},  {3950, 1000, 294912},
                 {3970, 2000, 294912}, {3970, 4000, 294912}};   // 3.95 and later: 294,912
    TempDir dir;
    TMonkey r;
    for (const Case& c : cases) {
        OldFields f;
        f.version = c.version;
        f.level = c.level;
        ASSERT_TRUE(r.ReadFromFile(dir.Write("a.ape", OldLayout(f)))) << c.version;
        EXPECT_EQ(r.Samples(), c.blocksPerFrame + 1000) << c.version << " " << c.level;
    }
}

TEST(Monkey, OldLayoutValuesAndFlags) {
    TempDir dir;
    TMonkey r;
    OldFields f;
    f.version = 3850;
    f.flags = 0x24;   // CRC, peak level
    f.peak = 16384;
    ASSERT_TRUE(r.ReadFromFile(dir.Write("a.ape", OldLayout(f))));
    EXPECT_EQ(r.VersionText(), "3.85");
    EXPECT_EQ(r.CompressionText(), "Normal");
    EXPECT_EQ(r.BitsPerSample(), 16);
    EXPECT_TRUE(r.HasCRC());
    EXPECT_TRUE(r.HasPeakLevel());
    EXPECT_FALSE(r.HasSeekElements());
    EXPECT_EQ(r.PeakLevel(), 16384u);
    EXPECT_DOUBLE_EQ(r.PeakRatio(), 12.5);
    EXPECT_DOUBLE_EQ(r.Duration(), 10216 / 44100.0);
    EXPECT_DOUBLE_EQ(r.Ratio(), 4096.0 / (10216 * 4 + 44) * 100);

    f.flags = 0x11;   // 8-bit, seek elements; the peak is not flagged
    ASSERT_TRUE(r.ReadFromFile(dir.Write("b.ape", OldLayout(f))));
    EXPECT_EQ(r.BitsPerSample(), 8);
    EXPECT_TRUE(r.HasSeekElements());
    EXPECT_EQ(r.PeakLevel(), 0u);
    f.flags = 0x09;   // 8-bit and 24-bit: 24 wins
    ASSERT_TRUE(r.ReadFromFile(dir.Write("c.ape", OldLayout(f))));
    EXPECT_EQ(r.BitsPerSample(), 24);
}

TEST(Monkey, NewLayoutAndEncoderInfo) {
    TempDir dir;
    TFormatReaders readers;
    const std::string root = dir.Path().string();
    for (uint32_t descriptor : {52u, 56u}) {
        auto item = AnalyseFile(readers, root, dir.Write("a.ape", NewLayout(3990, 4000, descriptor)));
        EXPECT_EQ(item->EncoderInfo, "Monkey's Audio 3.99: Extra High");
        EXPECT_EQ(readers.Monkey.Samples(), 73728u * 2 + 10000);
        EXPECT_EQ(item->SampleRate, 44100);
        EXPECT_EQ(item->Channels, 2);
        EXPECT_EQ(item->BitsPerSample, 16);
        EXPECT_DOUBLE_EQ(item->Duration, 157456 / 44100.0);
        EXPECT_EQ(item->BitRate, 224);   // 100000 bytes over 3.57 s
        EXPECT_DOUBLE_EQ(item->Ratio, 100000.0 / (157456 * 4 + 44) * 100);
    }
    OldFields f;
    EXPECT_EQ(AnalyseFile(readers, root, dir.Write("b.mac", OldLayout(f)))->EncoderInfo,
              "Monkey's Audio 3.97: Normal");

    const std::pair<uint16_t, const char*> levels[] = {
        {0, "Unknown"},  {1000, "Fast"},       {2000, "Normal"}, {3000, "High"}, {4000, "Extra High"},
        {5000, "Insane"}, {6000, "BrainDead"}, {4500, "4500"},   {7000, "7000"}};
    for (const auto& [level, text] : levels) {
        ASSERT_TRUE(readers.Monkey.ReadFromFile(dir.Write("c.ape", NewLayout(3980, level))));
        EXPECT_EQ(readers.Monkey.CompressionText(), text);
    }
}

TEST(Monkey, TagsCountInSizeButNotInBitRate) {
    TempDir dir;
    TMonkey r;
    Bytes file = NewLayout(3990, 2000, 52, 24, 100000 - 160);
    Append(file, Tags());
    ASSERT_TRUE(r.ReadFromFile(dir.Write("a.ape", file)));
    EXPECT_EQ(r.FileSize(), 100000);
    EXPECT_DOUBLE_EQ(r.BitRate(), (100000.0 - 160) * 8 / (157456 / 44100.0 / 1000));
    EXPECT_DOUBLE_EQ(r.Ratio(), 100000.0 / (157456 * 4 + 44) * 100);
}

TEST(Monkey, RejectedHeaders) {
    TempDir dir;
    TMonkey r;
    EXPECT_FALSE(r.ReadFromFile(dir.Write("wav.ape", "RIFF....WAVEfmt ")));
    EXPECT_FALSE(r.ReadFromFile(dir / "missing.ape"));
    Bytes truncated = NewLayout(3990, 2000);
    truncated.resize(60);
    EXPECT_FALSE(r.ReadFromFile(dir.Write("short.ape", truncated)));
    // A header cut to 16 bytes leaves bits, channels and rate at 0.
    EXPECT_FALSE(r.ReadFromFile(dir.Write("h16.ape", NewLayout(3990, 2000, 52, 16))));
    EXPECT_EQ(r.CompressionText(), "Normal");
    OldFields f;
    f.sampleRate = 0;
    EXPECT_FALSE(r.ReadFromFile(dir.Write("rate0.ape", OldLayout(f))));
    EXPECT_EQ(r.Duration(), 0);
    EXPECT_EQ(r.BitRate(), 0);
    f = OldFields();
    f.frames = 0;
    EXPECT_FALSE(r.ReadFromFile(dir.Write("frames0.ape", OldLayout(f))));
}
