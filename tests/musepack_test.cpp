#include "core/Analysis.h"
#include "readers/Musepack.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// A stream version 7 header ("MP+" 0x07, or 0x17 for 7.1) followed by audio
// bytes up to fileSize.
Bytes SV7(uint8_t profileNibble, uint8_t encoderVersion, uint32_t frames = 100, std::size_t fileSize = 40032,
          uint8_t versionByte = 0x07, uint8_t rateIndex = 0, uint8_t channelByte = 0x40) {
    Bytes b;
    Append(b, "MP+");
    b.push_back(versionByte);
    AppendLE32(b, frames);
    AppendZeros(b, 2);
    b.push_back(static_cast<unsigned char>(profileNibble << 4 | rateIndex));
    b.push_back(channelByte);
    AppendZeros(b, 15);
    b.push_back(encoderVersion);
    AppendZeros(b, fileSize - b.size());
    return b;
}

// An old header: B1 holds the version bits, B2 the channel mode, and the top
// nine bits of W0 the bitrate.
Bytes OldHeader(uint8_t b1, uint32_t headerBitRate, uint32_t w1, std::size_t fileSize = 40032) {
    const uint32_t w0 = headerBitRate << 23 | 0x01u << 16 | uint32_t(b1) << 8;
    Bytes b;
    AppendLE32(b, w0);
    AppendLE32(b, w1);
    AppendZeros(b, fileSize - b.size());
    return b;
}

Bytes ID3v2Tag(std::size_t bodySize) {
    Bytes b;
    Append(b, "ID3");
    b.push_back(3);
    AppendZeros(b, 2);
    for (int shift = 21; shift >= 0; shift -= 7) b.push_back((bodySize >> shift) & 0x7F);
    AppendZeros(b, bodySize);
    return b;
}

Bytes ID3v1Tag() {
    Bytes b;
    Append(b, "TAG");
    AppendZeros(b, 125);
    return b;
}

std::string EncoderInfoOf(const Bytes& file) {
    TempDir dir;
    TFormatReaders readers;
    return AnalyseFile(readers, dir.Path().string(), dir.Write("a.mpc", file))->EncoderInfo;
}

} // namespace

TEST(Musepack, Version7HeaderValues) {
    TempDir dir;
    TMPEGplus r;
    ASSERT_TRUE(r.ReadFromFile(dir.Write("a.mpc", SV7(11, 115))));
    ASSERT_TRUE(r.Valid());
    EXPECT_EQ(r.StreamVersion(), 7);
    EXPECT_EQ(r.ChannelMode(), 2);
    EXPECT_EQ(r.FileSize(), 40032);
    EXPECT_EQ(r.FrameCount(), 100);
    EXPECT_EQ(r.SampleRate(), 44100);
    EXPECT_EQ(r.HeaderBitRate(), 0);
    EXPECT_EQ(r.Profile(), 4);
    EXPECT_DOUBLE_EQ(r.Duration(), 100 * 1152 / 44100.0);
    EXPECT_EQ(r.BitRate(), 123);   // 40032 bytes over 2.612 s
    EXPECT_DOUBLE_EQ(r.Ratio(), 40032.0 / (100 * 1152 * 4 + 44) * 100);

    ASSERT_TRUE(r.ReadFromFile(dir.Write("b.mpc", SV7(10, 0, 100, 40032, 0x17, 1, 0x3F))));
    EXPECT_EQ(r.StreamVersion(), 71);
    EXPECT_EQ(r.StreamVersionText(), "7.1");
    EXPECT_EQ(r.ChannelMode(), 1);
    EXPECT_EQ(r.SampleRate(), 48000);
    EXPECT_EQ(r.BitRate(), 133);
    EXPECT_EQ(r.EncoderVersionText(), "");
}

TEST(Musepack, EncoderInfoNamesProfileAndEncoderVersion) {
    EXPECT_EQ(EncoderInfoOf(SV7(11, 115)), "Musepack 1.15 --Alpha-- SV 7.0 Xtreme");
    EXPECT_EQ(EncoderInfoOf(SV7(10, 110, 100, 40032, 0x17)), "Musepack 1.1 Release SV 7.1 Standard");
    EXPECT_EQ(EncoderInfoOf(SV7(12, 116)), "Musepack 1.16 Beta SV 7.0 Insane");
    EXPECT_EQ(EncoderInfoOf(SV7(13, 0)), "Musepack  SV 7.0 BrainDead");

    const char* names[16] = {"Unknown",     "Experimental", "Unknown",      "Unknown", "Unknown", "--quality 0",
                             "--quality 1", "Telephone",    "Thumb",        "Radio",   "Standard", "Xtreme",
                             "Insane",      "BrainDead",    "--quality 9", "--quality 10"};
    TempDir dir;
    TMPEGplus r;
    for (uint8_t nibble = 0; nibble < 16; ++nibble) {
        ASSERT_TRUE(r.ReadFromFile(dir.Write("p.mpc", SV7(nibble, 0))));
        EXPECT_EQ(r.ProfileName(), names[nibble]) << int(nibble);
    }
}

