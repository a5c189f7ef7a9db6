// sondaro-cli: analyses folders, playlists and files and prints one row per
// file with the totals, using the same analysis core as the desktop program.
#include "CliOptions.h"
#include "CliOutput.h"

#include "core/AnalysisList.h"
#include "core/FolderScan.h"
#include "core/Playlists.h"
#include "io/FileStream.h"
#include "io/Paths.h"
#include "io/Text.h"
#include "report/HtmlReport.h"
#ifdef SONDARO_CHECK
#include "CliCheck.h"
#endif

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sys/stat.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include "io/Platform.h"
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

// The arguments as UTF-8, from the UTF-16 command line: the narrow argv
// holds them in the ANSI code page, which cannot spell every file name.
class Utf8Arguments {
public:
    Utf8Arguments() {
        int count = 0;
        wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
        for (int i = 0; wide && i < count; ++i) texts_.push_back(Utf8FromWide(wide[i]));
        if (wide) ::LocalFree(wide);
        for (std::string& text : texts_) pointers_.push_back(text.data());
        pointers_.push_back(nullptr);
    }
    int Count() const { return static_cast<int>(texts_.size()); }
    char** Values() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

// The rows are UTF-8: a console shows them in that code page while the
// program runs; its own code page comes back at exit.
class Utf8Console {
public:
    Utf8Console() : previous_(::GetConsoleOutputCP()) {
        if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console() {
        std::cout.flush();
        std::fflush(stdout);
        if (previous_ != 0) ::SetConsoleOutputCP(previous_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT previous_;
};

// Standard error is a console that understands the escape sequences that
// redraw the progress line.
bool ProgressTerminal() {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == INVALID_HANDLE_VALUE || !::GetConsoleMode(error, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
           ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

#else

bool ProgressTerminal() { return ::isatty(STDERR_FILENO) == 1; }

#endif

// A progress line on standard error, redrawn in place, only on a terminal.
// The system's reason a PATH cannot be found ("No such file or directory").
std::string MissingReason(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return TrimRight(SystemErrorMessage(::GetLastError()));
    return "Not a file or folder";
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    return "Not a regular file or folder";
#endif
}

class Progress {
public:
    Progress() : enabled_(ProgressTerminal()) {}
    void Checked(std::size_t done, std::size_t count) {
        if (enabled_) std::cerr << "\r\x1b[K" << "checked " << done << " of " << count << " files" << std::flush;
    }
    void Update(std::size_t count, const std::string& path) {
        if (!enabled_) return;
        std::string shown = path.size() > 60 ? "..." + path.substr(path.size() - 57) : path;
        std::cerr << "\r\x1b[K" << count << " files  " << VisibleText(shown) << std::flush;
    }
    void Done() {
        if (enabled_) std::cerr << "\r\x1b[K" << std::flush;
    }

private:
    bool enabled_;
};

// Runs the analysis of every PATH and keeps, in the order met, each file and
// folder with its row or the sentence that says what went wrong.
class TCliRun {
public:
    explicit TCliRun(const CliOptions& options) : list_(options.Columns) {}

    void Path(const std::string& path, bool recursive) {
        if (FolderExists(path)) {
            TScanCallbacks callbacks;
            callbacks.AnalyseFile = [&](const std::string& root, const std::string& file) { File(root, file); };
            const TScanResult result = ScanFolder(path, recursive, callbacks);
            // File errors were caught in File(); what is left are the folders
            // that could not be listed.
            for (const TFailure& failure : result.Failures)
                Add({TCliEntry::kNoRow, {}, failure.Path, true, Sentence(failure.Message)});
        } else if (IsPlaylistPath(path)) {
            const TPlaylistResult result =
                LoadPlaylist(path, [&](const std::string& root, const std::string& file) { File(root, file); });
            // Entry errors were caught in File(); what is left is the playlist's own.
            for (const TFailure& failure : result.Failures)
                Add({TCliEntry::kNoRow, path, failure.Path, false, FailureSentence(failure.Path, failure.Message)});
            if (!result.Loaded && result.Failures.empty())
                Add({TCliEntry::kNoRow, path, path, false, PlaylistSentence(path)});
            // Lines skipped as no path: said, but no file was lost.
            for (const std::string& note : result.Notes) std::cerr << "sondaro-cli: " << VisibleText(Sentence(note)) << '\n';
        } else {
            File(FolderOf(path), path);
        }
    }

    // Clears the progress line.
    void Finish() { progress_.Done(); }

#ifdef SONDARO_CHECK
    // The lossless check of every row; a file that cannot be decoded is named.
    void Check() {
        std::vector<std::string> failures;
        CheckListedFiles(list_, failures, [&](std::size_t done, std::size_t count) { progress_.Checked(done, count); });
        progress_.Done();
        for (const std::string& failure : failures) {
            failed_ = true;
            std::cerr << "sondaro-cli: " << VisibleText(failure) << '\n';
        }
    }
#endif

    TAnalysisList& List() { return list_; }
    const std::vector<TCliEntry>& Entries() const { return entries_; }
    bool Failed() const { return failed_; }

private:
    void File(const std::string& root, const std::string& file) {
        progress_.Update(++analysed_, file);
        const std::size_t rowsBefore = list_.Rows().size();
        try {
            if (!list_.AnalyseFile(root, file)) {
                Add({TCliEntry::kNoRow, root, file, false, "File " + QuotedPath(file) + " is empty."});
                return;
            }
        } catch (const std::exception& e) {
            Add({TCliEntry::kNoRow, root, file, false, FailureSentence(file, e.what())});
            return;
        }
        const TAudioItem& item = *list_.Rows()[rowsBefore].Item;
        // A reader that rejected the file leaves the item's defaults, and the
        // row says "File could not be scanned".
        const bool recognised = item.EncoderInfo != kNotScannedText;
        Add({rowsBefore, root, file, false, recognised ? std::string() : NotRecognisedSentence(item)});
    }

    // Why a playlist gave nothing: the open error when it cannot be opened.
    static std::string PlaylistSentence(const std::string& path) {
        try {
            TFileStream probe(path);
        } catch (const std::exception& e) {
            return Sentence(e.what());
        }
        return "Playlist " + QuotedPath(path) + " could not be read.";
    }

    void Add(TCliEntry entry) {
        if (!entry.Error.empty()) {
            failed_ = true;
            progress_.Done();
            std::cerr << "sondaro-cli: " << VisibleText(entry.Error) << '\n';
        }
        entries_.push_back(std::move(entry));
    }

    TAnalysisList list_;
    std::vector<TCliEntry> entries_;
    Progress progress_;
    std::size_t analysed_ = 0;
    bool failed_ = false;
};

// Writes the desktop program's report of the rows; false when it could not be written.
bool WriteReport(const CliOptions& options, TAnalysisList& list) {
    const std::string& first = options.Paths.front();
    TReportInput report;
    report.Folder = FolderExists(first) ? first : FolderOf(first);
    // Each column at its default width, as the desktop program's fresh layout.
    for (int tag : list.Columns()) report.Columns.push_back({ColumnDefaultOfTag(tag).Caption, ColumnDefaultOfTag(tag).Width});
    for (const TListRow& row : list.Rows()) {
        report.Rows.push_back(&row.Texts);
        report.Items.push_back(row.Item);
    }
    report.Totals = list.Totals();
    std::string written;
    try {
        written = WriteHtmlReport(report, options.HtmlFile);
    } catch (const std::exception& e) {
        std::cerr << "sondaro-cli: The report could not be written. " << VisibleText(Sentence(e.what())) << '\n';
        return false;
    }
    std::cerr << "sondaro-cli: The report was written to " << VisibleText(QuotedPath(written)) << ".\n";
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");   // the user's decimal separator and collation
#ifdef _WIN32
    const Utf8Console console;
    Utf8Arguments arguments;
    if (arguments.Count() > 0) {
        argc = arguments.Count();
        argv = arguments.Values();
    }
#endif

    CliOptions options;
    std::string error;
    if (!ParseCliOptions(argc, argv, options, error)) {
        std::cerr << "sondaro-cli: " << error << "\nTry 'sondaro-cli --help' for more information.\n";
        return 2;
    }
    if (options.Help) {
        std::cout << CliHelp();
        return 0;
    }
    if (options.Version) {
        std::cout << "sondaro-cli " << SONDARO_VERSION << '\n';
        return 0;
    }
    // Every PATH must exist before anything is analysed: a mistyped name is a
    // usage error, not a half-finished run.
    bool missing = false;
    for (const std::string& path : options.Paths) {
        if (!FolderExists(path) && !RegularFileExists(path)) {
            std::cerr << "sondaro-cli: Cannot find " << VisibleText(QuotedPath(path)) << ". " << MissingReason(path)
                      << ".\n";
            missing = true;
        }
    }
    if (missing) return 2;
#ifndef SONDARO_CHECK
    if (options.Check) {
        std::cerr << "sondaro-cli: This build has no lossless check (it needs FFmpeg and FFTW).\n";
        return 2;
    }
#endif

    TCliRun run(options);
    for (const std::string& path : options.Paths) run.Path(path, options.Recursive);
    run.Finish();
#ifdef SONDARO_CHECK
    if (options.Check) run.Check();
#endif

    TAnalysisList& list = run.List();
    const TStatusTexts status = list.ShowTotals();
    WriteOutput(std::cout, options, list, run.Entries(), status);
    std::cout.flush();

    bool failed = run.Failed();
    // A full disk or a closed pipe loses the list: that is no clean run.
    if (!std::cout) {
        std::cerr << "sondaro-cli: The list could not be written to standard output.\n";
        failed = true;
    }
    if (options.Html && !WriteReport(options, list)) failed = true;
    return failed ? 1 : 0;
}
