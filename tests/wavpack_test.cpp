#include "core/Analysis.h"
#include "io/Errors.h"
#include "readers/WAVPackFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace {

// A version 4 block header followed by the given metadata sub-blocks.
Bytes Block(uint32_t flags, uint32_t totalSamples = 44100, const Bytes& subBlocks = {}) {
    Bytes b;
    Append(b, "wvpk");
    AppendLE32(b, 24 + static_cast<uint32_t>(subBlocks.size()));
    AppendLE16(b, 0x410);
    AppendZeros(b, 2);
    AppendLE32(b, totalSamples);
    AppendLE32(b, 0);      // block index
    AppendLE32(b, 22050);  // block samples
    AppendLE32(b, flags);
    AppendLE32(b, 0);      // CRC
    Append(b, subBlocks);
    return b;
}

constexpr uint32_t kRate44100 = 9u << 23;

Bytes Configuration(uint8_t c0, uint8_t c2) { return {0x25, 2, c0, 0, c2, 0}; }

// A RIFF WAVE file whose "data" chunk starts with an old WavPack header.
Bytes OldFile(uint16_t bits, uint16_t flags, uint32_t sampleRate = 44100, bool wavpackHeader = true) {
    Bytes b;
    Append(b, "RIFF");
    AppendLE32(b, 0);
    Append(b, "WAVEfmt ");
    AppendLE32(b, 16);
    AppendLE16(b, 1);            // PCM
    AppendLE16(b, 2);
    AppendLE32(b, sampleRate);
    AppendLE32(b, 176400);       // bytes per second
    AppendLE16(b, 4);
    AppendLE16(b, 16);
    Append(b, "data");
    AppendLE32(b, 176400);
    if (wavpackHeader) {
        Append(b, "wvpk");
        AppendLE32(b, 28);       // chunk size
        AppendLE16(b, 3);        // version
        AppendLE16(b, bits);
        AppendLE16(b, flags);
        AppendLE16(b, 0);        // shift
        AppendLE32(b, 88200);    // total samples
        AppendZeros(b, 16);      // CRCs, extension, extras
    }
    AppendZeros(b, 20000 - b.size());
    return b;
}

} // namespace

TEST(WavPack, RealFilesFromTheEncoder) {
    struct Case {
        const char* file;
        const char* encoderInfo;
        int32_t sampleRate, channels, bits;
        int32_t bitRate;   // kbit/s: size x 8 / 1000 over one second
        double ratio;      // size / (rate x channels x bits / 8 + 44) x 100
    } cases[] = {
        {"wv-fast.wv", "WavPack4 lossless fast", 44100, 2, 16, 425, 30.0866},
        {"wv-normal.wv", "WavPack4 lossless normal", 44100, 2, 16, 440, 31.1430},
        {"wv-high.wv", "WavPack4 lossless high", 44100, 2, 16, 444, 31.4525},
        {"wv-veryhigh.wv", "WavPack4 lossless very high", 44100, 2, 16, 438, 31.0081},
        {"wv-extra.wv", "WavPack4 lossless normal, extra", 44100, 2, 16, 409, 28.9780},
        {"wv-high-extra.wv", "WavPack4 lossless high, extra", 44100, 2, 16, 369, 26.1647},
        {"wv-hybrid.wv", "WavPack4 hybrid lossy normal", 44100, 2, 16, 294, 20.8417},
        {"wv-mono24.wv", "WavPack4 lossless normal", 48000, 1, 24, 676, 58.7001},
    };
    TFormatReaders readers;
    for (const Case& c : cases) {
        const std::string path = FixturePath(std::string("lossless/") + c.file);
        auto item = AnalyseFile(readers, "/", path);
        EXPECT_EQ(item->EncoderInfo, c.encoderInfo) << c.file;
        EXPECT_EQ(item->SampleRate, c.sampleRate) << c.file;
        EXPECT_EQ(item->Channels, c.channels) << c.file;
        EXPECT_EQ(item->BitsPerSample, c.bits) << c.file;
        EXPECT_DOUBLE_EQ(item->Duration, 1.0) << c.file;
        const double size = static_cast<double>(ReadAll(path).size());
        EXPECT_EQ(item->FileSize, static_cast<int64_t>(size));
        EXPECT_EQ(item->BitRate, c.bitRate) << c.file;
        EXPECT_NEAR(item->Ratio, c.ratio, 0.0001) << c.file;
        EXPECT_EQ(readers.WAVPackfile.Samples(), static_cast<uint64_t>(c.sampleRate));
    }
}

