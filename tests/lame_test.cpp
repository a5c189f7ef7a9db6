// The LAME tag readers, the preset guesser, LAME version order and the MP3
// encoder info built from them.
#include "MpegTestFrames.h"
#include "core/AudioItem.h"
#include "core/FillFunctions.h"
#include "io/Errors.h"
#include "mpeg/DescriptiveLameTagReader.h"
#include "mpeg/MP3Encoder.h"
#include "mpeg/LameVersion.h"
#include "mpeg/PresetGuesser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

struct Settings {
    uint8_t bitRate, scale, method, noise, stereo, ath, lowpass;
};

uint8_t Guess(std::string_view version, const Settings& s, bool& modified) {
    return GuessPreset(version, s.bitRate, s.scale, modified, s.lowpass, s.ath, s.stereo, s.noise, s.method);
}

std::string EncoderInfoOf(const std::string& path) {
    TMPEGaudio reader;
    TAudioItem item;
    item.FullPath = path;
    FillMPEGItem(reader, item);
    return item.EncoderInfo;
}

} // namespace

TEST(LameVersion, NumbersBeforeAndAfterTheDot) {
    EXPECT_FALSE(LameVersionBelow("3.100", "3.94"));
    EXPECT_FALSE(LameVersionBelow("3.100", "3.90"));
    EXPECT_FALSE(LameVersionBelow("3.99r", "3.98"));
    EXPECT_FALSE(LameVersionBelow("3.90.", "3.90"));
    EXPECT_FALSE(LameVersionBelow("4.0", "3.98"));
    EXPECT_TRUE(LameVersionBelow("3.97 ", "3.98"));
    EXPECT_TRUE(LameVersionBelow("3.88", "3.90"));
    EXPECT_TRUE(LameVersionBelow("3.10", "3.94"));
    // Texts that do not read as digits "." digits are compared byte-wise.
    EXPECT_TRUE(LameVersionBelow("", "3.90"));
    EXPECT_TRUE(LameVersionBelow("3.", "3.90"));
    EXPECT_FALSE(LameVersionBelow("beta", "3.90"));
    EXPECT_TRUE(LameVersionBelow(" 3.99", "3.94"));
    ASSERT_TRUE(ParseLameVersion("3.100"));
    EXPECT_EQ(ParseLameVersion("3.100")->Minor, 100u);
    EXPECT_FALSE(ParseLameVersion(".97"));
}

TEST(PresetGuesser, VersionGroupsPickTheReleaseFamily) {
    bool modified = true;
    // Row 3 (group 4): insane of 3.94 and later, 3.100 included.
    const Settings insane4{255, 57, 1, 1, 3, 4, 205};
    EXPECT_EQ(Guess("3.97 ", insane4, modified), 0);
    EXPECT_FALSE(modified);
    EXPECT_EQ(Guess("3.100", insane4, modified), 0);
    EXPECT_EQ(Guess("3.99r", insane4, modified), 0);
    EXPECT_EQ(Guess("3.89 ", insane4, modified), kNoPresetGuess);
    EXPECT_EQ(Guess("3.90 ", insane4, modified), kNoPresetGuess);   // group 0 has no such row
    // Row 1 (group 0) is for 3.90 and 3.92; "3.90." uses row 2.
    const Settings insane0{255, 58, 1, 1, 3, 2, 205};
    EXPECT_EQ(Guess("3.90 ", insane0, modified), 0);
    EXPECT_EQ(Guess("3.92 ", insane0, modified), 0);
    EXPECT_EQ(Guess("3.90.", insane0, modified), kNoPresetGuess);
    EXPECT_EQ(Guess("3.91 ", insane0, modified), kNoPresetGuess);
    EXPECT_EQ(Guess("3.90.", {255, 58, 1, 1, 3, 2, 206}, modified), 0);
    // Rows 27 to 29 differ only in lowpass and bitrate.
    EXPECT_EQ(Guess("3.91 ", {128, 67, 1, 1, 3, 2, 180}, modified), 11);
    EXPECT_EQ(Guess("3.91 ", {128, 67, 1, 1, 3, 2, 150}, modified), 12);
    EXPECT_EQ(Guess("3.91 ", {112, 67, 1, 1, 3, 2, 150}, modified), 13);
    // Row 43: the last row.
    EXPECT_EQ(Guess("3.98 ", {16, 57, 2, 1, 0, 4, 56}, modified), 18);
}

