#include "core/Analysis.h"
#include "readers/WAVfile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
    Append(a, b);
    return a;
}

// One RIFF chunk: identifier, LE32 size and the payload, padded to even.
Bytes Chunk(std::string_view id, const Bytes& payload, int64_t claimedSize = -1) {
    Bytes out;
    Append(out, id);
    AppendLE32(out, static_cast<uint32_t>(claimedSize >= 0 ? claimedSize : payload.size()));
    Append(out, payload);
    if (payload.size() % 2 != 0) out.push_back(0);
    return out;
}

Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond, uint16_t blockAlign,
          uint16_t bits, std::size_t extra = 0) {
    Bytes out;
    AppendLE16(out, tag);
    AppendLE16(out, channels);
    AppendLE32(out, rate);
    AppendLE32(out, bytesPerSecond);
    AppendLE16(out, blockAlign);
    AppendLE16(out, bits);
    AppendZeros(out, extra);
    return Chunk("fmt ", out);
}

Bytes Fact(uint32_t samples) {
    Bytes out;
    AppendLE32(out, samples);
    return Chunk("fact", out);
}

// "RIFF" + size + "WAVE" + chunks; the RIFF size is right unless given.
Bytes Riff(const Bytes& chunks, int64_t riffSize = -1) {
    Bytes out;
    Append(out, "RIFF");
    AppendLE32(out, static_cast<uint32_t>(riffSize >= 0 ? riffSize : chunks.size() + 4));
    Append(out, "WAVE");
    Append(out, chunks);
    return out;
}

Bytes Pcm16Stereo44k() { return Fmt(1, 2, 44100, 176400, 4, 16); }

struct WavCase {
    const char* file;
    uint16_t tag;
    uint8_t channels;
    uint32_t rate;
    uint8_t bits;
    uint32_t samples;   // ffprobe's sample count per channel
    int64_t headerSize;
    const char* formatName;
};

} // namespace

