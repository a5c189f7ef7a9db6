// TMPEGaudio and the MP3 analysis step: frame arithmetic, the searches, the
// counting scan, VBR headers, vendor marks, and every real fixture's row.
#include "MpegTestFrames.h"
#include "core/Analysis.h"
#include "core/AudioItem.h"
#include "core/FillFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

TAudioItem Analyse(const std::string& path) {
    TMPEGaudio reader;
    TAudioItem item;
    item.FullPath = path;
    FillMPEGItem(reader, item);
    return item;
}

FrameData Decoded(const FrameSpec& shape) {
    FrameData frame;
    mpegframe::DecodeHeader(FrameHeader(shape).data(), frame);
    return frame;
}

} // namespace

TEST(MpegFrame, HeaderTestRejectsReservedAndFreeFormatValues) {
    const FrameSpec good;
    const Bytes h = FrameHeader(good);
    EXPECT_TRUE(mpegframe::IsFrameHeader(h[0], h[1], h[2], h[3]));
    EXPECT_FALSE(mpegframe::IsFrameHeader(0xFE, h[1], h[2], h[3]));
    EXPECT_FALSE(mpegframe::IsFrameHeader(h[0], 0xC0 | (h[1] & 0x1F), h[2], h[3]));   // sync cut short
    EXPECT_FALSE(mpegframe::IsFrameHeader(h[0], (h[1] & ~0x18) | 0x08, h[2], h[3]));  // reserved version
    EXPECT_FALSE(mpegframe::IsFrameHeader(h[0], h[1] & ~0x06, h[2], h[3]));           // reserved layer
    EXPECT_FALSE(mpegframe::IsFrameHeader(h[0], h[1], h[2] & 0x0F, h[3]));            // free format
    EXPECT_FALSE(mpegframe::IsFrameHeader(h[0], h[1], h[2] | 0xF0, h[3]));            // bad bitrate
    EXPECT_FALSE(mpegframe::IsFrameHeader(h[0], h[1], h[2] | 0x0C, h[3]));            // reserved rate
    EXPECT_FALSE(mpegframe::IsFrameHeader(h[0], h[1], h[2], h[3] | 0x02));            // reserved emphasis
}

TEST(MpegFrame, FrameLengthsAcrossVersionsAndLayers) {
    struct Case {
        FrameSpec shape;
        unsigned length, bitRate, sampleRate, samples;
    };
    const Case cases[] = {
        {{3, 1, 9, 0, false}, 417, 128, 44100, 1152},
        {{3, 1, 9, 0, true}, 418, 128, 44100, 1152},
        {{3, 2, 14, 2, true}, 1729, 384, 32000, 1152},   // the longest frame
        {{2, 1, 8, 0, false}, 208, 64, 22050, 576},
        {{0, 1, 1, 2, false}, 72, 8, 8000, 576},
        {{2, 2, 8, 1, false}, 384, 64, 24000, 1152},
        // Layer I: 4-byte slots, 384 samples in every version.
        {{3, 3, 12, 0, false}, 416, 384, 44100, 384},
        {{3, 3, 12, 0, true}, 420, 384, 44100, 384},
        {{3, 3, 14, 2, true}, 676, 448, 32000, 384},
        {{2, 3, 8, 0, false}, 276, 128, 22050, 384},
        {{0, 3, 1, 2, true}, 196, 32, 8000, 384},
    };
    for (const Case& c : cases) {
        const FrameData frame = Decoded(c.shape);
        SCOPED_TRACE(testing::Message() << "version " << int(c.shape.Version) << " layer " << int(c.shape.Layer)
                                        << " bitrate index " << int(c.shape.BitRateIndex));
        EXPECT_EQ(mpegframe::FrameLength(frame), c.length);
        EXPECT_EQ(mpegframe::BitRate(frame), c.bitRate);
        // The walk's one-look-up decoding of the raw header agrees.
        EXPECT_EQ(mpegframe::QuickHeaderLength(FrameHeader(c.shape).data()), c.length);
        EXPECT_EQ(mpegframe::QuickBitRate(FrameHeader(c.shape).data()), c.bitRate);
        EXPECT_EQ(mpegframe::SampleRate(frame), c.sampleRate);
        EXPECT_EQ(mpegframe::Coefficient(frame) * 8, int(c.samples));
    }
}

TEST(MpegReader, CountsEveryFrameOfAPlainCbrStream) {
    TempDir dir;
    FrameSpec shape;
    const std::string path = dir.Write("cbr.mp3", Frames(shape, 30));
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(path));
    ASSERT_TRUE(reader.Valid());
    EXPECT_EQ(reader.FramesCounted(), 30);
    EXPECT_EQ(reader.FrameCount(), 30);
    EXPECT_EQ(reader.FrameBytes(), 30 * 417);
    EXPECT_FALSE(reader.VBR().Found);
    EXPECT_EQ(reader.BitRate(), 128);
    EXPECT_EQ(reader.SampleRate(), 44100);
    EXPECT_DOUBLE_EQ(reader.Duration(), 30 * 417 * 8 / 128000.0);
    EXPECT_EQ(reader.Samples(), 30 * 1152);
    EXPECT_DOUBLE_EQ(reader.Ratio(), 30 * 417 / (30 * 1152 * 4 + 44.0) * 100);
    EXPECT_EQ(reader.Version(), "MPEG 1");
    EXPECT_EQ(reader.Layer(), "Layer III");
    EXPECT_EQ(reader.ChannelMode(), "Joint Stereo");
}

