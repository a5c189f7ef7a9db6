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
        const char* encoderInfo;
    };
    // Sample rate, channels and length (last granule) agree with ffprobe.
    // The bitrate counts the audio pages only: the bytes after the page that
    // ends the setup header up to the end of the last page (a walk over the
    // pages by hand), over the length: vorbis-q0.ogg has 2941 such bytes in
    // 1 s, 23.5 kbps; the large comment file 2372 bytes in 2 s, 9.5 kbps.
    const Row rows[] = {
        {"vorbis-q0.ogg", 6873, 44100, 44100, 2, 24, "Vorbis 1.3.7 - 64 kbps"},
        {"vorbis-q5.ogg", 15225, 44100, 44100, 2, 86, "Vorbis 1.3.7 - 160 kbps"},
        {"vorbis-q10.ogg", 39245, 44100, 44100, 2, 281, "Vorbis 1.3.7 - 499 kbps"},
        {"vorbis-mono.ogg", 7716, 66150, 44100, 1, 23, "Vorbis 1.3.7 - 80 kbps"},
        {"vorbis-6ch.ogg", 15100, 48000, 48000, 6, 68, "Vorbis 1.3.7 - 120 kbps"},
        {"vorbis-5ch.ogg", 13332, 48000, 48000, 5, 78, "Vorbis 1.3.7 - 240 kbps"},
        {"vorbis-large-comment.ogg", 79723, 44100, 22050, 1, 9, "Vorbis 1.3.7 - 35 kbps"},
        {"vorbis-ffmpeg.ogg", 5786, 44100, 22050, 1, 9, "Vorbis Lavf59.27.100 - 35 kbps"},
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
        EXPECT_EQ(item->EncoderInfo, row.encoderInfo);
    }
}

TEST(OggVorbis, HeaderPagesAndChecksumsOfEncoderFiles) {
    TOggVorbis ogg;
    // The comment of about 74 KB spans two pages; the setup header ends on
    // the third, at byte 77351.
    ASSERT_TRUE(ogg.ReadFromFile(FixturePath("xiph/vorbis-large-comment.ogg")));
    EXPECT_EQ(ogg.HeaderBytes(), 77351);
    EXPECT_EQ(ogg.AudioBytes(), 79723 - 77351);
    EXPECT_EQ(ogg.Vendor(), kDebianVendor);
    EXPECT_EQ(ogg.Comment().size(), 250u - 8);   // cut to 250 bytes with "COMMENT="
    EXPECT_EQ(ogg.ChecksumFailures(), 0);
    EXPECT_FALSE(ogg.LastPageCut());

    ASSERT_TRUE(ogg.ReadFromFile(FixturePath("xiph/vorbis-q5.ogg")));
    EXPECT_EQ(ogg.HeaderBytes(), 4453);
    EXPECT_EQ(ogg.ChecksumFailures(), 0);
}

TEST(OggVorbis, CutLastPageIsLeftOut) {
    // The first 8,500 bytes of a 2 s file: its last page (granule 22050)
    // is cut; the page before ends at byte 6893 with granule 14848. ffprobe:
    // 1.346757 s.
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(FixturePath("xiph/vorbis-cut.ogg")));
    EXPECT_EQ(ogg.Samples(), 14848);
    EXPECT_NEAR(ogg.Duration(), 1.346757, 1e-6);
    EXPECT_TRUE(ogg.LastPageCut());
    EXPECT_EQ(ogg.AudioBytes(), 6893 - 2640);
    EXPECT_EQ(ogg.BitRate(), 25);   // 4253 bytes in 1.3468 s
    EXPECT_TRUE(ogg.Valid());
}

TEST(OggVorbis, AnyChannelCountFromOneTo255IsValid) {
    TempDir dir;
    TOggVorbis ogg;
    VorbisStream s;
    for (int channels : {1, 3, 5, 8, 255}) {
        s.channels = static_cast<uint8_t>(channels);
        ASSERT_TRUE(ogg.ReadFromFile(dir.Write("c.ogg", VorbisFile(s))));
        EXPECT_TRUE(ogg.Valid()) << channels;
        EXPECT_EQ(ogg.Channels(), channels);
    }
    s.channels = 0;
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("none.ogg", VorbisFile(s))));
    EXPECT_FALSE(ogg.Valid());
    EXPECT_EQ(ogg.Ratio(), 0.0);
}