TEST(PresetGuesser, BitrateModifiedMatchesAndThePairRule) {
    bool modified = false;
    // Row 11 in everything but the bitrate, VBR method 4: modified.
    EXPECT_EQ(Guess("3.92 ", {128, 78, 4, 2, 3, 4, 190}, modified), 4);
    EXPECT_TRUE(modified);
    // CBR settings of row 27 with another bitrate: no candidate for method 1.
    EXPECT_EQ(Guess("3.90 ", {96, 67, 1, 1, 3, 2, 180}, modified), kNoPresetGuess);
    EXPECT_FALSE(modified);
    // "3.90.": group 1 finds nothing, group 3 finds row 6 exactly.
    EXPECT_EQ(Guess("3.90.", {0, 78, 3, 1, 3, 2, 196}, modified), 1);
    EXPECT_FALSE(modified);
    // "3.90.": a modified match in group 1 stands when group 3 has none.
    EXPECT_EQ(Guess("3.90.", {64, 78, 3, 2, 3, 2, 196}, modified), 1);
    EXPECT_TRUE(modified);
    // "3.93": group 3 first (row 25), then group 2 (row 18).
    EXPECT_EQ(Guess("3.93 ", {160, 58, 2, 2, 3, 2, 180}, modified), 10);
    EXPECT_EQ(Guess("3.93 ", {255, 58, 2, 1, 3, 2, 205}, modified), 8);
    EXPECT_FALSE(modified);
    EXPECT_EQ(Guess("3.93 ", {255, 58, 2, 1, 3, 2, 206}, modified), 8);   // row 17, group 3
    // Row 13 but for the bitrate (method 4).
    EXPECT_EQ(Guess("3.93 ", {96, 68, 4, 2, 3, 4, 180}, modified), 6);
    EXPECT_TRUE(modified);
}

// Hand-made LAME tags in a short CBR stream, read by the tag readers and by
// the whole MP3 step.
class LameTagFiles : public testing::Test {
protected:
    std::string Write(const LameTagSpec& tag, const std::string& name = "lame.mp3") {
        return dir_.Write(name, LameStream(tag));
    }
    TempDir dir_;
};

