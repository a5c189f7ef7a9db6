#include "core/Analysis.h"
#include "io/FileStream.h"
#include "io/Text.h"
#include "readers/OggPages.h"
#include "readers/OggVorbis.h"
#include "OggBuilders.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kDebianVendor = "Xiph.Org libVorbis I 20200704 (Reducing Environment)";

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

int32_t LastGranule(const std::string& path) {
    TFileStream stream(path);
    return FindLastOggPageGranule(stream);
}

} // namespace

TEST(OggVorbis, EncoderFilesGiveTheirRows) {
    struct Row {
        const char* name;
        int64_t size;
        int32_t samples, rate, channels, bitRate;
        const char* nominal;
    };
    // Sample rate, channels and length (last granule) agree with ffprobe.
    const Row rows[] = {
        {"vorbis-q0.ogg", 6873, 44100, 44100, 2, 55, "64"},
        {"vorbis-q5.ogg", 15225, 44100, 44100, 2, 122, "160"},
        {"vorbis-q10.ogg", 39245, 44100, 44100, 2, 314, "499"},
        {"vorbis-mono.ogg", 7716, 66150, 44100, 1, 41, "80"},
        {"vorbis-6ch.ogg", 15100, 48000, 48000, 6, 121, "120"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = Analyse(FixturePath(std::string("xiph/") + row.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileSize, row.size);
        EXPECT_DOUBLE_EQ(item->Duration, double(row.samples) / row.rate);
        EXPECT_EQ(item->SampleRate, row.rate);
        EXPECT_EQ(item->Channels, row.channels);
        EXPECT_EQ(item->BitsPerSample, 16);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_NEAR(item->Ratio, double(row.size) / (row.samples * row.channels * 2.0 + 44) * 100, 1e-9);
        EXPECT_EQ(item->EncoderInfo, std::string("Vorbis ") + kDebianVendor + " - " + row.nominal + " kbps");
    }
}

TEST(OggVorbis, FiveChannelsAreNotValid) {
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(FixturePath("xiph/vorbis-5ch.ogg")));
    EXPECT_EQ(ogg.Channels(), 5);
    EXPECT_FALSE(ogg.Valid());
    EXPECT_EQ(ogg.Ratio(), 0.0);
    EXPECT_EQ(Analyse(FixturePath("xiph/vorbis-5ch.ogg"))->EncoderInfo, kNotScannedText);
}

TEST(OggVorbis, TagFieldsOfEncoderFile) {
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(FixturePath("xiph/vorbis-q5.ogg")));
    EXPECT_EQ(ogg.Title(), "Quality five");
    EXPECT_EQ(ogg.Artist(), "Sondaro");
    EXPECT_EQ(ogg.Track(), 3);
    EXPECT_EQ(ogg.Vendor(), kDebianVendor);
    EXPECT_EQ(ogg.EncoderRelease(), kDebianVendor);   // newer than the table
    EXPECT_EQ(ogg.Samples(), 44100);
    EXPECT_EQ(ogg.ID3v2Size(), 0);
}

TEST(OggVorbis, VendorStringsNameTheirRelease) {
    EXPECT_EQ(VorbisEncoderRelease("Xiphophorus libVorbis I 20000508"), "1.0 beta 1 or beta 2");
    EXPECT_EQ(VorbisEncoderRelease("Xiphophorus libVorbis I 20011231"), "1.0 rc3");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20030909 (1.0.1)"), "1.0.1");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20030909"), "1.0.1");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b2 [20040420]  (based on Xiph.Org's 1.0.1)"), "1.0.1 aoTuV beta 2");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b2 [20040420] (based on Xiph.Org's 1.0.1)"),
              "AO; aoTuV b2 [20040420] (based on Xiph.Org's 1.0.1)");   // one space: unknown
    EXPECT_EQ(VorbisEncoderRelease("xiph.org libVorbis I 20020717"), "xiph.org libVorbis I 20020717");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b4 [20050617] (based on Xiph.Org's libVorbis)"), "1.1 aoTuV beta 4");
    EXPECT_EQ(VorbisEncoderRelease(""), "");

    TempDir dir;
    const auto item = Analyse(dir.Write("one.ogg", VorbisFile({})));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->EncoderInfo, "Vorbis 1.0 - 128 kbps");
    EXPECT_DOUBLE_EQ(item->Duration, 1.0);
}