// Real files from sox and ffmpeg; the sample counts (hence the durations)
// agree with ffprobe. ffmpeg puts a "LIST" chunk before "data"; compressed
// formats take their sample count from "fact". The extensible format
// (65534) is named by its sub-format.
TEST(WAVfile, RealFilesFromSoxAndFfmpeg) {
    const WavCase cases[] = {
        {"sox-u8-mono-8k.wav", 1, 1, 8000, 8, 4000, 44, "Windows PCM"},
        {"sox-s16-stereo-22k.wav", 1, 2, 22050, 16, 5512, 44, "Windows PCM"},
        {"sox-s24-mono-16k.wav", 65534, 1, 16000, 24, 4000, 80, "Windows PCM"},
        {"sox-s32-mono-8k.wav", 65534, 1, 8000, 32, 2000, 80, "Windows PCM"},
        {"sox-float-mono-8k.wav", 3, 1, 8000, 32, 2000, 58, "IEEE Float"},
        {"sox-msadpcm-mono-8k.wav", 2, 1, 8000, 4, 8000, 90, "Microsoft ADPCM"},
        {"sox-imaadpcm-mono-8k.wav", 17, 1, 8000, 4, 8000, 60, "DVI/IMA ADPCM"},
        {"sox-gsm-mono-8k.wav", 49, 1, 8000, 0, 8000, 60, "GSM 6.10"},
        {"sox-alaw-mono-8k.wav", 6, 1, 8000, 8, 4000, 58, "A-LAW"},
        {"sox-ulaw-mono-8k.wav", 7, 1, 8000, 8, 4000, 58, "MU-LAW"},
        {"ffmpeg-s16-list-mono-11k.wav", 1, 1, 11025, 16, 2756, 78, "Windows PCM"},
        {"ffmpeg-f32-stereo-8k.wav", 65534, 2, 8000, 32, 2000, 114, "IEEE Float"},
        {"ffmpeg-s16-51-8k.wav", 65534, 6, 8000, 16, 800, 102, "Windows PCM"},
        {"ffmpeg-adpcm-ms-stereo-22k.wav", 2, 2, 22050, 4, 11132, 124, "Microsoft ADPCM"},
        {"ffmpeg-adpcm-ima-mono-16k.wav", 17, 1, 16000, 4, 8164, 94, "DVI/IMA ADPCM"},
        {"ffmpeg-alaw-mono-8k.wav", 6, 1, 8000, 8, 4000, 92, "A-LAW"},
        {"ffmpeg-mulaw-mono-8k.wav", 7, 1, 8000, 8, 4000, 92, "MU-LAW"},
        {"ffmpeg-gsm-ms-mono-8k.wav", 49, 1, 8000, 0, 8000, 94, "GSM 6.10"},
        {"ffmpeg-mp3-mono-22k.wav", 85, 1, 22050, 0, 23155, 104, "MPEG Layer III"},
        {"ffmpeg-pipe-s16-mono-8k.wav", 1, 1, 8000, 16, 2000, 78, "Windows PCM"},
        // RF64: RIFF and data sizes 0xFFFFFFFF, the real ones in "ds64".
        {"ffmpeg-rf64-s16-mono-8k.wav", 1, 1, 8000, 16, 2000, 114, "Windows PCM"},
        {"ffmpeg-s24-mono-96k.wav", 65534, 1, 96000, 24, 4800, 102, "Windows PCM"},
    };
    TWAVfile wav;
    for (const WavCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = FixturePath(std::string("wavaiff/") + c.file);
        ASSERT_TRUE(wav.ReadFromFile(path));
        ASSERT_TRUE(wav.Valid());
        EXPECT_EQ(wav.FormatTag(), c.tag);
        EXPECT_EQ(wav.Channels(), c.channels);
        EXPECT_EQ(wav.SampleRate(), c.rate);
        EXPECT_EQ(wav.BitsPerSample(), c.bits);
        EXPECT_EQ(wav.SampleCount(), c.samples);
        EXPECT_EQ(wav.HeaderSize(), c.headerSize);
        EXPECT_EQ(wav.FileSize(), static_cast<int64_t>(std::filesystem::file_size(path)));
        EXPECT_DOUBLE_EQ(wav.Duration(), double(c.samples) / c.rate);
        EXPECT_DOUBLE_EQ(wav.BitRate(), wav.BytesPerSecond() * 8 / 1000.0);
        EXPECT_EQ(wav.FormatName(), c.formatName);
        EXPECT_EQ(wav.FileName(), path);
    }
}

TEST(WAVfile, RowOfACanonicalPcmFile) {
    TFormatReaders readers;
    TAudioItem item;
    item.FullPath = FixturePath("wavaiff/sox-s16-stereo-22k.wav");
    item.FileType = "WAV";
    FillFromReader(readers, item);
    EXPECT_EQ(item.FileSize, 22092);
    EXPECT_DOUBLE_EQ(item.Duration, 5512.0 / 22050);
    EXPECT_EQ(item.SampleRate, 22050);
    EXPECT_EQ(item.Channels, 2);
    EXPECT_EQ(item.BitsPerSample, 16);
    EXPECT_EQ(item.BitRate, 706);   // 705.6
    EXPECT_DOUBLE_EQ(item.Ratio, 22092.0 / (5512 * 4 + 44) * 100);
    EXPECT_EQ(item.EncoderInfo, "Windows PCM");
}

TEST(WAVfile, CanonicalHeaderAndFormatChunkSize) {
    TempDir dir;
    TWAVfile wav;
    // 44-byte header, 44100 Hz stereo 16-bit: 1411.2 kbit/s.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("a.wav", Riff(Pcm16Stereo44k() + Chunk("data", Bytes(8820))))));
    ASSERT_TRUE(wav.Valid());
    EXPECT_DOUBLE_EQ(wav.BitRate(), 1411.2);
    EXPECT_EQ(wav.HeaderSize(), 44);
    EXPECT_EQ(wav.SampleCount(), 2205u);
    EXPECT_DOUBLE_EQ(wav.Duration(), 0.05);
    // An 18-byte format chunk moves the data header to byte 38.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("b.wav", Riff(Fmt(1, 2, 44100, 176400, 4, 16, 2) + Chunk("data", Bytes(400))))));
    EXPECT_EQ(wav.FormatChunkSize(), 18u);
    EXPECT_EQ(wav.HeaderSize(), 46);
    EXPECT_EQ(wav.SampleCount(), 100u);
}

