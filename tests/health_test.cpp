// File health: the damaged files of tests/files/health (made by its make.sh
// from real encoder output) each get their finding, and no real-encoder
// fixture of the suite gets any.
#include "core/Analysis.h"
#include "core/Columns.h"
#include "core/Health.h"
#include "core/FolderScan.h"
#include "core/HealthChecks.h"
#include "core/Verify.h"
#include "io/Paths.h"
#include "mpeg/MPEGaudio.h"
#include "readers/FLACfile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::unique_ptr<TAudioItem> Analyse(const std::string& path) {
    TFormatReaders readers;
    return AnalyseFile(readers, "/", path);
}

std::string HealthOf(const std::string& name) {
    const auto item = Analyse(FixturePath("health/" + name));
    return item ? HealthText(item->Health) : "no row";
}

} // namespace

TEST(Health, CutFilesAreTruncatedWithTheLengthThere) {
    // Lengths by hand: 2 s of tone; WAV 44 header bytes + 8000 data bytes at
    // 4000 bytes/s, AIFF 54 + 8000 (+ 34 bytes of other chunks); the MP3's
    // Xing header counts 30 frames of 576 samples at 8 kHz (2.16 s) after its
    // own 288-byte frame, and the cut file keeps the whole ones of them.
    // An Ogg stream declares no length: its cut page's granule, or "?".
    const struct {
        const char* name;
        const char* health;
        int64_t lengthMs;   // the Length now shown, milliseconds (rounded)
    } cases[] = {
        {"cut10.wav", "Truncated: 00:00 of 00:02", 189},    // 804 - 44 = 760 bytes
        {"cut50.wav", "Truncated: 00:01 of 00:02", 995},    // 4022 - 44 = 3978 bytes
        {"cut99.wav", "Truncated: 00:02 of 00:02", 1980},   // 7963 - 44 = 7919 bytes
        {"cut10.aiff", "Truncated: 00:00 of 00:02", 189},   // 808 - 54 bytes
        {"cut50.aiff", "Truncated: 00:01 of 00:02", 998},   // 4044 - 54 bytes
        {"cut99.aiff", "Truncated: 00:02 of 00:02", 1988},  // 8007 - 54 bytes
        {"cut10.mp3", "Truncated: 00:00 of 00:02", 0},      // 331 bytes: the Xing frame only
        {"cut50.mp3", "Truncated: 00:01 of 00:02", 936},    // 1656 bytes: 13 audio frames
        {"cut99.mp3", "Truncated: 00:02 of 00:02", 2088},   // 3278 bytes: 29 audio frames
        {"cut50.flac", "Truncated: 00:00 of 00:02", 0},     // the first frame (4096 samples) is cut
        {"cut99.flac", "Truncated: 00:01 of 00:02", 1024},  // the second frame starts at sample 4096
        // The tone's one audio page is cut: no whole audio page is left,
        // and the Vorbis reader takes no length from a cut page.
        {"cut10.ogg", "Not recognised", 0},
        {"cut50.ogg", "Not recognised", 0},
        {"cut99.ogg", "Not recognised", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto item = Analyse(FixturePath(std::string("health/") + c.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health).substr(0, std::string(c.health).size()), c.health);
        EXPECT_NEAR(item->Duration * 1000, c.lengthMs, 1.0);
    }
}

TEST(Health, CutFilesOfTheOtherEncoders) {
    // The same tone through wavpack (blocks of 1000 samples at 4 kHz), ffmpeg's
    // TTA (frames of 4000 x 256 / 245 = 4179 samples) and AAC in MP4 (the movie
    // atom first), opusenc, speexenc, flac --ogg and mpcenc (1 s at 32 kHz in
    // one audio packet). Lengths by hand from the whole blocks, frames or pages
    // left; ffmpeg decodes the same 3000 and 7000 samples of the cut WavPack
    // files, and nothing of the cut TTA and Ogg FLAC ones.
    const struct {
        const char* name;
        const char* health;
        double lengthMs;
    } cases[] = {
        {"cut10.wv", "Truncated: 00:00 of 00:02", 0},
        {"cut50.wv", "Truncated: 00:01 of 00:02", 750},     // 3 whole blocks
        {"cut99.wv", "Truncated: 00:02 of 00:02", 1750},    // 7 whole blocks
        {"cut10.tta", "Truncated: 00:00 of 00:02", 0},
        {"cut50.tta", "Truncated: 00:00 of 00:02", 0},      // the first frame ends past the cut
        {"cut99.tta", "OK", 2000},                          // the cut takes only ffmpeg's APE tag
        {"cut10.oga", "Truncated: 00:00 of 00:02", 0},      // the audio is one page
        {"cut50.oga", "Truncated: 00:00 of 00:02", 0},
        {"cut99.oga", "Truncated: 00:00 of 00:02", 0},
        {"cut10.spx", "Truncated: 00:00 of 00:02", 0},      // the audio is one page
        {"cut50.spx", "Truncated: 00:00 of 00:02", 0},
        {"cut99.spx", "Truncated: 00:00 of 00:02", 0},
        {"cut10.opus", "Not recognised", 0},                // no whole audio page left
        {"cut50.opus", "Not recognised", 0},
        {"cut99.opus", "Truncated: 00:02 of ?", 1993.5},    // granule 96000 less 312 pre-skip, at 48 kHz
        {"cut10.mpc", "Truncated: 00:00 of 00:01", 0},      // the one audio packet is cut
        {"cut50.mpc", "Truncated: 00:00 of 00:01", 0},
        {"cut99.mpc", "Truncated: 00:00 of 00:01", 0},
        {"cut10.m4a", "Not recognised", 0},                 // cut inside the movie atom
        // The media atom's 3464 body bytes hold the 2.000 s (16,000 samples)
        // the edit list presents; the share of them there.
        {"cut50.m4a", "Truncated: 00:01 of 00:02", 1294.0 / 3464 * 2000},
        {"cut99.m4a", "Truncated: 00:02 of 00:02", 3420.0 / 3464 * 2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto item = Analyse(FixturePath(std::string("health/") + c.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health), c.health);
        EXPECT_NEAR(item->Duration * 1000, c.lengthMs, 0.01);
    }
    // The undamaged originals, and MPEG files whose frames nothing counts
    // with an ID3v1 tag after their last whole frame.
    for (const char* name : {"ok-vbr.mp3", "ok.flac", "ok.ogg", "ok.wav", "ok.aiff", "ok.wv", "ok.tta", "ok.oga",
                             "ok.spx", "ok.opus", "ok.mpc", "ok.m4a", "ok.ape", "ok-cbr.mp3", "ok.mp2",
                             "id3v1-ok-cbr.mp3", "id3v1-ok.mp2"}) {
        SCOPED_TRACE(name);
        TFormatReaders readers;
        const auto item = AnalyseFile(readers, "/", FixturePath(std::string("health/") + name));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health), "OK");
        VerifyItem(readers, *item);
        EXPECT_EQ(HealthText(item->Health), "OK") << "verified";
    }
}

