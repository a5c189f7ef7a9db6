#include "CliOptions.h"

#include "core/Columns.h"
#include "core/FormatRegistry.h"
#include "io/Text.h"

#include <cerrno>
#include <cstdlib>

namespace {

const char* const kHelpHead =
    "Usage: sondaro-cli [options] PATH...\n"
    "\n"
    "Tells what each audio file is and how it was encoded, from its headers,\n"
    "tags and encoder marks (no audio is decoded).\n"
    "\n"
    "Each PATH is\n"
    "  a folder     its supported files are analysed (with -r also those of\n"
    "               its subfolders, breadth-first); hidden entries are skipped\n"
    "  a playlist   (.m3u, .pls, .fpl) its entries are analysed\n"
    "  a file       it is analysed alone, whatever its extension\n"
    "\n";

const char* const kHelpOptions =
    "Options:\n"
    "  -r, --recursive        scan subfolders too\n"
    "      --verify           read every byte of the audio for the Health column:\n"
    "                         the whole MPEG frame walk and the LAME music CRC,\n"
    "                         every Ogg page checksum, every FLAC frame\n"
    "  -f, --format FORMAT    text (default): a table aligned for the terminal,\n"
    "                         then the totals;\n"
    "                         tsv, csv: a header line of captions and one line\n"
    "                         per file;\n"
    "                         json: every field of every file with raw numbers,\n"
    "                         \"scanned\" and \"error\" per file, the errors and\n"
    "                         the totals\n"
    "  -c, --columns COLUMNS  default: the desktop program's default layout;\n"
    "                         all: every column; or a comma-separated list\n"
    "                         of captions, e.g. \"File Name,Bitrate,Encoder Info\"\n"
    "  -n, --numbers STYLE    list (default): cells exactly as the desktop list\n"
    "                         shows them (\"0.67 MB\", \"03:04\", \"180 kbps\");\n"
    "                         raw: plain numbers without units, with \".\" as the\n"
    "                         decimal point: Size in bytes, Length in seconds\n"
    "                         with three decimals, Sample Rate in Hz, Ratio in\n"
    "                         percent, Bitrate in kbit/s (text, tsv and csv)\n"
    "      --check            decode every listed file and check whether it is\n"
    "                         really lossless: a lossy encoder's cutoff, an\n"
    "                         upsampled rate, padded bits, clipping; fills the\n"
    "                         Lossless Check column (added to the default\n"
    "                         columns) and, in JSON, \"losslessCheck\" with the\n"
    "                         cutoff, levels and verdict\n"
    "      --spectrogram OUT.png\n"
    "                         write the spectrogram of the one FILE given to\n"
    "                         OUT.png, the desktop program's picture (drawn by\n"
    "                         its tool sondaro-spectrogram, installed with it);\n"
    "                         nothing else is written\n"
    "  -j, --jobs N           analyse N files at once (default: one per\n"
    "                         processor); the output is the same for every N\n"
    "      --cache            take the results of files unchanged since an earlier\n"
    "                         run with --cache from the results cache, without\n"
    "                         opening them, and keep the results of the others\n"
    "                         there ($XDG_CACHE_HOME/sondaro, else\n"
    "                         ~/.cache/sondaro); a file counts as unchanged when\n"
    "                         its path, size, modification time and inode are\n"
    "                         the same and its reader has not changed\n"
    "      --no-cache         read every file (the default)\n"
    "      --html[=FILE]      also write the desktop program's HTML report: to\n"
    "                         FILE, or else as \"!Sdro Analysis.html\" into the\n"
    "                         first PATH (a folder) or the folder holding it.\n"
    "                         FILE may also be the next argument when it ends\n"
    "                         in .html or .htm\n"
    "  -V, --version          show the version and exit\n"
    "  -h, --help             show this help and exit\n"
    "\n"
    "Columns: Relative Path, File Name, Type, Size, Length, Sample Rate,\n"
    "Channels, Bits Per Sample, Ratio, Bitrate, Encoder Info, Health,\n"
    "Lossless Check\n"
    "\n"
    "A progress line is written to standard error while scanning when it is a\n"
    "terminal. Every file that cannot be opened or read, is empty or is not\n"
    "recognised (its row says \"File could not be scanned\"), and every folder\n"
    "that cannot be listed, is named once on standard error with the reason;\n"
    "the rest is still listed.\n"
    "\n"
    "Exit status:\n"
    "  0  every file named or found was read and recognised\n"
    "  1  at least one file could not be opened or read, was empty or was not\n"
    "     recognised, a folder could not be listed, or the list or the report\n"
    "     could not be written\n"
    "  2  usage error, or a PATH that does not exist (nothing is analysed)\n";

// "Supported extensions: aac ac3 ...", wrapped before column 72.
std::string ExtensionsParagraph() {
    std::string text = "Supported extensions:";
    std::size_t lineStart = 0;
    for (const std::string& extension : SupportedExtensions()) {
        if (text.size() - lineStart + 1 + extension.size() > 72) {
            text += '\n';
            lineStart = text.size();
        } else {
            text += ' ';
        }
        text += extension;
    }
    return text + "\n\n";
}

} // namespace

std::string CliHelp() { return kHelpHead + ExtensionsParagraph() + kHelpOptions; }