TEST(OggVorbis, CommentFieldsFillTheTagProperties) {
    TempDir dir;
    VorbisStream s;
    s.fields = {"ARTIST=First", "artist=  Second  ", "PERFORMER=Ignored", "TRACKNUMBER=3/12", "DESCRIPTION=Desc",
                "TITLE=caf\xC3\xA9", "GENRE=Tone", "DATE=2024", "ALBUM=Test"};
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("tags.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.Artist(), "Second");   // the later field wins, trimmed
    EXPECT_EQ(ogg.Track(), 3);
    EXPECT_EQ(ogg.Comment(), "Desc");
    EXPECT_EQ(ogg.Title(), "caf\xC3\xA9");
    EXPECT_EQ(ogg.Genre(), "Tone");
    EXPECT_EQ(ogg.Date(), "2024");
    EXPECT_EQ(ogg.Album(), "Test");

    s.fields = {"PERFORMER=Player", "TRACKNUMBER=three", "COMMENT=Comment", "DESCRIPTION=Desc"};
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("performer.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.Artist(), "Player");
    EXPECT_EQ(ogg.Track(), 0);
    EXPECT_EQ(ogg.Comment(), "Comment");
    EXPECT_EQ(ogg.Title(), "");   // nothing carried over from the previous file
}

TEST(OggVorbis, LongVendorIsCutTo250Bytes) {
    TempDir dir;
    VorbisStream s;
    s.vendor = std::string(300, 'v');
    s.fields = {"TITLE=After the long vendor"};
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("long.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.Vendor(), std::string(250, 'v'));
    EXPECT_EQ(ogg.Title(), "After the long vendor");
}

TEST(OggVorbis, MissingCommentHeaderLeavesTwoSpaces) {
    TempDir dir;
    VorbisStream s;
    s.commentHeader = false;
    const auto item = Analyse(dir.Write("nocomment.ogg", VorbisFile(s)));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->EncoderInfo, "Vorbis  - 128 kbps");
}

TEST(OggVorbis, NominalBitRateIsSignedAndTruncated) {
    TempDir dir;
    VorbisStream s;
    s.nominal = -2;   // oggenc's "unset"
    EXPECT_EQ(Analyse(dir.Write("unset.ogg", VorbisFile(s)))->EncoderInfo, "Vorbis 1.0 - 0 kbps");
    s.nominal = 112999;
    EXPECT_EQ(Analyse(dir.Write("trunc.ogg", VorbisFile(s)))->EncoderInfo, "Vorbis 1.0 - 112 kbps");
    s.nominal = -128000;
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("negative.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.NominalBitRate(), 0);
}

TEST(OggVorbis, DurationFallsBackToNominalBitRate) {
    TempDir dir;
    VorbisStream s;
    s.granule = 0;
    s.nominal = 64000;
    TOggVorbis ogg;
    const std::string path = dir.Write("nogranule.ogg", VorbisFile(s));
    ASSERT_TRUE(ogg.ReadFromFile(path));
    const double size = double(ReadAll(path).size());
    EXPECT_DOUBLE_EQ(ogg.Duration(), size / 64 / 2 / 125 * 2);
    EXPECT_TRUE(ogg.Valid());

    s.granule = -1;   // negative as a signed 32-bit number
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("negative.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.Samples(), -1);
    EXPECT_DOUBLE_EQ(ogg.Duration(), size / 64 / 2 / 125 * 2);

    s.nominal = 0;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("nothing.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.Duration(), 0.0);
    EXPECT_EQ(ogg.BitRate(), 0);
    EXPECT_FALSE(ogg.Valid());
}

TEST(OggVorbis, ValidityLimits) {
    TempDir dir;
    TOggVorbis ogg;
    VorbisStream s;
    s.granule = 4410;   // exactly 0.1 s
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("short.ogg", VorbisFile(s))));
    EXPECT_FALSE(ogg.Valid());
    s.granule = 4411;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("longer.ogg", VorbisFile(s))));
    EXPECT_TRUE(ogg.Valid());

    s.channels = 6;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("six.ogg", VorbisFile(s))));
    EXPECT_TRUE(ogg.Valid());
    s.channels = 8;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("eight.ogg", VorbisFile(s))));
    EXPECT_FALSE(ogg.Valid());
    s.channels = 2;
    s.rate = 0;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("norate.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.Duration(), 0.0);
    EXPECT_FALSE(ogg.Valid());
}

