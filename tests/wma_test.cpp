#include "core/Analysis.h"
#include "readers/WMAfile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string WmaFixture(const std::string& name) { return FixturePath("mp4aac/" + name); }

// GUIDs in their stored byte order.
const Bytes kHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kFilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kStreamPropertiesGuid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kContentDescriptionGuid = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kExtendedContentGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};

Bytes Object(const Bytes& guid, const Bytes& body) {
    Bytes out = guid;
    AppendLE64(out, body.size() + 24);
    Append(out, body);
    return out;
}

Bytes Utf16(std::string_view ascii, bool terminate = true) {
    Bytes out;
    for (char c : ascii) AppendLE16(out, static_cast<unsigned char>(c));
    if (terminate) AppendLE16(out, 0);
    return out;
}

Bytes FileProperties(uint64_t playDuration, uint64_t preroll, uint32_t maxBitRate) {
    Bytes body;
    AppendZeros(body, 40);
    AppendLE64(body, playDuration);
    AppendZeros(body, 8);
    AppendLE64(body, preroll);
    AppendZeros(body, 12);
    AppendLE32(body, maxBitRate);
    return Object(kFilePropertiesGuid, body);
}

struct AudioFormat {
    uint16_t formatTag = 0x161;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t bytesPerSecond = 16000;
    uint16_t bitsPerSample = 16;
};

Bytes StreamProperties(const AudioFormat& f) {
    Bytes body;
    AppendZeros(body, 54);
    AppendLE16(body, f.formatTag);
    AppendLE16(body, f.channels);
    AppendLE32(body, f.sampleRate);
    AppendLE32(body, f.bytesPerSecond);
    AppendLE16(body, 0x1000);
    AppendLE16(body, f.bitsPerSample);
    AppendLE16(body, 0);   // no extra format bytes
    return Object(kStreamPropertiesGuid, body);
}

Bytes ContentDescription(std::initializer_list<std::string_view> texts) {
    Bytes body, strings;
    for (auto text : texts) {
        const Bytes encoded = text.empty() ? Bytes{} : Utf16(text);
        AppendLE16(body, static_cast<uint32_t>(encoded.size()));
        Append(strings, encoded);
    }
    Append(body, strings);
    return Object(kContentDescriptionGuid, body);
}

struct Descriptor {
    std::string name;
    uint16_t type;
    Bytes value;
};

Bytes ExtendedContent(const std::vector<Descriptor>& descriptors) {
    Bytes body;
    AppendLE16(body, static_cast<uint32_t>(descriptors.size()));
    for (const auto& d : descriptors) {
        const Bytes name = Utf16(d.name);
        AppendLE16(body, static_cast<uint32_t>(name.size()));
        Append(body, name);
        AppendLE16(body, d.type);
        AppendLE16(body, static_cast<uint32_t>(d.value.size()));
        Append(body, d.value);
    }
    return Object(kExtendedContentGuid, body);
}

Bytes Asf(const std::vector<Bytes>& objects) {
    Bytes children;
    for (const auto& object : objects) Append(children, object);
    Bytes out = kHeaderGuid;
    AppendLE64(out, children.size() + 30);
    AppendLE32(out, static_cast<uint32_t>(objects.size()));
    out.push_back(1);
    out.push_back(2);
    Append(out, children);
    AppendZeros(out, 500);   // stands in for the data object
    return out;
}

Bytes StandardAsf(const AudioFormat& format = {}) {
    return Asf({FileProperties(2000000000ull, 3000, 128000), StreamProperties(format)});
}

TWMAfile ReadWma(const Bytes& bytes, bool expected = true) {
    TempDir dir;
    TWMAfile wma;
    EXPECT_EQ(wma.ReadFromFile(dir.Write("x.wma", bytes)), expected);
    return wma;
}

} // namespace

TEST(WMAfile, RealFilesGiveTheirRows) {
    TFormatReaders readers;
    auto v2 = AnalyseFile(readers, "/", WmaFixture("wmav2-tags.wma"));
    ASSERT_TRUE(v2);
    EXPECT_EQ(v2->EncoderInfo, "Windows Media Audio 7/8/9 Standard");
    EXPECT_EQ(v2->FileSize, 20184);
    EXPECT_EQ(v2->SampleRate, 44100);
    EXPECT_EQ(v2->Channels, 2);
    EXPECT_EQ(v2->BitsPerSample, 16);
    EXPECT_EQ(v2->BitRate, 128);
    EXPECT_NEAR(v2->Duration, 1.021, 1e-9);   // as ffprobe reports
    EXPECT_NEAR(v2->Ratio, 20184 / (44100 * 1.021 * 4 + 44) * 100, 1e-9);

    // WMA version 1 (format tag 0x0160) has the generic name.
    auto v1 = AnalyseFile(readers, "/", WmaFixture("wmav1.wma"));
    EXPECT_EQ(v1->EncoderInfo, "Windows Media Audio");
    EXPECT_EQ(v1->SampleRate, 22050);
    EXPECT_EQ(v1->Channels, 1);
    EXPECT_EQ(v1->BitRate, 32);
}

