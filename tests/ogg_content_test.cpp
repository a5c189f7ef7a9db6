#include "core/Analysis.h"
#include "io/FileStream.h"
#include "readers/OggContent.h"
#include "readers/OggFLAC.h"
#include "readers/OggPages.h"
#include "readers/Opus.h"
#include "OggBuilders.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

std::string NewFile(const std::string& name) { return FixturePath("newformats/" + name); }

// The Ogg page checksum, bit by bit (CRC-32, polynomial 0x04C11DB7, no
// reflection, start 0), written into bytes 22-25 of each page of a stream.
Bytes WithChecksums(Bytes stream) {
    std::size_t at = 0;
    while (at + 27 <= stream.size()) {
        const std::size_t segments = stream[at + 26];
        std::size_t size = 27 + segments;
        for (std::size_t i = 0; i < segments; ++i) size += stream[at + 27 + i];
        if (at + size > stream.size()) break;
        for (int i = 22; i < 26; ++i) stream[at + i] = 0;
        uint32_t crc = 0;
        for (std::size_t i = 0; i < size; ++i) {
            crc ^= uint32_t(stream[at + i]) << 24;
            for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
        for (int i = 0; i < 4; ++i) stream[at + 22 + i] = static_cast<unsigned char>(crc >> (8 * i));
        at += size;
    }
    return stream;
}

Bytes OpusHead(uint8_t channels, uint16_t preSkip, uint32_t inputRate = 44100, uint8_t version = 1) {
    Bytes out;
    Append(out, "OpusHead");
    out.push_back(version);
    out.push_back(channels);
    AppendLE16(out, preSkip);
    AppendLE32(out, inputRate);
    AppendLE16(out, 0);   // output gain
    out.push_back(0);     // mapping family
    return out;
}

Bytes OpusTags(std::string_view vendor) {
    Bytes out;
    Append(out, "OpusTags");
    Append(out, CommentBody(vendor, {"TITLE=Tone"}));
    return out;
}

// Head page, tags page (unless left out), then audio pages of 1000 bytes
// with the given granule positions.
Bytes OpusFile(const std::vector<int64_t>& granules, bool tags = true, uint16_t preSkip = 312) {
    Bytes out = OggPage(0, 0, OpusHead(2, preSkip));
    uint32_t sequence = 1;
    if (tags) Append(out, OggPage(sequence++, 0, OpusTags("libopus 1.3.1")));
    for (int64_t granule : granules) Append(out, OggPage(sequence++, granule, Bytes(1000, 0x5A)));
    return WithChecksums(out);
}

Bytes FLACMappingHeader(uint16_t headerPackets, uint32_t rate, unsigned channels, unsigned bits, uint64_t samples) {
    Bytes out{0x7F};
    Append(out, "FLAC");
    out.push_back(1);   // mapping major
    out.push_back(0);   // mapping minor
    AppendBE16(out, headerPackets);
    Append(out, "fLaC");
    out.push_back(0x00);   // STREAMINFO, not last
    AppendBE24(out, 34);
    AppendBE16(out, 4096);
    AppendBE16(out, 4096);
    AppendBE24(out, 0);
    AppendBE24(out, 0);
    // 20 bits rate, 3 bits channels - 1, 5 bits bits - 1, 36 bits samples.
    const uint64_t packed = (uint64_t(rate) << 44) | (uint64_t(channels - 1) << 41) | (uint64_t(bits - 1) << 36) |
                            (samples & 0xFFFFFFFFFull);
    AppendBE64(out, packed);
    AppendZeros(out, 16);   // MD5
    return out;
}

Bytes FLACCommentBlock(std::string_view vendor, bool last) {
    Bytes body = CommentBody(vendor, {});
    Bytes out{static_cast<unsigned char>((last ? 0x80 : 0) | 4)};
    AppendBE24(out, static_cast<uint32_t>(body.size()));
    Append(out, body);
    return out;
}

} // namespace

