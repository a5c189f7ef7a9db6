#include "core/Analysis.h"
#include "io/Text.h"
#include "readers/Mp4File.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string Mp4Fixture(const std::string& name) { return FixturePath("mp4aac/" + name); }

// Byte builders for hand-made files.
Bytes Atom(std::string_view type, const Bytes& body) {
    Bytes out;
    AppendBE32(out, static_cast<uint32_t>(body.size() + 8));
    Append(out, type);
    Append(out, body);
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) Append(out, part);
    return out;
}

Bytes Mdhd(uint32_t timeScale, uint32_t duration) {
    Bytes body;
    AppendZeros(body, 4 + 8);   // version 0, flags, creation and modification time
    AppendBE32(body, timeScale);
    AppendBE32(body, duration);
    AppendZeros(body, 4);       // language, quality
    return Atom("mdhd", body);
}

Bytes AudioEntry(std::string_view format, uint16_t channels, uint16_t bits, uint16_t rate) {
    Bytes body;
    AppendZeros(body, 6);
    AppendBE16(body, 1);        // data reference index
    AppendZeros(body, 8);       // version, revision, vendor
    AppendBE16(body, channels);
    AppendBE16(body, bits);
    AppendZeros(body, 4);
    AppendBE32(body, uint32_t(rate) << 16);
    return Atom(format, body);
}

Bytes Stsd(std::initializer_list<Bytes> entries) {
    Bytes body;
    AppendZeros(body, 4);
    AppendBE32(body, static_cast<uint32_t>(entries.size()));
    for (const auto& entry : entries) Append(body, entry);
    return Atom("stsd", body);
}

Bytes Value(uint8_t dataType, const Bytes& payload) {
    Bytes body;
    AppendBE32(body, dataType);   // version 0, flags = data type
    AppendZeros(body, 4);
    Append(body, payload);
    return Atom("data", body);
}

Bytes Item(std::string_view type, uint8_t dataType, const Bytes& payload) {
    return Atom(type, Value(dataType, payload));
}

Bytes Text(std::string_view type, std::string_view text) { return Item(type, 1, ToBytes(text)); }

Bytes Freeform(std::string_view name, std::string_view text) {
    Bytes mean, nameBody;
    AppendZeros(mean, 4);
    Append(mean, "com.apple.iTunes");
    AppendZeros(nameBody, 4);
    Append(nameBody, name);
    return Atom("----", Concat({Atom("mean", mean), Atom("name", nameBody), Value(1, ToBytes(text))}));
}

Bytes Meta(const Bytes& items) {
    Bytes body;
    AppendZeros(body, 4);   // version, flags
    Bytes hdlr;
    AppendZeros(hdlr, 8);
    Append(hdlr, "mdirappl");
    AppendZeros(hdlr, 9);
    Append(body, Atom("hdlr", hdlr));
    Append(body, Atom("ilst", items));
    return Atom("meta", body);
}

std::string A9(std::string_view letters) { return "\xA9" + std::string(letters); }

struct Mp4Parts {
    Bytes ftyp = Atom("ftyp", Concat({ToBytes("M4A "), Bytes(4, 0)}));
    Bytes mdhd = Mdhd(44100, 44100 * 2);
    Bytes stsd = Stsd({AudioEntry("mp4a", 2, 16, 44100)});
    Bytes items = Text(A9("too"), "Tool 1.0");
    Bytes mdat = Atom("mdat", Bytes(2000, 0x55));
    Bytes extra;   // after mdat
};

Bytes BuildMp4(const Mp4Parts& p) {
    const Bytes trak = Atom("trak", Atom("mdia", Concat({p.mdhd, Atom("minf", Atom("stbl", p.stsd))})));
    const Bytes moov = Atom("moov", Concat({trak, Atom("udta", Meta(p.items))}));
    return Concat({p.ftyp, moov, p.mdat, p.extra});
}

TMp4file ReadMp4(const Bytes& bytes, bool expected = true) {
    TempDir dir;
    TMp4file mp4;
    EXPECT_EQ(mp4.ReadFromFile(dir.Write("x.m4a", bytes)), expected);
    return mp4;
}

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

} // namespace

