#include "core/Analysis.h"
#include "io/Errors.h"
#include "readers/FLACfile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kLibFlacVendor = "reference libFLAC 1.4.2 20221022";

struct StreamInfo {
    uint32_t rate = 44100;
    uint32_t channels = 2;
    uint32_t bits = 16;
    uint64_t samples = 44100;
};

// "fLaC" and a STREAMINFO block.
Bytes FlacStart(const StreamInfo& info, bool last = false) {
    Bytes out;
    Append(out, "fLaC");
    out.push_back(last ? 0x80 : 0x00);
    AppendBE24(out, 34);
    AppendBE16(out, 4096);
    AppendBE16(out, 4096);
    AppendZeros(out, 6);   // frame sizes
    AppendBE64(out, uint64_t(info.rate) << 44 | uint64_t(info.channels - 1) << 41 | uint64_t(info.bits - 1) << 36 |
                        info.samples);
    AppendZeros(out, 16);   // MD5
    return out;
}

void AppendBlock(Bytes& out, uint8_t type, const Bytes& payload, bool last = false) {
    out.push_back(static_cast<unsigned char>(type | (last ? 0x80 : 0)));
    AppendBE24(out, static_cast<uint32_t>(payload.size()));
    Append(out, payload);
}

Bytes CommentPayload(std::string_view vendor, std::initializer_list<std::string_view> fields, int32_t count = -1) {
    Bytes out;
    AppendLE32(out, static_cast<uint32_t>(vendor.size()));
    Append(out, vendor);
    AppendLE32(out, static_cast<uint32_t>(count >= 0 ? count : int32_t(fields.size())));
    for (auto field : fields) {
        AppendLE32(out, static_cast<uint32_t>(field.size()));
        Append(out, field);
    }
    return out;
}

// A frame header: sync and blocking bit, the code bytes, the coded number,
// the extra bytes, then its CRC-8 (polynomial 0x07), computed bit by bit.
Bytes FrameHeader(bool variable, uint8_t blockAndRate, uint8_t channelsAndSize, const Bytes& numberAndExtras) {
    Bytes out{0xFF, static_cast<unsigned char>(variable ? 0xF9 : 0xF8), blockAndRate, channelsAndSize};
    Append(out, numberAndExtras);
    uint8_t crc = 0;
    for (unsigned char byte : out) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = ((crc >> 7) ^ (byte >> bit)) & 1;
            crc = static_cast<uint8_t>(crc << 1);
            if (top) crc ^= 0x07;
        }
    }
    out.push_back(crc);
    return out;
}

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

} // namespace

