#include "TestSupport.h"
#include "tags/APETag.h"
#include "tags/Genres.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <gtest/gtest.h>

namespace {

Bytes Padded(std::string_view text, std::size_t length, char fill = '\0') {
    Bytes out = ToBytes(text.substr(0, std::min(text.size(), length)));
    out.resize(length, static_cast<unsigned char>(fill));
    return out;
}

Bytes ID3v1Block(const Bytes& comment30, unsigned char genre = 17) {
    Bytes tag = ToBytes("TAG");
    Append(tag, Padded("Title", 30, ' '));
    Append(tag, Padded("Artist", 30));
    Append(tag, Padded("Album", 30));
    Append(tag, Padded("1999", 4));
    Append(tag, comment30);
    tag.push_back(genre);
    return tag;
}

Bytes Lyrics3Block(const std::vector<std::pair<std::string, std::string>>& fields) {
    Bytes block = ToBytes("LYRICSBEGIN");
    for (const auto& [id, content] : fields) {
        char length[6];
        std::snprintf(length, sizeof length, "%05zu", content.size());
        Append(block, id);
        Append(block, std::string_view(length, 5));
        Append(block, content);
    }
    char size[7];
    std::snprintf(size, sizeof size, "%06zu", block.size());
    Append(block, std::string_view(size, 6));
    Append(block, "LYRICS200");
    return block;
}

Bytes Audio(std::size_t n = 1000) { return Bytes(n, 0x55); }

} // namespace

TEST(ID3v1, VersionOneZeroAndOneOne) {
    TempDir dir;
    Bytes comment = Padded("A comment of thirty characters", 30);
    Bytes v10 = Audio();
    Append(v10, ID3v1Block(comment));
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("v10.mp3", v10)));
    EXPECT_TRUE(tag.Exists());
    EXPECT_EQ(tag.VersionID(), 1);
    EXPECT_EQ(tag.Title(), "Title");
    EXPECT_EQ(tag.Comment(), "A comment of thirty characters");
    EXPECT_EQ(tag.Track(), 0);
    EXPECT_EQ(tag.GenreID(), 17);
    EXPECT_EQ(tag.TrailingTagSize(), 128);

    // Byte 125 a space and byte 126 not a space: ID3v1.1, comment cut to 28.
    comment[28] = ' ';
    comment[29] = 7;
    Bytes v11 = Audio();
    Append(v11, ID3v1Block(comment));
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("v11.mp3", v11)));
    EXPECT_EQ(tag.VersionID(), 2);
    EXPECT_EQ(tag.Track(), 7);
    EXPECT_EQ(tag.Comment(), "A comment of thirty characte");

    // Both bytes zero: ID3v1.0 with track 0.
    comment[28] = 0;
    comment[29] = 0;
    Bytes zeros = Audio();
    Append(zeros, ID3v1Block(comment));
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("zeros.mp3", zeros)));
    EXPECT_EQ(tag.VersionID(), 1);
    EXPECT_EQ(tag.Track(), 0);

    // No tag, and a file shorter than a tag.
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("none.mp3", Audio())));
    EXPECT_FALSE(tag.Exists());
    EXPECT_EQ(tag.GenreID(), 255);
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("short.mp3", ToBytes("TAG"))));
    EXPECT_FALSE(tag.Exists());
    EXPECT_FALSE(tag.ReadFromFile(dir / "missing.mp3"));
}