TEST(MpegReader, FinalFrameBeforeATagIsCounted) {
    TempDir dir;
    FrameSpec shape;
    Bytes bytes = Frames(shape, 30);
    Bytes tag = ToBytes("TAG");
    tag.resize(128, ' ');
    Append(bytes, tag);
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("tagged.mp3", bytes)));
    EXPECT_EQ(reader.FramesCounted(), 30);
    EXPECT_EQ(reader.Findings().TrailingBytes, 0);
}

TEST(MpegReader, LayerIStreamsOfEveryVersion) {
    TempDir dir;
    const FrameSpec shapes[] = {{3, 3, 12, 0, false, 0}, {2, 3, 8, 0, false, 3}, {0, 3, 4, 1, false, 3}};
    for (const FrameSpec& shape : shapes) {
        SCOPED_TRACE(int(shape.Version));
        const int count = 120;
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromFile(dir.Write("layer1.mp1", Frames(shape, count))));
        ASSERT_TRUE(reader.Valid());
        EXPECT_EQ(reader.Layer(), "Layer I");
        EXPECT_EQ(reader.FramesCounted(), count);
        EXPECT_EQ(reader.Samples(), count * 384);
        // A CBR duration comes from the byte count.
        EXPECT_NEAR(reader.Duration(), count * FrameLengthOf(shape) * 8.0 / reader.BitRate() / 1000, 1e-9);
    }
}

TEST(MpegReader, XingHeaderGivesFramesBytesAndVendor) {
    TempDir dir;
    FrameSpec shape;
    Bytes bytes = Frames(shape, 40);
    Put(bytes, 36, "Xing");
    PutBE32(bytes, 36 + 4, 15);
    PutBE32(bytes, 36 + 8, 39);              // frames
    PutBE32(bytes, 36 + 12, 39 * 261);       // bytes: 80 kbit/s on average
    PutByte(bytes, 36 + 119, 57);
    Put(bytes, 36 + 120, "LAME3.100");       // the mark runs on past 8 characters
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("xing.mp3", bytes)));
    ASSERT_TRUE(reader.VBR().Found);
    EXPECT_EQ(reader.VBR().ID, "Xing");
    EXPECT_EQ(reader.VBR().Frames, 39);
    EXPECT_EQ(reader.VBR().Scale, 57);
    EXPECT_EQ(reader.VBR().VendorID, "LAME3.100");
    EXPECT_EQ(reader.FrameCount(), 39);
    EXPECT_EQ(reader.BitRate(), 80);   // 261 × 44100 / 144 / 1000 = 79.9
    EXPECT_DOUBLE_EQ(reader.Duration(), 39 * 1152 / 44100.0);
    EXPECT_FALSE(reader.Findings().Walked);   // the header gives the count
    EXPECT_EQ(reader.EncoderID(), 3);
    EXPECT_EQ(reader.Encoder(), "LAME 3.100");
}

TEST(MpegReader, XingFieldsAreReadOnlyWhenTheFlagsSaySo) {
    TempDir dir;
    FrameSpec shape;
    struct Case {
        uint32_t flags, atEight, atTwelve;
        int frames;
        int64_t bytes;
    };
    const Case cases[] = {
        // A negative frame count is no count: the frames are walked.
        {1, 0xFFFFFFF6u, 0, 20, 20 * 417},
        // No frames field: what lies at +8 is the bytes field (or garbage).
        {2, 20 * 417, 0x7FFF0000u, 20, 20 * 417},
        {0, 5000, 6000, 20, 20 * 417},
        // Both fields, in this order.
        {3, 19, 19 * 417, 19, 19 * 417},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        Bytes bytes = Frames(shape, 20);
        Put(bytes, 36, "Xing");
        PutBE32(bytes, 36 + 4, c.flags);
        PutBE32(bytes, 36 + 8, c.atEight);
        PutBE32(bytes, 36 + 12, c.atTwelve);
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromFile(dir.Write("flags.mp3", bytes)));
        ASSERT_TRUE(reader.Valid());
        EXPECT_EQ(reader.FrameCount(), c.frames);
        EXPECT_EQ(reader.VBR().Bytes, c.bytes);
        EXPECT_EQ(reader.BitRate(), 128);
        EXPECT_NEAR(reader.Duration(), c.frames * 1152 / 44100.0, 1e-9);
        EXPECT_GT(reader.Ratio(), 0);
        EXPECT_EQ(reader.Encoder(), "Xing");
    }
}

TEST(MpegReader, InfoHeaderIsNotVbr) {
    TempDir dir;
    FrameSpec shape;
    Bytes bytes = Frames(shape, 20);
    Put(bytes, 36, "Info");
    PutBE32(bytes, 36 + 8, 5000);
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("info.mp3", bytes)));
    EXPECT_FALSE(reader.VBR().Found);
    EXPECT_EQ(reader.BitRate(), 128);
    // The header claims 5000 frames; the 19 audio frames after it are there.
    EXPECT_TRUE(reader.Findings().Truncated);
    EXPECT_EQ(reader.FrameCount(), 19);
    EXPECT_DOUBLE_EQ(reader.Duration(), 19 * 1152 / 44100.0);
}

