#include "core/Analysis.h"
#include "readers/Matroska.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

void AppendId(Bytes& out, uint32_t id) {
    int bytes = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
    while (bytes-- > 0) out.push_back(static_cast<unsigned char>(id >> (8 * bytes)));
}

// An element with an 8-byte size (or a 1-byte size below 127).
Bytes El(uint32_t id, const Bytes& data) {
    Bytes out;
    AppendId(out, id);
    if (data.size() < 127) {
        out.push_back(static_cast<unsigned char>(0x80 | data.size()));
    } else {
        out.push_back(0x01);
        for (int i = 6; i >= 0; --i) out.push_back(static_cast<unsigned char>(uint64_t(data.size()) >> (8 * i)));
    }
    Append(out, data);
    return out;
}

// An element of unknown size: its data runs on to whatever ends it.
Bytes ElUnknown(uint32_t id, const Bytes& data) {
    Bytes out;
    AppendId(out, id);
    Append(out, Bytes{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    Append(out, data);
    return out;
}

Bytes UInt(uint32_t id, uint64_t value) {
    Bytes data;
    AppendBE64(data, value);
    return El(id, data);
}
Bytes Float(uint32_t id, double value) {
    Bytes data;
    AppendBE64(data, std::bit_cast<uint64_t>(value));
    return El(id, data);
}
Bytes Str(uint32_t id, std::string_view text) { return El(id, ToBytes(text)); }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) Append(out, part);
    return out;
}

Bytes Header(std::string_view docType = "matroska") {
    return El(0x1A45DFA3, Cat({UInt(0x4286, 1), Str(0x4282, docType), UInt(0x4287, 4)}));
}

Bytes Info(double durationTicks, std::string_view writingApp = "Sondaro test") {
    Bytes data = Cat({UInt(0x2AD7B1, 1000000), Str(0x4D80, "libtest"), Str(0x5741, writingApp)});
    if (durationTicks > 0) Append(data, Float(0x4489, durationTicks));
    return El(0x1549A966, data);
}

Bytes AudioTrack(uint64_t number, std::string_view codec, double rate, uint64_t channels, uint64_t depth = 0,
                 uint64_t defaultDuration = 0) {
    Bytes audio = Cat({Float(0xB5, rate), UInt(0x9F, channels)});
    if (depth) Append(audio, UInt(0x6264, depth));
    Bytes entry = Cat({UInt(0xD7, number), UInt(0x83, 2), Str(0x86, codec), El(0xE1, audio)});
    if (defaultDuration) Append(entry, UInt(0x23E383, defaultDuration));
    return El(0xAE, entry);
}

Bytes VideoTrack(uint64_t number) {
    return El(0xAE, Cat({UInt(0xD7, number), UInt(0x83, 1), Str(0x86, "V_VP9"),
                         El(0xE0, Cat({UInt(0xB0, 16), UInt(0xBA, 16)}))}));
}

// A SimpleBlock of track, time and frames of frameSize bytes; more than one
// frame is laced with fixed-size lacing.
Bytes SimpleBlock(uint8_t track, int16_t time, unsigned frames, std::size_t frameSize) {
    Bytes data{static_cast<unsigned char>(0x80 | track)};
    AppendBE16(data, static_cast<uint16_t>(time));
    data.push_back(frames > 1 ? 0x84 : 0x80);   // keyframe, lacing 2 (fixed) when laced
    if (frames > 1) data.push_back(static_cast<unsigned char>(frames - 1));
    AppendZeros(data, frames * frameSize);
    return El(0xA3, data);
}

} // namespace