TEST(Health, CutMonkeysAudioAndMpegWithoutFrameCount) {
    // jmac's Monkey's Audio 3.99: frames of 73,728 samples at 4 kHz, 40 s in
    // three frames (two silent ones of 13 bytes, the last holds the rest);
    // every cut of 10, 50 and 99% lands in the last frame, so the two whole
    // ones are there (ffmpeg decodes the same 147,456 samples of them). Cut
    // inside the seek table, no frame is.
    // MPEG audio without a VBR header: lame's 32 kbit/s CBR at 8 kHz (frames
    // of 288 bytes) and twolame's MP2 at 16 kHz (288 bytes too), cut 100
    // bytes past the middle: the length is the bytes there over 4000 bytes/s,
    // what the whole was is not known.
    const struct {
        const char* name;
        const char* health;
        double lengthMs;
    } cases[] = {
        {"cut10.ape", "Truncated: 00:37 of 00:40", 36864},
        {"cut50.ape", "Truncated: 00:37 of 00:40", 36864},
        {"cut99.ape", "Truncated: 00:37 of 00:40", 36864},
        {"cuthead.ape", "Truncated: 00:00 of 00:40", 0},
        {"cutframe-ok-cbr.mp3", "Truncated: 00:01 of ?", 4420.0 / 4},
        {"cutframe-id3v1-ok-cbr.mp3", "Truncated: 00:01 of ?", 4420.0 / 4},
        {"cutframe-ok.mp2", "Truncated: 00:01 of ?", 2116.0 / 4},
        {"cutframe-id3v1-ok.mp2", "Truncated: 00:01 of ?", 2116.0 / 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFormatReaders readers;
        const auto item = AnalyseFile(readers, "/", FixturePath(std::string("health/") + c.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health), c.health);
        EXPECT_NEAR(item->Duration * 1000, c.lengthMs, 0.01);
        VerifyItem(readers, *item);
        EXPECT_EQ(HealthSummary(item->Health), c.health) << "verified";
    }
    // The cut Monkey's file: bitrate and ratio of the two frames there,
    // 3394 bytes over 36.864 s and against 147,456 16-bit mono samples.
    const auto ape = Analyse(FixturePath("health/cut50.ape"));
    ASSERT_TRUE(ape);
    EXPECT_EQ(ape->BitRate, 1);   // 0.74 kbit/s
    EXPECT_NEAR(ape->Ratio, 3394.0 / (147456 * 2 + 44) * 100, 1e-9);
}

namespace {

// An APE tag without items: a header when asked (version 2 only), and the
// footer; the size counts the footer.
Bytes EmptyApeTag(uint32_t version, bool withHeader) {
    Bytes tag;
    const auto part = [&](uint32_t flags) {
        Append(tag, "APETAGEX");
        AppendLE32(tag, version);
        AppendLE32(tag, 32);
        AppendLE32(tag, 0);
        AppendLE32(tag, flags);
        AppendZeros(tag, 8);
    };
    constexpr uint32_t kHasHeader = 0x80000000u, kIsHeader = 0x20000000u;
    if (withHeader) part(kHasHeader | kIsHeader);
    part(withHeader ? kHasHeader : 0);
    return tag;
}

} // namespace

TEST(Health, MpegCutFrameBeforeAnApeTag) {
    // twolame's MP2 (frames of 288 bytes), whole and cut inside a frame, with
    // an APE tag after it: a version 1 tag has no header, so the last frame
    // ends where the 32 bytes of a header would have been and is whole.
    const Bytes whole = ReadAll(FixturePath("health/ok.mp2"));
    const Bytes cut = ReadAll(FixturePath("health/cutframe-ok.mp2"));
    TempDir dir;
    const auto healthOf = [&](Bytes file, const Bytes& tag) {
        Append(file, tag);
        return HealthText(Analyse(dir.Write("tagged.mp2", file))->Health);
    };
    EXPECT_EQ(healthOf(whole, EmptyApeTag(1000, false)), "OK");
    EXPECT_EQ(healthOf(whole, EmptyApeTag(2000, true)), "OK");
    EXPECT_EQ(healthOf(cut, EmptyApeTag(2000, true)), "Truncated: 00:01 of ?");
}

TEST(Health, MonkeysFramesPresentByTheSeekTable) {
    // ok.ape's seek table: frames at 132, 145 and 158; the data ends at 6788.
    // A frame is read in whole words from the first frame's start, so the
    // first is whole with 148 bytes (132 + 16), the second with 160.
    const Bytes whole = ReadAll(FixturePath("health/ok.ape"));
    TempDir dir;
    const struct {
        std::size_t bytes;
        double lengthMs;
    } cuts[] = {{147, 0}, {148, 18432}, {159, 18432}, {160, 36864}, {6787, 36864}};
    for (const auto& cut : cuts) {
        SCOPED_TRACE(cut.bytes);
        const auto item = Analyse(dir.Write("cut.ape", Bytes(whole.begin(), whole.begin() + cut.bytes)));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health).substr(0, 10), "Truncated:");
        EXPECT_NEAR(item->Duration * 1000, cut.lengthMs, 0.01);
    }
    // An ID3v1 tag after the cut is no audio; after the whole file it is a tag.
    Bytes tagged(whole.begin(), whole.begin() + 3394);
    Append(tagged, "TAG");
    AppendZeros(tagged, 125);
    EXPECT_EQ(HealthText(Analyse(dir.Write("tagged.ape", tagged))->Health), "Truncated: 00:37 of 00:40");
    tagged = whole;
    Append(tagged, "TAG");
    AppendZeros(tagged, 125);
    EXPECT_EQ(HealthText(Analyse(dir.Write("whole.ape", tagged))->Health), "OK");
    // The APE tag Monkey's Audio files carry, with and without its header.
    for (const bool withHeader : {true, false}) {
        tagged = whole;
        Append(tagged, EmptyApeTag(2000, withHeader));
        EXPECT_EQ(HealthText(Analyse(dir.Write("ape.ape", tagged))->Health), "OK");
        tagged.assign(whole.begin(), whole.begin() + 3394);
        Append(tagged, EmptyApeTag(2000, withHeader));
        EXPECT_EQ(HealthText(Analyse(dir.Write("cutape.ape", tagged))->Health), "Truncated: 00:37 of 00:40");
    }
}