TEST(MpegReader, VbriHeaderMeansFraunhofer) {
    TempDir dir;
    FrameSpec shape;
    Bytes bytes = Frames(shape, 20);
    Put(bytes, 36, "VBRI");
    PutByte(bytes, 36 + 9, 75);
    PutBE32(bytes, 36 + 10, 20 * 417);
    PutBE32(bytes, 36 + 14, 20);
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("vbri.mp3", bytes)));
    EXPECT_EQ(reader.VBR().ID, "VBRI");
    EXPECT_EQ(reader.VBR().Scale, 75);
    EXPECT_EQ(reader.FrameCount(), 20);
    EXPECT_EQ(reader.BitRate(), 128);   // 417 × 44100 / 144 / 1000 = 127.7
    EXPECT_EQ(reader.Encoder(), "FhG");
}

TEST(MpegReader, DifferingBitratesWithoutHeaderAreVbrByCounting) {
    TempDir dir;
    FrameSpec low, high;
    low.BitRateIndex = 9;    // 128
    high.BitRateIndex = 11;  // 192
    Bytes bytes;
    for (int i = 0; i < 20; ++i) Append(bytes, Frame(i % 2 ? high : low));
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("vbr.mp3", bytes)));
    EXPECT_TRUE(reader.BitRateChanged());
    ASSERT_TRUE(reader.VBR().Found);
    EXPECT_EQ(reader.VBR().ID, "");
    EXPECT_EQ(reader.VBR().Frames, 20);
    EXPECT_EQ(reader.VBR().Bytes, 10 * 417 + 10 * 626);
    EXPECT_EQ(reader.BitRate(), 160);   // 521.5 × 44100 / 144 / 1000 = 159.7
    EXPECT_EQ(reader.EncoderID(), 0);
}

TEST(MpegReader, CountingStartsAtTheAcceptedFirstFrame) {
    TempDir dir;
    FrameSpec shape;
    Bytes bytes = FrameHeader(shape);   // a header whose follower is no header
    AppendZeros(bytes, 100);
    Append(bytes, Frames(shape, 20));
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("false.mp3", bytes)));
    EXPECT_EQ(reader.FramesCounted(), 20);
    EXPECT_EQ(reader.AudioStart(), 104);
    ASSERT_TRUE(reader.Valid());
    EXPECT_EQ(reader.Samples(), 20 * 1152);
    EXPECT_NEAR(reader.Ratio(), 8444 / (20 * 1152 * 4 + 44.0) * 100, 1e-9);   // 9.15%
    EXPECT_EQ(reader.Findings().JunkBytes, 4);     // the false header
    EXPECT_EQ(reader.Findings().ZeroBytes, 100);
}

TEST(MpegReader, FirstFrameInAShortFinalBlockGetsItsFilePosition) {
    TempDir dir;
    FrameSpec shape;
    Bytes bytes(3458 + 100, 0x20);   // no sync anywhere
    Append(bytes, Frames(shape, 3));
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("late.mp3", bytes)));
    ASSERT_TRUE(reader.Frame().Found);
    EXPECT_EQ(reader.Frame().Position, 3558);
    EXPECT_EQ(reader.AudioStart(), 3558);
}

TEST(MpegReader, VendorMarksInTheFrameData) {
    TempDir dir;
    FrameSpec shape;
    struct Case {
        std::vector<std::pair<std::size_t, std::string>> marks;   // offsets from the end
        std::string encoder;
    };
    const Case cases[] = {
        {{{600, "LAME3.97"}}, "LAME 3.97"},
        {{{600, "LAME3.100"}}, "LAME 3.100"},
        {{{600, "LAME3.99r"}}, "LAME 3.99"},
        {{{600, "LAME    "}}, "LAME"},
        // The search runs backwards from the end: the nearer GOGO wins.
        {{{1500, "LAME3.97"}, {600, "GOGO"}}, "GoGo"},
        {{{1500, "GOGO"}, {600, "LAME3.90"}}, "LAME 3.90"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoder);
        Bytes bytes = Frames(shape, 40);
        for (const auto& [fromEnd, mark] : c.marks) Put(bytes, bytes.size() - fromEnd, mark);
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromFile(dir.Write("mark.mp3", bytes)));
        EXPECT_EQ(reader.Encoder(), c.encoder);
    }
}

TEST(MpegReader, VendorMarkAnywhereInTheFirstFrames) {
    TempDir dir;
    FrameSpec shape;
    for (std::size_t at : {std::size_t{40}, std::size_t{1000}, std::size_t{4 * 417 + 400}}) {
        SCOPED_TRACE(at);
        Bytes bytes = Frames(shape, 300);
        Put(bytes, at, "LAME3.93");
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromFile(dir.Write("first.mp3", bytes)));
        EXPECT_EQ(reader.VendorID(), "LAME3.93");
        EXPECT_EQ(reader.Encoder(), "LAME 3.93");
    }
    // Beyond the first five frames and the end: no mark.
    Bytes bytes = Frames(shape, 300);
    Put(bytes, 20 * 417, "LAME3.93");
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("deep.mp3", bytes)));
    EXPECT_EQ(reader.VendorID(), "");
    EXPECT_EQ(reader.EncoderID(), 0);
}