TEST(WavPack, Version4BlockFlagsAndConfiguration) {
    TempDir dir;
    TWAVPackfile r;
    // Hybrid, mono, 3 bytes per sample, rate index 15 (means 44100), no
    // configuration sub-block.
    ASSERT_TRUE(r.ReadFromFile(dir.Write("a.wv", Block(0x8 | 0x4 | 0x2 | 15u << 23))));
    ASSERT_TRUE(r.Valid());
    EXPECT_EQ(r.Version(), 4);
    EXPECT_EQ(r.ModeText(), "hybrid lossy");
    EXPECT_EQ(r.Channels(), 1);
    EXPECT_EQ(r.BitsPerSample(), 24);
    EXPECT_EQ(r.SampleRate(), 44100);
    EXPECT_EQ(r.BlockSamples(), 22050u);

    // Other sub-blocks (small and large word counts) are skipped; the mode
    // comes from the configuration sub-block.
    Bytes subBlocks = {0x21, 1, 0xFF, 0xFF, 0x8A, 2, 0, 0, 1, 2, 3, 4};
    Append(subBlocks, Configuration(0x06, 0x02));
    ASSERT_TRUE(r.ReadFromFile(dir.Write("b.wv", Block(kRate44100, 44100, subBlocks))));
    EXPECT_EQ(r.ModeText(), "lossless very fast, extra");
    ASSERT_TRUE(r.ReadFromFile(dir.Write("c.wv", Block(kRate44100, 44100, Configuration(0x0B, 0x03)))));
    EXPECT_EQ(r.ModeText(), "lossless");

    // The APE tag is left out of the bitrate.
    Bytes tagged = Block(kRate44100, 88200);
    AppendZeros(tagged, 1000 - tagged.size());
    Append(tagged, "APETAGEX");
    AppendLE32(tagged, 2000);
    AppendLE32(tagged, 32);
    AppendZeros(tagged, 16);
    ASSERT_TRUE(r.ReadFromFile(dir.Write("t.wv", tagged)));
    EXPECT_EQ(r.TagSize(), 32);
    EXPECT_DOUBLE_EQ(r.BitRate(), 1000.0 * 8 / 2 / 1000);
    EXPECT_DOUBLE_EQ(r.Ratio(), 1032.0 / (88200 * 2 + 44) * 100);   // stereo, 8 bits

    // A total sample count of 0xFFFFFFFF means "unknown": the last block
    // tells (here the only one: index 0 and 22050 samples).
    ASSERT_TRUE(r.ReadFromFile(dir.Write("d.wv", Block(kRate44100, 0xFFFFFFFF))));
    EXPECT_TRUE(r.Valid());
    EXPECT_EQ(r.Samples(), 22050u);
    EXPECT_TRUE(r.SamplesFromLastBlock());
    EXPECT_DOUBLE_EQ(r.Duration(), 0.5);

    // Without any block that ends inside the file there is no length.
    Bytes cut = Block(kRate44100, 0xFFFFFFFF);
    cut[4] = 0xFF;   // block size beyond the file
    ASSERT_TRUE(r.ReadFromFile(dir.Write("e.wv", cut)));
    EXPECT_EQ(r.Samples(), 0u);
    EXPECT_EQ(r.Duration(), 0);
    EXPECT_EQ(r.BitRate(), 0);
}

