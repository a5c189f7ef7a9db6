// The format registry against the places that list the formats, the shared
// compression ratio, and the one open of each analysed file.
#include "TestSupport.h"
#include "core/Analysis.h"
#include "core/FolderScan.h"
#include "core/FormatRegistry.h"
#include "io/FileStream.h"
#include "readers/PcmRatio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

// The words of README.md's "Extensions read:" sentence, up to its full stop.
std::vector<std::string> ReadmeExtensions() {
    std::ifstream in(std::string(SONDARO_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string readme = text.str();
    const std::string lead = "Extensions read:";
    const std::size_t start = readme.find(lead);
    if (start == std::string::npos) return {};
    const std::size_t end = readme.find('.', start);
    std::istringstream words(readme.substr(start + lead.size(), end - start - lead.size()));
    std::vector<std::string> extensions;
    for (std::string word; words >> word;) extensions.push_back(word);
    return extensions;
}

} // namespace

TEST(FormatRegistry, ReadmeListsExactlyTheTableExtensionsInOrder) {
    EXPECT_EQ(ReadmeExtensions(), SupportedExtensions());
}

TEST(FormatRegistry, EveryExtensionBelongsToOneFormat) {
    std::set<std::string> seen;
    for (const TFormatEntry& entry : FormatTable()) {
        EXPECT_FALSE(entry.Name.empty());
        EXPECT_NE(entry.Fill, nullptr) << entry.Name;
        EXPECT_FALSE(entry.Extensions.empty()) << entry.Name;
        for (const std::string& extension : entry.Extensions)
            EXPECT_TRUE(seen.insert(extension).second) << extension << " is listed twice";
    }
    EXPECT_EQ(seen.size(), 36u);
}

TEST(FormatRegistry, ExtensionsMatchInAnyCaseAndOnlyWhole) {
    ASSERT_NE(FindFormat("MP3"), nullptr);
    EXPECT_EQ(FindFormat("Mp3"), FindFormat("mpa"));
    EXPECT_EQ(FindFormat("AIF"), FindFormat("aiff"));
    EXPECT_EQ(FindFormat("mp+")->Name, "Musepack");
    EXPECT_EQ(FindFormat("OPUS"), FindFormat("ogg"));
    EXPECT_EQ(FindFormat("ec3"), FindFormat("ac3"));
    EXPECT_EQ(FindFormat("mp"), nullptr);
    EXPECT_EQ(FindFormat(""), nullptr);
    EXPECT_EQ(FindFormat("m3u"), nullptr);
    // The folder scan asks the same table.
    EXPECT_TRUE(IsSupportedExtension("WV"));
    EXPECT_FALSE(IsSupportedExtension("wvc"));
}

TEST(PcmRatio, HandCalculatedFigures) {
    // 1 s of 44.1 kHz 16-bit stereo: 176400 bytes + a 44-byte header.
    EXPECT_DOUBLE_EQ(PcmRatio(88222, 44100, 44100, 2, 16, 44), 50.0);
    // 1000 frames of 12-bit mono are 1500 bytes; no header.
    EXPECT_DOUBLE_EQ(PcmRatio(750, 1000, 8000, 1, 12, 0), 50.0);
    // 4-bit ADPCM-like mono: half a byte per frame; 8000 frames = 4000 bytes + 44.
    EXPECT_DOUBLE_EQ(PcmRatio(1011, 8000, 8000, 1, 4, 44), 25.0);
    // Playing time x rate as the frame count: 0.5 s at 8 kHz, 8-bit mono = 4000 + 44.
    EXPECT_DOUBLE_EQ(PcmRatio(4044, 0.5 * 8000, 8000, 1, 8, 44), 100.0);
}

TEST(PcmRatio, ZeroWhenThePcmSizeCannotBeFormed) {
    // Without a rate the divisor would be the header alone: tens of
    // thousands of percent.
    EXPECT_EQ(PcmRatio(74088, 44100, 0, 2, 16, 44), 0);
    EXPECT_EQ(PcmRatio(74088, 44100, 44100, 0, 16, 44), 0);
    EXPECT_EQ(PcmRatio(74088, 44100, 44100, 2, 0, 44), 0);
    EXPECT_EQ(PcmRatio(74088, 0, 44100, 2, 16, 44), 0);
    EXPECT_EQ(PcmRatio(74088, -5, 44100, 2, 16, 44), 0);
}

TEST(AnalyseFile, OpensEveryFileOnce) {
    TFormatReaders readers;
    const auto opensOf = [&](const std::string& path) {
        const uint64_t before = TFileStream::TotalOpens();
        try {
            AnalyseFile(readers, "/", path);
        } catch (const std::exception&) {
            // a failure still counts its opens
        }
        return TFileStream::TotalOpens() - before;
    };
    // Every fixture of every folder, MPEG files with their LAME tag included.
    int files = 0;
    for (const std::string& folder : {std::string(SONDARO_FIXTURES), std::string(SONDARO_SOURCE_DIR) + "/samples"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            const std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || extension.size() < 2 || !FindFormat(extension.substr(1))) continue;
            EXPECT_EQ(opensOf(entry.path().string()), 1u) << entry.path();
            ++files;
        }
    }
    EXPECT_GT(files, 100);
    // Each format's reader on bytes it does not recognise.
    TempDir dir;
    Bytes noise(300);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>(i * 37 + 11);
    for (const std::string& extension : SupportedExtensions())
        EXPECT_EQ(opensOf(dir.Write("noise." + extension, noise)), 1u) << extension;
}