TEST(MpegReader, EncoderGuessFromFrameHeaderHabits) {
    TempDir dir;
    struct Case {
        FrameSpec shape;
        const char* encoder;
    };
    FrameSpec lame;  lame.Crc = true; lame.Original = true;
    FrameSpec fhg;
    FrameSpec blade; blade.Mode = 0;
    FrameSpec xing;  xing.Copyright = true; xing.Original = true;
    FrameSpec layer2; layer2.Layer = 2; layer2.BitRateIndex = 10;
    FrameSpec shine; shine.Mode = 2; shine.Crc = true;
    // Layer II has no habits to go by.
    const Case cases[] = {{lame, "LAME"}, {fhg, "FhG"}, {blade, "Blade"},
                          {xing, "Xing"}, {layer2, "Unknown"}, {shine, "Shine"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoder);
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromFile(dir.Write("habit.mp3", Frames(c.shape, 30))));
        EXPECT_EQ(reader.EncoderID(), 0);   // no mark
        EXPECT_EQ(reader.Encoder(), c.encoder);
    }
}

TEST(MpegReader, DamagedAndMissingFiles) {
    TempDir dir;
    TMPEGaudio reader;
    EXPECT_FALSE(reader.ReadFromFile(dir / "missing.mp3"));
    EXPECT_FALSE(reader.Valid());
    EXPECT_FALSE(reader.ReadFromFile(dir.Folder("folder.mp3")));

    EXPECT_TRUE(reader.ReadFromFile(dir.Write("tiny.mp3", Bytes{0xFF, 0xFB})));
    EXPECT_FALSE(reader.Valid());
    EXPECT_EQ(reader.FileSize(), 0);

    EXPECT_TRUE(reader.ReadFromFile(dir.Write("noise.mp3", Bytes(20000, 0xFF))));
    EXPECT_FALSE(reader.Valid());

    // A single frame has no follower: nothing is accepted.
    FrameSpec shape;
    EXPECT_TRUE(reader.ReadFromFile(dir.Write("one.mp3", Frame(shape))));
    EXPECT_FALSE(reader.Frame().Found);

    // Too short to last 0.1 seconds.
    EXPECT_TRUE(reader.ReadFromFile(dir.Write("brief.mp3", Frames(shape, 3))));
    EXPECT_TRUE(reader.Frame().Found);
    EXPECT_FALSE(reader.Valid());
    EXPECT_EQ(reader.Ratio(), 0);
}

TEST(MpegReader, CountingScanReadsFarFewerTimesThanFrames) {
    TempDir dir;
    FrameSpec shape;
    TMPEGaudio reader;
    const uint64_t bytesBefore = TFileStream::TotalBytesRead();
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("long.mp3", Frames(shape, 5000))));
    const uint64_t bytesRead = TFileStream::TotalBytesRead() - bytesBefore;
    EXPECT_EQ(reader.FramesCounted(), 5000);
    EXPECT_LT(reader.SystemReads(), 5000u / 50);
    // The search, the first frames and the walk read each byte once; only
    // the tags' look at the last 8 KiB reads some twice.
    EXPECT_LE(bytesRead, 5000u * 417 + 8192);
    // A second file in the same reader is read afresh.
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("short.mp3", Frames(shape, 700))));
    EXPECT_EQ(reader.FramesCounted(), 700);
}