namespace {

// A Musepack SV7 file (32 kHz, "Xtreme", encoder 1.15) declaring frameCount
// frames, holding frames of the given lengths in bits: from bit 200 on
// (after the header's six words and the encoder version byte in the top
// byte of the seventh) each frame is a 20-bit length and that many bits
// (zeros here), packed from the top bit of 32-bit little-endian words.
Bytes SV7Stream(const std::vector<uint32_t>& lengths, uint32_t frameCount) {
    uint64_t bits = 200;
    for (uint32_t length : lengths) bits += 20 + length;
    std::vector<uint32_t> words((bits + 31) / 32, 0);
    words[0] = 0x072B504D;        // "MP+" 7
    words[1] = frameCount;
    words[2] = 0x40B30000;        // channel byte 0x40, profile 0xB, rate index 3
    words[6] = 115u << 24;        // encoder version
    uint64_t at = 200;
    for (uint32_t length : lengths) {
        for (int k = 0; k < 20; ++k, ++at)
            if ((length >> (19 - k)) & 1) words[at >> 5] |= 1u << (31 - (at & 31));
        at += length;
    }
    Bytes file;
    for (uint32_t word : words) AppendLE32(file, word);
    return file;
}

} // namespace

TEST(Health, MusepackSV7FramesAgainstTheBytesThere) {
    // Ten frames of 3000 bits: frame k ends at bit 200 + 3020 (k + 1), its
    // last word ends at byte 4 x ceil(that / 32). ffmpeg's demuxer, which
    // steps by the same lengths, reads 10 frames of the whole file and 5 of
    // it cut to 2280 bytes (the sixth would end at byte 2292).
    TempDir dir;
    const Bytes whole = SV7Stream(std::vector<uint32_t>(10, 3000), 10);
    ASSERT_EQ(whole.size(), 3800u);
    const auto ok = Analyse(dir.Write("ok.mpc", whole));
    ASSERT_TRUE(ok);
    EXPECT_EQ(HealthText(ok->Health), "OK");
    EXPECT_NEAR(ok->Duration, 10 * 1152 / 32000.0, 1e-9);
    const struct {
        std::size_t bytes;
        int frames;
    } cuts[] = {{2280, 5}, {2291, 5}, {2292, 6}, {3799, 9}, {32, 0}};
    for (const auto& cut : cuts) {
        SCOPED_TRACE(cut.bytes);
        TFormatReaders readers;
        const auto item = AnalyseFile(readers, "/", dir.Write("cut.mpc", Bytes(whole.begin(), whole.begin() + cut.bytes)));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health), "Truncated: 00:00 of 00:00");
        EXPECT_NEAR(item->Duration, cut.frames * 1152 / 32000.0, 1e-9);
        VerifyItem(readers, *item);
        EXPECT_EQ(HealthSummary(item->Health), "Truncated: 00:00 of 00:00") << "verified";
    }
    // An ID3v1 tag after the cut is no frame data.
    Bytes tagged(whole.begin(), whole.begin() + 2280);
    Append(tagged, "TAG");
    AppendZeros(tagged, 125);
    const auto cutTagged = Analyse(dir.Write("tagged.mpc", tagged));
    EXPECT_NEAR(cutTagged->Duration, 5 * 1152 / 32000.0, 1e-9);
    // The header counting more frames than follow is a cut as well.
    EXPECT_EQ(HealthText(Analyse(dir.Write("more.mpc", SV7Stream(std::vector<uint32_t>(10, 3000), 12)))->Health),
              "Truncated: 00:00 of 00:00");
    // A length no frame can have (damage) gives no finding.
    std::vector<uint32_t> damaged(10, 3000);
    damaged[4] = 900000;
    const Bytes damagedFile = SV7Stream(damaged, 10);
    EXPECT_EQ(HealthText(Analyse(dir.Write("damaged.mpc", Bytes(damagedFile.begin(), damagedFile.begin() + 3800)))->Health),
              "OK");
}

