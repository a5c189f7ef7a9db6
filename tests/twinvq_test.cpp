#include "core/Analysis.h"
#include "readers/TwinVQ.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

Bytes Chunk(std::string_view id, std::string_view body) {
    Bytes b;
    Append(b, id);
    AppendBE32(b, static_cast<uint32_t>(body.size()));
    Append(b, body);
    return b;
}

// The "TWIN" header with its "COMM" chunk, then the given chunks, a "DATA"
// chunk and audio bytes up to fileSize.
Bytes Vqf(uint32_t channelMode, uint32_t bitRate, uint32_t kHz, const Bytes& chunks = {},
          std::size_t fileSize = 4000, uint32_t headerSize = 0) {
    Bytes b;
    Append(b, "TWIN97012000");
    AppendBE32(b, headerSize);
    Append(b, "COMM");
    AppendBE32(b, 16);
    AppendBE32(b, channelMode);
    AppendBE32(b, bitRate);
    AppendBE32(b, kHz);
    AppendBE32(b, 0);   // security level
    Append(b, chunks);
    Append(b, "DATA");
    AppendZeros(b, fileSize - b.size());
    return b;
}

} // namespace

TEST(TwinVQ, HeaderValuesAndEstimatedDuration) {
    TempDir dir;
    TFormatReaders readers;
    auto item = AnalyseFile(readers, "/", dir.Write("a.vqf", Vqf(1, 96, 44, {}, 1200020)));
    EXPECT_EQ(item->EncoderInfo, "Shame on you for having VQF files!");
    EXPECT_EQ(item->FileSize, 1200020);
    EXPECT_EQ(item->Channels, 2);
    EXPECT_EQ(item->SampleRate, 44100);
    EXPECT_EQ(item->BitsPerSample, 16);
    EXPECT_EQ(item->BitRate, 96);
    EXPECT_DOUBLE_EQ(item->Duration, 100.0);
    EXPECT_DOUBLE_EQ(item->Ratio, 1200020.0 / (44100.0 * 100 * 4 + 44) * 100);

    const std::pair<uint32_t, uint16_t> rates[] = {{8, 8000}, {11, 11025}, {22, 22050}, {48, 48000}};
    TTwinVQ& r = readers.TwinVQ;
    for (const auto& [kHz, hz] : rates) {
        ASSERT_TRUE(r.ReadFromFile(dir.Write("b.vqf", Vqf(0, 48, kHz))));
        EXPECT_EQ(r.SampleRate(), hz);
        EXPECT_EQ(r.Channels(), 1);
    }
    // Unknown channel mode: no channels, still Valid. Only the low 8 bits of
    // the bitrate are kept, while the duration uses all 16.
    ASSERT_TRUE(r.ReadFromFile(dir.Write("c.vqf", Vqf(2, 0x10180, 22, {}, 4000, 980))));
    EXPECT_TRUE(r.Valid());
    EXPECT_EQ(r.Channels(), 0);
    EXPECT_EQ(r.BitRate(), 0x80);
    EXPECT_DOUBLE_EQ(r.Duration(), 3000.0 / 125 / 0x180);
}

TEST(TwinVQ, TextChunksUpToData) {
    Bytes chunks;
    Append(chunks, Chunk("NAME", "first"));
    Append(chunks, Chunk("COMT", " a comment\t"));
    Append(chunks, Chunk("AUTH", "Author"));
    Append(chunks, Chunk("(c) ", "2001"));
    Append(chunks, Chunk("FILE", "source.wav"));
    Append(chunks, Chunk("NAME", "Title"));      // a later chunk replaces the earlier
    Append(chunks, Chunk("ALBM", std::string(300, 'x')));   // longer than the buffer
    Append(chunks, Chunk("DSIZ", "1234"));
    Bytes file = Vqf(1, 96, 44, chunks);
    Bytes afterData = Chunk("NAME", "after data");
    std::copy(afterData.begin(), afterData.end(), file.end() - 1000);

    TempDir dir;
    TTwinVQ r;
    ASSERT_TRUE(r.ReadFromFile(dir.Write("a.vqf", file)));
    EXPECT_EQ(r.Title(), "Title");
    EXPECT_EQ(r.Comment(), "a comment");
    EXPECT_EQ(r.Author(), "Author");
    EXPECT_EQ(r.Copyright(), "2001");
    EXPECT_EQ(r.SourceFileName(), "source.wav");
    EXPECT_EQ(r.Album(), std::string(250, 'x'));

    // The walk goes on behind the long chunk: an album text of 300 bytes does
    // not hide a following title.
    chunks = Chunk("ALBM", std::string(300, 'y'));
    Append(chunks, Chunk("NAME", "behind"));
    ASSERT_TRUE(r.ReadFromFile(dir.Write("b.vqf", Vqf(1, 96, 44, chunks))));
    EXPECT_EQ(r.Title(), "behind");

    // A control character in a chunk id ends the walk.
    chunks = Chunk(std::string_view("NA\x01" "E", 4), "x");
    Append(chunks, Chunk("AUTH", "unseen"));
    ASSERT_TRUE(r.ReadFromFile(dir.Write("c.vqf", Vqf(1, 96, 44, chunks))));
    EXPECT_EQ(r.Author(), "");
}

TEST(TwinVQ, RejectedFiles) {
    TempDir dir;
    TTwinVQ r;
    Bytes notTwin = Vqf(1, 96, 44);
    notTwin[0] = 'X';
    EXPECT_TRUE(r.ReadFromFile(dir.Write("a.vqf", notTwin)));
    EXPECT_FALSE(r.Valid());
    EXPECT_EQ(r.Ratio(), 0);

    Bytes shortFile = Vqf(1, 96, 44);
    shortFile.resize(39);
    EXPECT_FALSE(r.ReadFromFile(dir.Write("b.vqf", shortFile)));
    EXPECT_FALSE(r.ReadFromFile(dir / "missing.vqf"));

    // Without a bitrate no duration can be estimated: not Valid.
    EXPECT_TRUE(r.ReadFromFile(dir.Write("c.vqf", Vqf(1, 0, 44))));
    EXPECT_FALSE(r.Valid());
    EXPECT_EQ(r.Duration(), 0);
    EXPECT_EQ(r.Ratio(), 0);
}