TEST(WavPack, SubBlocksStayInsideTheirBlock) {
    TempDir dir;
    TWAVPackfile r;
    // A configuration-like byte run after the end of the block (as in the
    // audio of the next block or a tag) is not read as a mode.
    Bytes file = Block(kRate44100, 44100, {0x02, 1, 0xAA, 0xBB});
    Append(file, Configuration(0x08, 0x02));
    ASSERT_TRUE(r.ReadFromFile(dir.Write("a.wv", file)));
    EXPECT_EQ(r.ModeText(), "lossless");

    // A sub-block that claims to run past its block ends the walk.
    Bytes over = Block(kRate44100, 44100, {0x03, 0x40, 0, 0});
    Append(over, Configuration(0x08, 0));
    ASSERT_TRUE(r.ReadFromFile(dir.Write("b.wv", over)));
    EXPECT_EQ(r.ModeText(), "lossless");

    // Channel info: a count byte and a mask; the long form for more than
    // 255 channels holds channels - 1 in 12 bits (0x12B + 1 = 300).
    ASSERT_TRUE(r.ReadFromFile(dir.Write("c.wv", Block(kRate44100 | 0x4, 44100, {0x0D, 1, 3, 0x0B}))));
    EXPECT_EQ(r.Channels(), 3);
    ASSERT_TRUE(r.ReadFromFile(dir.Write("d.wv", Block(kRate44100, 44100, {0x0D, 3, 0x2B, 0x2B, 0x11, 0, 0, 0}))));
    EXPECT_EQ(r.Channels(), 300);

    // Rate index 15 with a sample-rate sub-block (3 bytes, odd size flag).
    ASSERT_TRUE(r.ReadFromFile(dir.Write("e.wv", Block(15u << 23, 44100, {0x67, 2, 0x44, 0xAC, 0x00, 0}))));
    EXPECT_EQ(r.SampleRate(), 44100);
    ASSERT_TRUE(r.ReadFromFile(dir.Write("f.wv", Block(15u << 23, 37800, {0x67, 2, 0xA8, 0x93, 0x00, 0}))));
    EXPECT_EQ(r.SampleRate(), 37800);
    EXPECT_DOUBLE_EQ(r.Duration(), 1.0);
}

TEST(WavPack, NewerEncoderFiles) {
    // Length, rate and channels as ffprobe gives them (for DSD ffprobe
    // counts bytes of 8 one-bit samples: 352800 Hz; wvunpack and mediainfo
    // give the DSD rate, 2822400 Hz).
    struct Case {
        const char* file;
        const char* encoderInfo;
        int32_t sampleRate, channels, bits;
        double duration;
        int32_t bitRate;
    } cases[] = {
        {"wv-5.1.wv", "WavPack4 lossless normal", 8000, 6, 16, 0.5, 349},        // 21784 bytes
        {"wv-streamed.wv", "WavPack4 lossless normal", 8000, 2, 16, 1.5, 126},   // 23644 bytes
        {"wv-37800.wv", "WavPack4 lossless normal", 37800, 1, 16, 0.3, 172},     // 6462 bytes
        {"wv-dsd64.wv", "WavPack4 lossless normal", 2822400, 1, 1, 0.1, 1012},   // 12654 bytes
        {"wv-ffmpeg.wv", "WavPack4 lossless", 8000, 1, 16, 0.5, 60},             // 3805 bytes, 93 of them tag
    };
    TFormatReaders readers;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto item = AnalyseFile(readers, "/", FixturePath(std::string("lossless/") + c.file));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->EncoderInfo, c.encoderInfo);
        EXPECT_EQ(item->SampleRate, c.sampleRate);
        EXPECT_EQ(item->Channels, c.channels);
        EXPECT_EQ(item->BitsPerSample, c.bits);
        EXPECT_DOUBLE_EQ(item->Duration, c.duration);
        EXPECT_EQ(item->BitRate, c.bitRate);
    }
    TWAVPackfile r;
    ASSERT_TRUE(r.ReadFromFile(FixturePath("lossless/wv-streamed.wv")));
    EXPECT_TRUE(r.SamplesFromLastBlock());
    EXPECT_EQ(r.Samples(), 12000u);   // three blocks of 4000
    ASSERT_TRUE(r.ReadFromFile(FixturePath("lossless/wv-dsd64.wv")));
    EXPECT_TRUE(r.IsDSD());
    EXPECT_EQ(r.Samples(), 282240u);   // 0.1 s at 2822400 Hz
    EXPECT_NEAR(r.Ratio(), 12654.0 / (282240 / 8 + 44) * 100, 1e-9);   // against 1-bit PCM
}

TEST(WavPack, LabelledModesAgreeWithWvunpack) {
    std::ifstream labels(FixturePath("wavpack-modes/labels.tsv"));
    ASSERT_TRUE(labels);
    std::string line;
    std::getline(labels, line);   // captions
    TFormatReaders readers;
    int files = 0;
    while (std::getline(labels, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        ASSERT_EQ(cells.size(), 4u) << line;
        const std::string& expected = cells[2];
        const std::string& modalities = cells[3];
        SCOPED_TRACE(cells[0] + " (" + cells[1] + "): " + modalities);
        auto item = AnalyseFile(readers, "/", FixturePath("wavpack-modes/" + cells[0]));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->EncoderInfo, expected);
        // The label says what wvunpack says: the kind, the mode, extra.
        const auto has = [](const std::string& text, const char* word) { return text.find(word) != std::string::npos; };
        EXPECT_EQ(has(expected, "hybrid lossy"), has(modalities, "hybrid lossy"));
        EXPECT_EQ(has(expected, "very high"), has(modalities, "very high"));
        EXPECT_EQ(has(expected, " high"), has(modalities, " high"));
        EXPECT_EQ(has(expected, "fast"), has(modalities, "fast"));
        EXPECT_EQ(has(expected, "extra"), has(modalities, "extra-"));
        ++files;
    }
    EXPECT_EQ(files, 36);
}

