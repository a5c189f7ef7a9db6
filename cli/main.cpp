// sondaro-cli: analyses folders, playlists and files and prints one row per
// file with the totals, using the same analysis core as the desktop program.
#include "CliOptions.h"
#include "CliOutput.h"

#ifdef SONDARO_HAVE_CACHE
#include "cache/ResultCache.h"
#endif
#include "core/AnalysisList.h"
#include "core/FolderScan.h"
#include "core/Playlists.h"
#include "core/ScanEngine.h"
#include "io/FileStream.h"
#include "io/Paths.h"
#include "io/Text.h"
#include "report/HtmlReport.h"
#ifdef SONDARO_CHECK_MODULE
#include "CliCheck.h"
#endif
#include "SpectrogramTool.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iostream>
#include <mutex>
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

// Runs the analysis of every PATH on the scan engine's workers and keeps, in
// the order met, each file and folder with its row or the sentence that says
// what went wrong. The rows come in listing order, exactly as one thread
// analysing the files one after the other would give them.
class TCliRun {
public:
    explicit TCliRun(const CliOptions& options) : options_(options), list_(options.Columns) {
        // The rows are written once at the end: each row's texts are made
        // then, except for the report, which takes them from the rows.
        list_.SetKeepTexts(options.Html);
    }

    void Run() {
        TScanResultStore* store = nullptr;
#ifdef SONDARO_HAVE_CACHE
        // A verify run reads every file: stored rows would lack its findings.
        if (options_.Cache && !options_.Verify) {
            cache_ = std::make_unique<TResultCache>([this](const std::string& message) {
                progress_.Done();
                std::cerr << "sondaro-cli: " + VisibleText(message) + "\n";
            });
            if (!cache_->Open(TResultCache::DefaultPath())) cache_.reset();
            store = cache_.get();
        }
#else
        if (options_.Cache) std::cerr << "sondaro-cli: This build has no results cache; every file is read.\n";
#endif
        RunScan([this](const TScanAdd& add) { List(add); }, options_.Jobs,
                [this](TScanOutput& output) { Deliver(output); }, store, options_.Verify);
        FlushTrailers(SIZE_MAX);
#ifdef SONDARO_HAVE_CACHE
        if (cache_) cache_->Flush();
#endif
        progress_.Done();
    }

#ifdef SONDARO_CHECK_MODULE
    // The lossless check of every row, through the loaded module; a file that
    // cannot be decoded is named.
    void Check(TCheckModule& module) {
        std::vector<std::string> failures;
        module.CheckListedFiles(list_, failures,
                                [&](std::size_t done, std::size_t count) { progress_.Checked(done, count); });
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
    // What a PATH adds after its files: the folders that could not be listed,
    // a playlist's own failure and notes. Boundary is the number of files
    // listed before it; it is shown once every earlier file was delivered.
    struct TTrailer {
        std::size_t Boundary = 0;
        std::vector<TCliEntry> Entries;
        std::vector<std::string> Notes;   // to standard error after the entries
    };

    // The lister thread: every PATH in order.
    void List(const TScanAdd& add) {
        std::size_t listed = 0;
        bool stopped = false;
        const auto addFile = [&](const std::string& root, const std::string& file) {
            if (stopped) return;
            if (add(root, file)) ++listed;
            else stopped = true;
        };
        for (const std::string& path : options_.Paths) {
            if (stopped) return;
            TTrailer trailer;
            if (FolderExists(path)) {
                TScanCallbacks callbacks;
                callbacks.AnalyseFile = addFile;
                callbacks.Pending = [&] { return stopped; };
                const TScanResult result = ScanFolder(path, options_.Recursive, callbacks);
                for (const TFailure& failure : result.Failures)
                    trailer.Entries.push_back({TCliEntry::kNoRow, {}, failure.Path, true, Sentence(failure.Message)});
            } else if (IsPlaylistPath(path)) {
                const TPlaylistResult result = LoadPlaylist(path, addFile, [&] { return stopped; });
                for (const TFailure& failure : result.Failures)
                    trailer.Entries.push_back(
                        {TCliEntry::kNoRow, path, failure.Path, false, FailureSentence(failure.Path, failure.Message)});
                if (!result.Loaded && result.Failures.empty())
                    trailer.Entries.push_back({TCliEntry::kNoRow, path, path, false, PlaylistSentence(path)});
                // Lines skipped as no path: said, but no file was lost.
                trailer.Notes = result.Notes;
            } else {
                addFile(FolderOf(path), path);
            }
            if (trailer.Entries.empty() && trailer.Notes.empty()) continue;
            trailer.Boundary = listed;
            const std::lock_guard<std::mutex> lock(trailersMutex_);
            trailers_.push_back(std::move(trailer));
        }
    }

    // Shows the trailers of the PATHs whose files all come before index.
    void FlushTrailers(std::size_t index) {
        std::vector<TTrailer> due;
        {
            const std::lock_guard<std::mutex> lock(trailersMutex_);
            while (!trailers_.empty() && trailers_.front().Boundary <= index) {
                due.push_back(std::move(trailers_.front()));
                trailers_.pop_front();
            }
        }
        for (TTrailer& trailer : due) {
            for (TCliEntry& entry : trailer.Entries) Add(std::move(entry));
            for (const std::string& note : trailer.Notes)
                std::cerr << "sondaro-cli: " << VisibleText(Sentence(note)) << '\n';
        }
    }

    // The consumer: one analysed file, in listing order.
    void Deliver(TScanOutput& output) {
        FlushTrailers(output.Index);
        progress_.Update(output.Index + 1, output.Path);
        if (!output.Error.empty()) {
            Add({TCliEntry::kNoRow, output.Root, output.Path, false, FailureSentence(output.Path, output.Error)});
            return;
        }
#ifdef SONDARO_HAVE_CACHE
        if (cache_ && output.HasStamp && !output.FromStore) cache_->Store(output.Path, output.Stamp, *output.Item);
#endif
        const std::size_t row = list_.Rows().size();
        const TAudioItem& item = *list_.AppendItem(std::move(output.Item))->Item;
        // An empty file has its row ("Empty file") and is still named.
        if (HasFinding(item.Health, THealthKind::EmptyFile)) {
            Add({row, output.Root, output.Path, false, "File " + QuotedPath(output.Path) + " is empty."});
            return;
        }
        // A reader that rejected the file leaves the item's defaults, and the
        // row says "File could not be scanned".
        const bool recognised = item.EncoderInfo != kNotScannedText;
        // A row read without fault needs no copy of its path: the item has it.
        if (recognised) Add({row, {}, {}, false, {}});
        else Add({row, output.Root, output.Path, false, NotRecognisedSentence(item)});
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

    const CliOptions& options_;
    TAnalysisList list_;
    std::vector<TCliEntry> entries_;
    Progress progress_;
    bool failed_ = false;
    std::mutex trailersMutex_;
    std::deque<TTrailer> trailers_;
#ifdef SONDARO_HAVE_CACHE
    std::unique_ptr<TResultCache> cache_;
#endif
};

// Writes the desktop program's report of the rows; false when it could not be written.
bool WriteReport(const CliOptions& options, TAnalysisList& list) {
    const std::string& first = options.Paths.front();
    TReportInput report;
    report.Folder = FolderExists(first) ? first : FolderOf(first);
    // Each column at its default width, as the desktop program's fresh layout.
    for (int tag : list.Columns())
        report.Columns.push_back({ColumnDefaultOfTag(tag).Caption, ColumnDefaultOfTag(tag).Width, tag == kColHealth});
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
    if (!options.SpectrogramFile.empty()) {
        if (!RegularFileExists(options.Paths.front())) {
            std::cerr << "sondaro-cli: The option --spectrogram needs a FILE; "
                      << VisibleText(QuotedPath(options.Paths.front())) << " is not one.\n";
            return 2;
        }
        return WriteSpectrogram(options.SpectrogramFile, options.Paths.front());
    }
#ifdef SONDARO_CHECK_MODULE
    // The check's libraries are loaded only now, and before the scan: a check
    // that cannot run is said at once, not after a long scan.
    TCheckModule checkModule;
    if (options.Check) {
        std::string loadError;
        if (!checkModule.Load(loadError)) {
            std::cerr << "sondaro-cli: " << VisibleText(loadError) << '\n';
            return 1;
        }
    }
#else
    if (options.Check) {
        std::cerr << "sondaro-cli: This build has no lossless check (it needs FFmpeg and FFTW).\n";
        return 2;
    }
#endif

    TCliRun run(options);
    run.Run();
#ifdef SONDARO_CHECK_MODULE
    if (options.Check) run.Check(checkModule);
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
