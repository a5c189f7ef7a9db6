#include "core/Analysis.h"
#include "readers/Speex.h"
#include "tags/VorbisComment.h"
#include "OggBuilders.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

Bytes SpeexHeader(std::string_view version, uint32_t rate, uint32_t channels) {
    Bytes out;
    Append(out, "Speex   ");
    Append(out, version);
    AppendZeros(out, 20 - version.size());
    AppendLE32(out, 1);      // version id
    AppendLE32(out, 80);     // header size
    AppendLE32(out, rate);
    AppendLE32(out, 1);      // mode
    AppendLE32(out, 4);      // mode bitstream version
    AppendLE32(out, channels);
    AppendLE32(out, 0xFFFFFFFF);   // bitrate
    AppendLE32(out, 320);    // frame size
    AppendLE32(out, 0);      // VBR
    AppendLE32(out, 1);      // frames per packet
    AppendLE32(out, 0);      // extra headers
    AppendZeros(out, 8);     // reserved
    return out;
}

// Header page, comment page, an audio page and a last page with the granule.
Bytes SpeexFile(const Bytes& header, const Bytes& comment, int64_t granule) {
    Bytes out = OggPage(0, 0, header);
    Append(out, OggPage(1, 0, comment));
    Append(out, OggPage(2, granule / 2, Bytes(2000, 0x33)));
    Append(out, OggPage(3, granule, Bytes(38, 0x44)));
    return out;
}

} // namespace

TEST(Speex, EncoderFilesGiveTheirRows) {
    struct Row {
        const char* name;
        int64_t size;
        int32_t rate, samples, bitRate;
    };
    // Rate and channels agree with ffprobe; its durations (2.02 s and 2.009 s)
    // add the encoder's look-ahead before time 0 to the last granule.
    const Row rows[] = {
        {"speex-nb.spx", 4134, 8000, 16000, 17},
        {"speex-wb.spx", 7393, 16000, 32000, 30},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = Analyse(FixturePath(std::string("xiph/") + row.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileSize, row.size);
        EXPECT_DOUBLE_EQ(item->Duration, double(row.samples) / row.rate);
        EXPECT_EQ(item->SampleRate, row.rate);
        EXPECT_EQ(item->Channels, 1);
        EXPECT_EQ(item->BitsPerSample, 16);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_NEAR(item->Ratio, double(row.size) / (row.samples * 2.0 + 44) * 100, 1e-9);
        EXPECT_EQ(item->EncoderInfo, "Speex 1.2.1");
    }
    TSpeex speex;
    ASSERT_TRUE(speex.ReadFromFile(FixturePath("xiph/speex-nb.spx")));
    EXPECT_TRUE(speex.HasSpeexVersion());
    EXPECT_EQ(speex.SpeexVersion(), "1.2.1");
    EXPECT_EQ(speex.NominalBitRate(), 0);
    EXPECT_EQ(speex.VorbisComment().Vendor(), "Encoded with Speex 1.2.1");
    EXPECT_EQ(speex.VorbisComment().FieldCount(), 0u);
}

TEST(Speex, VorbisStreamUnderSpxExtension) {
    TempDir dir;
    const Bytes ogg = ReadAll(FixturePath("xiph/vorbis-q0.ogg"));
    const auto item = Analyse(dir.Write("vorbis.spx", ogg));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->EncoderInfo, "Speex NA");
    EXPECT_EQ(item->SampleRate, 44100);
    EXPECT_EQ(item->Channels, 2);
    EXPECT_DOUBLE_EQ(item->Duration, 1.0);
    TSpeex speex;
    ASSERT_TRUE(speex.ReadFromFile(dir / "vorbis.spx"));
    EXPECT_EQ(speex.NominalBitRate(), 64);
    EXPECT_EQ(speex.VorbisComment().Vendor(), "Xiph.Org libVorbis I 20200704 (Reducing Environment)");
    EXPECT_FALSE(speex.HasSpeexVersion());

    // Only mono and stereo are valid here.
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("six.spx", ReadAll(FixturePath("xiph/vorbis-6ch.ogg")))));
    EXPECT_EQ(speex.Channels(), 6);
    EXPECT_FALSE(speex.Valid());

    // The sample rate keeps its low 16 bits: 96000 reads as 30464.
    Bytes hires = OggPage(0, 0, VorbisIdentification(2, 96000, 128000));
    Append(hires, OggPage(1, 0, VorbisCommentHeader("v", {"A=B"})));
    Append(hires, OggPage(2, 96000, Bytes(100, 0)));
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("hires.spx", hires)));
    EXPECT_EQ(speex.SampleRate(), 30464);
    ASSERT_EQ(speex.VorbisComment().Entries().size(), 1u);
    EXPECT_EQ(speex.VorbisComment().Entries()[0], "A=B");

    // Rounded nominal bitrate; an unset (negative) one is 0.
    Bytes rounded = OggPage(0, 0, VorbisIdentification(1, 8000, 15500));
    Append(rounded, OggPage(1, 0, VorbisCommentHeader("v", {})));
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("rounded.spx", rounded)));
    EXPECT_EQ(speex.NominalBitRate(), 16);
    Bytes unset = OggPage(0, 0, VorbisIdentification(1, 8000, -2));
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("unset.spx", unset)));
    EXPECT_EQ(speex.NominalBitRate(), 0);
}

