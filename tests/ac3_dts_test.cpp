#include "core/Analysis.h"
#include "io/Errors.h"
#include "readers/AC3.h"
#include "readers/DTS.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// AC-3 start: sync word, CRC, fscod/frmsizecod byte, bsid/bsmod byte, acmod byte.
Bytes Ac3Header(unsigned char rateByte, unsigned char modeByte) {
    return Bytes{0x0B, 0x77, 0x12, 0x34, rateByte, 0x40, modeByte, 0x00};
}

// Writes value into n bits at bit position pos (0 = top bit of byte 0).
void PutBits(Bytes& bytes, int pos, int n, unsigned value) {
    for (int k = 0; k < n; ++k) {
        const int bit = pos + k;
        const auto mask = static_cast<unsigned char>(0x80 >> (bit % 8));
        if ((value >> (n - 1 - k)) & 1) bytes[bit / 8] |= mask;
        else bytes[bit / 8] &= static_cast<unsigned char>(~mask);
    }
}

// DTS core header with the fields the reader uses; PCMR is written both where
// it lies with the header CRC (bit 111) and without it (bit 95).
Bytes DtsHeader(unsigned amode, unsigned sfreq, unsigned rate, bool crc = false, unsigned pcmrAt95 = 0,
                unsigned pcmrAt111 = 0) {
    Bytes h = {0x7F, 0xFE, 0x80, 0x01};
    AppendZeros(h, 12);
    PutBits(h, 32, 1, 1);            // FTYPE
    PutBits(h, 33, 5, 31);           // SHORT
    PutBits(h, 38, 1, crc ? 1 : 0);  // CPF
    PutBits(h, 60, 6, amode);
    PutBits(h, 66, 4, sfreq);
    PutBits(h, 70, 5, rate);
    PutBits(h, 95, 3, pcmrAt95);
    PutBits(h, 111, 3, pcmrAt111);
    return h;
}

// A file of exactly size bytes starting with header (the rest is sparse).
std::string Sized(const TempDir& dir, const std::string& name, const Bytes& header, uint64_t size) {
    const std::string path = dir.Write(name, header);
    std::filesystem::resize_file(path, size);
    return path;
}

} // namespace

TEST(AC3, RealFilesFromFfmpeg) {
    struct Case {
        const char* file;
        int32_t rate;
        int32_t channels;   // without LFE
        uint16_t kbps;
    };
    const Case cases[] = {
        {"ffmpeg-mono-32k-64.ac3", 32000, 1, 64},
        {"ffmpeg-stereo-44k-192.ac3", 44100, 2, 192},
        {"ffmpeg-3ch-32k-96.ac3", 32000, 3, 96},
        {"ffmpeg-quad-48k-256.ac3", 48000, 4, 256},
        {"ffmpeg-51-48k-448.ac3", 48000, 5, 448},
    };
    TAC3 ac3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = FixturePath(std::string("wavaiff/") + c.file);
        ASSERT_TRUE(ac3.ReadFromFile(path));
        ASSERT_TRUE(ac3.Valid());
        const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
        EXPECT_EQ(ac3.FileSize(), size);
        EXPECT_EQ(ac3.SampleRate(), c.rate);
        EXPECT_EQ(ac3.Channels(), c.channels);
        EXPECT_EQ(ac3.BitsPerSample(), 16);
        EXPECT_EQ(ac3.BitRate(), c.kbps);
        EXPECT_DOUBLE_EQ(ac3.Duration(), size * 8 / 1000.0 / c.kbps);
        EXPECT_DOUBLE_EQ(ac3.Ratio(), size / (c.rate * ac3.Duration() * c.channels * 2 + 44) * 100);
    }
    TFormatReaders readers;
    TAudioItem item;
    item.FullPath = FixturePath("wavaiff/ffmpeg-51-48k-448.ac3");
    item.FileType = "AC3";
    FillFromReader(readers, item);
    EXPECT_EQ(item.Channels, 5);
    EXPECT_EQ(item.BitRate, 448);
    EXPECT_DOUBLE_EQ(item.Duration, 0.224);
    EXPECT_EQ(item.EncoderInfo, "AC-3 ATSC A/52");
}