TEST(Health, MusepackSV7BeyondTheScanWindowIsVerified) {
    // 40 frames of 30,000 bits (about 150 KB): a scan walks the frames in the
    // first 64 KiB only, so a cut at 100,000 bytes shows in verify; a cut at
    // 50,000 bytes in the scan. The frames whole at 100,000 bytes: frame k
    // ends at bit 200 + 30,020 (k + 1), 26 of them.
    TempDir dir;
    const Bytes whole = SV7Stream(std::vector<uint32_t>(40, 30000), 40);
    TFormatReaders readers;
    const auto far = AnalyseFile(readers, "/", dir.Write("far.mpc", Bytes(whole.begin(), whole.begin() + 100000)));
    ASSERT_TRUE(far);
    EXPECT_EQ(HealthText(far->Health), "OK");
    VerifyItem(readers, *far);
    EXPECT_EQ(HealthText(far->Health), "Truncated: 00:01 of 00:01");
    EXPECT_NEAR(far->Duration, 26 * 1152 / 32000.0, 1e-9);
    const auto near = Analyse(dir.Write("near.mpc", Bytes(whole.begin(), whole.begin() + 50000)));
    EXPECT_EQ(HealthText(near->Health), "Truncated: 00:00 of 00:01");
    EXPECT_NEAR(near->Duration, 13 * 1152 / 32000.0, 1e-9);
}

