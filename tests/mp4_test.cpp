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
    Bytes mvhd;    // first in moov
    Bytes edts;    // first in trak
};

Bytes BuildMp4(const Mp4Parts& p) {
    const Bytes trak = Atom("trak", Concat({p.edts, Atom("mdia", Concat({p.mdhd, Atom("minf", Atom("stbl", p.stsd))}))}));
    const Bytes moov = Atom("moov", Concat({p.mvhd, trak, Atom("udta", Meta(p.items))}));
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


Bytes AudioEntryWith(std::string_view format, uint16_t channels, uint16_t bits, uint32_t rateField,
                     const Bytes& children) {
    Bytes body;
    AppendZeros(body, 6);
    AppendBE16(body, 1);
    AppendZeros(body, 8);
    AppendBE16(body, channels);
    AppendBE16(body, bits);
    AppendZeros(body, 4);
    AppendBE32(body, rateField);
    Append(body, children);
    return Atom(format, body);
}

// An "esds" box: ES descriptor, decoder config (object type, audio stream),
// decoder specific info holding the AudioSpecificConfig.
Bytes Esds(uint8_t objectType, const Bytes& config) {
    Bytes dsi{5, static_cast<uint8_t>(config.size())};
    Append(dsi, config);
    Bytes dcd{4, static_cast<uint8_t>(13 + dsi.size()), objectType, 0x15};
    AppendZeros(dcd, 11);
    Append(dcd, dsi);
    Bytes es{3, static_cast<uint8_t>(3 + dcd.size()), 0, 1, 0};
    Append(es, dcd);
    Bytes body(4, 0);
    Append(body, es);
    return Atom("esds", body);
}

Bytes Hdlr(std::string_view handler) {
    Bytes body(8, 0);
    Append(body, handler);
    AppendZeros(body, 13);
    return Atom("hdlr", body);
}

Bytes Tkhd(uint32_t id) {
    Bytes body(12, 0);
    AppendBE32(body, id);
    AppendZeros(body, 68);
    return Atom("tkhd", body);
}

Bytes Trak(uint32_t id, std::string_view handler, const Bytes& mdhd, const Bytes& stsd) {
    return Atom("trak", Concat({Tkhd(id), Atom("mdia", Concat({mdhd, Hdlr(handler), Atom("minf", Atom("stbl", stsd))}))}));
}

Bytes Movie(const Bytes& moovChildren, const Bytes& after) {
    return Concat({Atom("ftyp", Concat({ToBytes("M4A "), Bytes(4, 0)})), Atom("moov", moovChildren), after});
}

Bytes FullBox(std::string_view type, uint8_t version, uint32_t flags, const Bytes& fields) {
    Bytes body{version};
    AppendBE24(body, flags);
    Append(body, fields);
    return Atom(type, body);
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
    // The edit list leaves out the 1024 samples of priming: 44,100 samples,
    // as ffprobe's duration_ts and MediaInfo's SamplingCount say.
    EXPECT_EQ(lavf->DurationSamples, 44100);
    EXPECT_DOUBLE_EQ(lavf->Duration, 1.0);
    EXPECT_EQ(lavf->BitRate, 131);                        // 16367-byte mdat over 1 s
    // The ratio stays on the media header's length, priming included.
    EXPECT_DOUBLE_EQ(lavf->Ratio, 17346 / (45124.0 / 44100 * 44100 * 4 + 44) * 100);
    EXPECT_EQ(lavf->EncoderEvidence, "MP4 encoding tool");

    // Bit-exact mode writes no tool item: the codec name and a space.
    auto noTool = Analyse(Mp4Fixture("aac-notool.m4a"));
    EXPECT_EQ(noTool->EncoderInfo, "MPEG-4 AAC ");

    // Mono: the AAC entry's channel count is the template 2, the stream's own
    // configuration says 1 (as ffprobe reports).
    auto mp4 = Analyse(Mp4Fixture("aac.mp4"));
    EXPECT_EQ(mp4->EncoderInfo, "MPEG-4 AAC Lavf59.27.100");
    EXPECT_EQ(mp4->SampleRate, 32000);
    EXPECT_EQ(mp4->Channels, 1);
    EXPECT_EQ(mp4->DurationSamples, 32000);   // 33024 in the media header, 1024 of them priming

    // Tags are optional: without udta/meta the file reads all the same.
    TMp4file stripped;
    EXPECT_TRUE(stripped.ReadFromFile(Mp4Fixture("aac-stripped.m4a")));
    EXPECT_EQ(stripped.UserDataOffset(), 0);
    EXPECT_EQ(stripped.MetaOffset(), 0);
    EXPECT_FALSE(stripped.HasItemList());
    auto strippedRow = Analyse(Mp4Fixture("aac-stripped.m4a"));
    EXPECT_EQ(strippedRow->EncoderInfo, "MPEG-4 AAC ");
    EXPECT_EQ(strippedRow->SampleRate, 44100);
    EXPECT_EQ(strippedRow->Channels, 2);
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
    // A time scale or duration of 0 without fragments: not valid.
    p.mdhd = Mdhd(0, 600);
    EXPECT_FALSE(ReadMp4(BuildMp4(p), false).Valid());
    p.mdhd = Mdhd(1000, 0);
    EXPECT_FALSE(ReadMp4(BuildMp4(p), false).Valid());
}

TEST(Mp4File, AppleLosslessIsNamedByItsFormatCode) {
    auto alac = Analyse(Mp4Fixture("alac.m4a"));
    EXPECT_EQ(alac->EncoderInfo, "ALAC Lavf59.27.100");
    EXPECT_EQ(alac->SampleRate, 22050);
    EXPECT_EQ(alac->Channels, 1);
    EXPECT_EQ(alac->BitsPerSample, 16);
    EXPECT_DOUBLE_EQ(alac->Duration, 1.0);

    // Other formats keep their four-character code and give their channels
    // and rate; the first entry of a codec this reader names wins over
    // entries it does not know.
    Mp4Parts p;
    p.stsd = Stsd({AudioEntry("samr", 1, 16, 8000), AudioEntry("MP4A", 2, 16, 22050)});
    TMp4file mixed = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mixed.CodecName(), "MPEG-4 AAC");
    EXPECT_EQ(mixed.SampleRate(), 22050);
    p.stsd = Stsd({AudioEntry("samr", 1, 16, 8000), AudioEntry("sawb", 1, 16, 16000)});
    mixed = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mixed.CodecName(), "samr");
    EXPECT_EQ(mixed.SampleRate(), 8000);
    EXPECT_EQ(mixed.Channels(), 1);
    p.stsd = Stsd({AudioEntry("mp4a", 2, 16, 44100), AudioEntry("Alac", 1, 24, 48000)});
    mixed = ReadMp4(BuildMp4(p));
    EXPECT_EQ(mixed.CodecName(), "MPEG-4 AAC");
    EXPECT_EQ(mixed.BitsPerSample(), 16);
    EXPECT_EQ(mixed.SampleRate(), 44100);
}

