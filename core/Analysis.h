// AnalyseFile: the single road from a file path to a TAudioItem. The reader is
// picked by the upper-cased extension; its results are copied into the item
// with the unit conversions of each format, and the encoder info is composed.
#pragma once

#include "core/AudioItem.h"
#include "core/FormatReaders.h"

#include <memory>
#include <string>

// Analyses fullPath (root is the scan root, or the playlist path for playlist
// entries). Returns nullptr for an empty file. Raises EFOpenError when the
// file cannot be opened, and lets a reader's own error through.
std::unique_ptr<TAudioItem> AnalyseFile(TFormatReaders& readers, const std::string& root,
                                        const std::string& fullPath);

// Runs the reader of item.FileType on item.FullPath and copies its results
// into the item; an unknown type or a rejected file keeps the defaults.
void FillFromReader(TFormatReaders& readers, TAudioItem& item);
