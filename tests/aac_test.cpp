#include "core/Analysis.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/AACfile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string AacFixture(const std::string& name) { return FixturePath("mp4aac/" + name); }

// Writes fields most significant bit first.
class BitWriter {
public:
    void Put(uint64_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) {
            if (bits_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
            ++bits_;
        }
    }
    const Bytes& Done() const { return bytes_; }

private:
    Bytes bytes_;
    std::size_t bits_ = 0;
};

// One ADTS frame of HE-AAC as an encoder with SBR writes it: a header that
// announces the LC core, then a raw data block of a channel element (here
// just filler bits), a fill element with SBR data of sbrBytes bytes,
// optionally a padding fill element, ID_END, and zero bits to the byte.
Bytes HeAacFrame(unsigned samplingIndex, unsigned sbrBytes, bool padding, unsigned extensionType = 13) {
    BitWriter block;
    block.Put(1, 3);                       // ID_CPE
    for (int i = 0; i < 40; ++i) block.Put(0xA5, 8);
    block.Put(6, 3);                       // ID_FIL
    if (sbrBytes >= 15) {
        block.Put(15, 4);
        block.Put(sbrBytes - 14, 8);       // count = 15 + escape - 1
    } else {
        block.Put(sbrBytes, 4);
    }
    block.Put(extensionType, 4);           // EXT_SBR_DATA
    block.Put(1, 1);                       // bs_header_flag
    for (unsigned i = 0; i < sbrBytes * 8 - 5; ++i) block.Put(i % 3 == 0, 1);
    if (padding) {
        block.Put(6, 3);
        block.Put(2, 4);
        block.Put(0, 4);                   // EXT_FILL
        block.Put(0, 12);
    }
    block.Put(7, 3);                       // ID_END
    const Bytes payload = block.Done();
    BitWriter w;
    w.Put(0xFFF, 12);
    w.Put(0, 1);
    w.Put(0, 2);
    w.Put(1, 1);
    w.Put(1, 2);                           // LC
    w.Put(samplingIndex, 4);
    w.Put(0, 1);
    w.Put(2, 3);
    w.Put(0, 4);
    w.Put(7 + payload.size(), 13);
    w.Put(0x7FF, 11);
    w.Put(0, 2);
    Bytes frame = w.Done();
    Append(frame, payload);
    return frame;
}

struct AdtsHeader {
    bool mpeg2 = false;
    unsigned profile = 1;        // LC (stored as profile - 1)
    unsigned samplingIndex = 4;  // 44100
    unsigned channels = 2;
    unsigned length = 300;
    unsigned fullness = 0x7FF;   // variable bitrate
};

// One ADTS frame (ISO/IEC 14496-3 layout): a 7-byte header and zero payload.
Bytes AdtsFrame(const AdtsHeader& h) {
    BitWriter w;
    w.Put(0xFFF, 12);
    w.Put(h.mpeg2 ? 1 : 0, 1);
    w.Put(0, 2);            // layer
    w.Put(1, 1);            // no CRC
    w.Put(h.profile, 2);
    w.Put(h.samplingIndex, 4);
    w.Put(0, 1);
    w.Put(h.channels, 3);
    w.Put(0, 4);            // original/copy, home, copyright bits
    w.Put(h.length, 13);
    w.Put(h.fullness, 11);
    w.Put(0, 2);
    Bytes frame = w.Done();
    if (h.length > frame.size()) AppendZeros(frame, h.length - frame.size());
    return frame;
}

