#include "core/Analysis.h"
#include "readers/AIFF.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}

using Extended = std::array<unsigned char, 10>;

// 80-bit extended with the given sign, biased exponent and significand.
Extended MakeExtended(bool negative, uint16_t exponent, uint64_t significand) {
    Bytes out;
    AppendBE16(out, (negative ? 0x8000u : 0u) | exponent);
    AppendBE64(out, significand);
    Extended e{};
    std::copy(out.begin(), out.end(), e.begin());
    return e;
}

// value = significand x 2^(exponent - 16383 - 63); an integer part v with one
// extra fraction bit (half) is placed so that its top bit is the integer bit.
Extended Rate(uint32_t integer, bool half = false, bool negative = false) {
    uint64_t fixed = (uint64_t{integer} << 1) | (half ? 1 : 0);   // value x 2
    int top = 63;
    while (((fixed >> top) & 1) == 0) --top;
    return MakeExtended(negative, static_cast<uint16_t>(16383 + top - 1), fixed << (63 - top));
}

int32_t Decode(const Extended& e) { return ExtendedToInt32(e.data()); }

Bytes Chunk(std::string_view id, const Bytes& payload) {
    Bytes out;
    Append(out, id);
    AppendBE32(out, static_cast<uint32_t>(payload.size()));
    Append(out, payload);
    if (payload.size() % 2 != 0) out.push_back(0);
    return out;
}

Bytes Comm(uint16_t channels, uint32_t frames, uint16_t bits, const Extended& rate) {
    Bytes out;
    AppendBE16(out, channels);
    AppendBE32(out, frames);
    AppendBE16(out, bits);
    out.insert(out.end(), rate.begin(), rate.end());
    return Chunk("COMM", out);
}

Bytes Form(std::string_view type, const Bytes& chunks, int64_t formSize = -1) {
    Bytes out;
    Append(out, "FORM");
    AppendBE32(out, static_cast<uint32_t>(formSize >= 0 ? formSize : chunks.size() + 4));
    Append(out, type);
    Append(out, chunks);
    return out;
}

} // namespace