TEST(AC3, HeaderFieldsAndUnusualCodes) {
    TempDir dir;
    TAC3 ac3;
    // 1C: 48 kHz, frame-size code 28 (384 kbit/s); F0: acmod 7, 3/2.
    ASSERT_TRUE(ac3.ReadFromFile(dir.Write("a.ac3", Ac3Header(0x1C, 0xF0))));
    EXPECT_EQ(ac3.SampleRate(), 48000);
    EXPECT_EQ(ac3.BitRate(), 384);
    EXPECT_EQ(ac3.Channels(), 5);
    // 56,000,000 bytes at 448 kbit/s: 1000 s.
    ASSERT_TRUE(ac3.ReadFromFile(Sized(dir, "b.ac3", Ac3Header(0x1E, 0xE0), 56000000)));
    EXPECT_EQ(ac3.FileSize(), 56000000);
    EXPECT_DOUBLE_EQ(ac3.Duration(), 1000);
    // Channels by acmod; 1+1 dual mono counts 2.
    const int32_t channels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    for (unsigned acmod = 0; acmod < 8; ++acmod) {
        ASSERT_TRUE(ac3.ReadFromFile(dir.Write("m.ac3", Ac3Header(0x40, static_cast<unsigned char>(acmod << 5)))));
        EXPECT_EQ(ac3.Channels(), channels[acmod]) << acmod;
        EXPECT_EQ(ac3.SampleRate(), 44100);
    }
    // Reserved frame-size code 38 and fscod 3: no bitrate, no rate, no time.
    ASSERT_TRUE(ac3.ReadFromFile(dir.Write("r.ac3", Ac3Header(0xE6, 0x40))));
    EXPECT_EQ(ac3.BitRate(), 0);
    EXPECT_EQ(ac3.SampleRate(), 0);
    EXPECT_DOUBLE_EQ(ac3.Duration(), 0);
    EXPECT_DOUBLE_EQ(ac3.Ratio(), 8 / 44.0 * 100);
    // Only the sync word: the missing bytes read as zero.
    ASSERT_TRUE(ac3.ReadFromFile(dir.Write("s.ac3", Bytes{0x0B, 0x77})));
    EXPECT_EQ(ac3.SampleRate(), 48000);
    EXPECT_EQ(ac3.BitRate(), 32);
    EXPECT_EQ(ac3.Channels(), 2);
    // No sync word at byte 0: false, and nothing of the previous file kept.
    for (const Bytes& bad : {Bytes{0x0B}, Bytes{0x77, 0x0B, 0, 0, 0x1C}, Bytes{0x00, 0x0B, 0x77, 0, 0, 0x1C, 0, 0}}) {
        EXPECT_FALSE(ac3.ReadFromFile(dir.Write("x.ac3", bad)));
        EXPECT_FALSE(ac3.Valid());
        EXPECT_EQ(ac3.FileSize(), 0);
        EXPECT_DOUBLE_EQ(ac3.Ratio(), 0);
    }
    EXPECT_THROW(ac3.ReadFromFile(dir / "missing.ac3"), EFOpenError);
}

TEST(DTS, RealFilesFromFfmpeg) {
    struct Case {
        const char* file;
        int32_t rate;
        int32_t channels;   // without LFE
        int32_t kbps;
        double exactKbps;
    };
    const Case cases[] = {
        {"ffmpeg-stereo-48k.dts", 48000, 2, 1411, 1411},
        {"ffmpeg-mono-44k-768.dts", 44100, 1, 768, 754.5},
        {"ffmpeg-51-48k.dts", 48000, 5, 1411, 1411},
        {"ffmpeg-quad-32k-512.dts", 32000, 4, 512, 512},
    };
    TDTS dts;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = FixturePath(std::string("wavaiff/") + c.file);
        ASSERT_TRUE(dts.ReadFromFile(path));
        ASSERT_TRUE(dts.Valid());
        const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
        EXPECT_EQ(dts.FileSize(), size);
        EXPECT_EQ(dts.SampleRate(), c.rate);
        EXPECT_EQ(dts.Channels(), c.channels);
        EXPECT_EQ(dts.BitsPerSample(), 16);
        EXPECT_EQ(dts.BitRate(), c.kbps);
        EXPECT_DOUBLE_EQ(dts.ExactBitRate(), c.exactKbps);
        EXPECT_DOUBLE_EQ(dts.Duration(), size * 8 / 1000.0 / c.exactKbps);
        EXPECT_DOUBLE_EQ(dts.Ratio(), size / (c.rate * dts.Duration() * c.channels * 2 + 44) * 100);
    }
    TFormatReaders readers;
    TAudioItem item;
    item.FullPath = FixturePath("wavaiff/ffmpeg-mono-44k-768.dts");
    item.FileType = "DTS";
    FillFromReader(readers, item);
    EXPECT_EQ(item.BitRate, 768);
    EXPECT_DOUBLE_EQ(item.Duration, 10044 * 8 / 1000.0 / 754.5);
    EXPECT_EQ(item.EncoderInfo, "DTS");
}