TEST(WAVfile, ChunkWalkFindsFormatAndDataAnywhere) {
    TempDir dir;
    TWAVfile wav;
    // Odd-sized chunk (padded) before "fmt ", "LIST" between "fmt " and "data".
    const Bytes odd = Chunk("junk", Bytes(3)) + Pcm16Stereo44k() + Chunk("LIST", Bytes(26)) + Chunk("data", Bytes(400));
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("odd.wav", Riff(odd))));
    ASSERT_TRUE(wav.Valid());
    EXPECT_EQ(wav.SampleCount(), 100u);
    EXPECT_EQ(wav.HeaderSize(), 12 + 12 + 24 + 34 + 8);
    // Chunks after the end the RIFF size claims are still walked.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("short.wav", Riff(Pcm16Stereo44k() + Chunk("data", Bytes(400)), 4))));
    EXPECT_EQ(wav.SampleCount(), 100u);
    EXPECT_EQ(wav.FileSize(), 12);
    EXPECT_EQ(wav.HeaderSize(), 12);                         // cut down to FileSize
    EXPECT_DOUBLE_EQ(wav.Duration(), 100 / 44100.0);         // still from the sample count
}

TEST(WAVfile, SizesClaimingMoreThanTheFileHolds) {
    TempDir dir;
    TWAVfile wav;
    // As written to a pipe: RIFF and data sizes 0xFFFFFFFF.
    const Bytes body = Pcm16Stereo44k() + Chunk("data", Bytes(4000), 0xFFFFFFFF);
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("pipe.wav", Riff(body, 0xFFFFFFFF))));
    EXPECT_EQ(wav.FileSize(), 4044);
    EXPECT_EQ(wav.SampleCount(), 1000u);
    // No data chunk: the byte-rate formulas, with the header ending where a
    // data payload after the format chunk would start.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("nodata.wav", Riff(Pcm16Stereo44k() + Chunk("LIST", Bytes(3528)), 100000))));
    EXPECT_EQ(wav.SampleCount(), 0u);
    EXPECT_EQ(wav.HeaderSize(), 44);
    EXPECT_EQ(wav.FileSize(), 3572);
    EXPECT_DOUBLE_EQ(wav.Duration(), (3572.0 - 44) / 176400);
    EXPECT_DOUBLE_EQ(wav.Ratio(), 3572.0 / ((3572.0 - 44) / 176400 * 44100 * 4 + 44) * 100);
    // A data header that the file cuts short does not count.
    Bytes cut = Riff(Pcm16Stereo44k());
    Append(cut, "data");
    AppendLE16(cut, 400);
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("cut.wav", cut)));
    EXPECT_EQ(wav.SampleCount(), 0u);
    EXPECT_EQ(wav.FileSize(), 36);
    EXPECT_EQ(wav.HeaderSize(), 36);                         // cut down to FileSize
    EXPECT_DOUBLE_EQ(wav.Duration(), 0);
}

