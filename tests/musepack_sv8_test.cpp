#include "core/Analysis.h"
#include "readers/MusepackSV8.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

// A packet: key, size in 7-bit groups counting key and size bytes, payload.
Bytes Packet(std::string_view key, const Bytes& payload) {
    Bytes out;
    Append(out, key);
    const std::size_t total = 2 + 1 + payload.size();
    if (total < 128) {
        out.push_back(static_cast<unsigned char>(total));
    } else {   // two size bytes
        out.push_back(static_cast<unsigned char>(0x80 | ((total + 1) >> 7)));
        out.push_back(static_cast<unsigned char>((total + 1) & 0x7F));
    }
    Append(out, payload);
    return out;
}

// SH payload: CRC, version, sample count and silence (one byte each here, so
// below 128), rate index and bands, channels - 1, M/S and block frames.
Bytes StreamHeader(uint8_t samples7bit, uint8_t silence, unsigned rateIndex, unsigned channels, uint8_t version = 8) {
    Bytes out;
    AppendLE32(out, 0);
    out.push_back(version);
    out.push_back(samples7bit);
    out.push_back(silence);
    out.push_back(static_cast<unsigned char>(rateIndex << 5 | 27));
    out.push_back(static_cast<unsigned char>((channels - 1) << 4 | 0x0B));
    return out;
}

} // namespace

TEST(MusepackSV8, EachMpcencProfile) {
    // mpcenc 1.30.1 on 21888 stereo samples at 44.1 kHz (mediainfo: 21888
    // samples). The bitrate is the bytes from the first audio packet (at 45)
    // to the seek table, over 21888 / 44100 s.
    struct Row {
        const char* profile;
        int64_t size;
        int32_t bitRate;
        const char* encoder;
    };
    const Row rows[] = {
        {"telephone", 3722, 59, "Musepack 1.30.1 SV 8.0 Telephone"},
        {"thumb", 4573, 73, "Musepack 1.30.1 SV 8.0 Thumb"},
        {"radio", 5209, 83, "Musepack 1.30.1 SV 8.0 Radio"},
        {"standard", 6410, 102, "Musepack 1.30.1 SV 8.0 Standard"},
        {"xtreme", 9434, 151, "Musepack 1.30.1 SV 8.0 Xtreme"},
        {"insane", 13569, 218, "Musepack 1.30.1 SV 8.0 Insane"},
        {"braindead", 17645, 284, "Musepack 1.30.1 SV 8.0 BrainDead"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.profile);
        const auto item = Analyse(FixturePath(std::string("newformats/mpc-") + row.profile + ".mpc"));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileSize, row.size);
        EXPECT_NEAR(item->Duration, 21888.0 / 44100, 1e-12);
        EXPECT_EQ(item->SampleRate, 44100);
        EXPECT_EQ(item->Channels, 2);
        EXPECT_EQ(item->BitsPerSample, 16);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_NEAR(item->Ratio, double(row.size) / (21888 * 4 + 44) * 100, 1e-9);
        EXPECT_EQ(item->EncoderInfo, row.encoder);
    }
    // The older fixture under lossless/ was "File could not be scanned" before.
    EXPECT_EQ(Analyse(FixturePath("lossless/mpc-sv8.mpc"))->EncoderInfo, "Musepack 1.30.1 SV 8.0 Standard");

    TMusepackSV8 sv8;
    ASSERT_TRUE(sv8.ReadFromFile(FixturePath("newformats/mpc-thumb.mpc")));
    EXPECT_EQ(sv8.Profile(), 64);   // quality 3 + 5, in eighths
    EXPECT_TRUE(sv8.PNS());
    EXPECT_EQ(sv8.SampleCount(), 21888u);
    EXPECT_EQ(sv8.BeginningSilence(), 0u);
    EXPECT_EQ(sv8.AudioBytes(), 4519);
}

TEST(MusepackSV8, HandBuiltStreams) {
    TempDir dir;
    TMusepackSV8 sv8;
    // 48 kHz mono, 100 samples of which 4 silent; profile 74 (quality 4.25);
    // no seek table: the audio packets are walked (two of 204 bytes: key,
    // two size bytes, 200 payload bytes).
    Bytes file = ToBytes("MPCK");
    Append(file, Packet("SH", StreamHeader(100, 4, 1, 1)));
    Append(file, Packet("EI", Bytes{74 << 1, 1, 17, 3}));
    Append(file, Packet("AP", Bytes(200, 0x55)));
    Append(file, Packet("AP", Bytes(200, 0x66)));
    Append(file, Packet("SE", {}));
    ASSERT_TRUE(sv8.ReadFromFile(dir.Write("a.mpc", file)));
    ASSERT_TRUE(sv8.Valid());
    EXPECT_EQ(sv8.SampleRate(), 48000);
    EXPECT_EQ(sv8.Channels(), 1);
    EXPECT_DOUBLE_EQ(sv8.Duration(), 96 / 48000.0);
    EXPECT_EQ(sv8.AudioBytes(), 408);
    EXPECT_EQ(sv8.BitRate(), 1632);   // 408 bytes in 2 ms
    EXPECT_EQ(sv8.EncoderVersionText(), "1.17.3");
    EXPECT_EQ(sv8.ProfileName(), "--quality 4.25");
    const auto item = Analyse(dir.Write("a.mp+", file));
    EXPECT_EQ(item->FileType, "MP+");
    EXPECT_EQ(item->Channels, 1);
    EXPECT_EQ(item->EncoderInfo, "Musepack 1.17.3 SV 8.0 --quality 4.25");

    // Without an encoder-info packet the version text is empty: two spaces,
    // as the version 7 rows show for an encoder version of 0.
    Bytes bare = ToBytes("MPCK");
    Append(bare, Packet("SH", StreamHeader(100, 0, 0, 2)));
    Append(bare, Packet("AP", Bytes(50, 0x55)));
    EXPECT_EQ(Analyse(dir.Write("b.mpc", bare))->EncoderInfo, "Musepack  SV 8.0 Unknown");

    // No stream header, a packet of size 0, a wrong version, all silence.
    Bytes noHeader = ToBytes("MPCK");
    Append(noHeader, Packet("AP", Bytes(50, 0x55)));
    EXPECT_FALSE(sv8.ReadFromFile(dir.Write("c.mpc", noHeader)));
    Bytes zero = ToBytes("MPCKAP");
    zero.push_back(0);
    EXPECT_FALSE(sv8.ReadFromFile(dir.Write("d.mpc", zero)));
    Bytes v7 = ToBytes("MPCK");
    Append(v7, Packet("SH", StreamHeader(100, 0, 0, 2, 7)));
    ASSERT_TRUE(sv8.ReadFromFile(dir.Write("e.mpc", v7)));
    EXPECT_FALSE(sv8.Valid());
    Bytes silent = ToBytes("MPCK");
    Append(silent, Packet("SH", StreamHeader(100, 100, 0, 2)));
    ASSERT_TRUE(sv8.ReadFromFile(dir.Write("f.mpc", silent)));
    EXPECT_FALSE(sv8.Valid());
    EXPECT_EQ(Analyse(dir.Write("f.mpc", silent))->EncoderInfo, kNotScannedText);
}
