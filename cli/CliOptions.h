// Command-line options of sondaro-cli.
#pragma once

#include <string>
#include <vector>

enum class OutputFormat { Text, Tsv, Csv, Json };

struct CliOptions {
    bool Recursive = false;
    bool Help = false;
    bool Html = false;               // also write the HTML report into the first PATH's folder
    OutputFormat Format = OutputFormat::Text;
    std::vector<int> Columns;        // column tags in output order
    std::vector<std::string> Paths;
};

// Parses argv; on a usage error returns false and sets error.
bool ParseCliOptions(int argc, char** argv, CliOptions& options, std::string& error);

// Column tags for "default", "all" or a comma-separated list of captions
// (case-insensitive); false with error for an unknown caption.
bool ParseColumnList(const std::string& list, std::vector<int>& tags, std::string& error);

// The --help text; its extension list comes from the format registry.
std::string CliHelp();
