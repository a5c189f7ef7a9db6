#include "core/Analysis.h"
#include "readers/DSDIFF.h"
#include "readers/DSF.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    static TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

// A DSF file: "DSD " chunk, "fmt " chunk, "data" chunk of dataBytes.
Bytes DsfFile(uint32_t channels, uint32_t rate, uint64_t sampleCount, std::size_t dataBytes, uint32_t bits = 1) {
    Bytes out = ToBytes("DSD ");
    AppendLE64(out, 28);
    AppendLE64(out, 28 + 52 + 12 + dataBytes);
    AppendLE64(out, 0);
    Append(out, "fmt ");
    AppendLE64(out, 52);
    AppendLE32(out, 1);          // format version
    AppendLE32(out, 0);          // DSD raw
    AppendLE32(out, channels);   // channel type (as many as channels, near enough)
    AppendLE32(out, channels);
    AppendLE32(out, rate);
    AppendLE32(out, bits);
    AppendLE64(out, sampleCount);
    AppendLE32(out, 4096);
    AppendLE32(out, 0);
    Append(out, "data");
    AppendLE64(out, 12 + dataBytes);
    AppendZeros(out, dataBytes);
    return out;
}

Bytes Chunk(std::string_view id, const Bytes& data) {
    Bytes out = ToBytes(id);
    AppendBE64(out, data.size());
    Append(out, data);
    if (data.size() % 2) out.push_back(0);
    return out;
}

Bytes DffFile(uint16_t channels, uint32_t rate, const Bytes& sound, bool dst = false) {
    Bytes fs;
    AppendBE32(fs, rate);
    Bytes chnl;
    AppendBE16(chnl, channels);
    for (uint16_t i = 0; i < channels; ++i) Append(chnl, "C   ");
    Bytes cmpr = ToBytes(dst ? "DST " : "DSD ");
    cmpr.push_back(3);
    Append(cmpr, "abc");
    Bytes prop = ToBytes("SND ");
    Append(prop, Chunk("FS  ", fs));
    Append(prop, Chunk("CHNL", chnl));
    Append(prop, Chunk("CMPR", cmpr));
    Bytes version;
    AppendBE32(version, 0x01050000);
    Bytes form = ToBytes("DSD ");
    Append(form, Chunk("FVER", version));
    Append(form, Chunk("PROP", prop));
    Append(form, Chunk(dst ? "DST " : "DSD ", sound));
    Bytes out = ToBytes("FRM8");
    AppendBE64(out, form.size());
    Append(out, form);
    return out;
}

} // namespace