TEST(OggContent, FirstPacketNamesTheCodec) {
    struct Case {
        const char* file;
        TOggContent content;
    };
    const Case cases[] = {
        {"newformats/opus-stereo-32k.opus", TOggContent::Opus}, {"newformats/lavf-opus.ogg", TOggContent::Opus},
        {"newformats/flac-ogg.oga", TOggContent::FLAC},         {"newformats/lavf-flac.ogg", TOggContent::FLAC},
        {"newformats/speex-nb.ogg", TOggContent::Speex},        {"xiph/vorbis-q0.ogg", TOggContent::Vorbis},
        {"xiph/flac-level0.flac", TOggContent::NotOgg},
    };
    for (const Case& c : cases) {
        TFileStream stream(FixturePath(c.file));
        EXPECT_EQ(IdentifyOggContent(stream), c.content) << c.file;
    }
    // An ID3v2 tag (syncsafe size 0x7F, 137 bytes in all) before the first page.
    TempDir dir;
    Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0x7F};
    AppendZeros(tagged, 0x7F);
    Append(tagged, OpusFile({48312}));
    TFileStream stream(dir.Write("tagged.opus", tagged));
    EXPECT_EQ(OggStreamStart(stream), 137);
    EXPECT_EQ(IdentifyOggContent(stream), TOggContent::Opus);
}