TEST(Musepack, OldStreamVersions) {
    TempDir dir;
    TMPEGplus r;
    // Version 4: frame count in the high half of W1, bitrate from the header
    // even with an ID3v1 tag at the end.
    Bytes v4 = OldHeader(0x06, 128, 500u << 16);
    Append(v4, ID3v1Tag());
    ASSERT_TRUE(r.ReadFromFile(dir.Write("4.mp+", v4)));
    ASSERT_TRUE(r.Valid());
    EXPECT_EQ(r.StreamVersionText(), "4.0");
    EXPECT_EQ(r.FrameCount(), 500);
    EXPECT_EQ(r.HeaderBitRate(), 128);
    EXPECT_EQ(r.BitRate(), 128);
    EXPECT_EQ(r.ChannelMode(), 2);
    EXPECT_EQ(r.ProfileName(), "Unknown");

    ASSERT_TRUE(r.ReadFromFile(dir.Write("5.mpp", OldHeader(0x0E, 96, 500))));
    EXPECT_EQ(r.StreamVersionText(), "5.0");
    EXPECT_EQ(r.FrameCount(), 500);
    EXPECT_EQ(r.BitRate(), 96);

    // Version 6 has no header bitrate: it is computed from the file size.
    ASSERT_TRUE(r.ReadFromFile(dir.Write("6.mpc", OldHeader(0x16, 96, 100))));
    EXPECT_EQ(r.StreamVersionText(), "6.0");
    EXPECT_EQ(r.HeaderBitRate(), 0);
    EXPECT_EQ(r.BitRate(), 123);
}

TEST(Musepack, OldVersionsAre44100HzWithoutEncoderVersion) {
    // Versions 4 to 6 have no sample-rate field and no encoder version byte:
    // whatever the bytes at 10 and 27 hold, 44,100 Hz and no version text.
    // 1007 frames of 1152 samples: 26.305 s (at 32,000 Hz it would be 36.25 s).
    TempDir dir;
    TMPEGplus r;
    for (uint8_t b1 : {0x06, 0x0E, 0x16}) {   // versions 4, 5, 6
        Bytes file = OldHeader(b1, b1 == 0x16 ? 0 : 128, b1 == 0x06 ? 1007u << 16 : 1007u);
        file[10] = 0x03;   // would be 32,000 Hz in a version 7 header
        file[27] = 115;    // would be "1.15 --Alpha--"
        ASSERT_TRUE(r.ReadFromFile(dir.Write("old.mpc", file)));
        SCOPED_TRACE(r.StreamVersionText());
        EXPECT_EQ(r.SampleRate(), 44100);
        EXPECT_EQ(r.FrameCount(), 1007);
        EXPECT_NEAR(r.Duration(), 26.305, 0.001);
        EXPECT_EQ(r.EncoderVersionText(), "");
    }
    EXPECT_EQ(EncoderInfoOf([] {
                  Bytes file = OldHeader(0x0E, 128, 1007);
                  file[27] = 115;
                  return file;
              }()),
              "Musepack  SV 5.0 Unknown");
}

TEST(Musepack, TagsAroundTheStream) {
    TempDir dir;
    TMPEGplus r;
    Bytes file = ID3v2Tag(246);
    Append(file, SV7(11, 115));
    ASSERT_TRUE(r.ReadFromFile(dir.Write("id3v2.mpc", file)));
    ASSERT_TRUE(r.Valid());
    EXPECT_EQ(r.ProfileName(), "Xtreme");
    EXPECT_EQ(r.FileSize(), 40032 + 256);

    // The ID3v1 tag is left out of the bitrate but not out of size and ratio.
    file = SV7(11, 115, 100, 40032 - 128);
    Append(file, ID3v1Tag());
    ASSERT_TRUE(r.ReadFromFile(dir.Write("id3v1.mpc", file)));
    EXPECT_EQ(r.FileSize(), 40032);
    EXPECT_EQ(r.BitRate(), 122);
    EXPECT_DOUBLE_EQ(r.Ratio(), 40032.0 / (100 * 1152 * 4 + 44) * 100);
}

TEST(Musepack, UnreadableStreams) {
    TempDir dir;
    TMPEGplus r;
    // Stream version 8 from mpcenc is not read by this reader; the analysis
    // hands it to the SV8 reader (musepack_sv8_test.cpp).
    EXPECT_TRUE(r.ReadFromFile(FixturePath("lossless/mpc-sv8.mpc")));
    EXPECT_FALSE(r.Valid());

    Bytes shortFile = SV7(11, 115);
    shortFile.resize(31);
    EXPECT_FALSE(r.ReadFromFile(dir.Write("short.mpc", shortFile)));
    EXPECT_FALSE(r.Valid());
    EXPECT_FALSE(r.ReadFromFile(dir / "missing.mpc"));

    // A damaged frame count: no negative duration, no bitrate beyond 16 bits.
    ASSERT_TRUE(r.ReadFromFile(dir.Write("neg.mpc", SV7(11, 115, 0x80000000u))));
    EXPECT_EQ(r.Duration(), 0);
    EXPECT_EQ(r.Ratio(), 0);
    EXPECT_EQ(r.BitRate(), 0);
    ASSERT_TRUE(r.ReadFromFile(dir.Write("one.mpc", SV7(11, 115, 1, 1 << 20))));
    EXPECT_EQ(r.BitRate(), 65535);
}