TEST(Mp4File, RealAacFilesGiveTheirRows) {
    auto lavf = Analyse(Mp4Fixture("aac-lavf.m4a"));
    ASSERT_TRUE(lavf);
    EXPECT_EQ(lavf->EncoderInfo, "MPEG-4 AAC Lavf59.27.100");
    EXPECT_EQ(lavf->FileSize, 17346);
    EXPECT_EQ(lavf->SampleRate, 44100);
    EXPECT_EQ(lavf->Channels, 2);
    EXPECT_EQ(lavf->BitsPerSample, 16);
    EXPECT_DOUBLE_EQ(lavf->Duration, 45124.0 / 44100);   // media header, priming included
    EXPECT_EQ(lavf->BitRate, 131);                        // 16367-byte mdat over 1 s
    EXPECT_DOUBLE_EQ(lavf->Ratio, 17346 / (45124.0 / 44100 * 44100 * 4 + 44) * 100);

    // Bit-exact mode writes no tool item: the codec name and a space.
    auto noTool = Analyse(Mp4Fixture("aac-notool.m4a"));
    EXPECT_EQ(noTool->EncoderInfo, "MPEG-4 AAC ");

    // Mono: the AAC entry's channel count is the template 2, the stream's own
    // configuration says 1 (as ffprobe reports).
    auto mp4 = Analyse(Mp4Fixture("aac.mp4"));
    EXPECT_EQ(mp4->EncoderInfo, "MPEG-4 AAC Lavf59.27.100");
    EXPECT_EQ(mp4->SampleRate, 32000);
    EXPECT_EQ(mp4->Channels, 1);
    EXPECT_DOUBLE_EQ(mp4->Duration, 1.032);

    // Without udta/meta the file is not valid.
    TMp4file stripped;
    EXPECT_FALSE(stripped.ReadFromFile(Mp4Fixture("aac-stripped.m4a")));
    EXPECT_EQ(stripped.UserDataOffset(), 0);
    EXPECT_GT(stripped.MovieOffset(), 0);
    EXPECT_EQ(Analyse(Mp4Fixture("aac-stripped.m4a"))->EncoderInfo, "File could not be scanned");
}

TEST(Mp4File, ClipsShorterThanHalfASecondUseTheirExactDuration) {
    TMp4file mp4;
    ASSERT_TRUE(mp4.ReadFromFile(Mp4Fixture("aac-short.m4a")));
    EXPECT_NEAR(mp4.Duration(), 0.4213, 0.0001);
    EXPECT_EQ(mp4.SampleRate(), 48000);
    EXPECT_EQ(mp4.Channels(), 1);
    EXPECT_EQ(mp4.BitRate(), RoundHalfEven(mp4.MediaDataSize() * 8 / mp4.Duration() / 1000));

    // Hand-built: 0.4 s uses the exact duration, 0.6 s rounds to 1 s.
    Mp4Parts p;
    p.mdhd = Mdhd(1000, 400);
    EXPECT_EQ(ReadMp4(BuildMp4(p)).BitRate(), 40);   // 2008 bytes * 8 / 0.4 s
    p.mdhd = Mdhd(1000, 600);
    EXPECT_EQ(ReadMp4(BuildMp4(p)).BitRate(), 16);   // over D = 1 s
    // No duration at all: a zero bitrate, not a failure.
    p.mdhd = Mdhd(0, 600);
    const TMp4file zero = ReadMp4(BuildMp4(p));
    EXPECT_EQ(zero.BitRate(), 0);
    EXPECT_EQ(zero.Duration(), 0);
}

TEST(Mp4File, AppleLosslessIsNamedByItsFormatCode) {
    auto alac = Analyse(Mp4Fixture("alac.m4a"));
    EXPECT_EQ(alac->EncoderInfo, "ALAC Lavf59.27.100");
    EXPECT_EQ(alac->SampleRate, 22050);
    EXPECT_EQ(alac->Channels, 1);
    EXPECT_EQ(alac->BitsPerSample, 16);
    EXPECT_DOUBLE_EQ(alac->Duration, 1.0);

    // Other formats keep their four-character code; an "mp4a" or "alac"
    // entry (any case) replaces an earlier name, other codes do not.
    Mp4Parts p;
    p.stsd = Stsd({AudioEntry("samr", 1, 16, 8000), AudioEntry("MP4A", 2, 16, 22050)});
    TMp4file mixed = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mixed.CodecName(), "MPEG-4 AAC");
    EXPECT_EQ(mixed.SampleRate(), 22050);
    p.stsd = Stsd({AudioEntry("samr", 1, 16, 8000), AudioEntry("sawb", 1, 16, 16000)});
    mixed = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mixed.CodecName(), "samr");
    EXPECT_EQ(mixed.SampleRate(), 0);
    p.stsd = Stsd({AudioEntry("mp4a", 2, 16, 44100), AudioEntry("Alac", 1, 24, 48000)});
    mixed = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mixed.CodecName(), "ALAC");
    EXPECT_EQ(mixed.BitsPerSample(), 24);
    EXPECT_EQ(mixed.SampleRate(), 48000);
}

