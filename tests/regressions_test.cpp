// Every reproducer under tests/files/regressions goes through the entry point
// a user reaches it by: audio files through the analysis of a folder scan,
// playlists through the playlist loader. The assertions are mild; the point
// is that under the sanitizer build any memory error or undefined behaviour
// on these inputs aborts the suite.
#include "core/Analysis.h"
#include "core/Playlists.h"
#include "io/Paths.h"
#include "io/Text.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The extensions a whole-analysis reproducer (".any") is tried under: every
// reader, as the fuzz target does.
const char* const kEveryReader[] = {".aac", ".ac3", ".aiff", ".ape", ".dts", ".flac", ".mp3", ".m4a", ".mpc",
                                    ".ofr", ".ogg", ".spx", ".tta", ".vqf", ".wav", ".wma", ".wv"};

void AnalyseQuietly(TFormatReaders& readers, const std::string& path) {
    try {
        const auto item = AnalyseFile(readers, FolderOf(path), path);
        if (item) {
            EXPECT_EQ(item->FullPath, path);
        }
    } catch (const std::exception&) {
        // A reader may report a damaged file by raising.
    }
}

} // namespace

TEST(Regressions, EveryReproducerIsReadWithoutFault) {
    const fs::path folder = FixturePath("regressions");
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".sh") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 2u);

    TempDir scratch;
    TFormatReaders readers;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string extension = file.extension().string();
        const Bytes bytes = ReadAll(file.string());
        const auto ignore = [](const std::string&, const std::string&) {};
        if (extension == ".playlist") {
            for (const char* as : {".m3u", ".pls", ".fpl"}) LoadPlaylist(scratch.Write(std::string("input") + as, bytes), ignore);
        } else if (IsPlaylistPath(file.string())) {
            LoadPlaylist(file.string(), ignore);
        } else if (extension == ".any") {
            for (const char* as : kEveryReader) AnalyseQuietly(readers, scratch.Write(std::string("input") + as, bytes));
        } else {
            AnalyseQuietly(readers, file.string());
        }
    }
}