TEST(WAVfile, CompressedFormatsCountSamplesFromFact) {
    TempDir dir;
    TWAVfile wav;
    // IMA ADPCM mono 8 kHz, 256-byte blocks of 505 samples.
    const Bytes ima = Fmt(17, 1, 8000, 4055, 256, 4, 4);
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("before.wav", Riff(ima + Fact(1010) + Chunk("data", Bytes(512))))));
    EXPECT_EQ(wav.SampleCount(), 1010u);
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("after.wav", Riff(ima + Chunk("data", Bytes(512)) + Fact(1010)))));
    EXPECT_EQ(wav.SampleCount(), 1010u);
    EXPECT_DOUBLE_EQ(wav.Duration(), 1010 / 8000.0);
    EXPECT_DOUBLE_EQ(wav.Ratio(), wav.FileSize() / (1010 * 0.5 + 44) * 100);   // 4-bit mono: half a byte
    // A fact chunk shorter than 4 bytes, or none: the byte rate decides.
    for (const Bytes& fact : {Chunk("fact", Bytes(3)), Bytes()}) {
        ASSERT_TRUE(wav.ReadFromFile(dir.Write("nofact.wav", Riff(ima + fact + Chunk("data", Bytes(512))))));
        EXPECT_EQ(wav.SampleCount(), 0u);
        EXPECT_DOUBLE_EQ(wav.Duration(), double(wav.FileSize() - wav.HeaderSize()) / 4055);
    }
    // Sample formats ignore "fact" and divide the data size by the block size.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("pcm.wav", Riff(Pcm16Stereo44k() + Fact(7) + Chunk("data", Bytes(40))))));
    EXPECT_EQ(wav.SampleCount(), 10u);
}

TEST(WAVfile, ValidityAndZeroDivisors) {
    TempDir dir;
    TWAVfile wav;
    const Bytes data = Chunk("data", Bytes(40));
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("ok.wav", Riff(Pcm16Stereo44k() + data))));
    ASSERT_TRUE(wav.Valid());
    Bytes rifx = Riff(Pcm16Stereo44k() + data);
    rifx[3] = 'X';
    // Not RIFF, no "fmt " chunk, channel field 0: readable but not valid, and
    // nothing of the previous file survives.
    for (const Bytes& bad : {rifx, Riff(data), Riff(Fmt(1, 0, 44100, 176400, 4, 16) + data), Bytes{'R', 'I'}}) {
        ASSERT_TRUE(wav.ReadFromFile(dir.Write("bad.wav", bad)));
        EXPECT_FALSE(wav.Valid());
        EXPECT_EQ(wav.FileSize(), 0);
        EXPECT_EQ(wav.SampleRate(), 0u);
        EXPECT_DOUBLE_EQ(wav.Duration(), 0);
        EXPECT_DOUBLE_EQ(wav.Ratio(), 0);
    }
    EXPECT_FALSE(wav.ReadFromFile(dir / "missing.wav"));
    // 256 channels: valid, the low byte shows 0.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("c256.wav", Riff(Fmt(1, 256, 8000, 0, 0, 16) + data))));
    EXPECT_TRUE(wav.Valid());
    EXPECT_EQ(wav.Channels(), 0);
    // Block size 0 and byte rate 0: no sample count, playing time and ratio 0.
    EXPECT_EQ(wav.SampleCount(), 0u);
    EXPECT_DOUBLE_EQ(wav.Duration(), 0);
    EXPECT_DOUBLE_EQ(wav.Ratio(), 0);
    // Sample rate 0 with a sample count.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("r0.wav", Riff(Fmt(1, 1, 0, 2, 2, 16) + data))));
    EXPECT_EQ(wav.SampleCount(), 20u);
    EXPECT_DOUBLE_EQ(wav.Duration(), 0);
}