TEST(AIFF, ExtendedSampleRateRoundsHalvesToEven) {
    EXPECT_EQ(Rate(44100), (Extended{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Decode(Rate(44100)), 44100);
    EXPECT_EQ(Decode(Rate(44100, true)), 44100);
    EXPECT_EQ(Decode(Rate(44101, true)), 44102);
    EXPECT_EQ(Decode(Rate(8000, false, true)), -8000);
    EXPECT_EQ(Decode(Rate(0, true)), 0);                                  // 0.5
    EXPECT_EQ(Decode(MakeExtended(false, 16382, 0xC000000000000000)), 1); // 0.75
    EXPECT_EQ(Decode(MakeExtended(false, 16382 - 64, ~0ull)), 0);         // tiny
    EXPECT_EQ(Decode(MakeExtended(false, 0, 0)), 0);
    EXPECT_EQ(Decode(Rate(0x7FFFFFFF)), 0x7FFFFFFF);
    EXPECT_EQ(Decode(Rate(0x80000000u, false, true)), INT32_MIN);
    // Outside the 32-bit range, infinity and NaN: 0.
    EXPECT_EQ(Decode(Rate(0x80000000u)), 0);
    EXPECT_EQ(Decode(MakeExtended(false, 16383 + 100, 0x8000000000000000)), 0);
    EXPECT_EQ(Decode(MakeExtended(false, 0x7FFF, 0x8000000000000000)), 0);
    EXPECT_EQ(Decode(MakeExtended(true, 0x7FFF, 0xC000000000000000)), 0);
}

// sox writes "COMT" and ffmpeg "NAME" (for a title) before "COMM"; the
// durations agree with ffprobe.
TEST(AIFF, RealFilesFromSoxAndFfmpeg) {
    struct Case {
        const char* file;
        uint8_t channels;
        uint32_t frames;
        uint8_t bits;
        int32_t rate;
    };
    const Case cases[] = {
        {"sox-s16-mono-8k.aiff", 1, 2000, 16, 8000},
        {"sox-s8-stereo-11k.aif", 2, 2756, 8, 11025},
        {"sox-s24-stereo-44k.aiff", 2, 2205, 24, 44100},
        {"ffmpeg-s16-name-stereo-22k.aiff", 2, 5513, 16, 22050},
        {"ffmpeg-s32-mono-16k.aif", 1, 4000, 32, 16000},
    };
    TAIFF aiff;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = FixturePath(std::string("wavaiff/") + c.file);
        ASSERT_TRUE(aiff.ReadFromFile(path));
        ASSERT_TRUE(aiff.Valid());
        const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
        EXPECT_EQ(aiff.FileSize(), size);
        EXPECT_EQ(aiff.Channels(), c.channels);
        EXPECT_EQ(aiff.SampleFrames(), c.frames);
        EXPECT_EQ(aiff.BitsPerSample(), c.bits);
        EXPECT_EQ(aiff.SampleRate(), c.rate);
        EXPECT_DOUBLE_EQ(aiff.Duration(), double(c.frames) / c.rate);
        EXPECT_DOUBLE_EQ(aiff.BitRate(), c.rate * c.bits * c.channels / 1000.0);
        EXPECT_DOUBLE_EQ(aiff.Ratio(), double(size) / (c.frames * (c.channels * c.bits / 8.0) + 54) * 100);
        EXPECT_EQ(aiff.FileName(), path);
    }
    EXPECT_EQ(aiff.FormatName(), "AIFF");
}

// AIFF-C from sox and ffmpeg: "NONE", "sowt" (little-endian) and "fl32" are
// samples; "alaw", "ulaw" and "ima4" are compressed and their bitrate comes
// from the sound data. ffmpeg stores no compression name, so the code shows.
// Frames and durations agree with ffprobe (ima4 packs 64 samples a frame).
TEST(AIFF, AiffCFilesFromSoxAndFfmpeg) {
    struct Case {
        const char* file;
        const char* type;
        const char* formatName;
        uint8_t bits;
        uint64_t samples;
        double bitRate;   // kbit/s
    };
    const Case cases[] = {
        {"sox-s8-mono-8k.aifc", "NONE", "AIFF-C not compressed", 8, 2000, 64},
        {"sox-fl32-mono-8k.aifc", "fl32", "AIFF-C 32-bit floating point", 32, 2000, 256},
        {"ffmpeg-sowt-mono-8k.aif", "sowt", "AIFF-C sowt", 16, 2000, 128},
        {"ffmpeg-alaw-mono-8k.aifc", "alaw", "AIFF-C alaw", 8, 2000, 2000 * 8 / 0.25 / 1000},
        {"ffmpeg-ulaw-mono-8k.aifc", "ulaw", "AIFF-C ulaw", 8, 2000, 2000 * 8 / 0.25 / 1000},
        {"ffmpeg-ima4-mono-8k.aif", "ima4", "AIFF-C ima4", 4, 63 * 64, 2142 * 8 / 0.504 / 1000},
    };
    TAIFF aiff;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = FixturePath(std::string("wavaiff/") + c.file);
        ASSERT_TRUE(aiff.ReadFromFile(path));
        ASSERT_TRUE(aiff.Valid());
        EXPECT_TRUE(aiff.IsAIFC());
        EXPECT_EQ(aiff.CompressionType(), c.type);
        EXPECT_EQ(aiff.FormatName(), c.formatName);
        EXPECT_EQ(aiff.FileSize(), static_cast<int64_t>(std::filesystem::file_size(path)));
        EXPECT_EQ(aiff.Channels(), 1);
        EXPECT_EQ(aiff.SampleRate(), 8000);
        EXPECT_EQ(aiff.BitsPerSample(), c.bits);
        EXPECT_EQ(aiff.SampleCount(), c.samples);
        EXPECT_DOUBLE_EQ(aiff.Duration(), c.samples / 8000.0);
        EXPECT_NEAR(aiff.BitRate(), c.bitRate, 1e-9);
    }
    TFormatReaders readers;
    TAudioItem item;
    item.FullPath = FixturePath("wavaiff/sox-fl32-mono-8k.aifc");
    item.FileType = "AIFC";
    FillFromReader(readers, item);
    EXPECT_EQ(item.EncoderInfo, "AIFF-C 32-bit floating point");
    EXPECT_EQ(item.BitRate, 256);
}