TEST(DTS, ChannelArrangementsAndSampleRates) {
    TempDir dir;
    TDTS dts;
    const int32_t channels[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
    for (unsigned amode = 0; amode < 64; ++amode) {
        ASSERT_TRUE(dts.ReadFromFile(dir.Write("a.dts", DtsHeader(amode, 13, 0))));
        EXPECT_EQ(dts.Channels(), amode < 16 ? channels[amode] : 0) << amode;
        EXPECT_EQ(dts.SampleRate(), 48000);
    }
    const int32_t rates[16] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050, 44100, 0, 0, 12000, 24000, 48000, 0, 0};
    for (unsigned sfreq = 0; sfreq < 16; ++sfreq) {
        ASSERT_TRUE(dts.ReadFromFile(dir.Write("f.dts", DtsHeader(63, sfreq, 31))));
        EXPECT_EQ(dts.SampleRate(), rates[sfreq]) << sfreq;
        EXPECT_EQ(dts.BitRate(), 1);
        EXPECT_EQ(dts.Channels(), 0);
    }
}

TEST(DTS, RateCodesAndResolution) {
    TempDir dir;
    TDTS dts;
    struct Rate {
        unsigned code;
        int32_t shown;
        double exact;
        double seconds;   // for a file of 754,500 bytes
    };
    const Rate rates[] = {
        {15, 768, 754.5, 8}, {24, 1536, 1509.75, 6036 / 1509.75}, {22, 1411, 1411, 6036 / 1411.0},
        {0, 32, 32, 6036 / 32.0}, {29, 0, 0, 0}, {30, -1, -1, 0}, {31, 1, 1, 6036},
    };
    for (const Rate& r : rates) {
        SCOPED_TRACE(r.code);
        ASSERT_TRUE(dts.ReadFromFile(Sized(dir, "r.dts", DtsHeader(2, 13, r.code), 754500)));
        EXPECT_EQ(dts.BitRate(), r.shown);
        EXPECT_DOUBLE_EQ(dts.ExactBitRate(), r.exact);
        EXPECT_DOUBLE_EQ(dts.Duration(), r.seconds);
    }
    // The source resolution lies at bit 111 behind the header CRC, at bit 95
    // without it.
    const int32_t bits[8] = {16, 16, 20, 20, 24, 24, 16, 16};
    for (unsigned pcmr = 0; pcmr < 8; ++pcmr) {
        ASSERT_TRUE(dts.ReadFromFile(dir.Write("p.dts", DtsHeader(2, 13, 22, true, 7 - pcmr, pcmr))));
        EXPECT_EQ(dts.BitsPerSample(), bits[pcmr]) << pcmr;
        ASSERT_TRUE(dts.ReadFromFile(dir.Write("p.dts", DtsHeader(2, 13, 22, false, pcmr, 7 - pcmr))));
        EXPECT_EQ(dts.BitsPerSample(), bits[pcmr]) << pcmr;
    }
    // Only the sync word: every other field reads as zero.
    ASSERT_TRUE(dts.ReadFromFile(dir.Write("s.dts", Bytes{0x7F, 0xFE, 0x80, 0x01})));
    EXPECT_EQ(dts.Channels(), 1);
    EXPECT_EQ(dts.SampleRate(), 0);
    EXPECT_EQ(dts.BitRate(), 32);
    EXPECT_EQ(dts.BitsPerSample(), 16);
    // Other byte orders and short files are not read.
    for (const Bytes& bad : {Bytes{0xFE, 0x7F, 0x01, 0x80, 0, 0, 0, 0}, Bytes{0x7F, 0xFE, 0x80}, Bytes{}}) {
        EXPECT_FALSE(dts.ReadFromFile(dir.Write("x.dts", bad)));
        EXPECT_FALSE(dts.Valid());
        EXPECT_EQ(dts.BitRate(), 0);
        EXPECT_DOUBLE_EQ(dts.Ratio(), 0);
    }
    EXPECT_THROW(dts.ReadFromFile(dir / "missing.dts"), EFOpenError);
}