TEST(OggVorbis, LeadingID3v2TagIsSkippedByItsOwnSize) {
    TempDir dir;
    // Size bytes taken whole: 0x01 0x00 = 128 + 10 header bytes.
    Bytes file{'I', 'D', '3', 3, 0, 0, 0, 0, 1, 0};
    AppendZeros(file, 128);
    Append(file, VorbisFile({}));
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("id3.ogg", file)));
    EXPECT_EQ(ogg.ID3v2Size(), 138);
    EXPECT_EQ(ogg.BitRate(), RoundHalfEven((file.size() - 138) / 125.0));

    // The footer flag adds another 10 bytes.
    Bytes footer{'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 0};
    AppendZeros(footer, 138);
    Append(footer, VorbisFile({}));
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("footer.ogg", footer)));
    EXPECT_EQ(ogg.ID3v2Size(), 148);

    // A size beyond the file counts as no tag, so no Ogg page is found.
    Bytes huge{'I', 'D', '3', 3, 0, 0, 0x7F, 0, 0, 0};
    Append(huge, VorbisFile({}));
    EXPECT_FALSE(ogg.ReadFromFile(dir.Write("huge.ogg", huge)));
}

TEST(OggVorbis, NotVorbisIsRejected) {
    TempDir dir;
    TOggVorbis ogg;
    EXPECT_FALSE(ogg.ReadFromFile(dir.Write("text.ogg", "plain text, no pages")));
    EXPECT_FALSE(ogg.ReadFromFile(dir.Write("flac.ogg", OggPage(0, 0, ToBytes("\x7F" "FLAC and more")))));
    EXPECT_EQ(ogg.FileSize(), 0);
    EXPECT_FALSE(ogg.ReadFromFile(dir.Write("empty-page.ogg", ToBytes("OggS"))));
}

TEST(OggVorbis, FieldCountBeyondTheFileStopsAtItsEnd) {
    TempDir dir;
    Bytes file = OggPage(0, 0, VorbisIdentification(2, 44100, 128000));
    Append(file, OggPage(1, 0, VorbisCommentHeader("vendor", {"TITLE=Only"}, 0xFFFFFFFF)));
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("count.ogg", file)));
    EXPECT_EQ(ogg.Title(), "Only");
    EXPECT_EQ(ogg.Vendor(), "vendor");

    // A string length beyond the file ends the loop as well.
    Bytes cut = OggPage(0, 0, VorbisIdentification(2, 44100, 128000));
    Bytes comment = VorbisCommentHeader("vendor", {"TITLE=Cut"}, 5);
    AppendLE32(comment, 0x7FFFFFFF);
    Append(cut, OggPage(1, 0, comment));
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("cut.ogg", cut)));
    EXPECT_EQ(ogg.Title(), "Cut");
}

TEST(OggPages, LastPageSearch) {
    TempDir dir;
    // The marker nearest the end wins; a granule of -1 stays negative.
    Bytes file = OggPage(0, 1000, Bytes(500, 1));
    Append(file, OggPage(1, -1, Bytes(500, 2)));
    EXPECT_EQ(LastGranule(dir.Write("two.ogg", file)), -1);

    // Only the low 32 bits count.
    EXPECT_EQ(LastGranule(dir.Write("wide.ogg", OggPage(0, (int64_t(5) << 32) + 7, Bytes(3000, 0)))), 7);

    // Nothing in the last 12,060 bytes: 0.
    // The page starts at 100: found while it is no more than 12,060 bytes
    // from the end.
    Bytes far(100, 0);
    Append(far, OggPage(0, 99, {}));
    far.resize(100 + 12060 + 1, 0);
    EXPECT_EQ(LastGranule(dir.Write("far.ogg", far)), 0);
    far.pop_back();
    EXPECT_EQ(LastGranule(dir.Write("near.ogg", far)), 99);

    // A small file: windows that would start before byte 0 start at 0, so a
    // page near the start is still found (600 bytes: windows at 349, 108, 0).
    Bytes small(100, 0);
    Append(small, OggPage(0, 4242, {}));
    small.resize(600, 0);
    EXPECT_EQ(LastGranule(dir.Write("small.ogg", small)), 4242);

    // Files shorter than a window, and the marker cut by the end.
    EXPECT_EQ(LastGranule(dir.Write("tiny.ogg", OggPage(0, 12, {}))), 12);
    EXPECT_EQ(LastGranule(dir.Write("marker.ogg", ToBytes("xxOggS\x01\x02"))), 0);
    EXPECT_EQ(LastGranule(dir.Write("half.ogg", ToBytes("xxOgg"))), 0);
    EXPECT_EQ(LastGranule(dir.Write("empty.ogg", Bytes{})), 0);
}
