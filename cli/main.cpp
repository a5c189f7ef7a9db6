// sondaro-cli: analyses folders, playlists and files and prints one row per
// file with the totals, using the same analysis core as the desktop program.
#include "CliOptions.h"
#include "CliOutput.h"

#include "core/AnalysisList.h"
#include "core/FolderScan.h"
#include "io/Paths.h"
#include "core/Playlists.h"
#include "report/HtmlReport.h"

#include <clocale>
#include <cstdio>
#include <iostream>

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
class Progress {
public:
    Progress() : enabled_(ProgressTerminal()) {}
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
        std::cerr << "sondaro-cli: " << error << "\nTry 'sondaro-cli --help'.\n";
        return 2;
    }
    if (options.Help) {
        std::cout << CliHelp();
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
            for (const std::string& note : result.Notes) std::cerr << "sondaro-cli: " << VisibleText(note) << '\n';
        } else {
            try {
                analyse(FolderOf(path), path);
            } catch (const std::exception& e) {
                failures.push_back(FailureOf(path, e.what()));
            }
        }
    }
    progress.Done();

    const TStatusTexts status = list.ShowTotals();
    WriteOutput(std::cout, options.Format, list, status);
    std::cout.flush();

    for (const TFailure& failure : failures) std::cerr << "sondaro-cli: " << VisibleText(failure.Message) << '\n';

    if (options.Html) {
        // The desktop program's report, with each column at its default width.
        const std::string& first = options.Paths.front();
        TReportInput report;
        report.Folder = FolderExists(first) ? first : FolderOf(first);
        for (int tag : list.Columns()) report.Columns.push_back({kColumnDefaults[tag].Caption, kColumnDefaults[tag].Width});
        for (const TListRow& row : list.Rows()) report.Rows.push_back(&row.Texts);
        report.Totals = list.Totals();
        try {
            const std::string written = WriteHtmlReport(report);   // before anything says it was
            std::cerr << "sondaro-cli: report written to " << written << '\n';
        } catch (const std::exception& e) {
            std::cerr << "sondaro-cli: " << e.what() << '\n';
            return 1;
        }
    }
    return failures.empty() ? 0 : 1;
}