Bytes AdifHeader(bool withCopyrightId, bool vbr, uint32_t bitRate, unsigned samplingIndex) {
    BitWriter w;
    for (char c : std::string("ADIF")) w.Put(static_cast<uint8_t>(c), 8);
    w.Put(withCopyrightId ? 1 : 0, 1);
    if (withCopyrightId) {
        w.Put(0xABCDEF, 24);
        w.Put(0x123456789ABCull, 48);
    }
    w.Put(0, 2);            // original/copy, home
    w.Put(vbr ? 1 : 0, 1);
    w.Put(bitRate, 23);
    w.Put(0, 4);            // one program config element
    if (!vbr) w.Put(0x12345, 20);
    // Program config element: a front channel pair, a side single channel
    // and an LFE: 4 channels in 3 elements.
    w.Put(0, 4);            // element instance tag
    w.Put(1, 2);            // object type: LC
    w.Put(samplingIndex, 4);
    w.Put(1, 4);            // front elements
    w.Put(1, 4);            // side elements
    w.Put(0, 4);            // back elements
    w.Put(1, 2);            // LFE elements
    w.Put(0, 3);            // associated data elements
    w.Put(0, 4);            // coupling channel elements
    w.Put(0, 3);            // no mono or stereo mixdown, no matrix mixdown
    w.Put(1, 1);            // front: channel pair
    w.Put(0, 4);
    w.Put(0, 1);            // side: single channel
    w.Put(1, 4);
    w.Put(0, 4);            // LFE element tag
    Bytes bytes = w.Done();
    AppendZeros(bytes, 200);
    return bytes;
}

TAACfile ReadAac(const Bytes& bytes, bool expected = true) {
    TempDir dir;
    TAACfile aac;
    EXPECT_EQ(aac.ReadFromFile(dir.Write("x.aac", bytes)), expected);
    return aac;
}

} // namespace