TEST(AIFF, AiffCCommonChunkVariants) {
    TempDir dir;
    TAIFF aiff;
    const auto comm = [](std::string_view type, std::string_view name) {
        Bytes out;
        AppendBE16(out, 2);
        AppendBE32(out, 4410);
        AppendBE16(out, 16);
        const Extended rate = Rate(44100);
        out.insert(out.end(), rate.begin(), rate.end());
        Append(out, type);
        out.push_back(static_cast<uint8_t>(name.size()));
        Append(out, name);
        if (name.size() % 2 == 0) out.push_back(0);   // the Pascal string is padded to even
        return Chunk("COMM", out);
    };
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("a.aifc", Form("AIFC", comm("twos", "")))));
    EXPECT_EQ(aiff.FormatName(), "AIFF-C twos");
    EXPECT_DOUBLE_EQ(aiff.BitRate(), 1411.2);
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("b.aifc", Form("AIFC", comm("fl64", " 64-bit float ")))));
    EXPECT_EQ(aiff.FormatName(), "AIFF-C 64-bit float");
    // A COMM chunk of plain AIFF size in an AIFF-C file: uncompressed.
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("c.aifc", Form("AIFC", Comm(2, 4410, 16, Rate(44100))))));
    EXPECT_EQ(aiff.CompressionType(), "NONE");
    EXPECT_DOUBLE_EQ(aiff.Duration(), 0.1);
    // A compressed stream without sound data: the bitrate from the sample fields.
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("d.aifc", Form("AIFC", comm("GSM ", "GSM 6.10")))));
    EXPECT_EQ(aiff.FormatName(), "AIFF-C GSM 6.10");
    EXPECT_DOUBLE_EQ(aiff.BitRate(), 1411.2);
}

TEST(AIFF, RowOfAnAiffFile) {
    TFormatReaders readers;
    TAudioItem item;
    item.FullPath = FixturePath("wavaiff/sox-s24-stereo-44k.aiff");
    item.FileType = "AIFF";
    FillFromReader(readers, item);
    EXPECT_EQ(item.FileSize, 13318);
    EXPECT_DOUBLE_EQ(item.Duration, 0.05);
    EXPECT_EQ(item.SampleRate, 44100);
    EXPECT_EQ(item.Channels, 2);
    EXPECT_EQ(item.BitsPerSample, 24);
    EXPECT_EQ(item.BitRate, 2117);   // 2116.8
    EXPECT_EQ(item.EncoderInfo, "AIFF");
}

TEST(AIFF, ChunkWalkSizesAndDamagedFiles) {
    TempDir dir;
    TAIFF aiff;
    const Bytes comm = Comm(0x0102, 4410, 0x0110, Rate(44100));
    // COMM at byte 12, longer than 18 bytes, after an odd-sized chunk, and
    // after the end the FORM size claims: read all the same.
    Bytes longComm = comm;
    longComm[7] = 22;
    AppendZeros(longComm, 4);
    for (const Bytes& chunks : {comm, longComm, Chunk("COMT", Bytes(5)) + comm}) {
        ASSERT_TRUE(aiff.ReadFromFile(dir.Write("a.aiff", Form("AIFF", chunks))));
        ASSERT_TRUE(aiff.Valid());
        EXPECT_EQ(aiff.Channels(), 2);        // low bytes of 0x0102 and 0x0110
        EXPECT_EQ(aiff.BitsPerSample(), 16);
        EXPECT_EQ(aiff.SampleFrames(), 4410u);
        EXPECT_DOUBLE_EQ(aiff.Duration(), 0.1);
    }
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("b.aiff", Form("AIFF", Chunk("NAME", Bytes(4)) + comm, 4))));
    EXPECT_EQ(aiff.SampleFrames(), 4410u);
    EXPECT_EQ(aiff.FileSize(), 12);
    // A FORM size beyond the file: the size on disk.
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("c.aiff", Form("AIFF", comm, 0xFFFFFFFF))));
    EXPECT_EQ(aiff.FileSize(), 38);
    // No COMM chunk, or one cut short: valid, the missing fields are 0.
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("d.aiff", Form("AIFF", Chunk("SSND", Bytes(16))))));
    EXPECT_TRUE(aiff.Valid());
    EXPECT_EQ(aiff.SampleRate(), 0);
    EXPECT_DOUBLE_EQ(aiff.Duration(), 0);
    EXPECT_DOUBLE_EQ(aiff.Ratio(), aiff.FileSize() / 54.0 * 100);
    const Bytes full = Form("AIFF", comm);
    ASSERT_TRUE(aiff.ReadFromFile(dir.Write("e.aiff", Bytes(full.begin(), full.begin() + 28))));
    EXPECT_EQ(aiff.SampleFrames(), 4410u);
    EXPECT_EQ(aiff.BitsPerSample(), 16);
    EXPECT_EQ(aiff.SampleRate(), 0);
    // Not AIFF: readable, not valid, nothing of the previous file kept.
    for (const Bytes& bad : {Form("AIFX", comm), Bytes{'F', 'O', 'R', 'M'}}) {
        ASSERT_TRUE(aiff.ReadFromFile(dir.Write("f.aiff", bad)));
        EXPECT_FALSE(aiff.Valid());
        EXPECT_EQ(aiff.SampleFrames(), 0u);
        EXPECT_TRUE(aiff.FileName().empty());
    }
    EXPECT_FALSE(aiff.ReadFromFile(dir / "missing.aiff"));
}