TEST_F(LameTagFiles, StoredPresetTexts) {
    struct Case {
        std::string version;
        uint16_t preset;
        uint8_t method;
        std::string text;
        uint8_t state;
    };
    const Case cases[] = {
        {"3.97 ", 480, 3, "V2: preset standard", 0},
        {"3.97 ", 460, 4, "V4: preset medium (fast mode)", 0},
        {"3.90.", 410, 4, "V9 (fast mode)", 0},
        {"beta ", 500, 4, "V0: preset extreme (fast mode)", 0},
        // From 3.98 on, method 4 is the default VBR mode.
        {"3.98 ", 460, 4, "V4: preset medium", 0},
        {"3.100", 480, 4, "V2: preset standard", 0},
        {"3.97 ", 1004, 4, "[alt-]preset fast standard", 0},
        {"3.90 ", 1001, 3, "[alt-]preset standard", 0},
        {"3.97 ", 1015, 1, "preset radio", 0},
        {"3.97 ", 128, 1, "cbr 128", 0},
        {"3.97 ", 160, 2, "abr 160", 0},
        {"3.97 ", 160, 9, "abr 160", 0},
        {"3.97 ", 192, 8, "cbr 192", 0},
        {"3.97 ", 160, 4, "160", 0},
        {"3.97 ", 0, 2, "<not stored>", 2},
        {"3.97 ", 1008, 2, "<unrecognised value 1008>", 0},
        {"3.97 ", 7, 2, "<unrecognised value 7>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LameTagSpec tag;
        tag.Version = c.version;
        tag.Preset = c.preset;
        tag.VBRMethod = c.method;
        tag.VBRScale = 1;   // matches no row
        const TDescriptiveLameTagReader lame(Write(tag));
        EXPECT_FALSE(lame.NoLameTag());
        EXPECT_EQ(lame.PresetText(), c.text);
        EXPECT_EQ(int(lame.PresetState()), c.state);
        EXPECT_EQ(lame.GuessText(), "");
        EXPECT_FALSE(lame.Modified());
    }
}

TEST(StoredPreset, EveryNamedValue) {
    const std::pair<uint16_t, const char*> named[] = {
        {410, "V9"}, {420, "V8"}, {430, "V7"}, {440, "V6"}, {450, "V5"}, {460, "V4: preset medium"}, {470, "V3"},
        {480, "V2: preset standard"}, {490, "V1"}, {500, "V0: preset extreme"}, {1000, "r3mix"},
        {1001, "[alt-]preset standard"}, {1002, "[alt-]preset extreme"}, {1003, "[alt-]preset insane"},
        {1004, "[alt-]preset fast standard"}, {1005, "[alt-]preset fast extreme"}, {1006, "preset medium"},
        {1007, "preset fast medium"}, {1010, "preset portable"}, {1015, "preset radio"}};
    bool wantGuess = true;
    for (const auto& [value, text] : named) {
        EXPECT_EQ(StoredPresetText(value, 3, wantGuess), text);
        EXPECT_FALSE(wantGuess) << value;
    }
    for (uint16_t value : {1, 7, 321, 409, 415, 501, 999, 1008, 1009, 1011, 2047}) {
        EXPECT_EQ(StoredPresetText(value, 3, wantGuess), "<unrecognised value " + std::to_string(value) + ">");
        EXPECT_TRUE(wantGuess) << value;
    }
    EXPECT_EQ(StoredPresetText(8, 1, wantGuess), "cbr 8");
    EXPECT_EQ(StoredPresetText(320, 2, wantGuess), "abr 320");
    EXPECT_EQ(StoredPresetText(320, 3, wantGuess), "320");
    EXPECT_TRUE(wantGuess);
}

TEST_F(LameTagFiles, FieldsAndVersionTexts) {
    LameTagSpec tag;
    tag.Mark = "Xing";
    tag.Version = "3.99r";
    tag.Preset = 0xF800 | 480;   // the surround bits are not part of the preset
    tag.StereoMode = 5;
    tag.NoiseShaping = 3;
    tag.ATHType = 0xA4;          // high nibble: encoding flags
    const TBasicLameTagReader lame(Write(tag));
    EXPECT_FALSE(lame.NoLameTag());
    EXPECT_EQ(lame.Preset(), 480);
    EXPECT_EQ(lame.StereoMode(), 5);
    EXPECT_EQ(lame.NoiseShaping(), 3);
    EXPECT_EQ(lame.ATHType(), 4);
    EXPECT_EQ(lame.VBRMethod(), 1);
    EXPECT_EQ(lame.ShortVersion(), "3.99r");
    // The long text ends at the binary field after the version (method byte 0x11).
    EXPECT_EQ(lame.LongVersion(), "3.99r");

    tag.Version = "3.88 (beta)";
    const TBasicLameTagReader old(Write(tag));
    EXPECT_EQ(old.ShortVersion(), "3.88 ");
    EXPECT_EQ(old.LongVersion(), "3.88 (beta)");
    tag.Version = "3.80";
    EXPECT_EQ(TBasicLameTagReader(Write(tag)).LongVersion(), "3.80");
}

TEST_F(LameTagFiles, MarkPlacesAndTagsBeforeTheFrame) {
    LameTagSpec tag;
    tag.Preset = 480;
    for (std::size_t mark : {13u, 21u, 36u}) {
        for (const char* name : {"Xing", "Info"}) {
            SCOPED_TRACE(testing::Message() << name << " at " << mark);
            Bytes bytes(400, 0);
            tag.Mark = name;
            PutLameTag(bytes, mark, tag);
            const TBasicLameTagReader lame(dir_.Write("mark.mp3", bytes));
            EXPECT_FALSE(lame.NoLameTag());
            EXPECT_EQ(lame.Preset(), 480);
        }
    }
    // ID3v2 with a footer: the frame is 10 bytes further on.
    Bytes tagged = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 0};   // 128 bytes of frames
    AppendZeros(tagged, 128);
    Append(tagged, "3DI");
    AppendZeros(tagged, 7);
    Append(tagged, LameStream(tag));
    EXPECT_FALSE(TBasicLameTagReader(dir_.Write("footer.mp3", tagged)).NoLameTag());
    // Junk between the tag and the frame: no frame-sync search is made.
    Bytes junk = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 5};
    AppendZeros(junk, 5 + 7);
    Append(junk, LameStream(tag));
    EXPECT_TRUE(TBasicLameTagReader(dir_.Write("junk.mp3", junk)).NoLameTag());
    // A mark without "LAME" after it.
    Bytes bare(400, 0);
    Put(bare, 36, "Xing");
    EXPECT_TRUE(TBasicLameTagReader(dir_.Write("bare.mp3", bare)).NoLameTag());
}