TEST(Health, OptimFrogCutAfterItsHeader) {
    // "OFR ", 15 bytes of fields (8 s of 16-bit stereo at 44.1 kHz: 705,600
    // samples of both channels), and nothing after it: no audio is there.
    // Any byte of compressed data after the header cannot be judged.
    Bytes header;
    Append(header, "OFR ");
    AppendLE32(header, 15);
    AppendLE32(header, 705600);
    AppendLE16(header, 0);
    header.push_back(2);   // 16-bit
    header.push_back(1);   // stereo
    AppendLE32(header, 44100);
    AppendLE16(header, 0x0140);
    header.push_back(1 << 3);   // normal
    TempDir dir;
    const auto cut = Analyse(dir.Write("cut.ofr", header));
    ASSERT_TRUE(cut);
    EXPECT_EQ(HealthText(cut->Health), "Truncated: 00:00 of 00:08");
    EXPECT_EQ(cut->Duration, 0);
    EXPECT_EQ(cut->BitRate, 0);
    Bytes tagged = header;
    Append(tagged, "TAG");
    AppendZeros(tagged, 125);
    EXPECT_EQ(HealthText(Analyse(dir.Write("tagged.ofr", tagged))->Health), "Truncated: 00:00 of 00:08");
    Bytes more = header;
    AppendZeros(more, 1);
    EXPECT_EQ(HealthText(Analyse(dir.Write("more.ofr", more))->Health), "OK");
}

TEST(Health, TruncatedLengthFeedsBitrateRatioAndTotals) {
    // FLAC: 1.024 s present; the bitrate is the file's audio bytes over it.
    const auto flac = Analyse(FixturePath("health/cut99.flac"));
    ASSERT_TRUE(flac);
    EXPECT_EQ(flac->BitRate, 23);   // (3575 - 588 bytes of metadata) x 8 / 1.024 s
    EXPECT_NEAR(flac->Ratio, 3575.0 / (4096 * 1) * 100, 0.01);   // 8-bit mono samples, no header
    // WAV: the data present, not the chunk's promise.
    const auto wav = Analyse(FixturePath("health/cut50.wav"));
    ASSERT_TRUE(wav);
    EXPECT_EQ(CellText(*wav, kColLength), "00:01");
    EXPECT_EQ(wav->BitRate, 32);
    EXPECT_NEAR(wav->Ratio, 4022.0 / (3978 + 44) * 100, 0.01);
}

