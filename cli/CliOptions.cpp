#include "CliOptions.h"

#include "core/Columns.h"
#include "core/FormatRegistry.h"
#include "io/Text.h"

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
    "  -f, --format FORMAT    text (default): an aligned table and the totals;\n"
    "                         tsv, csv: a header line of captions and one line\n"
    "                         per file, cells exactly as the list shows them;\n"
    "                         json: every field of every file with raw numbers,\n"
    "                         and the totals\n"
    "  -c, --columns COLUMNS  default: the desktop program's default layout;\n"
    "                         all: all eleven columns; or a comma-separated list\n"
    "                         of captions, e.g. \"File Name,Bitrate,Encoder Info\"\n"
    "      --html             also write the desktop program's HTML report,\n"
    "                         \"!Sdro Analysis.html\", into the first PATH (a\n"
    "                         folder) or the folder holding it\n"
    "  -h, --help             show this help\n"
    "\n"
    "Columns: Relative Path, File Name, Type, Size, Length, Sample Rate,\n"
    "Channels, Bits Per Sample, Ratio, Bitrate, Encoder Info\n"
    "\n"
    "A progress line is written to standard error while scanning when it is a\n"
    "terminal. Files that cannot be read are named on standard error with the\n"
    "reason, and the rest are still listed.\n"
    "\n"
    "Exit status: 0 every file could be read, 1 some could not, 2 usage error\n"
    "or a PATH that does not exist.\n";

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
        for (int tag = 0; tag < kColumnCount; ++tag) tags.push_back(tag);
        return true;
    }
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string caption = Trim(list.substr(start, end - start));
        start = end + 1;
        int found = -1;
        for (int tag = 0; tag < kColumnCount; ++tag)
            if (EqualsIgnoreAsciiCase(caption, kColumnDefaults[tag].Caption)) found = tag;
        if (found < 0) {
            error = "unknown column \"" + caption + "\"";
            return false;
        }
        tags.push_back(found);
    }
    return true;
}

bool ParseCliOptions(int argc, char** argv, CliOptions& options, std::string& error) {
    std::string columns = "default";
    bool onlyPaths = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](const std::string& name) -> const char* {
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (onlyPaths || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Paths.push_back(arg);
        } else if (arg == "--") {
            onlyPaths = true;
        } else if (arg == "-h" || arg == "--help") {
            options.Help = true;
        } else if (arg == "--html") {
            options.Html = true;
        } else if (arg == "-r" || arg == "--recursive") {
            options.Recursive = true;
        } else if (arg == "-f" || arg == "--format" || arg.rfind("--format=", 0) == 0) {
            const char* v = arg.rfind("--format=", 0) == 0 ? arg.c_str() + 9 : value(arg);
            if (!v) return false;
            const std::string format = v;
            if (format == "text") options.Format = OutputFormat::Text;
            else if (format == "tsv") options.Format = OutputFormat::Tsv;
            else if (format == "csv") options.Format = OutputFormat::Csv;
            else if (format == "json") options.Format = OutputFormat::Json;
            else {
                error = "unknown format \"" + format + "\" (text, tsv, csv or json)";
                return false;
            }
        } else if (arg == "-c" || arg == "--columns" || arg.rfind("--columns=", 0) == 0) {
            const char* v = arg.rfind("--columns=", 0) == 0 ? arg.c_str() + 10 : value(arg);
            if (!v) return false;
            columns = v;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (!ParseColumnList(columns, options.Columns, error)) return false;
    if (!options.Help && options.Paths.empty()) {
        error = "no PATH given";
        return false;
    }
    return true;
}