TEST_F(LameTagFiles, ShortFilesRaiseUnexpectedEndOfFile) {
    for (std::size_t size : {0u, 9u, 155u, 191u}) {
        SCOPED_TRACE(size);
        Bytes bytes(400, 0);
        PutLameTag(bytes, 36, LameTagSpec{});
        bytes.resize(size);
        try {
            TBasicLameTagReader lame(dir_.Write("short.mp3", bytes));
            ADD_FAILURE() << "no error";
        } catch (const EReadError& e) {
            EXPECT_STREQ(e.what(), "Unexpected End Of File.");
        }
    }
    Bytes enough(400, 0);
    PutLameTag(enough, 36, LameTagSpec{});
    enough.resize(192);
    EXPECT_NO_THROW(TBasicLameTagReader(dir_.Write("enough.mp3", enough)));
}

TEST_F(LameTagFiles, EncoderInfoTexts) {
    struct Case {
        LameTagSpec tag;
        std::string info;
    };
    auto make = [](std::string version, uint16_t preset, uint8_t method, Settings s = {1, 1, 0, 0, 0, 0, 0}) {
        LameTagSpec t;
        t.Version = std::move(version);
        t.Preset = preset;
        t.VBRMethod = method;
        t.BitRate = s.bitRate;
        t.VBRScale = s.scale;
        if (s.method) t.VBRMethod = s.method;
        t.NoiseShaping = s.noise;
        t.StereoMode = s.stereo;
        t.ATHType = s.ath;
        t.Lowpass = s.lowpass;
        return t;
    };
    const Case cases[] = {
        {make("3.97 ", 480, 3), "MPEG 1 Layer III LAME 3.97  V2: preset standard"},
        {make("3.100", 480, 4), "MPEG 1 Layer III LAME 3.100 V2: preset standard"},
        {make("3.97 ", 480, 4), "MPEG 1 Layer III LAME 3.97  V2: preset standard (fast mode)"},
        {make("3.88 (beta)", 0, 1), "MPEG 1 Layer III LAME 3.88 (beta) "},
        {make("3.89", 0, 1), "MPEG 1 Layer III LAME 3.89 "},
        {make("3.90.", 0, 1, {255, 58, 1, 1, 3, 2, 206}), "MPEG 1 Layer III LAME 3.90. [alt-]preset insane (?)"},
        {make("3.92 ", 0, 4, {128, 78, 4, 2, 3, 4, 190}),
         "MPEG 1 Layer III LAME 3.92  [alt-]preset fast standard -b 128 (modified)"},
        {make("3.97 ", 320, 1, {255, 57, 1, 1, 3, 4, 205}), "MPEG 1 Layer III LAME 3.97  [alt-]preset insane (?)"},
        {make("3.97 ", 128, 1), "MPEG 1 Layer III LAME 3.97  cbr 128"},
        {make("3.100", 0, 2), "MPEG 1 Layer III LAME 3.100 <not stored>"},
        {make("3.93 ", 1008, 3, {96, 68, 4, 2, 3, 4, 180}),
         "MPEG 1 Layer III LAME 3.93  preset fast medium -b 96 (modified)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.info);
        EXPECT_EQ(EncoderInfoOf(Write(c.tag)), c.info);
    }
}

TEST_F(LameTagFiles, WithoutATagTheStreamReaderNamesTheEncoder) {
    // Junk before the first frame hides the tag from the tag reader; the
    // stream reader finds the frames and a "LAME" mark in their data.
    FrameSpec shape;
    Bytes bytes(50, 0x20);
    Append(bytes, Frames(shape, 40));
    Put(bytes, bytes.size() - 600, "LAME3.97");
    EXPECT_EQ(EncoderInfoOf(dir_.Write("nolame.mp3", bytes)), "MPEG 1 Layer III LAME 3.97");
}

TEST_F(LameTagFiles, TagCutShortIsNoTag) {
    // Three MPEG-2.5 frames of 72 bytes, an "Info" mark in the first but no
    // LAME tag after it: 0.144 seconds of audio. The row is filled; the
    // encoder comes from the frame header bits.
    FrameSpec shape{0, 1, 1, 2, false, 3};
    Bytes bytes = Frames(shape, 3);
    Put(bytes, 13, "Info");
    TMPEGaudio reader;
    TAudioItem item;
    item.FullPath = dir_.Write("cut.mp3", bytes);
    EXPECT_NO_THROW(FillMPEGItem(reader, item));
    EXPECT_EQ(item.BitRate, 8);
    EXPECT_EQ(item.SampleRate, 8000);
    EXPECT_EQ(item.Channels, 1);
    EXPECT_EQ(item.EncoderInfo, "MPEG 2.5 Layer III FhG?");
    EXPECT_EQ(item.EncoderEvidence, "frame header bits");
}

namespace {

TAudioItem ItemOf(const std::string& path) {
    TMPEGaudio reader;
    TAudioItem item;
    item.FullPath = path;
    FillMPEGItem(reader, item);
    return item;
}

} // namespace

// Every MPEG fixture, with the encoder info its marks justify and the mark
// it rests on. A file not listed here fails the test, so a new fixture gets
// a label. No file is named after an encoder that did not make it.
TEST(EncoderEvidence, LabelledCorpus) {
    const std::string lameTag = "LAME tag", ffmpegLame = "ffmpeg LAME tag, LAME mark in the frames";
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"enc_ffmpeg_lame_abr192.mp3", {"MPEG 1 Layer III LAME (Lavc59.37) vbr", ffmpegLame}},
        {"enc_ffmpeg_lame_b192.mp3", {"MPEG 1 Layer III LAME (Lavc59.37) cbr 192", ffmpegLame}},
        {"enc_ffmpeg_mp2_128.mp2", {"MPEG 1 Layer II", "none"}},
        {"enc_ffmpeg_shine_tsse.mp3", {"MPEG 1 Layer III Lavf59.27.100", "ID3v2 TSSE"}},
        {"enc_lame_abr192.mp3", {"MPEG 1 Layer III LAME 3.100 abr 192", lameTag}},
        {"enc_lame_b320.mp3", {"MPEG 1 Layer III LAME 3.100 [alt-]preset insane (?)", lameTag}},
        {"enc_lame_notag_V2.mp3", {"MPEG 1 Layer III LAME 3.100", "LAME mark in the frames"}},
        {"enc_lame_notag_cbr128.mp3", {"MPEG 1 Layer III LAME 3.100", "LAME mark in the frames"}},
        {"enc_twolame_128.mp2", {"MPEG 1 Layer II", "none"}},
        {"ffmpeg_lame_cbr128.mp3", {"MPEG 1 Layer III LAME (Lavc59.37) cbr 128", ffmpegLame}},
        {"ffmpeg_lame_id3v24.mp3", {"MPEG 1 Layer III LAME (Lavc59.37) cbr 128", ffmpegLame}},
        {"ffmpeg_lame_noxing.mp3", {"MPEG 1 Layer III LAME 3.100", "LAME mark in the frames"}},
        {"ffmpeg_lame_q2.mp3", {"MPEG 1 Layer III LAME (Lavc59.37) vbr", ffmpegLame}},
        {"ffmpeg_mp2_160.mp2", {"MPEG 1 Layer II", "none"}},
        {"ffmpeg_shine_128.mp3", {"MPEG 1 Layer III Lavc59.37 cbr 128", "ffmpeg LAME tag"}},
        {"lame_11025_cbr32.mp3", {"MPEG 2.5 Layer III LAME 3.100 cbr 32", lameTag}},
        {"lame_12000_V6.mp3", {"MPEG 2.5 Layer III LAME 3.100 V2: preset standard", lameTag}},
        {"lame_16000_mono_cbr32.mp3", {"MPEG 2 Layer III LAME 3.100", "LAME mark in the frames"}},
        {"lame_22050_V4.mp3", {"MPEG 2 Layer III LAME 3.100 V2: preset standard", lameTag}},
        {"lame_24000_cbr64.mp3", {"MPEG 2 Layer III LAME 3.100 cbr 64", lameTag}},
        {"lame_32000_V4.mp3", {"MPEG 1 Layer III LAME 3.100 V3", lameTag}},
        {"lame_48000_cbr192.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 192", lameTag}},
        {"lame_8000_mono_cbr8.mp3", {"MPEG 2.5 Layer III LAME 3.100", "LAME mark in the frames"}},
        {"lame_V0.mp3", {"MPEG 1 Layer III LAME 3.100 V0: preset extreme", lameTag}},
        {"lame_V1.mp3", {"MPEG 1 Layer III LAME 3.100 V1", lameTag}},
        {"lame_V2.mp3", {"MPEG 1 Layer III LAME 3.100 V2: preset standard", lameTag}},
        {"lame_V3.mp3", {"MPEG 1 Layer III LAME 3.100 V3", lameTag}},
        {"lame_V4.mp3", {"MPEG 1 Layer III LAME 3.100 V4: preset medium", lameTag}},
        {"lame_V5.mp3", {"MPEG 1 Layer III LAME 3.100 V5", lameTag}},
        {"lame_V5_mono.mp3", {"MPEG 1 Layer III LAME 3.100 V5", lameTag}},
        {"lame_V6.mp3", {"MPEG 1 Layer III LAME 3.100 V6", lameTag}},
        {"lame_V7.mp3", {"MPEG 1 Layer III LAME 3.100 V5", lameTag}},
        {"lame_V8.mp3", {"MPEG 2 Layer III LAME 3.100 V5", lameTag}},
        {"lame_V9.mp3", {"MPEG 2 Layer III LAME 3.100 V6", lameTag}},
        {"lame_abr160.mp3", {"MPEG 1 Layer III LAME 3.100 abr 160", lameTag}},
        {"lame_cbr128.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 128", lameTag}},
        {"lame_cbr64_mono.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 64", lameTag}},
        {"lame_cbr96_dual.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 96", lameTag}},
        {"lame_cbr96_stereo.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 96", lameTag}},
        {"lame_preset_128.mp3", {"MPEG 1 Layer III LAME 3.100 abr 128", lameTag}},
        {"lame_preset_cbr64.mp3", {"MPEG 2 Layer III LAME 3.100 cbr 64", lameTag}},
        {"lame_preset_extreme.mp3", {"MPEG 1 Layer III LAME 3.100 V0: preset extreme", lameTag}},
        {"lame_preset_insane.mp3", {"MPEG 1 Layer III LAME 3.100 [alt-]preset insane (?)", lameTag}},
        {"lame_preset_medium.mp3", {"MPEG 1 Layer III LAME 3.100 V4: preset medium", lameTag}},
        {"lame_preset_standard.mp3", {"MPEG 1 Layer III LAME 3.100 V2: preset standard", lameTag}},
        {"tag_all_cbr128.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 128", lameTag}},
        {"tag_ape_cbr128.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 128", lameTag}},
        {"tag_ape_id3v1_V2.mp3", {"MPEG 1 Layer III LAME 3.100 V2: preset standard", lameTag}},
        {"tag_id3v1_cbr128.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 128", lameTag}},
        {"tag_id3v2_V2.mp3", {"MPEG 1 Layer III LAME 3.100 V2: preset standard", lameTag}},
        {"tag_id3v2footer_cbr128.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 128", lameTag}},
        {"tag_lyrics3_cbr128.mp3", {"MPEG 1 Layer III LAME 3.100 cbr 128", lameTag}},
        {"twolame_192.mp2", {"MPEG 1 Layer II", "none"}},
        {"twolame_24000_64.mp2", {"MPEG 2 Layer II", "none"}},
        {"twolame_32000_384.mp2", {"MPEG 1 Layer II", "none"}},
    };
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(FixturePath("mp3"))) {
        const std::string name = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (extension != ".mp3" && extension != ".mp2") continue;
        SCOPED_TRACE(name);
        ++seen;
        const auto label = expected.find(name);
        ASSERT_NE(label, expected.end()) << "no label";
        const TAudioItem item = ItemOf(entry.path().string());
        EXPECT_EQ(item.EncoderInfo, label->second.first);
        EXPECT_EQ(item.EncoderEvidence, label->second.second);
        // The file name says which encoder made it; the info never names another.
        // (The tag_ files wrap LAME's output in hand-made tags.)
        const bool madeByLame = name.find("lame") != std::string::npos || name.rfind("tag_", 0) == 0;
        if (!madeByLame) {
            EXPECT_EQ(item.EncoderInfo.find("LAME"), std::string::npos);
        }
        for (const char* other : {"FhG", "Blade", "Xing", "GoGo", "Shine", "QDesign"})
            EXPECT_EQ(item.EncoderInfo.find(other), std::string::npos) << other;
    }
    EXPECT_EQ(seen, expected.size());
}