TEST(WMAfile, TagsFromBothContentDescriptions) {
    TWMAfile wma;
    ASSERT_TRUE(wma.ReadFromFile(WmaFixture("wmav2-tags.wma")));
    EXPECT_EQ(wma.Title(), "WMA Title");
    EXPECT_EQ(wma.Artist(), "WMA Artist");
    EXPECT_EQ(wma.Copyright(), "WMA rights");
    EXPECT_EQ(wma.Album(), "WMA Album");
    EXPECT_EQ(wma.Genre(), "Ambient");
    EXPECT_EQ(wma.Track(), "7");
    EXPECT_EQ(wma.FormatTag(), 0x161);
    EXPECT_EQ(wma.Preroll(), 3100);

    // Names compare in any case; a number-typed track changes nothing.
    Bytes number;
    AppendLE32(number, 5);
    const TWMAfile hand = ReadWma(Asf({FileProperties(2000000000ull, 3000, 128000), StreamProperties({}),
                                       ContentDescription({"  Title  ", "Author", "", "Desc", "Rated"}),
                                       ExtendedContent({{"wm/title", 0, Utf16("Lower")},
                                                        {"WM/TrackNumber", 3, number},
                                                        {"WM/Track", 0, Utf16("4")},
                                                        {"WM/Year", 0, Utf16("1999")},
                                                        {"WM/Description", 0, Utf16("Ext desc")},
                                                        {"WM/Unknown", 0, Utf16("x")}})}));
    EXPECT_EQ(hand.Title(), "Lower");
    EXPECT_EQ(hand.Artist(), "Author");
    EXPECT_EQ(hand.Copyright(), "");
    EXPECT_EQ(hand.Rating(), "Rated");
    EXPECT_EQ(hand.Track(), "4");
    EXPECT_EQ(hand.Year(), "1999");
    EXPECT_EQ(hand.Comment(), "Ext desc");
}

TEST(WMAfile, CodecNamesByFormatTag) {
    const std::pair<uint16_t, const char*> cases[] = {
        {353, "Windows Media Audio 7/8/9 Standard"},
        {354, "Windows Media Audio 9 Professional"},
        {355, "Windows Media Audio 9 Lossless"},
        {31265, "GSM-AMR Fixed bit rate, no SID"},
        {31266, "GSM-AMR Variable bit rate, including SID"},
        {0x0001, "Windows Media Audio"},
    };
    for (const auto& [tag, name] : cases) {
        AudioFormat f;
        f.formatTag = tag;
        EXPECT_EQ(ReadWma(StandardAsf(f)).CodecName(), name);
    }
}

TEST(WMAfile, RatesAndDuration) {
    AudioFormat f;
    TWMAfile wma = ReadWma(StandardAsf(f));
    EXPECT_EQ(wma.BitRate(), 128);
    EXPECT_DOUBLE_EQ(wma.Duration(), 197.0);   // 200 s of 100-ns units less 3000 ms preroll
    EXPECT_EQ(wma.MaxBitRate(), 128000);
    f.bytesPerSecond = 20099;
    EXPECT_EQ(ReadWma(StandardAsf(f)).BitRate(), 160);   // 160.792 truncated

    // A later stream-properties object overwrites an earlier one.
    AudioFormat video;
    video.sampleRate = 0;
    wma = ReadWma(Asf({FileProperties(10000000, 0, 1), StreamProperties(f), StreamProperties(video)}));
    EXPECT_FALSE(wma.Valid());
    EXPECT_EQ(wma.CodecName(), "");
    EXPECT_EQ(wma.Duration(), 0);

    // Sample rates outside 8000 to 96000 are not valid; neither is a zero
    // maximum bitrate.
    for (uint32_t rate : {7999u, 96001u}) {
        f.sampleRate = rate;
        EXPECT_FALSE(ReadWma(StandardAsf(f)).Valid());
    }
    f.sampleRate = 8000;
    EXPECT_TRUE(ReadWma(StandardAsf(f)).Valid());
    EXPECT_FALSE(ReadWma(Asf({FileProperties(10000000, 0, 0), StreamProperties({})})).Valid());
}

TEST(WMAfile, DamagedAndForeignFiles) {
    // Not ASF: read but not valid. Shorter than a GUID: not read.
    EXPECT_FALSE(ReadWma(ToBytes("RIFF....WAVEfmt and more")).Valid());
    ReadWma(ToBytes("short"), false);

    // Cut anywhere inside the header: not read, never a crash.
    const Bytes good = Asf({FileProperties(10000000, 0, 1), StreamProperties({}),
                            ContentDescription({"T", "A", "C", "D", "R"})});
    TempDir dir;
    const std::size_t header = good.size() - 500;
    for (std::size_t cut = 16; cut < header; cut += 9) {
        TWMAfile wma;
        EXPECT_FALSE(wma.ReadFromFile(dir.Write("cut.wma", Bytes(good.begin(), good.begin() + cut)))) << cut;
    }

    // An object size of 0 would read the same object for ever; a huge object
    // count ends with the file.
    Bytes zeroSize = kFilePropertiesGuid;
    AppendLE64(zeroSize, 0);
    Bytes stalled = Asf({zeroSize});
    ReadWma(stalled, false);
    Bytes many = StandardAsf();
    many[24] = many[25] = many[26] = many[27] = 0xFF;
    ReadWma(many, false);
}

TEST(WMAfile, WidestChannelsAndBitsDoNotOverflowTheRatio) {
    AudioFormat format;
    format.channels = 65535;
    format.bitsPerSample = 65535;
    const Bytes file = StandardAsf(format);
    const TWMAfile wma = ReadWma(file);
    ASSERT_TRUE(wma.Valid());
    // 197 s at 44.1 kHz, 65535 * 65535 / 8 bytes per frame, plus 44.
    const double pcm = 44100.0 * 197 * 536854528.125 + 44;
    EXPECT_NEAR(wma.Ratio(), file.size() / pcm * 100, 1e-15);
    EXPECT_GT(wma.Ratio(), 0.0);
}