TEST(OggVorbis, TagFieldsOfEncoderFile) {
    TOggVorbis ogg;
    ASSERT_TRUE(ogg.ReadFromFile(FixturePath("xiph/vorbis-q5.ogg")));
    EXPECT_EQ(ogg.Title(), "Quality five");
    EXPECT_EQ(ogg.Artist(), "Sondaro");
    EXPECT_EQ(ogg.Track(), 3);
    EXPECT_EQ(ogg.Vendor(), kDebianVendor);
    EXPECT_EQ(ogg.EncoderRelease(), "1.3.7");
    EXPECT_EQ(ogg.Samples(), 44100);
    EXPECT_EQ(ogg.ID3v2Size(), 0);
}

TEST(OggVorbis, VendorStringsNameTheirRelease) {
    EXPECT_EQ(VorbisEncoderRelease("Xiphophorus libVorbis I 20000508"), "1.0 beta 1 or beta 2");
    EXPECT_EQ(VorbisEncoderRelease("Xiphophorus libVorbis I 20011231"), "1.0 rc3");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20030909 (1.0.1)"), "1.0.1");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20030909"), "1.0.1");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b2 [20040420]  (based on Xiph.Org's 1.0.1)"), "1.0.1 aoTuV beta 2");
    EXPECT_EQ(VorbisEncoderRelease("xiph.org libVorbis I 20020717"), "xiph.org libVorbis I 20020717");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b4 [20050617] (based on Xiph.Org's libVorbis)"), "1.1 aoTuV beta 4");
    EXPECT_EQ(VorbisEncoderRelease(""), "");

    // The releases since 1.1.1, as their vendor strings read (UTF-8).
    const std::pair<const char*, const char*> releases[] = {
        {"Xiph.Org libVorbis I 20070622", "1.2.0"},
        {"Xiph.Org libVorbis I 20080501", "1.2.1"},
        {"Xiph.Org libVorbis I 20090604", "1.2.2rc1"},
        {"Xiph.Org libVorbis I 20090624", "1.2.2"},
        {"Xiph.Org libVorbis I 20090709", "1.2.3"},
        {"Xiph.Org libVorbis I 20100325 (Everywhere)", "1.3.1"},
        {"Xiph.Org libVorbis I 20101101 (Schaufenugget)", "1.3.2"},
        {"Xiph.Org libVorbis I 20120203 (Omnipresent)", "1.3.3"},
        {"Xiph.Org libVorbis I 20140122 (Turpak\xC3\xA4r\xC3\xA4jiin)", "1.3.4"},
        {"Xiph.Org libVorbis I 20150105 (\xE2\x9B\x84\xE2\x9B\x84\xE2\x9B\x84\xE2\x9B\x84)", "1.3.5"},
        {"Xiph.Org libVorbis I 20180316 (Now 100% fewer shells)", "1.3.6"},
        {"Xiph.Org libVorbis I 20200704 (Reducing Environment)", "1.3.7"},
    };
    for (const auto& [vendor, release] : releases) EXPECT_EQ(VorbisEncoderRelease(vendor), release) << vendor;

    // Other Xiph.Org strings: the newest release of their date or before.
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20250101 (Some future name)"), "1.3.7 or later");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20200704"), "1.3.7 or later");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20150105 (patched)"), "1.3.5 or later");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20090623"), "1.2.1 or later");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 20020716"), "Xiph.Org libVorbis I 20020716");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 2020070"), "Xiph.Org libVorbis I 2020070");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org libVorbis I 202007041"), "Xiph.Org libVorbis I 202007041");

    // aoTuV builds: the beta number and date as the string states them.
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b5 [20061024] (based on Xiph.Org's libVorbis)"),
              "aoTuV beta 5 [20061024]");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b6.03 [20110424] (based on Xiph.Org's libVorbis)"),
              "aoTuV beta 6.03 [20110424]");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV b2 [20040420] (based on Xiph.Org's 1.0.1)"), "aoTuV beta 2 [20040420]");
    EXPECT_EQ(VorbisEncoderRelease("AO; aoTuV [20110424]"), "aoTuV [20110424]");

    // Anything else as it stands.
    EXPECT_EQ(VorbisEncoderRelease("Lavf59.27.100"), "Lavf59.27.100");
    EXPECT_EQ(VorbisEncoderRelease("Xiph.Org/Sjeng.Org libVorbis I 20040101"), "Xiph.Org/Sjeng.Org libVorbis I 20040101");

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

    s.granule = -1;   // not set: the page before (granule -1 / 2 = 0) is taken
    ASSERT_TRUE(ogg.ReadFromFile(dir.Write("negative.ogg", VorbisFile(s))));
    EXPECT_EQ(ogg.Samples(), 0);
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
    // Identification page 58 bytes, comment page 73, audio pages 16090 + 128:
    // 16218 bytes in one second.
    EXPECT_EQ(ogg.HeaderBytes(), 58 + 73);
    EXPECT_EQ(ogg.BitRate(), 130);

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

TEST(OggPages, PacketsAcrossPagesAndStreams) {
    TempDir dir;
    // A 600-byte packet over two pages, a page of another stream between
    // them, then a small packet.
    Bytes file = OggPageRaw(0, -1, {255, 255}, Bytes(510, 'a'));
    Append(file, OggPage(0, 0, ToBytes("other stream"), 0x1234));
    Bytes second = OggPageRaw(1, 7, {90, 3}, Bytes(93, 'b'));
    second[5] = kOggContinuedPacket;
    SetOggChecksum(second);
    Append(file, second);
    const std::string path = dir.Write("packets.ogg", file);

    TFileStream stream(path);
    TOggPacketReader packets(stream, 0);
    std::string packet;
    int64_t size = 0;
    ASSERT_TRUE(packets.Next(packet, size, 1000));
    EXPECT_EQ(size, 600);
    EXPECT_EQ(packet, std::string(510, 'a') + std::string(90, 'b'));
    EXPECT_EQ(packets.PacketPageEnd(), int64_t(file.size()));
    ASSERT_TRUE(packets.Next(packet, size, 2));   // keeps 2 of its 3 bytes
    EXPECT_EQ(size, 3);
    EXPECT_EQ(packet, "bb");
    EXPECT_FALSE(packets.Next(packet, size, 10));
    EXPECT_EQ(packets.Serial(), 0x50A0D0u);
    EXPECT_EQ(packets.ChecksumFailures(), 0);

    // A damaged byte in a page body shows as a checksum failure.
    file[40] ^= 0x01;
    const std::string damaged = dir.Write("damaged.ogg", file);
    TFileStream damagedStream(damaged);
    TOggPacketReader damagedPackets(damagedStream, 0);
    ASSERT_TRUE(damagedPackets.Next(packet, size, 1000));
    EXPECT_EQ(damagedPackets.ChecksumFailures(), 1);
}

TEST(OggPages, LastCompletePageSearch) {
    TempDir dir;
    const auto find = [&](const Bytes& bytes, uint32_t serial = 0x50A0D0) {
        TFileStream stream(dir.Write("last.ogg", bytes));
        return FindLastCompleteOggPage(stream, serial);
    };
    Bytes file = OggPage(0, 1000, Bytes(500, 1));
    Append(file, OggPage(1, 2000, Bytes(500, 2)));
    const int64_t twoPages = int64_t(file.size());

    TOggLastPage last = find(file);
    ASSERT_TRUE(last.Found);
    EXPECT_EQ(last.Page.Granule, 2000u);
    EXPECT_EQ(last.Page.End(), twoPages);
    EXPECT_FALSE(last.TailCut);

    // Granule -1 (no packet ends on the page) and another stream's page are
    // passed over.
    Bytes unset = file;
    Append(unset, OggPage(2, -1, Bytes(300, 3)));
    Append(unset, OggPage(0, 99999, Bytes(300, 4), 0x777));
    EXPECT_EQ(find(unset).Page.Granule, 2000u);
    EXPECT_EQ(find(unset, 0x777).Page.Granule, 99999u);
    TFileStream anyStream(dir.Write("any.ogg", unset));
    EXPECT_EQ(FindLastCompleteOggPage(anyStream, 0x1234, 1 << 20, true).Page.Granule, 99999u);
    EXPECT_FALSE(FindLastCompleteOggPage(anyStream, 0x1234).Found);

    // A page cut by the end of the file: the one before it, and TailCut.
    Bytes cut = file;
    Append(cut, OggPage(2, 3000, Bytes(500, 3)));
    cut.resize(cut.size() - 1);
    last = find(cut);
    EXPECT_EQ(last.Page.Granule, 2000u);
    EXPECT_TRUE(last.TailCut);
    cut.resize(twoPages + 10);   // cut inside the header
    last = find(cut);
    EXPECT_EQ(last.Page.Granule, 2000u);
    EXPECT_TRUE(last.TailCut);

    // A page whose checksum fails is counted and passed over; so is a
    // page-like "OggS" inside a body.
    Bytes bad = file;
    bad[twoPages - 5] ^= 0x40;
    last = find(bad);
    EXPECT_EQ(last.Page.Granule, 1000u);
    EXPECT_EQ(last.ChecksumFailures, 1);
    Bytes marker = OggPage(0, 5, ToBytes("OggS\0\0\x10\x27\0\0\0\0\0\0"));
    EXPECT_EQ(find(marker).Page.Granule, 5u);

    // 64-bit granule positions are kept whole.
    EXPECT_EQ(find(OggPage(0, (int64_t(5) << 32) + 7, Bytes(10, 0))).Page.Granule, (uint64_t(5) << 32) + 7);

    // No page within the search limit; an empty file.
    Bytes far = OggPage(0, 10, {});
    far.resize(far.size() + 1000, 0);
    TFileStream farStream(dir.Write("far.ogg", far));
    EXPECT_FALSE(FindLastCompleteOggPage(farStream, 0x50A0D0, 1000).Found);
    EXPECT_TRUE(FindLastCompleteOggPage(farStream, 0x50A0D0, 2000).Found);
    EXPECT_FALSE(find({}).Found);
}

TEST(OggPages, ChecksumOfEncoderPages) {
    // Every page libogg wrote carries the checksum the function computes.
    TFileStream stream(FixturePath("xiph/vorbis-q5.ogg"));
    int pages = 0;
    for (int64_t offset = 0; offset < stream.Size(); ++pages) {
        TOggPageHeader page;
        ASSERT_TRUE(ReadOggPageHeader(stream, offset, page));
        EXPECT_TRUE(OggPageChecksumMatches(stream, page)) << offset;
        offset = page.End();
    }
    EXPECT_EQ(pages, 5);
}

TEST(OggPages, ChecksumOfEveryLengthMatchesTheBitwiseDefinition) {
    // CRC-32, polynomial 0x04C11DB7, most significant bit first, no initial
    // or final inversion; the checksum field (bytes 22-25) counts as zeros.
    const auto bitwise = [](const std::vector<unsigned char>& page) {
        uint32_t crc = 0;
        for (std::size_t i = 0; i < page.size(); ++i) {
            crc ^= uint32_t{i >= 22 && i < 26 ? 0u : page[i]} << 24;
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
        return crc;
    };
    std::vector<unsigned char> page;
    for (int length = 0; length <= 70; ++length) {
        EXPECT_EQ(OggPageChecksum(page.data(), page.size()), bitwise(page)) << length;
        page.push_back(static_cast<unsigned char>(length * 37 + 11));
    }
    // "123456789" with the checksum of CRC-32/POSIX before its final inversion.
    const std::string check = "123456789";
    EXPECT_EQ(OggPageChecksum(reinterpret_cast<const unsigned char*>(check.data()), check.size()), 0x89A1897Fu);
}