TEST(WavPack, SelfExtractingArchives) {
    TempDir dir;
    TWAVPackfile r;
    Bytes sfx;
    Append(sfx, "MZP");
    AppendZeros(sfx, 100);
    Append(sfx, "kwvpk");   // follows a "k": not found
    AppendZeros(sfx, 3);
    Append(sfx, Block(kRate44100 | 0x4, 44100, Configuration(0x08, 0)));
    ASSERT_TRUE(r.ReadFromFile(dir.Write("a.wv", sfx)));
    EXPECT_EQ(r.ModeText(), "lossless high, sfx");
    EXPECT_EQ(r.Channels(), 1);

    Bytes late;
    Append(late, "MZP");
    AppendZeros(late, 0x20000);
    Append(late, Block(kRate44100));
    EXPECT_FALSE(r.ReadFromFile(dir.Write("b.wv", late)));
    EXPECT_FALSE(r.Valid());
    EXPECT_FALSE(r.ReadFromFile(dir.Write("c.wv", std::string_view("MZ\x90\0wvpk", 8))));
    EXPECT_FALSE(r.ReadFromFile(dir.Write("d.wv", "fLaC")));
    EXPECT_THROW(r.ReadFromFile(dir / "missing.wv"), EFOpenError);
}

TEST(WavPack, OldFilesInRiff) {
    struct Case {
        uint16_t bits, flags;
        const char* modeText;
        int32_t channels;
    } cases[] = {
        {0, 0x0000, "lossless (fast mode)", 2},  {0, 0x8010, "lossless (high mode)", 2},
        {0, 0x0011, "lossless", 1},              {5, 0x0010, "8-bit lossy high", 2},
        {5, 0x0002, "8-bit lossy fast", 2},      {9, 0x0000, "12-bit lossy", 2},
        {5, 0x0480, "hybrid lossless", 2},       {5, 0x8400, "hybrid lossy (high)", 2},
    };
    TempDir dir;
    TFormatReaders readers;
    TWAVPackfile& r = readers.WAVPackfile;
    for (const Case& c : cases) {
        auto item = AnalyseFile(readers, "/", dir.Write("a.wv", OldFile(c.bits, c.flags)));
        EXPECT_EQ(r.ModeText(), c.modeText);
        EXPECT_EQ(item->EncoderInfo, std::string("WavPack3 ") + c.modeText);
        EXPECT_EQ(item->Channels, c.channels);
    }
    EXPECT_EQ(r.FormatTag(), 1u);
    EXPECT_EQ(r.Samples(), 88200u);
    EXPECT_DOUBLE_EQ(r.Duration(), 2.0);
    EXPECT_DOUBLE_EQ(r.BitRate(), (20000.0 - 28) * 8 / 2000);

    // Without a sample rate the old reader assumes 44100.
    ASSERT_TRUE(r.ReadFromFile(dir.Write("b.wv", OldFile(0, 0x10, 0))));
    EXPECT_EQ(r.SampleRate(), 44100);

    // A "data" chunk without a WavPack header: the PCM values of the format chunk.
    ASSERT_TRUE(r.ReadFromFile(dir.Write("c.wv", OldFile(0, 0, 44100, false))));
    EXPECT_TRUE(r.Valid());
    EXPECT_EQ(r.ModeText(), "");
    EXPECT_EQ(r.Samples(), 0u);
    EXPECT_DOUBLE_EQ(r.BitRate(), 176400 / 125.0);

    Bytes noFormat;
    Append(noFormat, std::string_view("RIFF\0\0\0\0WAVEdata", 16));
    AppendLE32(noFormat, 100);
    AppendZeros(noFormat, 100);
    EXPECT_FALSE(r.ReadFromFile(dir.Write("d.wv", noFormat)));
    EXPECT_FALSE(r.Valid());
}