TEST(Mp4File, SampleEntriesAreFoundAtTheirDeclaredEnds) {
    // A first entry with a child box (as every real entry has) must not hide
    // the second one.
    Bytes first = AudioEntry("alac", 1, 16, 22050);
    Append(first, Atom("alac", Bytes(28, 0)));
    first[3] = static_cast<uint8_t>(first.size());
    Mp4Parts p;
    p.stsd = Stsd({first, AudioEntry("mp4a", 2, 16, 32000)});
    const TMp4file mp4 = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mp4.CodecName(), "MPEG-4 AAC");
    EXPECT_EQ(mp4.SampleRate(), 32000);
}

TEST(Mp4File, TagsAndCoverPictures) {
    TMp4file mp4;
    ASSERT_TRUE(mp4.ReadFromFile(Mp4Fixture("tagged-cover.m4a")));
    EXPECT_EQ(mp4.Title(), "Sine Title");
    EXPECT_EQ(mp4.Artist(), "Artist \xC3\x9Cn\xC3\xAF" "code");
    EXPECT_EQ(mp4.Album(), "The Album");
    EXPECT_EQ(mp4.Comment(), "A comment");
    EXPECT_EQ(mp4.Year(), "2021");
    EXPECT_EQ(mp4.Genre(), "Electronic");
    EXPECT_EQ(mp4.Track(), "3/12");
    EXPECT_EQ(mp4.Disc(), "1/2");
    EXPECT_EQ(mp4.Composer(), "Composer");
    EXPECT_EQ(mp4.Grouping(), "Group");
    EXPECT_EQ(mp4.Lyrics(), "La la la");
    EXPECT_TRUE(mp4.Compilation());
    EXPECT_EQ(mp4.EncodingTool(), "Lavf59.27.100");
    EXPECT_TRUE(mp4.HasItemList());
    EXPECT_GT(mp4.ItemListOffset(), mp4.MetaOffset());
    // ffmpeg's "cprt" and "desc" are not among the named items.
    ASSERT_EQ(mp4.OtherTextItems().size(), 2u);
    EXPECT_EQ(mp4.OtherTextItems()[0].Type, "cprt");
    EXPECT_EQ(mp4.OtherTextItems()[0].Value, "(c) Nobody");
    EXPECT_EQ(mp4.OtherTextItems()[1].Type, "desc");

    // Two pictures in one "covr" item: the second value follows as a bare
    // "data" atom.
    ASSERT_EQ(mp4.Pictures().size(), 2u);
    EXPECT_EQ(mp4.Pictures()[0].MIME, "IMAGE/png");
    EXPECT_EQ(mp4.Pictures()[0].Data.at(1), 'P');
    EXPECT_EQ(mp4.Pictures()[1].MIME, "IMAGE/jpg");
    EXPECT_EQ(mp4.Pictures()[1].Data.at(0), 0xFF);
    EXPECT_EQ(mp4.Pictures()[1].Data.at(1), 0xD8);

    // The next file starts from scratch.
    ASSERT_TRUE(mp4.ReadFromFile(Mp4Fixture("aac-lavf.m4a")));
    EXPECT_TRUE(mp4.Pictures().empty());
    EXPECT_EQ(mp4.Title(), "");
    EXPECT_FALSE(mp4.Compilation());
}