TEST(ID3v1, Lyrics3FieldsReplaceTagTextsAndCountAsTrailingBytes) {
    TempDir dir;
    const std::string longTitle = "A title much longer than thirty-one characters";
    const Bytes lyrics = Lyrics3Block({{"IND", "10"}, {"ETT", longTitle}, {"AUT", " Someone "},
                                       {"LYR", "line one\rline two\r\n"}, {"IMG", " raw "}});
    Bytes file = Audio();
    Append(file, lyrics);
    Append(file, ID3v1Block(Padded("c", 30)));
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("lyrics.mp3", file)));
    EXPECT_TRUE(tag.Lyrics3Present());
    EXPECT_EQ(tag.Lyrics3Size(), static_cast<int32_t>(lyrics.size() - 15));
    EXPECT_EQ(tag.TrailingTagSize(), static_cast<int64_t>(lyrics.size()) + 128);
    EXPECT_EQ(tag.Title(), longTitle);
    EXPECT_EQ(tag.ExtendedTitle(), longTitle);
    EXPECT_EQ(tag.ExtendedArtist(), "");
    EXPECT_EQ(tag.Lyrics3Author(), "Someone");
    EXPECT_EQ(tag.Lyrics(), "line one\r\nline two");
    EXPECT_EQ(tag.Lyrics3Image(), " raw ");

    // Without an ID3v1 tag the footer is looked for at the very end.
    Bytes bare = Audio();
    Append(bare, lyrics);
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("bare.mp3", bare)));
    EXPECT_FALSE(tag.Exists());
    EXPECT_TRUE(tag.Lyrics3Present());
    EXPECT_EQ(tag.TrailingTagSize(), static_cast<int64_t>(lyrics.size()));

    // A footer whose "LYRICSBEGIN" is missing at the computed place.
    Bytes broken = Audio();
    Bytes damaged = lyrics;
    damaged[0] = 'X';
    Append(broken, damaged);
    Append(broken, ID3v1Block(Padded("c", 30)));
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("broken.mp3", broken)));
    EXPECT_FALSE(tag.Lyrics3Present());
    EXPECT_EQ(tag.Lyrics3Size(), 0);
    EXPECT_EQ(tag.TrailingTagSize(), 128);

    // A size that reaches before the start of the file, and a field length
    // that runs past the end, end the read without harm.
    Bytes hostile = ToBytes("999999LYRICS200");
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("hostile.mp3", hostile)));
    EXPECT_FALSE(tag.Lyrics3Present());
    Bytes runaway = ToBytes("LYRICSBEGINLYR99999abc000022LYRICS200");
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("runaway.mp3", runaway)));
    EXPECT_TRUE(tag.Lyrics3Present());
    EXPECT_EQ(tag.Lyrics(), "");
}

namespace {

Bytes SynchSafe(uint32_t v) {
    return {static_cast<unsigned char>((v >> 21) & 0x7F), static_cast<unsigned char>((v >> 14) & 0x7F),
            static_cast<unsigned char>((v >> 7) & 0x7F), static_cast<unsigned char>(v & 0x7F)};
}

Bytes Frame3(std::string_view id, const Bytes& body, uint16_t flags = 0) {
    Bytes f = ToBytes(id);
    AppendBE32(f, static_cast<uint32_t>(body.size()));
    f.push_back(flags >> 8);
    f.push_back(flags & 0xFF);
    Append(f, body);
    return f;
}

Bytes Frame2(std::string_view id, const Bytes& body) {
    Bytes f = ToBytes(id);
    AppendBE24(f, static_cast<uint32_t>(body.size()));
    Append(f, body);
    return f;
}

Bytes Latin1(std::string_view text) {
    Bytes b{0};
    Append(b, text);
    return b;
}

Bytes Utf16(std::u16string_view text, bool bom = true) {
    Bytes b{1};
    if (bom) Append(b, Bytes{0xFF, 0xFE});
    for (char16_t c : text) AppendLE16(b, c);
    return b;
}

Bytes Tag(uint8_t version, const Bytes& frames, uint8_t flags = 0, std::size_t padding = 20) {
    Bytes t = ToBytes("ID3");
    t.push_back(version);
    t.push_back(0);
    t.push_back(flags);
    Append(t, SynchSafe(static_cast<uint32_t>(frames.size() + padding)));
    Append(t, frames);
    AppendZeros(t, padding);
    if (flags & 0x10) {
        Append(t, "3DI");
        t.push_back(version);
        t.push_back(0);
        t.push_back(flags);
        Append(t, SynchSafe(static_cast<uint32_t>(frames.size() + padding)));
    }
    return t;
}

} // namespace

