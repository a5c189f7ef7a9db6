#include "core/Analysis.h"
#include "readers/AC3.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

// E-AC-3 frame start: sync word, then strmtyp 2, substreamid 3, frmsiz 11,
// fscod 2, numblkscod (or fscod2) 2, acmod 3, lfeon 1, bsid 5 bits.
Bytes EAC3Header(unsigned frmsiz, unsigned fscod, unsigned blocksOrFscod2, unsigned acmod, unsigned lfe,
                 unsigned bsid = 16) {
    const uint32_t word = (0u << 30) | (0u << 27) | (frmsiz << 16) | (fscod << 14) | (blocksOrFscod2 << 12) |
                          (acmod << 9) | (lfe << 8) | (bsid << 3);
    Bytes out{0x0B, 0x77};
    AppendBE32(out, word);
    AppendZeros(out, 2);
    return out;
}

} // namespace

TEST(EAC3, FfmpegFilesUnderEachExtension) {
    // ffmpeg -c:a eac3. ffprobe: 44100 Hz stereo, 95550 bit/s, 0.524789 s
    // (first frame 416 bytes of 6 blocks); 48000 Hz 5.1 (5 counted, as for
    // AC-3), 192000 bit/s, 0.256 s.
    struct Row {
        const char* name;
        const char* type;
        int32_t rate, channels, bitRate;
        double duration;
    };
    const Row rows[] = {
        {"eac3-stereo-44k.eac3", "EAC3", 44100, 2, 96, 6268 * 8 / 95.55 / 1000},
        {"eac3-stereo-44k.ac3", "AC3", 44100, 2, 96, 6268 * 8 / 95.55 / 1000},
        {"eac3-51-48k.ec3", "EC3", 48000, 5, 192, 0.256},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = Analyse(FixturePath(std::string("newformats/") + row.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileType, row.type);
        EXPECT_EQ(item->SampleRate, row.rate);
        EXPECT_EQ(item->Channels, row.channels);
        EXPECT_EQ(item->BitsPerSample, 16);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_NEAR(item->Duration, row.duration, 1e-9);
        EXPECT_EQ(item->EncoderInfo, "E-AC-3");
    }
    TAC3 ac3;
    ASSERT_TRUE(ac3.ReadFromFile(FixturePath("newformats/eac3-51-48k.ec3")));
    EXPECT_TRUE(ac3.IsEAC3());
    EXPECT_EQ(ac3.BitStreamId(), 16);
    EXPECT_EQ(ac3.FrameSize(), 768);
    EXPECT_EQ(ac3.BlocksPerFrame(), 6);
    // Plain AC-3 stays AC-3.
    EXPECT_EQ(Analyse(FixturePath("wavaiff/ffmpeg-stereo-44k-192.ac3"))->EncoderInfo, "AC-3 ATSC A/52");
}

TEST(EAC3, HeaderFields) {
    TempDir dir;
    TAC3 ac3;
    // 1 block per frame at 32 kHz, 128-byte frames: 125 frames/s, 128 kbit/s.
    ASSERT_TRUE(ac3.ReadFromFile(dir.Write("a.eac3", EAC3Header(63, 2, 0, 2, 0))));
    EXPECT_EQ(ac3.SampleRate(), 32000);
    EXPECT_EQ(ac3.BlocksPerFrame(), 1);
    EXPECT_EQ(ac3.BitRate(), 128);
    EXPECT_EQ(ac3.Channels(), 2);
    // fscod 3: half rates by fscod2 and always 6 blocks; 24 kHz, 1/0, 512
    // bytes: 15.625 frames/s, 64 kbit/s; 1,000,000 bytes last 125 s.
    const std::string big = dir.Write("b.eac3", EAC3Header(255, 3, 0, 1, 1));
    std::filesystem::resize_file(big, 1000000);
    ASSERT_TRUE(ac3.ReadFromFile(big));
    EXPECT_EQ(ac3.SampleRate(), 24000);
    EXPECT_EQ(ac3.BlocksPerFrame(), 6);
    EXPECT_EQ(ac3.Channels(), 1);
    EXPECT_EQ(ac3.BitRate(), 64);
    EXPECT_DOUBLE_EQ(ac3.Duration(), 125);
    EXPECT_NEAR(ac3.Ratio(), 1000000 / (24000 * 125.0 * 2 + 44) * 100, 1e-9);
    // fscod 3 with the reserved fscod2 3: no rate, no bitrate, no time.
    ASSERT_TRUE(ac3.ReadFromFile(dir.Write("c.eac3", EAC3Header(255, 3, 3, 7, 0))));
    EXPECT_EQ(ac3.SampleRate(), 0);
    EXPECT_EQ(ac3.BitRate(), 0);
    EXPECT_DOUBLE_EQ(ac3.Duration(), 0);
    // bsid 11 counts as E-AC-3 as well; only the sync word: read, zero fields.
    ASSERT_TRUE(ac3.ReadFromFile(dir.Write("d.eac3", EAC3Header(63, 0, 3, 7, 0, 11))));
    EXPECT_TRUE(ac3.IsEAC3());
    EXPECT_EQ(ac3.Channels(), 5);
    EXPECT_EQ(ac3.SampleRate(), 48000);
    ASSERT_TRUE(ac3.ReadFromFile(dir.Write("e.eac3", Bytes{0x0B, 0x77})));
    EXPECT_FALSE(ac3.IsEAC3());
}