TEST(Mp4File, ItemTableRules) {
    Mp4Parts p;
    Bytes trkn, disk6, tmpo, gnre;
    AppendBE16(trkn, 0); AppendBE16(trkn, 0); AppendBE16(trkn, 9); AppendBE16(trkn, 0);   // no number, total 9
    AppendZeros(disk6, 2); AppendBE16(disk6, 1); AppendBE16(disk6, 2);                    // 6 bytes: ignored
    AppendBE16(tmpo, 120);
    AppendBE16(gnre, 0x11);
    p.items = Concat({Item("gnre", 0, gnre), Item("GNRE", 0, Bytes{0, 1}), Item("trkn", 0, trkn),
                      Item("disk", 0, disk6), Item("tmpo", 21, tmpo), Item("cpil", 21, Bytes{2}),
                      Text(A9("ope"), "Orig"), Text(A9("PRD"), "Prod"), Text(A9("url"), "http://x"),
                      Freeform("MOOD", "calm"), Freeform("tempo", "fast"), Freeform("LANGUAGE", "en"),
                      Item("rtng", 21, Bytes{4}), Text("aART", "Album Artist"),
                      Item(A9("too"), 0, ToBytes("raw\xFF"))});
    const TMp4file mp4 = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mp4.Genre(), "Reggae");   // 17th name; the second "gnre" does not replace it
    EXPECT_EQ(mp4.Track(), "/9");
    EXPECT_EQ(mp4.Disc(), "");
    EXPECT_EQ(mp4.Tempo(), 120);
    EXPECT_FALSE(mp4.Compilation());
    EXPECT_EQ(mp4.OriginalArtist(), "Orig");
    EXPECT_EQ(mp4.Producer(), "Prod");
    EXPECT_EQ(mp4.URL(), "http://x");
    EXPECT_EQ(mp4.Mood(), "calm");
    EXPECT_EQ(mp4.TempoText(), "fast");
    ASSERT_EQ(mp4.FreeformItems().size(), 1u);
    EXPECT_EQ(mp4.FreeformItems()[0].Type, "LANGUAGE");
    EXPECT_EQ(mp4.FreeformItems()[0].Value, "en");
    ASSERT_EQ(mp4.OtherBinaryItems().size(), 1u);
    EXPECT_EQ(mp4.OtherBinaryItems()[0].Type, "rtng");
    EXPECT_EQ(mp4.OtherBinaryItems()[0].DataType, char(21));
    ASSERT_EQ(mp4.OtherTextItems().size(), 1u);
    EXPECT_EQ(mp4.OtherTextItems()[0].Type, "aART");
    EXPECT_EQ(mp4.EncodingTool(), "raw\xFF");   // not UTF-8 typed: the raw bytes

    // A text genre replaces a numbered one; an empty one does not.
    p.items = Concat({Item("gnre", 0, gnre), Text(A9("gen"), "Jazz"), Text(A9("gen"), "")});
    EXPECT_EQ(ReadMp4(BuildMp4(p)).Genre(), "Jazz");
}

TEST(Mp4File, TextValuesKeepTheirBytes) {
    // UTF-8 decoding stops at the first malformed sequence; a zero stays in
    // the stored text (a list cell shows the text up to it).
    Mp4Parts p;
    p.items = Concat({Text(A9("too"), std::string("Enc\0tail", 8)), Text(A9("nam"), "ok\xC3(bad")});
    const TMp4file mp4 = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mp4.EncodingTool(), std::string("Enc\0tail", 8));
    EXPECT_EQ(UpToFirstZero(mp4.EncodingTool()), "Enc");
    EXPECT_EQ(mp4.Title(), "ok");
}

TEST(Mp4File, SecondValuesOfAnItem) {
    // A second value of a non-picture item is kept under the type "data".
    Mp4Parts p;
    p.items = Atom(A9("nam"), Concat({Value(1, ToBytes("One")), Value(1, ToBytes("Two"))}));
    const TMp4file mp4 = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mp4.Title(), "One");
    ASSERT_EQ(mp4.OtherTextItems().size(), 1u);
    EXPECT_EQ(mp4.OtherTextItems()[0].Type, "data");
    EXPECT_EQ(mp4.OtherTextItems()[0].Value, "Two");
}