TEST(FLACfile, EncoderFilesGiveTheirRows) {
    struct Row {
        const char* name;
        int64_t size;
        double duration;
        int32_t rate, channels, bits, bitRate;
        double ratio;
    };
    // Sizes from the files; rate, channels and duration agree with ffprobe.
    // The bitrate counts the bytes after the metadata only. The ratio by hand:
    // size / (duration x rate x channels x bits / 8) x 100, no header.
    const Row rows[] = {
        {"flac-level0.flac", 38925, 1.0, 44100, 2, 16, 311, 22.0663},
        {"flac-level5.flac", 39788, 1.0, 44100, 2, 16, 252, 22.5556},
        {"flac-level8.flac", 32599, 1.0, 44100, 2, 16, 252, 18.4802},
        {"flac-cover.flac", 31955, 1.0, 44100, 2, 16, 252, 18.1151},
        {"flac-mono.flac", 32256, 1.5, 44100, 1, 16, 128, 24.3810},
        {"flac-24bit-96k.flac", 43525, 0.25, 96000, 2, 24, 1127, 30.2257},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = Analyse(FixturePath(std::string("xiph/") + row.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileSize, row.size);
        EXPECT_DOUBLE_EQ(item->Duration, row.duration);
        EXPECT_EQ(item->SampleRate, row.rate);
        EXPECT_EQ(item->Channels, row.channels);
        EXPECT_EQ(item->BitsPerSample, row.bits);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_NEAR(item->Ratio, row.ratio, 0.0001);
        EXPECT_EQ(item->EncoderInfo, kLibFlacVendor);
    }
}

TEST(FLACfile, MetadataBlocksOfEncoderFiles) {
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(FixturePath("xiph/flac-level5.flac")));
    // STREAMINFO, SEEKTABLE, VORBIS_COMMENT (78 bytes), PADDING (8192, last).
    EXPECT_EQ(flac.Samples(), 44100);
    EXPECT_EQ(flac.VorbisCommentIndex(), 2);
    EXPECT_EQ(flac.VorbisCommentOffset(), 42 + 4 + 18 + 4);
    EXPECT_EQ(flac.VorbisCommentSize(), 78u);
    EXPECT_EQ(flac.PaddingSize(), 8192);
    EXPECT_EQ(flac.PaddingIndex(), 3);
    EXPECT_TRUE(flac.PaddingIsLast());
    EXPECT_FALSE(flac.HasExtraPadding());
    EXPECT_EQ(flac.AudioOffset(), 42 + 4 + 18 + 4 + 78 + 4 + 8192);
    ASSERT_EQ(flac.OtherBlocks().size(), 1u);
    EXPECT_EQ(flac.OtherBlocks()[0].Header[0], 3);   // SEEKTABLE
    EXPECT_EQ(flac.OtherBlocks()[0].Length, 18u);
    EXPECT_TRUE(flac.HasCommentFields());
    EXPECT_EQ(flac.Field("ARTIST"), "Sondaro");
    EXPECT_EQ(flac.Field("TITLE"), "Level five");

    // Cover art in the middle: the walk steps over it and still meets the padding.
    ASSERT_TRUE(flac.ReadFromFile(FixturePath("xiph/flac-cover.flac")));
    EXPECT_EQ(flac.PaddingIndex(), 4);
    EXPECT_EQ(flac.PaddingSize(), 256);
    ASSERT_EQ(flac.OtherBlocks().size(), 2u);
    EXPECT_EQ(flac.OtherBlocks()[1].Header[0] & 0x7F, 6);   // PICTURE
    EXPECT_EQ(flac.OtherBlocks()[1].Length, 137u);
    EXPECT_EQ(flac.Vendor(), kLibFlacVendor);
    EXPECT_FALSE(flac.HasCommentFields());
    EXPECT_EQ(flac.Field("ARTIST"), "");   // nothing carried over from the previous file

    ASSERT_TRUE(flac.ReadFromFile(FixturePath("xiph/flac-level8.flac")));
    EXPECT_EQ(flac.Field("TRACKNUMBER"), "7");
    EXPECT_EQ(flac.PaddingSize(), 1024);
}

TEST(FLACfile, IgnoresLeadingID3v2TagInBitRateOnly) {
    const auto tagged = Analyse(FixturePath("xiph/flac-id3v2.flac"));
    const auto plain = Analyse(FixturePath("xiph/flac-level0.flac"));
    ASSERT_TRUE(tagged && plain);
    EXPECT_EQ(tagged->FileSize, plain->FileSize + 1024);
    EXPECT_EQ(tagged->BitRate, plain->BitRate);
    EXPECT_GT(tagged->Ratio, plain->Ratio);
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(FixturePath("xiph/flac-id3v2.flac")));
    EXPECT_EQ(flac.AudioOffset(), 1024 + 42 + 4 + 40);
}

TEST(FLACfile, TotalSampleCountUsesAll36Bits) {
    TempDir dir;
    StreamInfo info;
    info.samples = (uint64_t(1) << 32) + 44100;   // a little over 27 hours
    Bytes file = FlacStart(info, true);
    AppendZeros(file, 100);
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("long.flac", file)));
    EXPECT_EQ(flac.Samples(), int64_t(info.samples));
    EXPECT_DOUBLE_EQ(flac.Duration(), double(info.samples) / 44100);
    EXPECT_EQ(flac.AudioOffset(), 42);
    EXPECT_EQ(flac.BitRate(), 0);   // 100 bytes of audio over 27 hours
}

