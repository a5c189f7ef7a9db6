// The format registry: every supported format once, with its extensions, its
// name and the fill function that reads a file of it into a TAudioItem.
//
// The folder scan's extension test, the dispatch of AnalyseFile, the
// command-line help and the README's extension list all come from (or are
// tested against) this table. Adding a format is one row here.
#pragma once

#include "core/AudioItem.h"
#include "core/FormatReaders.h"
#include "io/FileStream.h"
#include "io/ReadResult.h"

#include <string>
#include <string_view>
#include <vector>

// Reads the open stream of item.FullPath with its reader from readers and
// fills the item. Returns Read, or NotRecognised (the item keeps its
// defaults); a reader that raises is turned into ReadError by the caller.
using TFillFunction = TReadResult (*)(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);

struct TFormatEntry {
    std::string Name;                      // the format's name, e.g. "Monkey's Audio"
    std::vector<std::string> Extensions;   // lower-case, without the dot
    TFillFunction Fill = nullptr;
    // Raised whenever the reader's results for a file may change; results
    // stored under another version are read again.
    int Version = 1;
};

// Every format, in the order their extensions are listed.
const std::vector<TFormatEntry>& FormatTable();

// The format of an extension (without its dot, any case); nullptr when no
// format reads it.
const TFormatEntry* FindFormat(std::string_view extensionWithoutDot);

// Every supported extension, lower-case, in table order.
std::vector<std::string> SupportedExtensions();