TEST(ID3v2, VersionThreeFramesAndFallbacks) {
    Bytes frames;
    Append(frames, Frame3("TIT1", Latin1("Group")));
    Append(frames, Frame3("TPE1", Utf16(u"Artíst")));
    Append(frames, Frame3("TRCK", Latin1("7/12")));
    Append(frames, Frame3("TCON", Latin1("(17)Rock")));
    Bytes comm{0};
    Append(comm, "eng");
    Append(comm, "desc");
    comm.push_back(0);
    Append(comm, "The comment");
    Append(frames, Frame3("COMM", comm));
    Append(frames, Frame3("TDRC", Latin1("2004-05-06")));
    Append(frames, Frame3("TALB", Bytes{3, 'U', 'T', 'F', '8'}));   // UTF-8 frames are ignored
    Append(frames, Frame3("TENC", Latin1("Skipped"), 0x0080));       // flag 0x8000 as a LE word
    Append(frames, Frame3("TOAL", Latin1("Original Album")));
    TempDir dir;
    Bytes file = Tag(3, frames);
    const int32_t tagSize = static_cast<int32_t>(file.size());
    Append(file, Audio());
    TID3v2 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("v3.mp3", file)));
    EXPECT_TRUE(tag.Exists());
    EXPECT_EQ(tag.VersionID(), 3);
    EXPECT_EQ(tag.Size(), tagSize);
    EXPECT_EQ(tag.Title(), "Group");
    EXPECT_EQ(tag.Artist(), "Art\xC3\xADst");
    EXPECT_EQ(tag.Track(), 7);
    EXPECT_EQ(tag.TrackString(), "7/12");
    EXPECT_EQ(tag.Genre(), "Rock");
    EXPECT_EQ(tag.Comment(), "The comment");
    EXPECT_EQ(tag.Year(), "2004");
    EXPECT_EQ(tag.Album(), "Original Album");
    EXPECT_EQ(tag.Encoder(), "");
}

TEST(ID3v2, VersionTwoAndFourWithFooter) {
    TempDir dir;
    Bytes frames2;
    Append(frames2, Frame2("TT2", Latin1("Old Title")));
    Append(frames2, Frame2("TYE", Latin1("1998")));
    Append(frames2, Frame2("TCO", Latin1("(12)")));
    Bytes file2 = Tag(2, frames2);
    Append(file2, Audio());
    TID3v2 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("v2.mp3", file2)));
    EXPECT_EQ(tag.Title(), "Old Title");
    EXPECT_EQ(tag.Year(), "1998");
    EXPECT_EQ(tag.Genre(), "");

    Bytes frames4;
    Append(frames4, Frame3("TIT2", Latin1("New Title")));
    Bytes file4 = Tag(4, frames4, 0x10);
    const int32_t size4 = static_cast<int32_t>(file4.size());
    Append(file4, Audio());
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("v4.mp3", file4)));
    EXPECT_EQ(tag.Size(), size4);   // 20 bytes of header and footer included
    EXPECT_EQ(tag.Title(), "New Title");
}

TEST(ID3v2, DamagedSizesAndUnknownVersions) {
    TempDir dir;
    Bytes frames = Frame3("TIT2", Latin1("T"));
    // A size larger than the file: present, size 0, nothing read.
    Bytes huge = Tag(3, frames);
    Append(huge, Bytes{});
    Bytes big = huge;
    big[6] = 0x7F;
    TID3v2 tag;
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("big.mp3", big)));
    EXPECT_TRUE(tag.Exists());
    EXPECT_EQ(tag.Size(), 0);
    EXPECT_EQ(tag.Title(), "");
    // Version 5: present and sized, no frames read.
    Bytes v5 = Tag(5, frames);
    Append(v5, Audio());
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("v5.mp3", v5)));
    EXPECT_TRUE(tag.Exists());
    EXPECT_GT(tag.Size(), 0);
    EXPECT_EQ(tag.Title(), "");
    // A frame size that runs past the end of the file stops quietly.
    Bytes runaway = Tag(3, Frame3("TIT2", Latin1("Kept")));
    Bytes bad = Frame3("TPE1", Latin1("x"));
    bad[4] = 0x7F;
    runaway.insert(runaway.begin() + 10 + 15, bad.begin(), bad.end());
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("runaway.mp3", runaway)));
    EXPECT_EQ(tag.Title(), "Kept");
    // Shorter than a header, or not there at all.
    EXPECT_FALSE(tag.ReadFromFile(dir.Write("tiny.mp3", ToBytes("ID3"))));
    EXPECT_FALSE(tag.ReadFromFile(dir / "missing.mp3"));
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("plain.mp3", Audio())));
    EXPECT_FALSE(tag.Exists());
}

