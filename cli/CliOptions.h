// Command-line options of sondaro-cli.
#pragma once

#include <string>
#include <vector>

enum class OutputFormat { Text, Tsv, Csv, Json };

// How the number columns are written: as the list shows them ("0.67 MB",
// "180 kbps") or as plain numbers a spreadsheet can sum.
enum class NumberStyle { List, Raw };

struct CliOptions {
    bool Recursive = false;
    unsigned Jobs = 0;               // files analysed at once; 0: one per processor
    bool Cache = false;              // use and fill the results cache
    bool Help = false;
    bool Version = false;
    bool Html = false;               // also write the HTML report
    bool Verify = false;             // read every byte of the audio for the Health column
    std::string HtmlFile;            // its destination; empty: into the first PATH's folder
    OutputFormat Format = OutputFormat::Text;
    NumberStyle Numbers = NumberStyle::List;
    std::vector<int> Columns;        // column tags in output order
    bool Check = false;              // run the lossless-origin check on every listed file
    std::string SpectrogramFile;     // --spectrogram: write the picture of the one PATH here, nothing else
    std::vector<std::string> Paths;
};

// Parses argv; on a usage error returns false and sets error (a sentence).
bool ParseCliOptions(int argc, char** argv, CliOptions& options, std::string& error);

// Column tags for "default", "all" or a comma-separated list of captions
// (case-insensitive); false with error for an unknown caption.
bool ParseColumnList(const std::string& list, std::vector<int>& tags, std::string& error);

// The --help text; its extension list comes from the format registry.
std::string CliHelp();