TEST(Speex, CommentPacketGatheredAcrossPages) {
    TempDir dir;
    const std::string field(900, 'x');
    const Bytes comment = CommentBody("spanning vendor", {field, "TITLE=t"});
    // The packet is split into a page of 510 bytes (two 255 lacing values,
    // continued), one of 255 bytes, and the rest.
    Bytes file = OggPage(0, 0, SpeexHeader("1.1.12", 16000, 1));
    Append(file, OggPageRaw(1, 0, {255, 255}, Bytes(comment.begin(), comment.begin() + 510)));
    Append(file, OggPageRaw(2, 0, {255}, Bytes(comment.begin() + 510, comment.begin() + 765)));
    const auto rest = static_cast<unsigned char>(comment.size() - 765);
    Append(file, OggPageRaw(3, 0, {rest}, Bytes(comment.begin() + 765, comment.end())));
    Append(file, OggPage(4, 32000, Bytes(3000, 0)));
    TSpeex speex;
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("span.spx", file)));
    EXPECT_EQ(speex.VorbisComment().Vendor(), "spanning vendor");
    ASSERT_EQ(speex.VorbisComment().Entries().size(), 2u);
    EXPECT_EQ(speex.VorbisComment().Entries()[0], field);
    EXPECT_EQ(speex.VorbisComment().Entries()[1], "TITLE=t");
    EXPECT_EQ(speex.VorbisComment().EntryLengths()[1], 7u);
    EXPECT_EQ(speex.VersionText(), "1.1.12");
    EXPECT_DOUBLE_EQ(speex.Duration(), 2.0);
    EXPECT_TRUE(speex.Valid());

    // Pages past sequence number 9 are not gathered: the packet is cut there.
    Bytes cut = OggPage(0, 0, SpeexHeader("1.2", 8000, 1));
    Bytes long_comment = CommentBody("v", {std::string(5000, 'y')});
    for (uint32_t page = 0; page * 255 < long_comment.size(); ++page) {
        const auto from = long_comment.begin() + page * 255;
        const auto to = long_comment.begin() + std::min<std::size_t>((page + 1) * 255, long_comment.size());
        Append(cut, OggPageRaw(page + 1, 0, {255}, Bytes(from, to)));
    }
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("cut.spx", cut)));
    ASSERT_EQ(speex.VorbisComment().Entries().size(), 1u);
    EXPECT_EQ(speex.VorbisComment().Entries()[0].size(), 10 * 255 - 4 - 1 - 4 - 4u);
    EXPECT_EQ(speex.VorbisComment().EntryLengths()[0], 5000u);
}

TEST(Speex, ShortOrForeignFirstPackets) {
    TempDir dir;
    TSpeex speex;
    EXPECT_FALSE(speex.ReadFromFile(dir.Write("text.spx", "no Ogg page here")));
    EXPECT_FALSE(speex.ReadFromFile(dir.Write("opus.spx", OggPage(0, 0, ToBytes("OpusHead and more")))));
    EXPECT_EQ(speex.FileSize(), 0);
    EXPECT_EQ(speex.VersionText(), "NA");
    EXPECT_EQ(Analyse(dir / "opus.spx")->EncoderInfo, kNotScannedText);

    // A Speex packet cut after its version text: the missing fields read as zero.
    Bytes header = SpeexHeader("1.2.1", 8000, 1);
    header.resize(30);
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("short.spx", SpeexFile(header, CommentBody("v", {}), 16000))));
    EXPECT_EQ(speex.VersionText(), "1.2.1");
    EXPECT_EQ(speex.SampleRate(), 0);
    EXPECT_EQ(speex.Channels(), 0);
    EXPECT_FALSE(speex.Valid());

    // No comment page at all and no granule.
    ASSERT_TRUE(speex.ReadFromFile(dir.Write("alone.spx", OggPage(0, 0, SpeexHeader("1.2", 8000, 2)))));
    EXPECT_EQ(speex.Channels(), 2);
    EXPECT_EQ(speex.Duration(), 0.0);
    EXPECT_EQ(speex.BitRate(), 0);
    EXPECT_FALSE(speex.Valid());
    EXPECT_EQ(speex.Ratio(), 0.0);
}

TEST(VorbisComment, ParsingStopsAtTheEndOfThePacket) {
    TVorbisComment comment;
    const Bytes whole = CommentBody("vendor", {"A=1", "B=2"});
    comment.Parse(whole);
    EXPECT_EQ(comment.Vendor(), "vendor");
    EXPECT_EQ(comment.VendorLength(), 6u);
    EXPECT_EQ(comment.FieldCount(), 2u);
    EXPECT_EQ(comment.Entries(), (std::vector<std::string>{"A=1", "B=2"}));

    // A count of four billion fields in a packet that holds one.
    comment.Clear();
    comment.Parse(CommentBody("v", {"ONLY=1"}, 0xFFFFFFFF));
    EXPECT_EQ(comment.FieldCount(), 0xFFFFFFFFu);
    EXPECT_EQ(comment.Entries().size(), 1u);

    // A length beyond the packet keeps the bytes that are there.
    comment.Clear();
    Bytes cut = CommentBody("v", {}, 1);
    AppendLE32(cut, 1000);
    Append(cut, "partial");
    comment.Parse(cut);
    ASSERT_EQ(comment.Entries().size(), 1u);
    EXPECT_EQ(comment.Entries()[0], "partial");
    EXPECT_EQ(comment.EntryLengths()[0], 1000u);

    comment.Clear();
    comment.Parse(ToBytes("\xFF\xFF\xFF\xFFvendor cut"));
    EXPECT_EQ(comment.Vendor(), "vendor cut");
    EXPECT_EQ(comment.FieldCount(), 0u);
    comment.Parse(ToBytes("ab"));
    EXPECT_EQ(comment.Vendor(), "vendor cut");   // nothing read from two bytes
}