TEST(FLACfile, UnknownTotalTakesTheLastFrameHeader) {
    // flac from a pipe to a pipe: STREAMINFO says 0 samples. The last frame
    // ends at 1.30 s (ffprobe's last packet: 1.28 s + 0.02 s), 20800 samples.
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(FixturePath("xiph/flac-stdin.flac")));
    EXPECT_TRUE(flac.SamplesFromFrames());
    EXPECT_EQ(flac.Samples(), 20800);
    EXPECT_DOUBLE_EQ(flac.Duration(), 1.3);
    const auto item = Analyse(FixturePath("xiph/flac-stdin.flac"));
    EXPECT_EQ(item->SampleRate, 16000);
    EXPECT_EQ(item->Channels, 1);
    EXPECT_EQ(item->EncoderInfo, kLibFlacVendor);

    TempDir dir;
    StreamInfo info;
    info.samples = 0;
    // Fixed block size: frame 0 of 4096 samples (code 0xC, 44100 Hz code 9,
    // stereo 16-bit 0x18), then frame 10 of 100 samples (8-bit size code 6):
    // 10 x 4096 + 100.
    Bytes fixed = FlacStart(info, true);
    Append(fixed, FrameHeader(false, 0xC9, 0x18, {0x00}));
    AppendZeros(fixed, 3000);
    Append(fixed, FrameHeader(false, 0x69, 0x18, {0x0A, 99}));
    AppendZeros(fixed, 200);
    Bytes fake = FrameHeader(false, 0x69, 0x18, {0x0B, 99});
    fake.back() ^= 0x55;   // a sync pattern in the audio with a wrong CRC-8
    Append(fixed, fake);
    AppendZeros(fixed, 20);
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("fixed.flac", fixed)));
    EXPECT_EQ(flac.Samples(), 41060);

    // Variable block size: sample number 50000 (three coded bytes) and a
    // 16-bit block size of 2000 (code 7): 52000.
    Bytes variable = FlacStart(info, true);
    Append(variable, FrameHeader(true, 0xC9, 0x18, {0x00}));
    AppendZeros(variable, 3000);
    Append(variable, FrameHeader(true, 0x79, 0x18, {0xEC, 0x8D, 0x90, 0x07, 0xCF}));
    AppendZeros(variable, 100);
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("variable.flac", variable)));
    EXPECT_EQ(flac.Samples(), 52000);

    // A frame that disagrees with STREAMINFO (48000 Hz, code 10) is not taken.
    Bytes other = FlacStart(info, true);
    Append(other, FrameHeader(false, 0xCA, 0x18, {0x00}));
    AppendZeros(other, 100);
    EXPECT_FALSE(flac.ReadFromFile(dir.Write("other.flac", other)));
    EXPECT_EQ(flac.Samples(), 0);
}

TEST(FLACfile, StreamInfoAloneGivesVendorlessRow) {
    TempDir dir;
    Bytes file = FlacStart({}, true);
    AppendZeros(file, 4410);
    const auto item = Analyse(dir.Write("bare.flac", file));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->EncoderInfo, "FLAC");
    // Zeros hold no frame: none of the declared second is there.
    EXPECT_EQ(HealthText(item->Health), "Truncated: 00:00 of 00:01");
    EXPECT_EQ(item->Duration, 0);
    EXPECT_EQ(item->BitRate, 0);
}

TEST(FLACfile, BlockTypesBeyondFiveAreSteppedOverButTypeInvalidRejects) {
    TempDir dir;
    Bytes file = FlacStart({});
    AppendBlock(file, 6, Bytes(300, 0xAA));       // PICTURE
    AppendBlock(file, 126, Bytes(10, 0x55));      // reserved
    AppendBlock(file, 4, CommentPayload("after the picture", {}), true);
    AppendZeros(file, 1000);
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("picture.flac", file)));
    EXPECT_EQ(flac.Vendor(), "after the picture");
    EXPECT_EQ(flac.VorbisCommentIndex(), 3);
    EXPECT_EQ(flac.OtherBlocks().size(), 2u);
    EXPECT_EQ(flac.AudioOffset(), int64_t(file.size()) - 1000);

    Bytes invalid = FlacStart({});
    AppendBlock(invalid, 127, Bytes(8, 0));
    AppendBlock(invalid, 4, CommentPayload("never read", {}), true);
    EXPECT_FALSE(flac.ReadFromFile(dir.Write("invalid.flac", invalid)));
    EXPECT_FALSE(flac.Valid());
    EXPECT_EQ(flac.Vendor(), "");
    EXPECT_EQ(Analyse(dir.Write("invalid2.flac", invalid))->EncoderInfo, kNotScannedText);
}