namespace {

Bytes APEFooter(uint32_t version, uint32_t size, uint32_t items, std::string_view marker = "APETAGEX") {
    Bytes f = ToBytes(marker);
    AppendLE32(f, version);
    AppendLE32(f, size);
    AppendLE32(f, items);
    AppendLE32(f, 0);
    AppendZeros(f, 8);
    return f;
}

Bytes APEItem(std::string_view name, std::string_view value) {
    Bytes i;
    AppendLE32(i, static_cast<uint32_t>(value.size()));
    AppendLE32(i, 0);
    Append(i, name);
    i.push_back(0);
    Append(i, value);
    return i;
}

} // namespace

TEST(APETag, FooterWithAndWithoutID3v1) {
    TempDir dir;
    Bytes items;
    Append(items, APEItem("Title", "A Song"));
    Append(items, APEItem("Artist", "Someone"));
    const uint32_t size = static_cast<uint32_t>(items.size() + 32);
    Bytes file = Audio();
    Append(file, items);
    Append(file, APEFooter(2000, size, 2));
    TAPETag tag;
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("ape.mp3", file)));
    EXPECT_TRUE(tag.Exists());
    EXPECT_EQ(tag.Version(), 2000);
    EXPECT_EQ(tag.Size(), static_cast<int32_t>(size));
    ASSERT_EQ(tag.Fields().size(), 2u);
    EXPECT_EQ(tag.Fields()[1].Name, "Artist");
    EXPECT_EQ(tag.Fields()[1].Value, "Someone");

    Append(file, ID3v1Block(Padded("c", 30)));
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("ape-id3.mp3", file)));
    EXPECT_TRUE(tag.Exists());
    EXPECT_EQ(tag.Fields()[0].Value, "A Song");

    // A header at the start of the file is not a tag at the end.
    Bytes headerOnly = APEFooter(2000, 32, 0);
    Append(headerOnly, Audio());
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("header.mp3", headerOnly)));
    EXPECT_FALSE(tag.Exists());

    // A hostile item count and sizes stop at the data that is there.
    Bytes hostile = Audio(100);
    Append(hostile, APEItem("Name", "v"));
    Append(hostile, APEFooter(2000, 0xFFFFFF00u, 0xFFFFFFFFu));
    ASSERT_TRUE(tag.ReadFromFile(dir.Write("hostile.mp3", hostile)));
    EXPECT_TRUE(tag.Exists());
    EXPECT_TRUE(tag.Fields().empty());

    // Too short for a footer.
    EXPECT_FALSE(tag.ReadFromFile(dir.Write("short.mp3", Audio(20))));
}

TEST(Genres, PublishedListWithWinampExtensions) {
    EXPECT_STREQ(kID3v1Genres[0], "Blues");
    EXPECT_STREQ(kID3v1Genres[40], "AlternRock");
    EXPECT_STREQ(kID3v1Genres[62], "Pop/Funk");
    EXPECT_STREQ(kID3v1Genres[67], "Psychadelic");
    EXPECT_STREQ(kID3v1Genres[79], "Hard Rock");
    EXPECT_STREQ(kID3v1Genres[85], "Bebob");
    EXPECT_STREQ(kID3v1Genres[90], "Avantgarde");
    EXPECT_STREQ(kID3v1Genres[100], "Humour");
    EXPECT_STREQ(kID3v1Genres[123], "A capella");
    EXPECT_STREQ(kID3v1Genres[132], "BritPop");
    EXPECT_STREQ(kID3v1Genres[146], "JPop");
    EXPECT_STREQ(kID3v1Genres[147], "Synthpop");
}