TEST(Mp4File, AtomStructure) {
    // The larger of two mdat atoms counts.
    Mp4Parts p;
    p.extra = Atom("mdat", Bytes(100, 0));
    TMp4file mp4 = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mp4.MediaDataSize(), 2008);
    p.extra = Atom("mdat", Bytes(3000, 0));
    mp4 = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mp4.MediaDataSize(), 3008);
    EXPECT_EQ(mp4.MediaDataOffset(), mp4.FileSize() - 3008);

    // The first atom must be "ftyp" exactly; other types match in any case.
    Mp4Parts upper;
    upper.ftyp = Atom("FTYP", Concat({ToBytes("M4A "), Bytes(4, 0)}));
    ReadMp4(BuildMp4(upper), false);
    Bytes mixedCase = BuildMp4(Mp4Parts{});
    for (std::string_view type : {"moov", "udta", "meta", "mdat", "mdhd"}) {
        const auto at = std::search(mixedCase.begin(), mixedCase.end(), type.begin(), type.end());
        ASSERT_NE(at, mixedCase.end());
        *at = static_cast<uint8_t>(*at - 'a' + 'A');
    }
    mp4 = ReadMp4(mixedCase);
    EXPECT_EQ(mp4.TimeScale(), 44100u);
    EXPECT_EQ(mp4.EncodingTool(), "Tool 1.0");

    // A file that is not MP4 at all.
    ReadMp4(ToBytes("RIFF....WAVEfmt "), false);
}

TEST(Mp4File, LargeSizesAndVersionOneMediaHeaders) {
    Mp4Parts p;
    Bytes mdhd;
    mdhd.push_back(1);
    AppendZeros(mdhd, 3 + 16);         // flags, 64-bit creation and modification time
    AppendBE32(mdhd, 48000);
    AppendBE64(mdhd, 48000ull * 3);
    AppendZeros(mdhd, 4);
    p.mdhd = Atom("mdhd", mdhd);
    // A 64-bit sized mdat: size field 1, type, 64-bit size.
    p.mdat.clear();
    AppendBE32(p.mdat, 1);
    Append(p.mdat, "mdat");
    AppendBE64(p.mdat, 16 + 6000);
    AppendZeros(p.mdat, 6000);
    p.extra = Atom("free", Bytes(10, 0));
    const TMp4file mp4 = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mp4.MediaDuration(), 144000u);
    EXPECT_DOUBLE_EQ(mp4.Duration(), 3.0);
    EXPECT_EQ(mp4.MediaDataSize(), 6016);
    EXPECT_EQ(mp4.BitRate(), 16);   // 6016 * 8 / 3 s

    // Size 0: the last atom runs to the end of the file.
    p = Mp4Parts{};
    p.mdat = Bytes{0, 0, 0, 0, 'm', 'd', 'a', 't'};
    AppendZeros(p.mdat, 5000);
    const TMp4file open = ReadMp4(BuildMp4(p));
    EXPECT_EQ(open.MediaDataSize(), 5008);
}

TEST(Mp4File, DamagedFilesFailWithoutHarm) {
    const Bytes good = BuildMp4(Mp4Parts{});
    // Cut anywhere: never a crash; once udta is lost the file is not valid.
    TempDir cuts;
    for (std::size_t cut = 0; cut < good.size(); cut += 31) {
        TMp4file mp4;
        mp4.ReadFromFile(cuts.Write("cut.m4a", Bytes(good.begin(), good.begin() + cut)));
    }

    // A value atom shorter than its 16-byte header fails the read.
    Mp4Parts p;
    Bytes shortValue;
    AppendBE32(shortValue, 8);
    Append(shortValue, "data");
    p.items = Atom(A9("nam"), shortValue);
    ReadMp4(BuildMp4(p), false);

    // A value claiming 4 GB reads what the file holds, no more.
    p.items.clear();
    AppendBE32(p.items, 0xFFFFFFF0u);
    Append(p.items, A9("too"));
    AppendBE32(p.items, 0xFFFFFFE8u);
    Append(p.items, "data");
    AppendBE32(p.items, 1);
    AppendZeros(p.items, 4);
    Append(p.items, "Tool");
    const Bytes huge = BuildMp4(p);
    TempDir dir;
    TMp4file mp4;
    mp4.ReadFromFile(dir.Write("huge.m4a", huge));
    EXPECT_LE(mp4.EncodingTool().size(), huge.size());

    // Atom sizes 1 to 7 and a huge entry count do not stall the walk.
    p = Mp4Parts{};
    Bytes stsd;
    AppendZeros(stsd, 4);
    AppendBE32(stsd, 0xFFFFFFFFu);
    Append(stsd, AudioEntry("mp4a", 2, 16, 44100));
    p.stsd = Atom("stsd", stsd);
    p.extra = Bytes{0, 0, 0, 3, 'x', 'x', 'x', 'x', 0, 0, 0, 2, 'y', 'y', 'y', 'y'};
    EXPECT_EQ(ReadMp4(BuildMp4(p)).SampleRate(), 44100);
}