// Every real fixture: the row the analysis gives, and ffprobe's view of the
// sample rate, channels and duration (ffprobe leaves out the encoder delay, so
// durations differ by up to a frame or two). A file whose LAME or ffmpeg tag
// records the encoder delay and padding lasts exactly as many samples as
// ffmpeg's full decode gives (decoded.txt).
TEST(MpegFixtures, RowsOfRealFiles) {
    struct Case {
        const char* file;
        int64_t size;
        int sampleRate, channels, bitRate, frames;
        double duration;
        const char* encoderInfo;
    };
    // A CBR file with an Info header lasts as long as its audio frames.
    constexpr double cbr128 = 40 * 1152 / 44100.0;
    constexpr double vbr40 = 40 * 1152 / 44100.0;
    const Case cases[] = {
        {"lame_cbr128.mp3", 17135, 44100, 2, 128, 40, cbr128, "MPEG 1 Layer III LAME 3.100 cbr 128"},
        {"lame_cbr64_mono.mp3", 8567, 44100, 1, 64, 40, cbr128, "MPEG 1 Layer III LAME 3.100 cbr 64"},
        {"lame_cbr96_stereo.mp3", 12960, 32000, 2, 96, 29, 1.044, "MPEG 1 Layer III LAME 3.100 cbr 96"},
        {"lame_cbr96_dual.mp3", 12960, 32000, 2, 96, 29, 1.044, "MPEG 1 Layer III LAME 3.100 cbr 96"},
        {"lame_abr160.mp3", 20668, 44100, 2, 158, 40, vbr40, "MPEG 1 Layer III LAME 3.100 abr 160"},
        {"lame_V0.mp3", 24131, 44100, 2, 185, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V0: preset extreme"},
        {"lame_V1.mp3", 20455, 44100, 2, 157, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V1"},
        {"lame_V2.mp3", 17307, 44100, 2, 133, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V2: preset standard"},
        {"lame_V3.mp3", 15539, 44100, 2, 119, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V3"},
        {"lame_V4.mp3", 11742, 44100, 2, 90, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V4: preset medium"},
        {"lame_V5.mp3", 9814, 44100, 2, 75, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V5"},
        {"lame_V5_mono.mp3", 9158, 44100, 1, 70, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V5"},
        {"lame_V6.mp3", 8949, 44100, 2, 69, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V6"},
        // LAME resamples the low -V levels and stores the level it used.
        {"lame_V7.mp3", 7920, 32000, 2, 61, 29, 29 * 1152 / 32000.0, "MPEG 1 Layer III LAME 3.100 V5"},
        {"lame_V8.mp3", 6096, 24000, 2, 46, 44, 44 * 576 / 24000.0, "MPEG 2 Layer III LAME 3.100 V5"},
        {"lame_V9.mp3", 5124, 22050, 2, 38, 41, 41 * 576 / 22050.0, "MPEG 2 Layer III LAME 3.100 V6"},
        {"lame_preset_standard.mp3", 17307, 44100, 2, 133, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V2: preset standard"},
        {"lame_preset_extreme.mp3", 24131, 44100, 2, 185, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V0: preset extreme"},
        {"lame_preset_medium.mp3", 11742, 44100, 2, 90, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V4: preset medium"},
        {"lame_preset_insane.mp3", 42840, 44100, 2, 320, 40, cbr128,
         "MPEG 1 Layer III LAME 3.100 [alt-]preset insane (?)"},
        {"lame_preset_128.mp3", 16005, 44100, 2, 123, 40, vbr40, "MPEG 1 Layer III LAME 3.100 abr 128"},
        {"lame_preset_cbr64.mp3", 8640, 24000, 2, 64, 44, 1.056, "MPEG 2 Layer III LAME 3.100 cbr 64"},
        {"lame_48000_cbr192.mp3", 25344, 48000, 2, 192, 43, 1.032, "MPEG 1 Layer III LAME 3.100 cbr 192"},
        {"lame_32000_V4.mp3", 12600, 32000, 2, 97, 29, 29 * 1152 / 32000.0, "MPEG 1 Layer III LAME 3.100 V3"},
        {"lame_22050_V4.mp3", 9293, 22050, 2, 69, 41, 41 * 576 / 22050.0,
         "MPEG 2 Layer III LAME 3.100 V2: preset standard"},
        {"lame_24000_cbr64.mp3", 8640, 24000, 2, 64, 44, 1.056, "MPEG 2 Layer III LAME 3.100 cbr 64"},
        // Frames too small for the LAME tag: the encoder comes from LAME's mark in the frame data.
        {"lame_16000_mono_cbr32.mp3", 4320, 16000, 1, 32, 30, 1.08, "MPEG 2 Layer III LAME 3.100"},
        {"lame_11025_cbr32.mp3", 4805, 11025, 2, 32, 22, 22 * 576 / 11025.0, "MPEG 2.5 Layer III LAME 3.100 cbr 32"},
        {"lame_12000_V6.mp3", 5712, 12000, 2, 41, 23, 23 * 576 / 12000.0,
         "MPEG 2.5 Layer III LAME 3.100 V2: preset standard"},
        {"lame_8000_mono_cbr8.mp3", 1152, 8000, 1, 8, 16, 1.152, "MPEG 2.5 Layer III LAME 3.100"},
        // ffmpeg's own LAME-style tag ("Lavc59.37"), and LAME's mark in the frames.
        {"ffmpeg_lame_cbr128.mp3", 17135, 44100, 2, 128, 40, cbr128, "MPEG 1 Layer III LAME (Lavc59.37) cbr 128"},
        {"ffmpeg_lame_noxing.mp3", 16718, 44100, 2, 128, 40, 16718 * 8 / 128000.0, "MPEG 1 Layer III LAME 3.100"},
        {"ffmpeg_lame_q2.mp3", 17098, 44100, 2, 131, 40, vbr40, "MPEG 1 Layer III LAME (Lavc59.37) vbr"},
        {"ffmpeg_lame_id3v24.mp3", 17180, 44100, 1, 128, 40, cbr128, "MPEG 1 Layer III LAME (Lavc59.37) cbr 128"},
        // ffmpeg's muxer writes its tag whatever the encoder: Shine has no mark of its own.
        {"ffmpeg_shine_128.mp3", 16300, 44100, 2, 128, 38, 38 * 1152 / 44100.0, "MPEG 1 Layer III Lavc59.37 cbr 128"},
        {"twolame_192.mp2", 24414, 44100, 2, 192, 39, 24414 * 8 / 192000.0, "MPEG 1 Layer II"},
        {"twolame_24000_64.mp2", 8064, 24000, 2, 64, 21, 1.008, "MPEG 2 Layer II"},
        // 1728-byte frames are counted like any other: 28 × 1728 bytes.
        {"twolame_32000_384.mp2", 48384, 32000, 2, 384, 28, 1.008, "MPEG 1 Layer II"},
        {"ffmpeg_mp2_160.mp2", 20375, 44100, 2, 160, 39, 1.01875, "MPEG 1 Layer II"},
        // Tags around the audio: the same audio bytes, the same duration and frames.
        {"tag_id3v2_V2.mp3", 18333, 44100, 2, 133, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V2: preset standard"},
        {"tag_ape_id3v1_V2.mp3", 17518, 44100, 2, 133, 40, vbr40, "MPEG 1 Layer III LAME 3.100 V2: preset standard"},
        {"tag_id3v2footer_cbr128.mp3", 17371, 44100, 2, 128, 40, cbr128, "MPEG 1 Layer III LAME 3.100 cbr 128"},
        {"tag_id3v1_cbr128.mp3", 17263, 44100, 2, 128, 40, cbr128, "MPEG 1 Layer III LAME 3.100 cbr 128"},
        {"tag_lyrics3_cbr128.mp3", 17313, 44100, 2, 128, 40, cbr128, "MPEG 1 Layer III LAME 3.100 cbr 128"},
        {"tag_ape_cbr128.mp3", 17218, 44100, 2, 128, 40, cbr128, "MPEG 1 Layer III LAME 3.100 cbr 128"},
        {"tag_all_cbr128.mp3", 18372, 44100, 2, 128, 40, cbr128, "MPEG 1 Layer III LAME 3.100 cbr 128"},
    };

    // The ratio by hand: size / (frames x samples per frame x 2 bytes x channels
    // + 44) x 100, with the frame counts above (1152 samples per MPEG-1 or
    // Layer II frame, 576 otherwise).
    const std::map<std::string, double> ratios = {
        {"lame_cbr128.mp3", 9.2941},
        {"lame_cbr64_mono.mp3", 9.2914},
        {"lame_cbr96_stereo.mp3", 9.6951},
        {"lame_cbr96_dual.mp3", 9.6951},
        {"lame_abr160.mp3", 11.2104},
        {"lame_V0.mp3", 13.0888},
        {"lame_V1.mp3", 11.0949},
        {"lame_V2.mp3", 9.3874},
        {"lame_V3.mp3", 8.4284},
        {"lame_V4.mp3", 6.3689},
        {"lame_V5.mp3", 5.3232},
        {"lame_V5_mono.mp3", 9.9323},
        {"lame_V6.mp3", 4.8540},
        {"lame_V7.mp3", 5.9248},
        {"lame_V8.mp3", 6.0106},
        {"lame_V9.mp3", 5.4218},
        {"lame_preset_standard.mp3", 9.3874},
        {"lame_preset_extreme.mp3", 13.0888},
        {"lame_preset_medium.mp3", 6.3689},
        {"lame_preset_insane.mp3", 23.2366},
        {"lame_preset_128.mp3", 8.6812},
        {"lame_preset_cbr64.mp3", 8.5190},
        {"lame_48000_cbr192.mp3", 12.7879},
        {"lame_32000_V4.mp3", 9.4258},
        {"lame_22050_V4.mp3", 9.8330},
        {"lame_24000_cbr64.mp3", 8.5190},
        {"lame_16000_mono_cbr32.mp3", 12.4841},
        {"lame_11025_cbr32.mp3", 9.4713},
        {"lame_12000_V6.mp3", 10.7700},
        {"lame_8000_mono_cbr8.mp3", 6.2351},
        {"ffmpeg_lame_cbr128.mp3", 9.2941},
        {"ffmpeg_lame_noxing.mp3", 9.0679},
        {"ffmpeg_lame_q2.mp3", 9.2740},
        {"ffmpeg_lame_id3v24.mp3", 18.6326},
        {"ffmpeg_shine_128.mp3", 9.3064},
        {"twolame_192.mp2", 13.5817},
        {"twolame_24000_64.mp2", 8.3295},
        {"twolame_32000_384.mp2", 37.4872},
        {"ffmpeg_mp2_160.mp2", 11.3348},
        {"tag_id3v2_V2.mp3", 9.9439},
        {"tag_ape_id3v1_V2.mp3", 9.5019},
        {"tag_id3v2footer_cbr128.mp3", 9.4221},
        {"tag_id3v1_cbr128.mp3", 9.3635},
        {"tag_lyrics3_cbr128.mp3", 9.3907},
        {"tag_ape_cbr128.mp3", 9.3391},
        {"tag_all_cbr128.mp3", 9.9651},
    };

    std::map<std::string, std::vector<double>> probe;   // sample rate, channels, duration
    std::ifstream list(FixturePath("mp3/ffprobe.txt"));
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        std::string name, values;
        fields >> name >> values;
        std::replace(values.begin(), values.end(), ',', ' ');
        std::istringstream numbers(values);
        for (double v; numbers >> v;) probe[name].push_back(v);
    }

    std::map<std::string, int64_t> decoded;
    std::ifstream decodedList(FixturePath("mp3/decoded.txt"));
    for (std::string name; decodedList >> name;) decodedList >> decoded[name];
    // No tag, a tag too small to hold LAME's (the frames are short), or
    // ffmpeg's tag for Shine with neither delay nor padding: no exact length.
    const std::set<std::string> streamLengthOnly = {
        "lame_16000_mono_cbr32.mp3", "lame_8000_mono_cbr8.mp3", "ffmpeg_lame_noxing.mp3", "ffmpeg_shine_128.mp3",
        "twolame_192.mp2",           "twolame_24000_64.mp2",    "twolame_32000_384.mp2",  "ffmpeg_mp2_160.mp2"};

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = FixturePath(std::string("mp3/") + c.file);
        const TAudioItem item = Analyse(path);
        if (streamLengthOnly.count(c.file) == 0) {
            ASSERT_EQ(decoded.count(c.file), 1u) << "not in decoded.txt";
            EXPECT_EQ(item.DurationSamples, decoded.at(c.file));
            EXPECT_DOUBLE_EQ(item.Duration, double(decoded.at(c.file)) / c.sampleRate);
            EXPECT_LT(item.Duration, c.duration);   // less than the stream's frames hold
            continue;
        }
        EXPECT_EQ(item.DurationSamples, 0);
        EXPECT_EQ(item.EncoderInfo, c.encoderInfo);
        EXPECT_EQ(item.FileSize, c.size);
        EXPECT_EQ(item.SampleRate, c.sampleRate);
        EXPECT_EQ(item.Channels, c.channels);
        EXPECT_EQ(item.BitsPerSample, 16);
        EXPECT_EQ(item.BitRate, c.bitRate);
        EXPECT_NEAR(item.Duration, c.duration, 1e-9);
        ASSERT_EQ(ratios.count(c.file), 1u);
        EXPECT_NEAR(item.Ratio, ratios.at(c.file), 0.0001);

        const auto& p = probe[c.file];
        ASSERT_EQ(p.size(), 3u) << "not in ffprobe.txt";
        EXPECT_EQ(item.SampleRate, p[0]);
        EXPECT_EQ(item.Channels, p[1]);
        EXPECT_NEAR(item.Duration, p[2], p[2] * 0.01);   // within 1 %
    }
}

TEST(MpegFixtures, AnalysisDispatchesEveryMpegExtension) {
    TFormatReaders readers;
    TempDir dir;
    const Bytes bytes = ReadAll(FixturePath("mp3/twolame_192.mp2"));
    for (const char* name : {"a.mp2", "b.MP1", "c.Mpa", "d.mp3"}) {
        SCOPED_TRACE(name);
        const auto item = AnalyseFile(readers, dir.Path().string(), dir.Write(name, bytes));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->EncoderInfo, "MPEG 1 Layer II");
        EXPECT_EQ(item->BitRate, 192);
    }
}

namespace {

Bytes Fixture(const char* name) { return ReadAll(FixturePath(std::string("mp3/") + name)); }

// An ID3v2.3 tag of the given total size holding only padding.
Bytes PaddingTag(std::size_t total) {
    const std::size_t body = total - 10;
    Bytes tag = {'I', 'D', '3', 3, 0, 0, static_cast<uint8_t>(body >> 21 & 0x7F),
                 static_cast<uint8_t>(body >> 14 & 0x7F), static_cast<uint8_t>(body >> 7 & 0x7F),
                 static_cast<uint8_t>(body & 0x7F)};
    AppendZeros(tag, body);
    return tag;
}

} // namespace

// The first frame of a VBR file behind a tag editor's second ID3v2 tag lies
// 1730-3457 bytes into the old search's window: it must still be found, with
// its Xing header and LAME tag. lame_V1.mp3: 40 frames, ffprobe 1.044898 s.
TEST(MpegStream, FirstFrameAnywhereBehindTwoID3v2Tags) {
    TempDir dir;
    for (std::size_t second : {std::size_t{1730}, std::size_t{2500}, std::size_t{3457}}) {
        SCOPED_TRACE(second);
        Bytes bytes = PaddingTag(100);
        Append(bytes, PaddingTag(second - 100));
        Append(bytes, Fixture("lame_V1.mp3"));
        const std::string path = dir.Write("twotags.mp3", bytes);
        const TAudioItem item = Analyse(path);
        EXPECT_EQ(item.EncoderInfo, "MPEG 1 Layer III LAME 3.100 V1");
        EXPECT_EQ(item.DurationSamples, 44100);   // ffmpeg's full decode of lame_V1.mp3
        EXPECT_EQ(item.BitRate, 157);
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromFile(path));
        EXPECT_EQ(reader.AudioStart(), int64_t(second));
        EXPECT_EQ(reader.Findings().ExtraID3v2Tags, 1);
        EXPECT_EQ(reader.Findings().JunkBytes, 0);
    }
    // Zero padding instead of a second tag: found as well, counted as padding.
    Bytes padded = PaddingTag(100);
    AppendZeros(padded, 2000);
    Append(padded, Fixture("lame_V1.mp3"));
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("padded.mp3", padded)));
    EXPECT_EQ(reader.AudioStart(), 2100);
    EXPECT_EQ(reader.Findings().ZeroBytes, 2000);
    EXPECT_EQ(reader.VBR().ID, "Xing");
}

// 5 KB of junk before a CBR stream without a VBR header (ffmpeg, -write_xing
// 0: 40 frames, 16,718 bytes): the frames are counted from the real first
// frame, not from the junk.
TEST(MpegStream, JunkBeforeTheAudio) {
    TempDir dir;
    Bytes bytes;
    for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<uint8_t>('a' + i % 26));
    bytes[100] = 0xFF;   // a false sync in the junk
    bytes[101] = 0xFB;
    Append(bytes, Fixture("ffmpeg_lame_noxing.mp3"));
    const std::string path = dir.Write("junk.mp3", bytes);
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(path));
    EXPECT_EQ(reader.AudioStart(), 5000);
    EXPECT_EQ(reader.FramesCounted(), 40);
    EXPECT_EQ(reader.Findings().JunkBytes, 5000);
    EXPECT_EQ(reader.Findings().DamagedStretches, 0);
    // 21,718 bytes / (40 × 1152 × 4 + 44) = 11.78 %
    EXPECT_NEAR(Analyse(path).Ratio, 21718 / (40 * 1152 * 4 + 44.0) * 100, 1e-9);
}

// A damaged stretch in the middle: the walk resynchronises on the next frame
// and keeps the count of stretches and skipped bytes.
TEST(MpegStream, WalkResynchronisesAfterDamage) {
    TempDir dir;
    FrameSpec shape;
    Bytes bytes = Frames(shape, 50);
    // Frames 20 and 21 become noise (no sync byte), frame 30 loses its header.
    std::fill(bytes.begin() + 20 * 417, bytes.begin() + 22 * 417, 0x11);
    bytes[30 * 417] = 0x00;
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("damaged.mp3", bytes)));
    EXPECT_EQ(reader.FramesCounted(), 47);
    EXPECT_EQ(reader.Findings().DamagedStretches, 2);
    EXPECT_EQ(reader.Findings().SkippedBytes, 3 * 417);
    EXPECT_EQ(reader.Findings().TrailingBytes, 0);

    // Real frames: ffmpeg's CBR stream with 300 bytes zeroed across the start
    // of frame 11 (at 4,598); damage inside a frame body goes unseen.
    Bytes real = Fixture("ffmpeg_lame_noxing.mp3");
    std::fill(real.begin() + 4200, real.begin() + 4500, 0);
    TMPEGaudio body;
    ASSERT_TRUE(body.ReadFromFile(dir.Write("body.mp3", real)));
    EXPECT_EQ(body.FramesCounted(), 40);
    std::fill(real.begin() + 4500, real.begin() + 4800, 0);
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("real.mp3", real)));
    EXPECT_EQ(reader.Findings().DamagedStretches, 1);
    EXPECT_EQ(reader.FramesCounted(), 39);   // one frame lost its header
    // Junk at the end of the audio is trailing, not damage.
    Bytes tail = Frames(shape, 30);
    Append(tail, Bytes(300, 0x20));
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("tail.mp3", tail)));
    EXPECT_EQ(reader.FramesCounted(), 30);
    EXPECT_EQ(reader.Findings().DamagedStretches, 0);
    EXPECT_EQ(reader.Findings().TrailingBytes, 300);
}