// Marks of encoders without a Debian build, and tag texts, on hand-built
// frames without any LAME mark (CBR 128 kbit/s, joint stereo, no CRC: the
// frame header bits alone would say FhG).
TEST(EncoderEvidence, HandBuiltMarks) {
    TempDir dir;
    FrameSpec shape;
    auto stream = [&shape] { return Frames(shape, 40); };
    struct Case {
        std::string name;
        Bytes bytes;
        std::string info, evidence;
    };
    std::vector<Case> cases;
    {
        Bytes b = stream();
        Put(b, 36, "VBRI");
        PutBE32(b, 36 + 10, 40 * 417);
        PutBE32(b, 36 + 14, 40);
        cases.push_back({"vbri.mp3", b, "MPEG 1 Layer III FhG", "VBRI header"});
    }
    {
        Bytes b = stream();
        Put(b, 36, "Xing");
        PutBE32(b, 36 + 4, 3);
        PutBE32(b, 36 + 8, 39);
        PutBE32(b, 36 + 12, 40 * 417);
        cases.push_back({"xing.mp3", b, "MPEG 1 Layer III Xing", "Xing header"});
    }
    {
        Bytes b = stream();
        Put(b, 500, "GOGO");
        cases.push_back({"gogo.mp3", b, "MPEG 1 Layer III GoGo", "GOGO mark in the frames"});
    }
    auto id3 = [](const std::string& frameId, const Bytes& body) {
        Bytes frame = ToBytes(frameId);
        PutBE32(frame, 4, static_cast<uint32_t>(body.size()));
        Append(frame, Bytes{0, 0});
        Append(frame, body);
        Bytes tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, static_cast<uint8_t>(frame.size())};
        Append(tag, frame);
        return tag;
    };
    {
        Bytes b = id3("TSSE", ToBytes(std::string("\0Encoder X 1.0", 14)));
        Append(b, stream());
        cases.push_back({"tsse.mp3", b, "MPEG 1 Layer III Encoder X 1.0", "ID3v2 TSSE"});
    }
    {
        // UTF-16 with a byte order mark.
        Bytes b = id3("TENC", Bytes{1, 0xFF, 0xFE, 'S', 0, 't', 0, 'u', 0, 'd', 0, 'i', 0, 'o', 0});
        Append(b, stream());
        cases.push_back({"tenc.mp3", b, "MPEG 1 Layer III Studio", "ID3v2 TENC"});
    }
    {
        Bytes b = id3("COMM", ToBytes(std::string("\0engiTunNORM\0 0000081C 00000", 28)));
        Append(b, stream());
        cases.push_back({"itunes.mp3", b, "MPEG 1 Layer III iTunes", "iTunes comment"});
    }
    {
        // An APE tag (footer only) with an "Encoder" item.
        Bytes b = stream();
        Bytes items;
        Append(items, Bytes{8, 0, 0, 0, 0, 0, 0, 0});
        Append(items, ToBytes(std::string("Encoder\0Tool 2.5", 16)));
        Bytes footer = ToBytes("APETAGEX");
        Append(footer, Bytes{0xD0, 0x07, 0, 0});
        const uint32_t size = static_cast<uint32_t>(items.size() + 32);
        Append(footer, Bytes{static_cast<uint8_t>(size), 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
        AppendZeros(footer, 8);
        Append(b, items);
        Append(b, footer);
        cases.push_back({"ape.mp3", b, "MPEG 1 Layer III Tool 2.5", "APE Encoder"});
    }
    cases.push_back({"plain.mp3", stream(), "MPEG 1 Layer III FhG?", "frame header bits"});
    {
        FrameSpec layerI = shape;
        layerI.Layer = 3;
        layerI.BitRateIndex = 12;
        cases.push_back({"plain.mp1", Frames(layerI, 120), "MPEG 1 Layer I", "none"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TAudioItem item = ItemOf(dir.Write(c.name, c.bytes));
        EXPECT_EQ(item.EncoderInfo, c.info);
        EXPECT_EQ(item.EncoderEvidence, c.evidence);
    }
}

// The settings of real LAME files, and the sample count without delay and
// padding: 1 s of 44.1 kHz input is 44,100 samples exactly.
TEST(LameSettings, RealFiles) {
    struct Case {
        const char* file;
        const char* commandLine;
        const char* method;
        int delay, padding;
        int64_t exactSamples;
    };
    const Case cases[] = {
        {"lame_V2.mp3", "-V 2 -q 0 --lowpass 18.5", "vbr-mtrh", 576, 1404, 44100},
        {"lame_abr160.mp3", "--abr 160 -q 3 --lowpass 17.5", "abr", 576, 1404, 44100},
        {"lame_preset_insane.mp3", "-b 320 -q 3 --lowpass 20.5", "cbr", 576, 1404, 44100},
        {"lame_cbr96_dual.mp3", "-b 96 -q 3 --lowpass 15.1", "cbr", 576, 832, 32000},
        {"enc_lame_abr192.mp3", "--abr 192 -q 3 --lowpass 18.6", "abr", 576, 1566, 22050},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromFile(FixturePath(std::string("mp3/") + c.file)));
        const TMP3Encoder encoder = DescribeMP3Encoder(reader);
        ASSERT_TRUE(encoder.HasLameTag);
        EXPECT_EQ(encoder.Lame.CommandLine, c.commandLine);
        EXPECT_EQ(encoder.Lame.VBRMethod, c.method);
        EXPECT_EQ(encoder.Lame.EncoderDelay, c.delay);
        EXPECT_EQ(encoder.Lame.EncoderPadding, c.padding);
        EXPECT_EQ(encoder.ExactSamples, c.exactSamples);
        EXPECT_TRUE(reader.Findings().LameTagChecked);
        EXPECT_TRUE(reader.Findings().LameTagCRCMatches);
    }
    // ffmpeg's tag records the delay and padding only; its CRC is LAME's.
    TMPEGaudio reader;
    ASSERT_TRUE(reader.ReadFromFile(FixturePath("mp3/ffmpeg_lame_q2.mp3")));
    const TMP3Encoder ffmpeg = DescribeMP3Encoder(reader);
    EXPECT_EQ(ffmpeg.Lame.Encoder, "Lavc");
    EXPECT_EQ(ffmpeg.Lame.CommandLine, "");
    EXPECT_FALSE(ffmpeg.Lame.SettingsRecorded);
    EXPECT_EQ(ffmpeg.ExactSamples, 44100);
    EXPECT_EQ(LameSettingsText(ffmpeg.Lame), "delay 576; padding 1404");
    EXPECT_TRUE(reader.Findings().LameTagCRCMatches);
    // A mono MPEG-1 frame: the tag ends 13 bytes before byte 190, and ffmpeg
    // sums those 190 bytes with its CRC field zero. By hand, 0x7B37 as stored;
    // LAME's span up to the field gives 0xBC0A.
    ASSERT_TRUE(reader.ReadFromFile(FixturePath("mp3/ffmpeg_lame_id3v24.mp3")));
    EXPECT_TRUE(reader.Findings().LameTagChecked);
    EXPECT_TRUE(reader.Findings().LameTagCRCMatches);

    // One changed byte in the tag: the CRC no longer matches.
    TempDir dir;
    Bytes bytes = ReadAll(FixturePath("mp3/lame_V2.mp3"));
    bytes[36 + 130] ^= 0x01;   // the lowpass byte
    ASSERT_TRUE(reader.ReadFromFile(dir.Write("changed.mp3", bytes)));
    EXPECT_TRUE(reader.Findings().LameTagChecked);
    EXPECT_FALSE(reader.Findings().LameTagCRCMatches);
}