bool ParseColumnList(const std::string& list, std::vector<int>& tags, std::string& error) {
    tags.clear();
    if (list == "default") {
        TColumnLayout layout = DefaultColumnLayout();
        tags = BuildColumns(layout);
        return true;
    }
    if (list == "all") {
        for (const TColumnDefault& column : kColumnDefaults) tags.push_back(column.Tag);
        return true;
    }
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string caption = Trim(list.substr(start, end - start));
        start = end + 1;
        int found = -1;
        for (const TColumnDefault& column : kColumnDefaults)
            if (EqualsIgnoreAsciiCase(caption, column.Caption)) found = column.Tag;
        if (found < 0) {
            error = "There is no column \"" + caption + "\".";
            return false;
        }
        tags.push_back(found);
    }
    return true;
}

namespace {

bool EndsWithHtml(const std::string& arg) {
    const std::string lower = AsciiLower(arg);
    const auto ends = [&](const std::string& suffix) {
        return lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return ends(".html") || ends(".htm");
}

// A worker count from 1 to 1024.
bool ParseJobs(const std::string& value, unsigned& jobs, std::string& error) {
    char* end = nullptr;
    errno = 0;
    const unsigned long count = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || value[0] < '0' || value[0] > '9' || *end != '\0' || errno != 0 || count < 1 ||
        count > 1024) {
        error = "The number of jobs \"" + value + "\" is not a number from 1 to 1024.";
        return false;
    }
    jobs = static_cast<unsigned>(count);
    return true;
}

} // namespace

bool ParseCliOptions(int argc, char** argv, CliOptions& options, std::string& error) {
    std::string columns = "default";
    bool onlyPaths = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // "--name=value" or "--name value" (and "-x value" for the short name).
        const auto takes = [&](const char* shortName, const std::string& longName, std::string& value) {
            if (arg.rfind(longName + "=", 0) == 0) {
                value = arg.substr(longName.size() + 1);
                return true;
            }
            if (arg != shortName && arg != longName) return false;
            if (i + 1 >= argc) {
                error = "The option " + arg + " needs a value.";
                value.clear();
                return true;
            }
            value = argv[++i];
            return true;
        };
        std::string value;
        if (onlyPaths || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Paths.push_back(arg);
        } else if (arg == "--") {
            onlyPaths = true;
        } else if (arg == "-h" || arg == "--help") {
            options.Help = true;
        } else if (arg == "-V" || arg == "--version") {
            options.Version = true;
        } else if (arg == "--html") {
            options.Html = true;
            if (i + 1 < argc && EndsWithHtml(argv[i + 1])) options.HtmlFile = argv[++i];
        } else if (arg.rfind("--html=", 0) == 0) {
            options.Html = true;
            options.HtmlFile = arg.substr(7);
            if (options.HtmlFile.empty()) {
                error = "The option --html= needs a file name.";
                return false;
            }
        } else if (arg == "--check") {
            options.Check = true;
        } else if (takes("", "--spectrogram", value)) {
            if (!error.empty()) return false;
            if (value.empty()) {
                error = "The option --spectrogram needs a file name.";
                return false;
            }
            options.SpectrogramFile = value;
        } else if (arg == "--cache") {
            options.Cache = true;
        } else if (arg == "--no-cache") {
            options.Cache = false;
        } else if (arg == "-r" || arg == "--recursive") {
            options.Recursive = true;
        } else if (arg == "--verify") {
            options.Verify = true;
        } else if (takes("-f", "--format", value)) {
            if (!error.empty()) return false;
            if (value == "text") options.Format = OutputFormat::Text;
            else if (value == "tsv") options.Format = OutputFormat::Tsv;
            else if (value == "csv") options.Format = OutputFormat::Csv;
            else if (value == "json") options.Format = OutputFormat::Json;
            else {
                error = "There is no output format \"" + value + "\"; use text, tsv, csv or json.";
                return false;
            }
        } else if (takes("-n", "--numbers", value)) {
            if (!error.empty()) return false;
            if (value == "list") options.Numbers = NumberStyle::List;
            else if (value == "raw") options.Numbers = NumberStyle::Raw;
            else {
                error = "There is no number style \"" + value + "\"; use list or raw.";
                return false;
            }
        } else if (takes("-j", "--jobs", value) || (arg.rfind("-j", 0) == 0 && arg.size() > 2)) {
            if (!error.empty()) return false;
            if (arg.rfind("-j", 0) == 0 && arg.size() > 2) value = arg.substr(2);   // "-j4"
            if (!ParseJobs(value, options.Jobs, error)) return false;
        } else if (takes("-c", "--columns", value)) {
            if (!error.empty()) return false;
            columns = value;
        } else {
            error = "There is no option " + arg + ".";
            return false;
        }
    }
    if (!ParseColumnList(columns, options.Columns, error)) return false;
    // The check fills its column: the default layout shows it after the others.
    if (options.Check && columns == "default") options.Columns.push_back(kColLosslessCheck);

    if (!options.Help && !options.Version && options.Paths.empty()) {
        error = "No PATH was given.";
        return false;
    }
    // The picture is of one file and is all that such a run writes.
    if (!options.SpectrogramFile.empty() && !options.Help && !options.Version) {
        if (options.Paths.size() != 1) {
            error = "The option --spectrogram takes exactly one FILE.";
            return false;
        }
        if (options.Check || options.Html) {
            error = std::string("The option --spectrogram cannot be combined with ") +
                    (options.Check ? "--check." : "--html.");
            return false;
        }
    }
    return true;
}