// A cut download: the Xing header of lame_V0.mp3 claims 40 frames (1.045 s);
// the first 8,000 bytes hold 12 whole frames after the Xing frame.
TEST(MpegStream, VbrHeaderClaimingMoreThanTheFileHolds) {
    TempDir dir;
    Bytes bytes = Fixture("lame_V0.mp3");
    bytes.resize(8000);
    const std::string path = dir.Write("cut.mp3", bytes);
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(path));
    EXPECT_TRUE(reader.Findings().Walked);
    EXPECT_TRUE(reader.Findings().Truncated);
    EXPECT_EQ(reader.Findings().ClaimedFrames, 40);
    EXPECT_NEAR(reader.Findings().ClaimedDuration, 40 * 1152 / 44100.0, 1e-9);
    // ffprobe -count_frames on the cut file counts 13: the Xing frame, which
    // it no longer recognises as such, and the 12 audio frames. The whole
    // file's 40 frames leave the silent Xing frame out; so does the cut one.
    EXPECT_EQ(reader.FrameCount(), 12);
    EXPECT_NEAR(reader.Duration(), 12 * 1152 / 44100.0, 1e-9);
    const TAudioItem item = Analyse(path);
    EXPECT_NEAR(item.Duration, 0.313469, 1e-6);
    EXPECT_EQ(item.DurationSamples, 0);   // the padding the tag records was cut off
    EXPECT_LE(item.BitRate, 320);

    // The whole file: no walk, nothing claimed.
    ASSERT_TRUE(reader.ReadFromFile(FixturePath("mp3/lame_V0.mp3")));
    EXPECT_FALSE(reader.Findings().Walked);
    EXPECT_FALSE(reader.Findings().Truncated);
}