TEST(Opus, EncoderFilesGiveTheirRows) {
    // Channels and pre-skip as opusinfo reports them; lengths are the last
    // granule (48312 for 1 s, 33912 for 0.7 s) less the pre-skip of 312 over
    // 48 kHz, as opusinfo's playback length. Bitrate: the bytes after the
    // header pages (841; 849 for 5.1; 137 for ffmpeg) over the length.
    struct Row {
        const char* name;
        const char* type;
        int64_t size;
        double duration;
        int32_t channels, bitRate;
        const char* encoder;
    };
    const Row rows[] = {
        {"opus-mono-16k.opus", "OPUS", 2863, 1.0, 1, 16, "Opus libopus 1.3.1, libopusenc 0.2.1"},
        {"opus-mono.oga", "OGA", 2863, 1.0, 1, 16, "Opus libopus 1.3.1, libopusenc 0.2.1"},
        {"opus-stereo-32k.opus", "OPUS", 7149, 1.0, 2, 50, "Opus libopus 1.3.1, libopusenc 0.2.1"},
        {"opus-stereo-64k.opus", "OPUS", 11575, 1.0, 2, 86, "Opus libopus 1.3.1, libopusenc 0.2.1"},
        {"opus-51-96k.opus", "OPUS", 16962, 0.7, 6, 184, "Opus libopus 1.3.1, libopusenc 0.2.1"},
        {"lavf-opus.ogg", "OGG", 8509, 1.0, 2, 67, "Opus Lavf59.27.100"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = Analyse(NewFile(row.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileType, row.type);
        EXPECT_EQ(item->FileSize, row.size);
        EXPECT_NEAR(item->Duration, row.duration, 1e-12);
        EXPECT_EQ(item->SampleRate, 48000);
        EXPECT_EQ(item->Channels, row.channels);
        EXPECT_EQ(item->BitsPerSample, 16);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_EQ(item->EncoderInfo, row.encoder);
    }
    // 7149 bytes against 48000 stereo 16-bit samples and a 44-byte header.
    EXPECT_NEAR(Analyse(NewFile("opus-stereo-32k.opus"))->Ratio, 7149.0 / 192044 * 100, 1e-9);

    TOpus opus;
    ASSERT_TRUE(opus.ReadFromFile(NewFile("opus-mono-16k.opus")));
    EXPECT_EQ(opus.PreSkip(), 312);
    EXPECT_EQ(opus.InputSampleRate(), 16000u);   // what opusenc was fed
    EXPECT_EQ(opus.Granule(), 48312);
    EXPECT_EQ(opus.AudioOffset(), 841);
    EXPECT_EQ(opus.Vendor(), "libopus 1.3.1, libopusenc 0.2.1");
}

TEST(Opus, DamagedAndUnusualStreams) {
    TempDir dir;
    TOpus opus;
    // The last page is cut off: the length comes from the last whole page.
    Bytes cut = OpusFile({24312, 48312});
    cut.resize(cut.size() - 400);
    ASSERT_TRUE(opus.ReadFromFile(dir.Write("cut.opus", cut)));
    EXPECT_EQ(opus.Granule(), 24312);
    EXPECT_DOUBLE_EQ(opus.Duration(), 0.5);
    // A page with a wrong checksum does not count either.
    Bytes damaged = OpusFile({24312, 48312});
    damaged[damaged.size() - 10] ^= 0xFF;
    ASSERT_TRUE(opus.ReadFromFile(dir.Write("crc.opus", damaged)));
    EXPECT_EQ(opus.Granule(), 24312);
    // A last page on which no packet ends (granule -1) is passed over.
    ASSERT_TRUE(opus.ReadFromFile(dir.Write("open.opus", OpusFile({48312, -1}))));
    EXPECT_EQ(opus.Granule(), 48312);

    // No OpusTags packet: the codec name alone, the audio after the head page.
    const auto untagged = Analyse(dir.Write("untagged.opus", OpusFile({48312}, false)));
    EXPECT_EQ(untagged->EncoderInfo, "Opus");
    EXPECT_DOUBLE_EQ(untagged->Duration, 1.0);
    EXPECT_EQ(untagged->BitRate, 8);   // one 1031-byte page in 1 s

    // A pre-skip larger than the last granule leaves no audio: not scanned.
    EXPECT_EQ(Analyse(dir.Write("skip.opus", OpusFile({200})))->EncoderInfo, kNotScannedText);
    // A head of an unknown major version (0x10) is not read.
    Bytes v16 = OggPage(0, 0, OpusHead(2, 312, 48000, 0x10));
    Append(v16, OggPage(1, 48312, Bytes(50, 1)));
    v16 = WithChecksums(v16);
    EXPECT_FALSE(opus.ReadFromFile(dir.Write("v16.opus", v16)));
    // Under .ogg a file whose first packet is unknown goes to the Vorbis
    // reader as before, which does not take it.
    Bytes other = WithChecksums(OggPage(0, 0, ToBytes("CELT    0.11")));
    EXPECT_EQ(Analyse(dir.Write("celt.ogg", other))->EncoderInfo, kNotScannedText);
}

TEST(OggFLAC, EncoderFilesGiveTheirRows) {
    // flac --ogg: STREAMINFO as metaflac lists it (44100 Hz, 2 channels, 16
    // bits, 21888 samples); the header pages, an 8192-byte padding block
    // among them, end at 8457, so the audio is 12592 bytes.
    const auto flac = Analyse(NewFile("flac-ogg.oga"));
    ASSERT_TRUE(flac);
    EXPECT_EQ(flac->FileType, "OGA");
    EXPECT_EQ(flac->FileSize, 21049);
    EXPECT_NEAR(flac->Duration, 21888.0 / 44100, 1e-12);
    EXPECT_EQ(flac->SampleRate, 44100);
    EXPECT_EQ(flac->Channels, 2);
    EXPECT_EQ(flac->BitsPerSample, 16);
    EXPECT_EQ(flac->BitRate, 203);
    EXPECT_NEAR(flac->Ratio, 21049.0 / (21888 * 4) * 100, 1e-9);   // bare samples, as native FLAC
    EXPECT_EQ(flac->EncoderInfo, "reference libFLAC 1.4.2 20221022");

    // ffmpeg's Ogg muxer: 22050 Hz, 11025 samples, audio after byte 162.
    const auto lavf = Analyse(NewFile("lavf-flac.ogg"));
    EXPECT_EQ(lavf->FileType, "OGG");
    EXPECT_DOUBLE_EQ(lavf->Duration, 0.5);
    EXPECT_EQ(lavf->SampleRate, 22050);
    EXPECT_EQ(lavf->Channels, 2);
    EXPECT_EQ(lavf->BitRate, 106);
    EXPECT_EQ(lavf->EncoderInfo, "Lavf59.27.100");

    TOggFLAC reader;
    ASSERT_TRUE(reader.ReadFromFile(NewFile("flac-ogg.oga")));
    EXPECT_EQ(reader.MappingMajor(), 1);
    EXPECT_EQ(reader.HeaderPackets(), 3);
    EXPECT_EQ(reader.AudioOffset(), 8457);
}

TEST(OggFLAC, LengthFromTheGranuleWhenStreamInfoHasNone) {
    TempDir dir;
    // STREAMINFO with 0 samples, 48 kHz mono 24-bit; the last page says 96000.
    Bytes file = OggPage(0, 0, FLACMappingHeader(1, 48000, 1, 24, 0));
    Append(file, OggPage(1, 0, FLACCommentBlock("Sondaro test", true)));
    Append(file, OggPage(2, 48000, Bytes(3000, 0x11)));
    Append(file, OggPage(3, 96000, Bytes(3000, 0x22)));
    const auto item = Analyse(dir.Write("zero.oga", WithChecksums(file)));
    EXPECT_DOUBLE_EQ(item->Duration, 2.0);
    EXPECT_EQ(item->SampleRate, 48000);
    EXPECT_EQ(item->Channels, 1);
    EXPECT_EQ(item->BitsPerSample, 24);
    EXPECT_EQ(item->BitRate, 24);   // two 3039-byte pages in 2 s: 24.312 kbit/s
    EXPECT_EQ(item->EncoderInfo, "Sondaro test");

    // No comment packet and no header count: "FLAC", as for native FLAC
    // without a vendor; the first audio frame (sync 0xFFF8) ends the headers.
    Bytes frame{0xFF, 0xF8};
    AppendZeros(frame, 498);
    Bytes bare = OggPage(0, 0, FLACMappingHeader(0, 44100, 2, 16, 44100));
    Append(bare, OggPage(1, 44100, frame));
    const auto item2 = Analyse(dir.Write("bare.ogg", WithChecksums(bare)));
    EXPECT_EQ(item2->EncoderInfo, "FLAC");
    EXPECT_EQ(item2->BitRate, 4);   // the 529-byte audio page in 1 s

    // A first page that claims 2000 bytes of which the file holds 100: the
    // header page is cut, the file is not read.
    Bytes head = FLACMappingHeader(0, 44100, 2, 16, 44100);
    head.resize(2000);
    Bytes claimed = OggPage(0, 0, head);
    claimed.resize(100);
    TOggFLAC reader;
    EXPECT_FALSE(reader.ReadFromFile(dir.Write("claimed.oga", claimed)));
    EXPECT_EQ(reader.BitRate(), 0);
}

TEST(OggContent, SpeexUnderOggIsReadByTheSpeexReader) {
    // speexenc, 3 s narrowband: granule 24000 at 8000 Hz.
    const auto item = Analyse(NewFile("speex-nb.ogg"));
    EXPECT_EQ(item->FileType, "OGG");
    EXPECT_DOUBLE_EQ(item->Duration, 3.0);
    EXPECT_EQ(item->SampleRate, 8000);
    EXPECT_EQ(item->Channels, 1);
    EXPECT_EQ(item->EncoderInfo, "Speex 1.2.1");
    // Vorbis under .ogg is unchanged.
    EXPECT_EQ(Analyse(FixturePath("xiph/vorbis-q0.ogg"))->EncoderInfo.rfind("Vorbis ", 0), 0u);
}

TEST(OggContent, PacketWalkStaysBounded) {
    TempDir dir;
    // Pages that never end their packet (every lacing value 255): the walk
    // stops at the end of the file and keeps no more than it was asked for.
    Bytes endless;
    for (uint32_t i = 0; i < 40; ++i) Append(endless, OggPageRaw(i, 0, Bytes(4, 255), Bytes(1020, 0x41)));
    TFileStream stream(dir.Write("endless.ogg", endless));
    EXPECT_EQ(IdentifyOggContent(stream), TOggContent::Unknown);
}