TEST(Health, DamageJunkAndTags) {
    EXPECT_EQ(HealthOf("flipped.ogg"), "Damaged: 1 bad stretch");   // the last page's checksum fails
    EXPECT_EQ(HealthOf("id3past.mp3"), "Tag damaged");
    const auto tagged = Analyse(FixturePath("health/id3past.mp3"));
    // The audio and its LAME tag (preset field 460) are still read.
    EXPECT_EQ(tagged->EncoderInfo, "MPEG 2.5 Layer III LAME 3.100 V4: preset medium");
    EXPECT_EQ(CellText(*tagged, kColLength), "00:02");
    EXPECT_EQ(HealthOf("junk.mp3"), "Junk before audio: 700 bytes");
    EXPECT_EQ(HealthOf("lametag.mp3"), "LAME tag damaged");
    // An APE tag stating 1000 bytes more than the file: the audio's bitrate
    // counts the whole file, 4552 bytes over 2 s, not a negative remainder.
    const auto apePast = Analyse(FixturePath("health/apepast.wv"));
    EXPECT_EQ(HealthText(apePast->Health), "Tag damaged");
    EXPECT_EQ(apePast->BitRate, 18);
    // A FLAC comment field stating 5000 bytes in a block of far fewer.
    EXPECT_EQ(HealthOf("commentpast.flac"), "Tag damaged");
}