TEST(AACfile, RealAdtsStreamGivesItsRow) {
    TFormatReaders readers;
    auto item = AnalyseFile(readers, "/", AacFixture("adts.aac"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->EncoderInfo, "MPEG-4 AAC LC ADTS");
    EXPECT_EQ(item->FileSize, 16674);
    EXPECT_EQ(item->SampleRate, 44100);
    EXPECT_EQ(item->Channels, 2);
    EXPECT_EQ(item->BitsPerSample, 16);
    EXPECT_EQ(item->BitRate, 128);
    EXPECT_NEAR(item->Duration, 1.0449, 0.0001);   // ffprobe: 1.044901

    TAACfile aac;
    ASSERT_TRUE(aac.ReadFromFile(AacFixture("adts.aac")));
    EXPECT_EQ(aac.FrameCount(), 45);   // the last frame ends at the end of the file
    EXPECT_EQ(aac.BitRateTypeName(), "VBR");
    EXPECT_EQ(aac.BitRate(), 127660);  // 16674 bytes over 45 frames of 1024 samples
    EXPECT_DOUBLE_EQ(aac.Ratio(), 16674.0 / (45 * 1024 * 4 + 44) * 100);
}

TEST(AACfile, TagsAroundTheStream) {
    // ID3v2 in front (the stream starts at its end), ID3v1 behind (the walk
    // ends there, counting the place without a sync word).
    TAACfile aac;
    ASSERT_TRUE(aac.ReadFromFile(AacFixture("adts-id3.aac")));
    EXPECT_TRUE(aac.ID3v2().Exists());
    EXPECT_EQ(aac.ID3v2().Size(), 67);
    EXPECT_TRUE(aac.ID3v1().Exists());
    EXPECT_EQ(aac.HeaderTypeName(), "ADTS");
    EXPECT_EQ(aac.SampleRate(), 48000);
    EXPECT_EQ(aac.Channels(), 1);
    EXPECT_EQ(aac.FrameCount(), 48 + 1);
    EXPECT_EQ(aac.BitRate(), 66689);   // 8714 frame bytes over 49 counts
    EXPECT_DOUBLE_EQ(aac.Duration(), (8909 - 67) * 8.0 / 66689);
}

TEST(AACfile, AdtsHeaderFields) {
    // MPEG-2 and MPEG-4 frames carry their length at the same place.
    for (bool mpeg2 : {false, true}) {
        AdtsHeader h;
        h.mpeg2 = mpeg2;
        h.profile = 0;
        h.samplingIndex = 3;
        h.channels = 6;
        Bytes stream;
        for (int i = 0; i < 10; ++i) Append(stream, AdtsFrame(h));
        const TAACfile aac = ReadAac(stream);
        EXPECT_EQ(aac.MPEGVersionName(), mpeg2 ? "MPEG-2" : "MPEG-4");
        EXPECT_EQ(aac.ProfileName(), "AAC Main");
        EXPECT_EQ(aac.SampleRate(), 48000);
        EXPECT_EQ(aac.Channels(), 6);
        EXPECT_EQ(aac.FrameCount(), 10);
        EXPECT_EQ(aac.BitRate(), 112500);   // 300 bytes * 8 / 1024 * 48000
        EXPECT_DOUBLE_EQ(aac.Duration(), 3000 * 8 / 112500.0);
    }
    AdtsHeader ssr;
    ssr.profile = 2;
    EXPECT_EQ(ReadAac(AdtsFrame(ssr)).ProfileName(), "AAC SSR");
    ssr.profile = 3;
    EXPECT_EQ(ReadAac(AdtsFrame(ssr)).ProfileName(), "AAC LTP");
}

TEST(AACfile, ConstantBitrateStreamReadsOnlyItsFirstFrame) {
    AdtsHeader h;
    h.fullness = 0x100;
    h.length = 432;
    Bytes stream;
    for (int i = 0; i < 20; ++i) Append(stream, AdtsFrame(h));
    const TAACfile aac = ReadAac(stream);
    EXPECT_EQ(aac.BitRateTypeName(), "CBR");
    EXPECT_EQ(aac.FrameCount(), 1);
    EXPECT_EQ(aac.BitRate(), 148838);   // 432 * 8 / 1024 * 44100 = 148837.5, half to even
    EXPECT_TRUE(aac.Valid());
    // The ratio comes from the playing time: 20 frames of 1024 stereo samples.
    EXPECT_NEAR(aac.Ratio(), 8640.0 / (aac.Duration() * 44100 * 4 + 44) * 100, 1e-9);
    EXPECT_NEAR(aac.Ratio(), 8640.0 / (20 * 1024 * 4 + 44) * 100, 0.01);
}

TEST(AACfile, AdifHeaderWithAndWithoutCopyrightId) {
    for (bool withId : {false, true}) {
        for (bool vbr : {false, true}) {
            const TAACfile aac = ReadAac(AdifHeader(withId, vbr, 96000, 7));
            EXPECT_EQ(aac.HeaderTypeName(), "ADIF");
            EXPECT_EQ(aac.MPEGVersionName(), "MPEG-4");
            EXPECT_EQ(aac.ProfileName(), "AAC LC");
            EXPECT_EQ(aac.BitRateTypeName(), vbr ? "VBR" : "CBR");
            EXPECT_EQ(aac.BitRate(), 96000);
            EXPECT_EQ(aac.SampleRate(), 22050);
            EXPECT_EQ(aac.Channels(), 4);   // a pair, a single channel and an LFE
            EXPECT_EQ(aac.FrameCount(), 0);
            EXPECT_TRUE(aac.Valid());
            // Not the size over a 44-byte header: the playing time gives the samples.
            EXPECT_LT(aac.Ratio(), 100);
        }
    }
}

TEST(AACfile, StreamsThatAreNotValid) {
    // Neither ADIF nor ADTS: read, not valid.
    TAACfile other = ReadAac(ToBytes("RIFF0000WAVEfmt and then some more bytes of junk"));
    EXPECT_EQ(other.HeaderTypeName(), "Unknown");
    EXPECT_FALSE(other.Valid());
    EXPECT_EQ(other.Ratio(), 0);
    // A reserved sampling-frequency index gives no sample rate.
    AdtsHeader h;
    h.samplingIndex = 13;
    EXPECT_FALSE(ReadAac(AdtsFrame(h)).Valid());
    // Channel configuration 0 (given in the stream): no channel count.
    h = AdtsHeader{};
    h.channels = 0;
    EXPECT_FALSE(ReadAac(AdtsFrame(h)).Valid());
    // Too short for the tag readers (an APE footer is 32 bytes): not read.
    ReadAac(Bytes{0xFF, 0xF1, 0x50, 0x80, 0x10, 0x00, 0x00}, false);
    // A missing file.
    TAACfile missing;
    EXPECT_FALSE(missing.ReadFromFile("/nonexistent/x.aac"));
}

TEST(AACfile, DamagedStreamsEndTheWalk) {
    // A frame length of 0 would lead back to the same header.
    AdtsHeader h;
    h.length = 0;
    Bytes stream = AdtsFrame(h);
    AppendZeros(stream, 100);
    const TAACfile zero = ReadAac(stream);
    EXPECT_EQ(zero.FrameCount(), 1);
    EXPECT_EQ(zero.BitRate(), 0);

    // A last header cut after 3 bytes: the missing bits read as zero, so it
    // counts with length 0 and stereo becomes channel configuration 0.
    AdtsHeader stereo;
    Bytes cut = AdtsFrame(stereo);
    Append(cut, Bytes{0xFF, 0xF1, 0x50});
    const TAACfile cutAac = ReadAac(cut);
    EXPECT_EQ(cutAac.FrameCount(), 2);
    EXPECT_EQ(cutAac.SampleRate(), 44100);
    EXPECT_EQ(cutAac.Channels(), 0);
    EXPECT_FALSE(cutAac.Valid());

    // Trailing garbage after the frames counts once.
    h = AdtsHeader{};
    Bytes frames;
    for (int i = 0; i < 5; ++i) Append(frames, AdtsFrame(h));
    Append(frames, "garbage");
    EXPECT_EQ(ReadAac(frames).FrameCount(), 6);
}

TEST(AACfile, FrameWalkReadsThroughTheBuffer) {
    // 2000 frames of 7 fields each: the walk must not cost a system read per
    // field (nor per frame).
    AdtsHeader h;
    Bytes stream;
    for (int i = 0; i < 2000; ++i) Append(stream, AdtsFrame(h));
    TempDir dir;
    const std::string path = dir.Write("long.aac", stream);
    TAACfile aac;
    const uint64_t before = TFileStream::TotalSystemReads();
    ASSERT_TRUE(aac.ReadFromFile(path));
    const uint64_t reads = TFileStream::TotalSystemReads() - before;
    EXPECT_EQ(aac.FrameCount(), 2000);
    EXPECT_LT(reads, 200u);   // 600 kB in windows of several kB
}

// HE-AAC in ADTS: the header gives the core rate (22050 here), the fill
// element with SBR data at the end of each frame doubles it.
TEST(AACfile, AdtsHeAacIsNamedWithItsOutputRate) {
    Bytes stream;
    for (int i = 0; i < 10; ++i) Append(stream, HeAacFrame(7, 12 + i % 4, i % 3 == 0));
    const TAACfile he = ReadAac(stream);
    EXPECT_EQ(he.ProfileName(), "HE-AAC");
    EXPECT_EQ(he.SampleRate(), 44100);
    EXPECT_EQ(he.CoreSampleRate(), 22050);
    EXPECT_EQ(he.FrameCount(), 10);
    // The bitrate counts the core frames of 1024 samples at 22050 Hz.
    EXPECT_EQ(he.BitRate(), RoundHalfEven(double(stream.size()) * 8 / 10 / 1024 * 22050));
    TempDir dir;
    TFormatReaders readers;
    auto row = AnalyseFile(readers, "/", dir.Write("he.aac", stream));
    EXPECT_EQ(row->EncoderInfo, "MPEG-4 HE-AAC ADTS");
    EXPECT_EQ(row->SampleRate, 44100);

    // A long SBR payload (escape count).
    stream.clear();
    for (int i = 0; i < 4; ++i) Append(stream, HeAacFrame(6, 40, false));
    EXPECT_EQ(ReadAac(stream).SampleRate(), 48000);

    // Fill elements of another type, or SBR data in fewer than three of the
    // first frames: LC as the header says.
    stream.clear();
    for (int i = 0; i < 10; ++i) Append(stream, HeAacFrame(7, 12, false, 2));
    EXPECT_EQ(ReadAac(stream).ProfileName(), "AAC LC");
    stream.clear();
    Append(stream, HeAacFrame(7, 12, false));
    Append(stream, HeAacFrame(7, 12, false));
    for (int i = 0; i < 6; ++i) Append(stream, HeAacFrame(7, 12, false, 2));
    EXPECT_EQ(ReadAac(stream).SampleRate(), 22050);
    // ffmpeg's LC stream stays LC.
    TAACfile lc;
    ASSERT_TRUE(lc.ReadFromFile(AacFixture("adts.aac")));
    EXPECT_EQ(lc.ProfileName(), "AAC LC");
}