TEST(Matroska, EncoderFilesGiveTheirRows) {
    // Length, rate and channels as ffprobe gives them; the bitrate over the
    // audio packets ffprobe lists (6552, 1394, 6203, 5450, 2207 and 1449
    // bytes) in that length.
    struct Row {
        const char* name;
        const char* type;
        double duration;
        int32_t rate, channels, bits, bitRate;
        const char* encoder;
    };
    const Row rows[] = {
        {"lavf-flac.mka", "MKA", 0.5, 22050, 2, 16, 105, "FLAC Lavf59.27.100"},
        {"lavf-vorbis.mka", "MKA", 0.499, 44100, 2, 16, 22, "Vorbis Lavf59.27.100"},
        {"mkvmerge-opus.mka", "MKA", 1.00649808, 48000, 2, 16, 49,
         "Opus mkvmerge v74.0.0 ('You Oughta Know') 64-bit"},
        {"lavf-opus.webm", "WEBM", 1.008, 48000, 2, 16, 43, "Opus Lavf59.27.100"},
        {"lavf-opus-mono.weba", "WEBA", 1.008, 48000, 1, 16, 18, "Opus Lavf59.27.100"},
        {"video-then-audio.webm", "WEBM", 0.408, 48000, 2, 16, 28, "Opus Lavf59.27.100"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = Analyse(FixturePath(std::string("newformats/") + row.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileType, row.type);
        EXPECT_NEAR(item->Duration, row.duration, 1e-6);
        EXPECT_EQ(item->SampleRate, row.rate);
        EXPECT_EQ(item->Channels, row.channels);
        EXPECT_EQ(item->BitsPerSample, row.bits);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_EQ(item->EncoderInfo, row.encoder);
    }
    TMatroska mkv;
    ASSERT_TRUE(mkv.ReadFromFile(FixturePath("newformats/video-then-audio.webm")));
    EXPECT_EQ(mkv.DocType(), "webm");
    EXPECT_EQ(mkv.TrackCount(), 2);
    EXPECT_EQ(mkv.AudioTrackNumber(), 2u);
    EXPECT_EQ(mkv.CodecId(), "A_OPUS");
    EXPECT_EQ(mkv.AudioBytes(), 1449);
    ASSERT_TRUE(mkv.ReadFromFile(FixturePath("newformats/mkvmerge-opus.mka")));
    EXPECT_EQ(mkv.AudioBytes(), 6203);   // EBML-laced blocks, lace sizes left out
}

TEST(Matroska, UnknownSizesAndLacingDoNotStopTheWalk) {
    TempDir dir;
    // A live stream: Segment and Clusters of unknown size, no duration in
    // Info. 20 ms frames (DefaultDuration); the last block, at 1000 + 60 ms,
    // holds 3 laced frames, so the audio ends at 1.12 s.
    const Bytes tracks = El(0x1654AE6B, AudioTrack(1, "A_VORBIS", 44100, 2, 0, 20000000));
    const Bytes cluster1 = ElUnknown(0x1F43B675, Cat({UInt(0xE7, 0), SimpleBlock(1, 0, 1, 100), SimpleBlock(1, 20, 4, 100)}));
    const Bytes cluster2 = ElUnknown(0x1F43B675, Cat({UInt(0xE7, 1000), SimpleBlock(1, 0, 1, 100), SimpleBlock(1, 60, 3, 100)}));
    const Bytes tags = El(0x1254C367, Bytes(20, 0));
    const Bytes file = Cat({Header("webm"), ElUnknown(0x18538067, Cat({Info(0), tracks, cluster1, cluster2, tags}))});
    TMatroska mkv;
    ASSERT_TRUE(mkv.ReadFromFile(dir.Write("live.webm", file)));
    ASSERT_TRUE(mkv.Valid());
    EXPECT_DOUBLE_EQ(mkv.InfoDuration(), 0);
    EXPECT_NEAR(mkv.Duration(), 1.12, 1e-9);
    EXPECT_EQ(mkv.AudioBytes(), 900);   // nine frames, the lace counts left out
    EXPECT_EQ(mkv.SampleRate(), 44100);
    EXPECT_EQ(mkv.CodecName(), "Vorbis");

    // A first video track and blocks of both: only the audio blocks count.
    const Bytes both = El(0x1654AE6B, Cat({VideoTrack(1), AudioTrack(2, "A_PCM/INT/LIT", 48000, 2, 24)}));
    const Bytes mixed = El(0x1F43B675, Cat({UInt(0xE7, 0), SimpleBlock(1, 0, 1, 5000), SimpleBlock(2, 0, 1, 600),
                                            SimpleBlock(1, 10, 1, 5000), SimpleBlock(2, 10, 1, 600)}));
    const auto item = Analyse(dir.Write("movie.mka", Cat({Header(), El(0x18538067, Cat({Info(20), both, mixed}))})));
    EXPECT_EQ(item->Channels, 2);
    EXPECT_EQ(item->SampleRate, 48000);
    EXPECT_EQ(item->BitsPerSample, 24);        // a PCM track's own depth
    EXPECT_DOUBLE_EQ(item->Duration, 0.02);    // 20 ticks of 1 ms
    EXPECT_EQ(item->BitRate, 480);             // 1200 bytes in 20 ms
    EXPECT_EQ(item->EncoderInfo, "PCM Sondaro test");
}

TEST(Matroska, UnusualAndHostileFiles) {
    TempDir dir;
    TMatroska mkv;
    const Bytes tracks = El(0x1654AE6B, AudioTrack(1, "A_OPUS", 16000, 1, 32));
    const Bytes cluster = El(0x1F43B675, Cat({UInt(0xE7, 0), SimpleBlock(1, 0, 1, 50)}));
    // Opus plays at 48 kHz whatever rate the track states; lossy codecs show
    // 16 bits whatever depth the muxer wrote; no writing application.
    const auto opus = Analyse(dir.Write("o.weba", Cat({Header("webm"), El(0x18538067, Cat({Info(1000, ""), tracks, cluster}))})));
    EXPECT_EQ(opus->SampleRate, 48000);
    EXPECT_EQ(opus->BitsPerSample, 16);
    EXPECT_EQ(opus->EncoderInfo, "Opus");
    // An unknown codec ID is shown as it is.
    const Bytes odd = El(0x1654AE6B, AudioTrack(1, "A_QUUX", 8000, 1));
    EXPECT_EQ(Analyse(dir.Write("q.mka", Cat({Header(), El(0x18538067, Cat({Info(1000), odd, cluster}))})))->EncoderInfo,
              "A_QUUX Sondaro test");
    // Only a video track: not scanned.
    const Bytes video = El(0x1654AE6B, VideoTrack(1));
    ASSERT_TRUE(mkv.ReadFromFile(dir.Write("v.webm", Cat({Header("webm"), El(0x18538067, Cat({Info(1000), video}))}))));
    EXPECT_FALSE(mkv.Valid());
    // Another DocType, no Segment, or no EBML header: not read.
    EXPECT_FALSE(mkv.ReadFromFile(dir.Write("x.mka", Cat({Header("mkv3d"), El(0x18538067, Info(1000))}))));
    EXPECT_FALSE(mkv.ReadFromFile(dir.Write("y.mka", Header())));
    EXPECT_FALSE(mkv.ReadFromFile(dir.Write("z.mka", ToBytes("RIFF\x10\0\0\0WAVE"))));
    // Sizes far beyond the file are held to it; a Cluster that claims the
    // rest of the file ends the walk with the blocks it has.
    Bytes cut = Cat({Header(), El(0x18538067, Cat({Info(1000), tracks, cluster}))});
    cut.resize(cut.size() - 20);
    ASSERT_TRUE(mkv.ReadFromFile(dir.Write("cut.mka", cut)));
    EXPECT_TRUE(mkv.Valid());
    EXPECT_EQ(mkv.AudioBytes(), 54 - 20 - 4);
    // Tracks of unknown size: its TrackEntry is still read.
    const Bytes open = Cat({Header(), ElUnknown(0x18538067, Cat({Info(500), ElUnknown(0x1654AE6B, AudioTrack(1, "A_FLAC", 96000, 2, 24)), cluster}))});
    ASSERT_TRUE(mkv.ReadFromFile(dir.Write("open.mka", open)));
    EXPECT_EQ(mkv.SampleRate(), 96000);

    // Past the first 16 MiB the clusters are passed over by size: their
    // audio is taken in the share seen so far, their time from the cluster.
    // Cluster 1: a 10-byte timestamp and a 16 MiB audio block (13 header
    // bytes); cluster 2, at 5 s: 1023 bytes, counted as 1023 x 16777216 /
    // 16777239 = 1022 bytes of audio.
    const Bytes pcm = El(0x1654AE6B, AudioTrack(1, "A_PCM/INT/LIT", 8000, 1, 16));
    const Bytes first = El(0x1F43B675, Cat({UInt(0xE7, 0), SimpleBlock(1, 0, 1, 16 << 20)}));
    const Bytes second = El(0x1F43B675, Cat({UInt(0xE7, 5000), SimpleBlock(1, 0, 1, 1000)}));
    ASSERT_TRUE(mkv.ReadFromFile(dir.Write("long.mka", Cat({Header(), El(0x18538067, Cat({Info(0), pcm, first, second}))}))));
    EXPECT_EQ(mkv.AudioBytes(), (16 << 20) + 1022);
    EXPECT_DOUBLE_EQ(mkv.Duration(), 5.0);
}