TEST(WAVfile, EveryFormatCodeHasAName) {
    TempDir dir;
    TWAVfile wav;
    const Bytes data = Chunk("data", Bytes(40));
    // Codes outside the table: "Format 0x" and four hex digits.
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("wma.wav", Riff(Fmt(0x0161, 2, 44100, 16000, 2973, 16) + data))));
    EXPECT_EQ(wav.FormatName(), "Format 0x0161");
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("zero.wav", Riff(Fmt(0, 1, 8000, 8000, 1, 8) + data))));
    EXPECT_EQ(wav.FormatName(), "Format 0x0000");

    // Extensible: the sub-format GUID names it; a standard GUID with a code
    // outside the table shows that code, a GUID of another family 0xFFFE.
    const auto extensible = [](uint16_t subFormat, bool standard) {
        Bytes fmt;
        AppendLE16(fmt, 0xFFFE);
        AppendLE16(fmt, 2);
        AppendLE32(fmt, 48000);
        AppendLE32(fmt, 384000);
        AppendLE16(fmt, 8);
        AppendLE16(fmt, 32);
        AppendLE16(fmt, 22);        // cbSize
        AppendLE16(fmt, 32);        // valid bits
        AppendLE32(fmt, 3);         // front left and right
        AppendLE16(fmt, subFormat);
        if (standard) Append(fmt, Bytes{0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
        else Append(fmt, Bytes{0, 0, 0x21, 0x07, 0xD3, 0x11, 0x86, 0x44, 0xC8, 0xC1, 0xCA, 0, 0, 0});
        return Chunk("fmt ", fmt);
    };
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("float.wav", Riff(extensible(3, true) + data))));
    EXPECT_EQ(wav.FormatTag(), 0xFFFE);
    EXPECT_EQ(wav.FormatName(), "IEEE Float");
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("odd.wav", Riff(extensible(0x1234, true) + data))));
    EXPECT_EQ(wav.FormatName(), "Format 0x1234");
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("ambisonic.wav", Riff(extensible(1, false) + data))));
    EXPECT_EQ(wav.FormatName(), "Format 0xFFFE");
    EXPECT_EQ(wav.SampleCount(), 5u);   // 40 bytes in blocks of 8
}

// A 64-bit WAV as broadcast tools write it: "BW64" (or "RF64"), then "ds64"
// with the RIFF size, data size and sample count; the 32-bit fields say
// 0xFFFFFFFF.
TEST(WAVfile, SixtyFourBitFormsReadTheirSizesFromDs64) {
    TempDir dir;
    TWAVfile wav;
    const auto build = [](std::string_view id, const Bytes& fmt, const Bytes& between, uint64_t sampleCount) {
        const Bytes payload(4000);
        Bytes ds64;
        const uint64_t riffSize = 4 + 8 + 28 + fmt.size() + between.size() + 8 + payload.size();
        AppendLE64(ds64, riffSize);
        AppendLE64(ds64, payload.size());
        AppendLE64(ds64, sampleCount);
        AppendLE32(ds64, 0);        // no table
        Bytes out;
        Append(out, id);
        AppendLE32(out, 0xFFFFFFFF);
        Append(out, "WAVE");
        Append(out, Chunk("ds64", ds64) + fmt + between + Chunk("data", payload, 0xFFFFFFFF));
        return out;
    };
    const Bytes bw64 = build("BW64", Pcm16Stereo44k(), Bytes(), 1000);
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("a.wav", bw64)));
    ASSERT_TRUE(wav.Valid());
    EXPECT_TRUE(wav.Is64Bit());
    EXPECT_EQ(wav.FileSize(), int64_t(bw64.size()));
    EXPECT_EQ(wav.SampleCount(), 1000u);             // 4000 bytes of 4-byte frames
    EXPECT_EQ(wav.HeaderSize(), 12 + 36 + 24 + 8);
    EXPECT_EQ(wav.FormatName(), "Windows PCM");

    // A compressed format: the sample count of "ds64" where "fact" says 0xFFFFFFFF.
    const Bytes ima = Fmt(17, 1, 8000, 4055, 256, 4, 4);
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("b.wav", build("RF64", ima, Fact(0xFFFFFFFF), 7875))));
    EXPECT_EQ(wav.SampleCount(), 7875u);
    EXPECT_DOUBLE_EQ(wav.Duration(), 7875 / 8000.0);

    // "RF64" without a usable "ds64": the sizes on disk bound the figures.
    Bytes broken = build("RF64", Pcm16Stereo44k(), Bytes(), 1000);
    std::copy_n("junk", 4, broken.begin() + 12);
    ASSERT_TRUE(wav.ReadFromFile(dir.Write("c.wav", broken)));
    ASSERT_TRUE(wav.Valid());
    EXPECT_EQ(wav.FileSize(), int64_t(broken.size()));
    EXPECT_EQ(wav.SampleCount(), 1000u);             // data size limited to the bytes present
}