TEST(Health, EmptyAndUnrecognisedFilesHaveRows) {
    TempDir dir;
    const auto empty = Analyse(dir.Write("empty.mp3", ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(CellText(*empty, kColHealth), "Empty file");
    const auto text = Analyse(dir.Write("text.flac", "not a flac file"));
    ASSERT_TRUE(text);
    EXPECT_EQ(CellText(*text, kColEncoderInfo), kNotScannedText);
    EXPECT_EQ(CellText(*text, kColHealth), "Not recognised");
    // A FLAC cut inside its metadata is not read at all.
    EXPECT_EQ(HealthOf("cut10.flac"), "Not recognised");
}

TEST(Health, FindingsMostSeriousFirstAndReplacedByKind) {
    THealth health;
    AddFinding(health, Finding(THealthKind::TagDamaged));
    AddFinding(health, JunkFinding(1));
    AddFinding(health, DamagedFinding(3));
    AddFinding(health, TruncatedFinding(3.4, 31.2));
    AddFinding(health, DamagedFinding(4));   // a verify pass counts more
    EXPECT_EQ(HealthTexts(health), (std::vector<std::string>{"Truncated: 00:03 of 00:31", "Damaged: 4 bad stretches",
                                                             "Junk before audio: 1 byte", "Tag damaged"}));
    EXPECT_EQ(HealthText(health), "Truncated: 00:03 of 00:31");
    EXPECT_EQ(HealthSummary({}), "OK");
    AddFinding(health, Finding(THealthKind::AudioChanged));
    AddFinding(health, Finding(THealthKind::LameTagDamaged));
    EXPECT_EQ(HealthSummary(health), "Truncated: 00:03 of 00:31; Damaged: 4 bad stretches; Audio changed after "
                                     "encoding; LAME tag damaged; Junk before audio: 1 byte; Tag damaged");
}

TEST(Health, NoFalseAlarmOnRealEncoderFiles) {
    // Every fixture made by a real encoder, and the samples; files built to
    // be broken live in health/ and regressions/.
    const std::filesystem::path roots[] = {FixturePath(""), std::string(SONDARO_SOURCE_DIR) + "/samples"};
    int checked = 0;
    for (const auto& root : roots)
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            const std::string path = entry.path().string();
            if (path.find("/files/health/") != std::string::npos || path.find("/files/regressions/") != std::string::npos)
                continue;
            if (!IsSupportedExtension(FileTypeOf(path))) continue;
            TFormatReaders readers;
            std::unique_ptr<TAudioItem> item;
            try {
                item = AnalyseFile(readers, "/", path);
            } catch (const std::exception&) {
                continue;   // failures are other tests' business
            }
            if (!item || HasFinding(item->Health, THealthKind::NotRecognised)) continue;
            ++checked;
            // A fixture cut on purpose by the Ogg reader's tests.
            const char* expected = path.ends_with("/xiph/vorbis-cut.ogg") ? "Truncated: 00:01 of ?" : "OK";
            EXPECT_EQ(HealthText(item->Health), expected) << path;
            VerifyItem(readers, *item);   // every byte, every checksum
            EXPECT_EQ(HealthText(item->Health), expected) << path << " (verified)";
        }
    EXPECT_GT(checked, 100);
}

TEST(Health, FlacFrameHeaderAndChecksums) {
    // The first frame header of tests/files/health/ok.flac, as flac wrote it:
    // fixed blocks of 4096 (code 12), 4 kHz from STREAMINFO, mono, 8 bits,
    // frame 0, CRC-8 0x?? checked by the parser.
    const Bytes file = ReadAll(FixturePath("health/ok.flac"));
    std::size_t at = 0;
    for (std::size_t i = 42; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xF8) { at = i; break; }
    ASSERT_GT(at, 0u);
    TFlacFrameHeader header;
    ASSERT_TRUE(ParseFlacFrameHeader(file.data() + at, file.size() - at, 4096, header));
    EXPECT_EQ(header.FirstSample, 0);
    EXPECT_EQ(header.BlockSize, 4096);
    Bytes damaged(file.begin() + at, file.begin() + at + 16);
    damaged[4] ^= 0x01;   // frame number 1: the CRC-8 no longer holds
    EXPECT_FALSE(ParseFlacFrameHeader(damaged.data(), damaged.size(), 4096, header));
    // Check values of the CRCs: "123456789" gives 0xF4 (CRC-8) and 0xFEE8
    // (CRC-16/UMTS, FLAC's).
    const std::string check = "123456789";
    const auto* bytes = reinterpret_cast<const uint8_t*>(check.data());
    EXPECT_EQ(FlacCrc8(bytes, check.size()), 0xF4);
    uint16_t crc16 = 0;
    for (uint8_t b : check) crc16 = FlacCrc16Step(crc16, b);
    EXPECT_EQ(crc16, 0xFEE8);
    EXPECT_EQ(FlacCrc16(bytes, check.size()), 0xFEE8);
    // Eight bytes at a time, in pieces of every length: the same CRC.
    uint16_t stepped = 0;
    for (uint8_t b : file) stepped = FlacCrc16Step(stepped, b);
    uint16_t pieces = 0;
    for (std::size_t at = 0, piece = 1; at < file.size(); at += piece, piece = piece % 13 + 1)
        pieces = FlacCrc16(file.data() + at, std::min(piece, file.size() - at), pieces);
    EXPECT_EQ(pieces, stepped);
}

TEST(Health, VerifyReadsEveryByte) {
    const struct {
        const char* name;
        const char* scan;     // the normal scan's finding
        const char* verify;   // every finding after the verify pass
    } cases[] = {
        // Eight bytes inverted mid-file: an MP3 frame header (and so the music
        // CRC), a FLAC frame's CRC-16, an Ogg page's checksum.
        {"flipped.mp3", "OK", "Damaged: 1 bad stretch; Audio changed after encoding"},
        {"flipped.flac", "OK", "Damaged: 1 bad stretch"},
        {"flipped.ogg", "Damaged: 1 bad stretch", "Damaged: 1 bad stretch"},
        // Global gain lowered by hand in every granule: the frames still
        // chain, only the music CRC tells.
        {"gain.mp3", "OK", "Audio changed after encoding"},
        {"ok-vbr.mp3", "OK", "OK"},
        // A cut is the scan's finding; verify adds no damage for the cut page or frame.
        {"cut50.mp3", "Truncated: 00:01 of 00:02", "Truncated: 00:01 of 00:02"},
        {"cut99.flac", "Truncated: 00:01 of 00:02", "Truncated: 00:01 of 00:02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFormatReaders readers;
        const auto item = AnalyseFile(readers, "/", FixturePath(std::string("health/") + c.name));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health), c.scan);
        VerifyItem(readers, *item);
        EXPECT_EQ(HealthSummary(item->Health), c.verify);
    }
}