TEST(FLACfile, CommentFieldsFillSlotsOnceAndOverflowToExtraFields) {
    TempDir dir;
    Bytes file = FlacStart({});
    AppendBlock(file, 4,
                CommentPayload("first vendor", {"artist=", "ARTIST=Filled later", "Title=caf\xC3\xA9", "no equals sign",
                                                "TITLE=Second title", "X-CUSTOM=value"}));
    AppendBlock(file, 1, Bytes(16, 0));
    AppendBlock(file, 4, CommentPayload("second vendor", {"ARTIST=Third", "ISRC=AB"}));
    AppendBlock(file, 1, Bytes(8, 0), true);
    AppendZeros(file, 500);
    TFLACfile flac;
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("comments.flac", file)));
    EXPECT_EQ(flac.Vendor(), "second vendor");
    EXPECT_EQ(flac.Field("ARTIST"), "Filled later");   // an empty value leaves the slot free
    EXPECT_EQ(flac.Field("TITLE"), "caf\xC3\xA9");
    EXPECT_EQ(flac.Field("ISRC"), "AB");
    ASSERT_EQ(flac.ExtraFields().size(), 3u);
    EXPECT_EQ(flac.ExtraFields()[0].Name, "TITLE");
    EXPECT_EQ(flac.ExtraFields()[0].Value, "Second title");
    EXPECT_EQ(flac.ExtraFields()[1].Name, "X-CUSTOM");
    EXPECT_EQ(flac.ExtraFields()[2].Value, "Third");
    EXPECT_EQ(flac.PaddingIndex(), 2);
    EXPECT_FALSE(flac.PaddingIsLast());
    EXPECT_TRUE(flac.HasExtraPadding());
    EXPECT_EQ(flac.VorbisCommentIndex(), 3);
}

TEST(FLACfile, DamagedMetadataEndsTheWalk) {
    TempDir dir;
    TFLACfile flac;

    // A zero length ends the walk right after that block header.
    Bytes zero = FlacStart({});
    AppendBlock(zero, 2, {});
    AppendBlock(zero, 4, CommentPayload("unreached", {}), true);
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("zero.flac", zero)));
    EXPECT_EQ(flac.AudioOffset(), 46);
    EXPECT_EQ(flac.Vendor(), "");

    // The file ends after a block without the last-block flag: no endless walk.
    Bytes open = FlacStart({});
    AppendBlock(open, 1, Bytes(20, 0));
    open.push_back(0x01);   // half a block header
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("open.flac", open)));
    EXPECT_EQ(flac.PaddingSize(), 20);

    // A block that runs past the end of the file leaves no audio: not valid.
    Bytes cut = FlacStart({});
    AppendBlock(cut, 3, Bytes(100, 0));
    cut.resize(cut.size() - 10);
    EXPECT_FALSE(flac.ReadFromFile(dir.Write("cut.flac", cut)));

    // A field count far beyond the block: the fields that are there are read.
    Bytes count = FlacStart({});
    AppendBlock(count, 4, CommentPayload("v", {"ALBUM=A"}, 0x7FFFFFFF), true);
    AppendZeros(count, 100);
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("count.flac", count)));
    EXPECT_EQ(flac.Field("ALBUM"), "A");
    EXPECT_EQ(flac.AudioOffset(), int64_t(count.size()) - 100);

    // A vendor length beyond the block is not read at all.
    Bytes vendor = FlacStart({});
    Bytes payload;
    AppendLE32(payload, 0xFFFFFFF0);
    Append(payload, "short");
    AppendBlock(vendor, 4, payload, true);
    AppendZeros(vendor, 100);
    ASSERT_TRUE(flac.ReadFromFile(dir.Write("vendor.flac", vendor)));
    EXPECT_EQ(flac.Vendor(), "");
}

TEST(FLACfile, NotFlacIsRejected) {
    TempDir dir;
    TFLACfile flac;
    EXPECT_FALSE(flac.ReadFromFile(dir.Write("text.flac", "not a FLAC file at all")));
    EXPECT_FALSE(flac.ReadFromFile(dir.Write("tiny.flac", "fLa")));
    EXPECT_EQ(flac.Duration(), 0.0);
    EXPECT_EQ(flac.Ratio(), 0.0);

    // STREAMINFO with no samples is not valid.
    StreamInfo info;
    info.samples = 0;
    EXPECT_FALSE(flac.ReadFromFile(dir.Write("empty.flac", FlacStart(info, true))));

    const auto item = Analyse(dir.Write("text2.flac", "not a FLAC file at all"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->FileSize, 0);
    EXPECT_EQ(item->EncoderInfo, kNotScannedText);
    EXPECT_THROW(flac.ReadFromFile(dir / "missing.flac"), EFOpenError);
}