TEST(Mp4File, SampleEntriesAreFoundAtTheirDeclaredEnds) {
    // A first entry with a child box (as every real entry has) must not hide
    // the second one.
    Bytes first = AudioEntry("samr", 1, 16, 8000);
    Append(first, Atom("damr", Bytes(28, 0)));
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

    Mp4Parts p;

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

// Files from ffmpeg with every audio codec it puts in MP4. Rates, channels
// and the media header's lengths are ffprobe's (read with -ignore_editlist 1:
// encoder priming included); the samples the edit list presents are
// ffprobe's duration_ts and MediaInfo's SamplingCount, 0 where the edit
// leaves nothing out (or there is none).
TEST(Mp4File, RealFilesOfEveryCodec) {
    struct Case {
        const char* file;
        const char* type;
        const char* encoderInfo;
        int32_t rate;
        int channels;
        int bits;
        double duration;
        int64_t samples;
    };
    const Case cases[] = {
        {"ac3.m4a", "M4A", "AC-3 Lavf59.27.100", 32000, 1, 16, 0.528, 16640},
        {"eac3.mp4", "MP4", "E-AC-3 Lavf59.27.100", 32000, 2, 16, 0.528, 16640},
        {"opus.mp4", "MP4", "Opus Lavf59.27.100", 48000, 1, 16, 0.5065, 24000},
        {"mp3.mp4", "MP4", "MP3 Lavf59.27.100", 22050, 1, 16, 0.550113, 11025},
        // The edit starts after 481 samples of the 11,520 and lasts 501 ms:
        // 11,039 samples, which 501 ms holds to within one millisecond
        // (ffprobe and MediaInfo scale the 501 ms instead: 11,047).
        {"mp2.mp4", "MP4", "MP2 Lavf59.27.100", 22050, 1, 16, 0.522449, 11039},
        {"flac.mp4", "MP4", "FLAC Lavf59.27.100", 8000, 1, 16, 0.5, 0},
        {"alac-96k.m4a", "M4A", "ALAC Lavf59.27.100", 96000, 1, 16, 0.1, 0},
        {"frag.mp4", "MP4", "MPEG-4 AAC Lavf59.27.100", 16000, 1, 16, 1.064, 0},
        {"video-and-audio.mp4", "MP4", "MPEG-4 AAC Lavf59.27.100", 8000, 1, 16, 1.128, 8000},
        {"notags.m4a", "M4A", "MPEG-4 AAC ", 16000, 1, 16, 0.564, 8000},
        {"audiobook.m4b", "M4B", "MPEG-4 AAC Lavf59.27.100", 8000, 1, 16, 1.128, 8000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto row = Analyse(Mp4Fixture(c.file));
        ASSERT_TRUE(row);
        EXPECT_EQ(row->FileType, c.type);
        EXPECT_EQ(row->EncoderInfo, c.encoderInfo);
        EXPECT_EQ(row->SampleRate, c.rate);
        EXPECT_EQ(row->Channels, c.channels);
        EXPECT_EQ(row->BitsPerSample, c.bits);
        EXPECT_EQ(row->DurationSamples, c.samples);
        EXPECT_NEAR(row->Duration, c.samples > 0 ? double(c.samples) / c.rate : c.duration, 0.000001);
        EXPECT_GT(row->BitRate, 0);
        TMp4file mp4;
        ASSERT_TRUE(mp4.ReadFromFile(Mp4Fixture(c.file)));
        EXPECT_NEAR(mp4.Duration(), c.duration, 0.000001);
    }
    // The 96 kHz ALAC ratio: 4388 bytes against 0.1 s of 16-bit mono PCM.
    EXPECT_NEAR(Analyse(Mp4Fixture("alac-96k.m4a"))->Ratio, 4388 / (9600 * 2 + 44.0) * 100, 1e-9);

    // The fragmented file: 3448-byte mdat (3440 payload bytes) over 1.064 s
    // rounded to 1 s.
    TMp4file frag;
    ASSERT_TRUE(frag.ReadFromFile(Mp4Fixture("frag.mp4")));
    EXPECT_TRUE(frag.Fragmented());
    EXPECT_EQ(frag.MediaDataSize(), 3440);
    EXPECT_EQ(frag.BitRate(), 28);
    // The music-video layout: a 3 s video track first, the 1 s sound track second.
    TMp4file video;
    ASSERT_TRUE(video.ReadFromFile(Mp4Fixture("video-and-audio.mp4")));
    EXPECT_EQ(video.TrackCount(), 2);
    EXPECT_EQ(video.TimeScale(), 8000u);
}

TEST(Mp4File, TagsAreOptionalAndOddItemsAreSkipped) {
    // No udta at all.
    const Bytes trak = Trak(1, "soun", Mdhd(8000, 8000), Stsd({AudioEntry("mp4a", 1, 16, 8000)}));
    TMp4file bare = ReadMp4(Movie(trak, Atom("mdat", Bytes(1000, 1))));
    EXPECT_TRUE(bare.Valid());
    EXPECT_EQ(bare.CodecName(), "MPEG-4 AAC");
    EXPECT_EQ(bare.EncodingTool(), "");

    // A "covr" item with a "name" atom, a value atom shorter than its
    // header, an item claiming more than its list: each is skipped, the
    // other items are read.
    Bytes shortValue;
    AppendBE32(shortValue, 12);
    Append(shortValue, "data");
    AppendZeros(shortValue, 4);
    Mp4Parts p;
    p.items = Concat({Atom("covr", Concat({Atom("name", ToBytes("Front")), Value(13, Bytes{0xFF, 0xD8})})),
                      Atom(A9("nam"), shortValue), Text(A9("too"), "Tool 2.0"), Text(A9("ART"), "Artist")});
    TMp4file odd = ReadMp4(BuildMp4(p));
    EXPECT_EQ(odd.Title(), "");
    EXPECT_EQ(odd.EncodingTool(), "Tool 2.0");
    EXPECT_EQ(odd.Artist(), "Artist");
    ASSERT_EQ(odd.Pictures().size(), 1u);
    EXPECT_EQ(odd.Pictures()[0].MIME, "IMAGE/jpg");

    // Characters outside the Basic Multilingual Plane stay.
    p.items = Text(A9("too"), "Enc \xF0\x9F\x8E\xB5 \xF0\xA0\x80\x80");
    EXPECT_EQ(ReadMp4(BuildMp4(p)).EncodingTool(), "Enc \xF0\x9F\x8E\xB5 \xF0\xA0\x80\x80");
    // A malformed four-byte sequence still ends the text.
    p.items = Text(A9("too"), "Enc \xF0\x9F\x8E(");
    EXPECT_EQ(ReadMp4(BuildMp4(p)).EncodingTool(), "Enc ");
}

TEST(Mp4File, TheFirstSoundTrackDecides) {
    // Video (3 s) and text tracks around a 1 s sound track.
    const Bytes video = Trak(1, "vide", Mdhd(600, 1800), Stsd({Atom("mp4v", Bytes(78, 0))}));
    const Bytes sound = Trak(2, "soun", Mdhd(44100, 44100), Stsd({AudioEntry("mp4a", 2, 16, 44100)}));
    const Bytes text = Trak(3, "text", Mdhd(1000, 5000), Stsd({Atom("tx3g", Bytes(30, 0))}));
    const Bytes second = Trak(4, "soun", Mdhd(48000, 96000), Stsd({AudioEntry("ac-3", 6, 16, 48000)}));
    const TMp4file mp4 = ReadMp4(Movie(Concat({video, sound, text, second}), Atom("mdat", Bytes(4000, 1))));
    EXPECT_DOUBLE_EQ(mp4.Duration(), 1.0);
    EXPECT_EQ(mp4.SampleRate(), 44100);
    EXPECT_EQ(mp4.Channels(), 2);
    EXPECT_EQ(mp4.CodecName(), "MPEG-4 AAC");
    EXPECT_EQ(mp4.TrackCount(), 4);

    // Without a sound track (video only) the file is not valid.
    ReadMp4(Movie(video, Atom("mdat", Bytes(4000, 1))), false);
}

TEST(Mp4File, SampleRatesAbove65535Hz) {
    // The 16.16 field holds 0 or the rate cut to 16 bits: the time scale
    // gives the rate. A field that differs otherwise (a time scale of 1000)
    // stays.
    const auto read = [](uint32_t timeScale, uint32_t rateField) {
        const Bytes trak = Trak(1, "soun", Mdhd(timeScale, timeScale), Stsd({AudioEntryWith("mp4a", 2, 16, rateField, {})}));
        return ReadMp4(Movie(trak, Atom("mdat", Bytes(100, 1)))).SampleRate();
    };
    EXPECT_EQ(read(88200, 0), 88200);
    EXPECT_EQ(read(96000, (96000u & 0xFFFF) << 16), 96000);
    EXPECT_EQ(read(192000, 0), 192000);
    EXPECT_EQ(read(1000, 44100u << 16), 44100);

    // ALAC: rate, channels and bit depth from the "alac" box.
    Bytes alac(4, 0);
    AppendBE32(alac, 4096);                      // frame length
    Append(alac, Bytes{0, 24, 40, 10, 14, 2});   // version, bit depth 24, pb, mb, kb, 2 channels
    AppendBE16(alac, 255);
    AppendBE32(alac, 0);
    AppendBE32(alac, 0);
    AppendBE32(alac, 176400);
    const Bytes trak = Trak(1, "soun", Mdhd(44100, 44100),
                            Stsd({AudioEntryWith("alac", 1, 16, 0, Atom("alac", alac))}));
    const TMp4file mp4 = ReadMp4(Movie(trak, Atom("mdat", Bytes(100, 1))));
    EXPECT_EQ(mp4.SampleRate(), 176400);
    EXPECT_EQ(mp4.Channels(), 2);
    EXPECT_EQ(mp4.BitsPerSample(), 24);
}

// AudioSpecificConfig bytes written out by hand (ISO/IEC 14496-3 1.6.2.1).
TEST(Mp4File, AacProfilesFromTheAudioSpecificConfig) {
    struct Case {
        uint8_t objectType;
        Bytes config;
        const char* name;
        int32_t rate;
        int channels;
    };
    const Case cases[] = {
        // LC (2), 44100 (index 4), stereo: as ffmpeg writes.
        {0x40, {0x12, 0x10}, "MPEG-4 AAC", 44100, 2},
        // Explicit SBR: type 5, core 22050 (7), stereo, SBR 44100 (4), core LC.
        {0x40, {0x2B, 0x92, 0x08, 0x00}, "MPEG-4 HE-AAC", 44100, 2},
        // Explicit PS: type 29, core 22050, mono core, SBR 44100, core LC: stereo out.
        {0x40, {0xEB, 0x8A, 0x08, 0x00}, "MPEG-4 HE-AACv2", 44100, 2},
        // Backward compatible: LC 22050 stereo, then sync 0x2B7, type 5, SBR on, 44100.
        {0x40, {0x13, 0x90, 0x56, 0xE5, 0xA0}, "MPEG-4 HE-AAC", 44100, 2},
        // The same, mono, with sync 0x548 and PS on.
        {0x40, {0x13, 0x88, 0x56, 0xE5, 0xA5, 0x48, 0x80}, "MPEG-4 HE-AACv2", 44100, 2},
        // Explicit SBR: core 24000 (6), SBR 48000 (3).
        {0x40, {0x2B, 0x11, 0x88, 0x00}, "MPEG-4 HE-AAC", 48000, 2},
        // MPEG-2 AAC LC (object type 0x67).
        {0x67, {0x12, 0x10}, "MPEG-2 AAC", 44100, 2},
        // Channel configuration 0: a program config element with one front
        // pair, one front single and an LFE: 4 channels.
        {0x40, {0x12, 0x00, 0x05, 0x08, 0x01, 0x00, 0x20, 0x10, 0x00}, "MPEG-4 AAC", 44100, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes trak = Trak(1, "soun", Mdhd(44100, 44100),
                                Stsd({AudioEntryWith("mp4a", 2, 16, 22050u << 16, Esds(c.objectType, c.config))}));
        const TMp4file mp4 = ReadMp4(Movie(trak, Atom("mdat", Bytes(100, 1))));
        EXPECT_EQ(mp4.CodecName(), c.name);
        EXPECT_EQ(mp4.ObjectType(), c.objectType);
        EXPECT_EQ(mp4.Channels(), c.channels);
        // LC keeps the entry's rate field (22050 here); HE-AAC gives the SBR rate.
        EXPECT_EQ(mp4.SampleRate(), std::string(c.name).find("HE") != std::string::npos ? c.rate : 22050);
    }
}

TEST(Mp4File, FragmentedFiles) {
    // mvhd time scale 1000; one sound track (ID 7, time scale 16000) with
    // default sample duration 1024 in "trex".
    Bytes mvhdFields(8, 0);
    AppendBE32(mvhdFields, 1000);
    AppendBE32(mvhdFields, 0);
    AppendZeros(mvhdFields, 80);
    const Bytes mvhd = FullBox("mvhd", 0, 0, mvhdFields);
    const Bytes trak = Trak(7, "soun", Mdhd(16000, 0), Stsd({AudioEntry("mp4a", 1, 16, 16000)}));
    Bytes trexFields;
    AppendBE32(trexFields, 7);
    AppendBE32(trexFields, 1);
    AppendBE32(trexFields, 1024);
    AppendZeros(trexFields, 8);
    const Bytes trex = FullBox("trex", 0, 0, trexFields);

    // Fragment 1: tfhd without a default duration, trun of 10 samples (trex
    // default). Fragment 2: tfhd default 2048, trun of 5 samples. Fragment
    // 3: trun with its own durations (1000 + 3000) and sizes.
    const auto tfhd = [](uint32_t flags, const Bytes& fields) {
        Bytes f;
        AppendBE32(f, 7);
        Append(f, fields);
        return FullBox("tfhd", 0, flags, f);
    };
    Bytes run10, run5, runOwn, d2048;
    AppendBE32(run10, 10);
    AppendBE32(run5, 5);
    AppendBE32(runOwn, 2);
    AppendBE32(runOwn, 1000); AppendBE32(runOwn, 300);
    AppendBE32(runOwn, 3000); AppendBE32(runOwn, 400);
    AppendBE32(d2048, 2048);
    const Bytes moof1 = Atom("moof", Atom("traf", Concat({tfhd(0x20000, {}), FullBox("trun", 0, 0, run10)})));
    const Bytes moof2 = Atom("moof", Atom("traf", Concat({tfhd(0x08, d2048), FullBox("trun", 0, 0, run5)})));
    const Bytes moof3 = Atom("moof", Atom("traf", Concat({tfhd(0, {}), FullBox("trun", 0, 0x300, runOwn)})));
    const Bytes fragments = Concat({moof1, Atom("mdat", Bytes(1000, 1)), moof2, Atom("mdat", Bytes(500, 1)),
                                    moof3, Atom("mdat", Bytes(700, 1))});
    TMp4file mp4 = ReadMp4(Movie(Concat({mvhd, trak, Atom("mvex", trex)}), fragments));
    EXPECT_TRUE(mp4.Fragmented());
    EXPECT_EQ(mp4.MediaDuration(), 10 * 1024u + 5 * 2048u + 4000u);   // 24480
    EXPECT_DOUBLE_EQ(mp4.Duration(), 1.53);
    EXPECT_EQ(mp4.MediaDataSize(), 2200);                               // payloads of the three mdat
    EXPECT_EQ(mp4.BitRate(), 9);                                        // 2200 * 8 bits over 2 s

    // "mehd" gives the whole duration in the movie's time scale.
    Bytes mehdFields;
    AppendBE32(mehdFields, 2500);
    const Bytes mvex = Atom("mvex", Concat({FullBox("mehd", 0, 0, mehdFields), trex}));
    mp4 = ReadMp4(Movie(Concat({mvhd, trak, mvex}), fragments));
    EXPECT_DOUBLE_EQ(mp4.Duration(), 2.5);

    // "mvex" without any fragment and an empty media header: not valid.
    ReadMp4(Movie(Concat({mvhd, trak, Atom("mvex", trex)}), Atom("mdat", Bytes(10, 1))), false);
}

// iTunes' gapless figures ("iTunSMPB"), hand-made with mutagen on ffmpeg's
// AAC file (there is no iTunes here), whose edit list is blanked: MediaInfo
// reads the same 44,100 samples from it (ffprobe, which does not read
// iTunSMPB, gives the media header's 45,124). The items are iTunes' mark.
TEST(Mp4File, ITunesGaplessFigures) {
    auto row = Analyse(Mp4Fixture("aac-itunes.m4a"));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->EncoderInfo, "MPEG-4 AAC iTunes");
    EXPECT_EQ(row->EncoderEvidence, "iTunes freeform item");
    EXPECT_EQ(row->DurationSamples, 44100);
    EXPECT_DOUBLE_EQ(row->Duration, 1.0);
    TMp4file itunes;
    ASSERT_TRUE(itunes.ReadFromFile(Mp4Fixture("aac-itunes.m4a")));
    EXPECT_EQ(itunes.EditedDuration(), 0u);
    EXPECT_TRUE(itunes.HasITunesMarks());
    EXPECT_DOUBLE_EQ(itunes.Duration(), 45124.0 / 44100);

    // The text: at least four hexadecimal fields, the count above 0.
    TITunSMPB v;
    EXPECT_TRUE(ParseITunSMPB(" 00000000 00000840 000001CA 00000000003F1836 00000000 00000000", v));
    EXPECT_EQ(v.Delay, 2112);
    EXPECT_EQ(v.Padding, 458);
    EXPECT_EQ(v.Samples, 4134966);
    EXPECT_TRUE(ParseITunSMPB("0 840 1ca 3f1836", v));
    EXPECT_EQ(v.Samples, 4134966);
    EXPECT_FALSE(ParseITunSMPB(" 00000000 00000840 000001CA", v));
    EXPECT_FALSE(ParseITunSMPB(" 00000000 00000840 000001CA 0000000000000000", v));
    EXPECT_FALSE(ParseITunSMPB(" 00000000 0000084G 000001CA 00000000003F1836", v));
    EXPECT_FALSE(ParseITunSMPB(" 00000000 00000840 000001CA 100000000003F1836", v));   // 17 digits
    EXPECT_FALSE(ParseITunSMPB(" 00000000 00000840 000001CA 4000000000000000", v));    // 2^62
    EXPECT_FALSE(ParseITunSMPB("", v));

    // The delay and count must fit in the track (2 s, 88,200 samples, here)
    // give or take a frame of 2048.
    Mp4Parts p;
    p.items = Concat({Text(A9("too"), "Tool 1.0"), Freeform("iTunSMPB", " 0 840 0 15888")});   // 2112 + 88200
    EXPECT_EQ(ReadMp4(BuildMp4(p)).ExactSamples(), 0);
    p.items = Concat({Text(A9("too"), "Tool 1.0"), Freeform("iTunSMPB", " 0 840 0 14C08")});   // 2112 + 85000
    const TMp4file fits = ReadMp4(BuildMp4(p));
    EXPECT_EQ(fits.ExactSamples(), 85000);
    EXPECT_TRUE(fits.HasITunesMarks());
    EXPECT_EQ(fits.EncodingTool(), "Tool 1.0");
    // With a tool item the tool names the encoder; iTunSMPB still gives the length.
    TempDir dir;
    auto toolRow = Analyse(dir.Write("tool.m4a", BuildMp4(p)));
    ASSERT_TRUE(toolRow);
    EXPECT_EQ(toolRow->EncoderInfo, "MPEG-4 AAC Tool 1.0");
    EXPECT_EQ(toolRow->EncoderEvidence, "MP4 encoding tool");
    EXPECT_EQ(toolRow->DurationSamples, 85000);
}

// Edit lists by hand: one edit of normal rate that starts after the
// priming and ends before the padding, in a movie time scale of 1000.
TEST(Mp4File, EditListsThatLeaveOutPrimingAndPadding) {
    const auto mvhd = [](uint32_t timeScale) {
        Bytes fields(8, 0);
        AppendBE32(fields, timeScale);
        AppendZeros(fields, 4);
        return FullBox("mvhd", 0, 0, fields);
    };
    struct Edit {
        uint64_t segment;
        int64_t mediaTime;
        uint16_t rate = 1;
    };
    const auto edts = [](std::vector<Edit> edits, uint8_t version = 0) {
        Bytes fields;
        AppendBE32(fields, static_cast<uint32_t>(edits.size()));
        for (const Edit& e : edits) {
            if (version == 1) {
                AppendBE32(fields, static_cast<uint32_t>(e.segment >> 32));
                AppendBE32(fields, static_cast<uint32_t>(e.segment));
                AppendBE32(fields, static_cast<uint32_t>(uint64_t(e.mediaTime) >> 32));
                AppendBE32(fields, static_cast<uint32_t>(e.mediaTime));
            } else {
                AppendBE32(fields, static_cast<uint32_t>(e.segment));
                AppendBE32(fields, static_cast<uint32_t>(e.mediaTime));
            }
            AppendBE16(fields, e.rate);
            AppendBE16(fields, 0);
        }
        return Atom("edts", FullBox("elst", version, 0, fields));
    };
    struct Case {
        const char* what;
        uint32_t media;
        Bytes edts;
        int64_t samples;
    };
    const Case cases[] = {
        // ffmpeg's AAC: 1024 priming + 44,100 samples, the edit 1000 ms.
        {"ffmpeg", 45124, edts({{1000, 1024}}), 44100},
        // 44,123 samples do not fill 1001 ms (44,144.1): within a millisecond,
        // the media's own count wins.
        {"milliseconds", 1024 + 44123, edts({{1001, 1024}}), 44123},
        // The media holds 956 samples of padding as well: the edit ends first.
        {"padding", 46080, edts({{1000, 1024}}), 44100},
        {"version 1", 45124, edts({{1000, 1024}}, 1), 44100},
        // Nothing left out, an empty edit first, twice the rate, the media
        // time past the media, no edit list: no exact length.
        {"whole", 44100, edts({{1000, 0}}), 0},
        {"two edits", 45124, edts({{10, -1}, {1000, 1024}}), 0},
        {"empty", 45124, edts({{1000, -1}}), 0},
        {"rate", 45124, edts({{500, 1024, 2}}), 0},
        {"past", 45124, edts({{1000, 45124}}), 0},
        {"none", 45124, {}, 0},
        // A hostile length: only the priming is left out.
        {"huge", 45124, edts({{~uint64_t(0), 1024}}, 1), 44100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mp4Parts p;
        p.mvhd = mvhd(1000);
        p.mdhd = Mdhd(44100, c.media);
        p.edts = c.edts;
        const TMp4file mp4 = ReadMp4(BuildMp4(p));
        EXPECT_EQ(mp4.ExactSamples(), c.samples);
        EXPECT_DOUBLE_EQ(mp4.Duration(), c.media / 44100.0);   // the media header's, as before
    }
    // A time scale other than the sample rate: the edit is kept, no sample count.
    Mp4Parts p;
    p.mvhd = mvhd(1000);
    p.mdhd = Mdhd(88200, 2 * 45124);
    p.edts = edts({{1000, 2048}});
    const TMp4file scaled = ReadMp4(BuildMp4(p));
    EXPECT_EQ(scaled.EditedDuration(), 88200u);
    EXPECT_EQ(scaled.ExactSamples(), 0);
}