TEST(Health, VerifiedCutGivesTheLengthBitrateAndRatioThere) {
    // WavPack blocks of 11,000 8-bit samples at 4 kHz (8,866 bytes each),
    // cut 300 bytes short: the scan sees no block in the file's last 8 KiB,
    // verify finds the first block whole. ffmpeg decodes its 11,000 samples:
    // 2.75 s, 17,364 bytes over them 50.5 kbit/s, against 11,000 bytes of PCM.
    TFormatReaders readers;
    const auto item = AnalyseFile(readers, "/", FixturePath("health/cutbigblocks.wv"));
    ASSERT_TRUE(item);
    EXPECT_EQ(HealthText(item->Health), "OK");
    VerifyItem(readers, *item);
    EXPECT_EQ(HealthText(item->Health), "Truncated: 00:03 of 00:06");
    EXPECT_DOUBLE_EQ(item->Duration, 2.75);
    EXPECT_EQ(item->BitRate, 50);
    EXPECT_NEAR(item->Ratio, 17364.0 / (11000 + 44) * 100, 1e-9);
}

TEST(Health, VerifyPassesAreTheSameThroughAnyWindow) {
    // The passes read in windows; frames, pages and the music CRC's range
    // straddle the small ones. The findings by hand: eight bytes inverted
    // break one MPEG frame and its music CRC, one FLAC frame's CRC-16, one
    // Ogg page's checksum; the gain edit keeps every frame but not the CRC.
    const struct {
        const char* name;
        int32_t bad;
        bool crcMatches;
    } mpeg[] = {{"ok-vbr.mp3", 0, true}, {"flipped.mp3", 1, false}, {"gain.mp3", 0, false}, {"cut50.mp3", 0, false}};
    for (const auto& c : mpeg) {
        SCOPED_TRACE(c.name);
        TFileStream stream(FixturePath(std::string("health/") + c.name));
        TMPEGaudio reader;
        ASSERT_TRUE(reader.ReadFromStream(stream));
        for (const std::size_t window : {std::size_t{1}, std::size_t{6000}, std::size_t{7777}, kVerifyWindowBytes}) {
            SCOPED_TRACE(window);
            const TMpegVerifyResult r = VerifyMpegFrames(stream, reader.AudioStart(), reader.AudioEnd(), window);
            EXPECT_EQ(r.BadStretches, c.bad);
            // The cut file's music length runs past its end: no CRC to compare.
            EXPECT_EQ(r.MusicCrcChecked, std::string(c.name) != "cut50.mp3");
            EXPECT_EQ(r.MusicCrcMatches, c.crcMatches);
        }
    }
    for (const std::size_t window : {std::size_t{1}, std::size_t{100}, kVerifyWindowBytes}) {
        SCOPED_TRACE(window);
        TFileStream ogg(FixturePath("health/flipped.ogg"));
        EXPECT_EQ(VerifyOggPages(ogg, window), 1);
        TFileStream okOgg(FixturePath("health/ok.ogg"));
        EXPECT_EQ(VerifyOggPages(okOgg, window), 0);
        for (const char* name : {"ok.flac", "flipped.flac"}) {
            TFileStream flac(FixturePath(std::string("health/") + name));
            TFLACfile reader;
            ASSERT_TRUE(reader.ReadFromStream(flac));
            constexpr std::size_t kStreamInfoAt = 8;
            EXPECT_EQ(VerifyFlacFrames(flac, reader.AudioOffset(), reader.Header().data() + kStreamInfoAt, window),
                      std::string(name) == "flipped.flac" ? 1 : 0)
                << name;
        }
    }
}

TEST(Health, LameCrcCheckValue) {
    // CRC-16/ARC of "123456789" is 0xBB3D; LAME's tag and music CRCs use it.
    const std::string check = "123456789";
    EXPECT_EQ(LameCRC16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xBB3D);
}

TEST(Health, CliVerifyAndJsonFindings) {
    const std::string cli = SONDARO_CLI;
    const std::string file = FixturePath("health/gain.mp3");
    const auto run = [&](const std::string& args) {
        std::string out;
        FILE* pipe = popen((cli + " " + args + " '" + file + "' 2>/dev/null").c_str(), "r");
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
        return out;
    };
    EXPECT_NE(run("-f tsv -c 'File Name,Health'").find("gain.mp3\tOK\n"), std::string::npos);
    EXPECT_NE(run("--verify -f tsv -c 'File Name,Health'").find("gain.mp3\tAudio changed after encoding\n"),
              std::string::npos);
    EXPECT_NE(run("--verify -f json").find("\"Health\": [\"Audio changed after encoding\"]"), std::string::npos);
    EXPECT_NE(run("-f json").find("\"Health\": [\"OK\"]"), std::string::npos);
}