TEST(DSD, BuiltFilesThatFfmpegDecodes) {
    // make_dsd.py; ffprobe gives 0.011610 s (mono), 0.005805 s and 0.010000 s,
    // and the rates divided by 8.
    struct Row {
        const char* name;
        const char* type;
        int64_t size;
        double duration;
        int32_t rate, channels, bitRate;
        const char* encoder;
    };
    const Row rows[] = {
        {"dsd64-mono.dsf", "DSF", 4188, 32768 / 2822400.0, 2822400, 1, 2822, "DSD64"},
        {"dsd128-stereo.dsf", "DSF", 8284, 32768 / 5644800.0, 5644800, 2, 11290, "DSD128"},
        {"dsd64-stereo.dff", "DFF", 7186, 0.01, 2822400, 2, 5645, "DSD64"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = Analyse(FixturePath(std::string("newformats/") + row.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(item->FileType, row.type);
        EXPECT_EQ(item->FileSize, row.size);
        EXPECT_NEAR(item->Duration, row.duration, 1e-12);
        EXPECT_EQ(item->SampleRate, row.rate);
        EXPECT_EQ(item->Channels, row.channels);
        EXPECT_EQ(item->BitsPerSample, 1);
        EXPECT_EQ(item->BitRate, row.bitRate);
        EXPECT_EQ(item->EncoderInfo, row.encoder);
    }
    // 4188 bytes against 32768 one-bit samples (4096 bytes) and 44.
    EXPECT_NEAR(Analyse(FixturePath("newformats/dsd64-mono.dsf"))->Ratio, 4188.0 / 4140 * 100, 1e-9);
}

TEST(DSD, RateNames) {
    EXPECT_EQ(DsdRateName(2822400), "DSD64");
    EXPECT_EQ(DsdRateName(5644800), "DSD128");
    EXPECT_EQ(DsdRateName(11289600), "DSD256");
    EXPECT_EQ(DsdRateName(22579200), "DSD512");
    EXPECT_EQ(DsdRateName(3072000), "DSD64");    // the 48 kHz family
    EXPECT_EQ(DsdRateName(6144000), "DSD128");
    EXPECT_EQ(DsdRateName(44100), "DSD");
    EXPECT_EQ(DsdRateName(0), "DSD");
}

TEST(DSF, HandBuiltEdgeCases) {
    TempDir dir;
    TDSF dsf;
    // A zero sample count (a writer that never filled it in): the length
    // follows from the data, 2 channels x 8192 bytes = 65536 samples each.
    ASSERT_TRUE(dsf.ReadFromFile(dir.Write("zero.dsf", DsfFile(2, 2822400, 0, 16384))));
    ASSERT_TRUE(dsf.Valid());
    EXPECT_EQ(dsf.Samples(), 65536);
    EXPECT_DOUBLE_EQ(dsf.Duration(), 65536 / 2822400.0);
    // The data chunk claims more than the file holds: held to the file.
    Bytes cut = DsfFile(1, 2822400, 0, 8192);
    cut.resize(cut.size() - 4096);
    ASSERT_TRUE(dsf.ReadFromFile(dir.Write("cut.dsf", cut)));
    EXPECT_EQ(dsf.DataSize(), 4096);
    EXPECT_EQ(dsf.Samples(), 32768);
    // Bits per sample other than 1 and 8, or 7 channels: not scanned.
    EXPECT_EQ(Analyse(dir.Write("b.dsf", DsfFile(2, 2822400, 1000, 8192, 16)))->EncoderInfo, kNotScannedText);
    EXPECT_EQ(Analyse(dir.Write("c.dsf", DsfFile(7, 2822400, 1000, 8192)))->EncoderInfo, kNotScannedText);
    // MSB-first (8 bits per sample) reads the same.
    EXPECT_EQ(Analyse(dir.Write("m.dsf", DsfFile(2, 5644800, 5644800, 8192, 8)))->EncoderInfo, "DSD128");
    // Not a DSF file, or a fmt chunk cut short.
    EXPECT_FALSE(dsf.ReadFromFile(dir.Write("x.dsf", ToBytes("RIFF0000WAVEfmt "))));
    Bytes shortFmt = DsfFile(2, 2822400, 1000, 0);
    shortFmt.resize(60);
    EXPECT_FALSE(dsf.ReadFromFile(dir.Write("s.dsf", shortFmt)));
}

TEST(DSDIFF, HandBuiltEdgeCases) {
    TempDir dir;
    TDSDIFF dff;
    // Odd-sized chunks are padded; 3 channels of 1411 bytes each.
    ASSERT_TRUE(dff.ReadFromFile(dir.Write("odd.dff", DffFile(3, 2822400, Bytes(3 * 1411, 0x69)))));
    ASSERT_TRUE(dff.Valid());
    EXPECT_EQ(dff.FormatVersion(), 0x01050000u);
    EXPECT_EQ(dff.CompressionType(), "DSD ");
    EXPECT_DOUBLE_EQ(dff.Duration(), 1411 * 8 / 2822400.0);

    // DST: "FRTE" with 150 frames at 75 per second is 2 s.
    Bytes frte;
    AppendBE32(frte, 150);
    AppendBE16(frte, 75);
    Bytes dst = Chunk("FRTE", frte);
    Append(dst, Chunk("DSTF", Bytes(100, 0x11)));
    const auto item = Analyse(dir.Write("dst.dff", DffFile(2, 2822400, dst, true)));
    EXPECT_DOUBLE_EQ(item->Duration, 2.0);
    EXPECT_EQ(item->Channels, 2);
    EXPECT_EQ(item->BitsPerSample, 1);
    EXPECT_EQ(item->EncoderInfo, "DSD64 DST compressed");

    // A chunk size far beyond the file: held to the file, the walk ends.
    Bytes huge = DffFile(2, 2822400, Bytes(2000, 0x55));
    for (int i = 0; i < 8; ++i) huge[huge.size() - 2000 - 8 + i] = 0x7F;
    ASSERT_TRUE(dff.ReadFromFile(dir.Write("huge.dff", huge)));
    EXPECT_EQ(dff.SoundDataSize(), 2000);
    // No sound data chunk, or not a DSD form: not scanned / not read.
    Bytes noSound = DffFile(2, 2822400, {});
    noSound.resize(noSound.size() - 12);
    EXPECT_EQ(Analyse(dir.Write("none.dff", noSound))->EncoderInfo, kNotScannedText);
    // 2000 channels at the largest rate: not valid, and a bitrate held to
    // 32 bits instead of wrapping negative.
    ASSERT_TRUE(dff.ReadFromFile(dir.Write("wide.dff", DffFile(2000, 0x7FFFFFFF, Bytes(4000, 0x55)))));
    EXPECT_FALSE(dff.Valid());
    EXPECT_EQ(dff.BitRate(), INT32_MAX);
    Bytes aiff = ToBytes("FORM");
    AppendBE32(aiff, 4);
    Append(aiff, "AIFF");
    EXPECT_FALSE(dff.ReadFromFile(dir.Write("aiff.dff", aiff)));
}
