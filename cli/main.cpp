// sondaro-cli: analyses folders, playlists and files and prints one row per
// file with the totals, using the same analysis core as the desktop program.
#include "CliOptions.h"
#include "CliOutput.h"

#include "core/AnalysisList.h"
#include "core/FolderScan.h"
#include "core/Paths.h"
#include "core/Playlists.h"

#include <clocale>
#include <iostream>
#include <unistd.h>

namespace {

// A progress line on standard error, redrawn in place, only on a terminal.
class Progress {
public:
    Progress() : enabled_(::isatty(STDERR_FILENO) == 1) {}
    void Update(std::size_t count, const std::string& path) {
        if (!enabled_) return;
        std::string shown = path.size() > 60 ? "..." + path.substr(path.size() - 57) : path;
        std::cerr << "\r\x1b[K" << count << " files  " << shown << std::flush;
    }
    void Done() {
        if (enabled_) std::cerr << "\r\x1b[K" << std::flush;
    }

private:
    bool enabled_;
};

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");   // the user's decimal separator and collation

    CliOptions options;
    std::string error;
    if (!ParseCliOptions(argc, argv, options, error)) {
        std::cerr << "sondaro-cli: " << error << "\nTry 'sondaro-cli --help'.\n";
        return 2;
    }
    if (options.Help) {
        std::cout << kCliHelp;
        return 0;
    }
    for (const std::string& path : options.Paths) {
        if (!FolderExists(path) && !RegularFileExists(path)) {
            std::cerr << "sondaro-cli: " << path << ": no such file or folder\n";
            return 2;
        }
    }

    TAnalysisList list(options.Columns);
    std::vector<TFailure> failures;
    Progress progress;
    std::size_t analysed = 0;
    const auto analyse = [&](const std::string& root, const std::string& file) {
        progress.Update(++analysed, file);
        list.AnalyseFile(root, file);
    };

    for (const std::string& path : options.Paths) {
        if (FolderExists(path)) {
            TScanCallbacks callbacks;
            callbacks.AnalyseFile = analyse;
            const TScanResult result = ScanFolder(path, options.Recursive, callbacks);
            failures.insert(failures.end(), result.Failures.begin(), result.Failures.end());
        } else if (IsPlaylistPath(path)) {
            const TPlaylistResult result = LoadPlaylist(path, analyse);
            failures.insert(failures.end(), result.Failures.begin(), result.Failures.end());
        } else {
            try {
                analyse(FolderOf(path), path);
            } catch (const std::exception& e) {
                failures.push_back({path, e.what()});
            }
        }
    }
    progress.Done();

    const TStatusTexts status = list.ShowTotals();
    WriteOutput(std::cout, options.Format, list, status);
    std::cout.flush();

    for (const TFailure& failure : failures) std::cerr << "sondaro-cli: " << failure.Message << '\n';
    return failures.empty() ? 0 : 1;
}