// An ID3v2 tag followed by no audio: the search gives up after 1 MiB.
TEST(MpegStream, FirstFrameSearchGivesUpAfterABoundedStretch) {
    TempDir dir;
    Bytes bytes = PaddingTag(1000);
    Append(bytes, Bytes(TMPEGaudio::kSearchLimit + 5000, 0x20));
    FrameSpec shape;
    Append(bytes, Frames(shape, 30));   // frames beyond the stretch are not looked for
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("absurd.mp3", bytes)));
    EXPECT_FALSE(reader.Valid());
    EXPECT_TRUE(reader.Findings().SearchGaveUp);

    // Inside the stretch the frames are found, and a short file is no give-up.
    Bytes near = PaddingTag(1000);
    Append(near, Bytes(TMPEGaudio::kSearchLimit - 20000, 0x20));
    Append(near, Frames(shape, 30));
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("near.mp3", near)));
    EXPECT_TRUE(reader.Valid());
    EXPECT_FALSE(reader.Findings().SearchGaveUp);
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("none.mp3", Bytes(5000, 0x20))));
    EXPECT_FALSE(reader.Findings().SearchGaveUp);
}

// Found by fuzzing: an APE footer whose size field is negative made the walk
// count frames past the end of the file.
TEST(MpegStream, DamagedApeSizeKeepsTheWalkInsideTheFile) {
    TMPEGaudio reader;
    const std::string path = FixturePath("regressions/mpeg-crash-66373a0b.mp3");
    ASSERT_TRUE(reader.ReadFromFile(path));
    EXPECT_LE(reader.AudioStart() + reader.FrameBytes(), reader.FileSize());
    EXPECT_GE(reader.APEBytes(), 0);
}
