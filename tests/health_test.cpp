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
    // The undamaged originals.
    for (const char* name : {"ok-vbr.mp3", "ok.flac", "ok.ogg", "ok.wav", "ok.aiff", "ok.wv", "ok.tta", "ok.oga",
                             "ok.spx", "ok.opus", "ok.mpc", "ok.m4a"}) {
        SCOPED_TRACE(name);
        TFormatReaders readers;
        const auto item = AnalyseFile(readers, "/", FixturePath(std::string("health/") + name));
        ASSERT_TRUE(item);
        EXPECT_EQ(HealthText(item->Health), "OK");
        VerifyItem(readers, *item);
        EXPECT_EQ(HealthText(item->Health), "OK") << "verified";
    }
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
