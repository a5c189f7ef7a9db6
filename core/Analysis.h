// AnalyseFile: the single road from a file path to a TAudioItem. The format is
// picked from the format registry by the extension; its fill function runs
// the reader and copies the results into the item.
#pragma once

#include "core/AudioItem.h"
#include "core/FormatReaders.h"
#include "io/FileStream.h"
#include "io/ReadResult.h"

#include <memory>
#include <string>

// Analyses fullPath (root is the scan root, or the playlist path for playlist
// entries). An empty file gives an item whose health says "Empty file". This
// is the one place where a read result becomes a row or a failure:
//   Read, NotRecognised  an item (NotRecognised: "File could not be scanned",
//                        health "Not recognised")
//   ReadError            raises EReadError with the result's message
// Raises EFOpenError when the file cannot be opened. verify: the item also
// gets the verify pass (core/Verify.h) on the same open file.
std::unique_ptr<TAudioItem> AnalyseFile(TFormatReaders& readers, const std::string& root,
                                        const std::string& fullPath, bool verify = false);

// Sets the fields that say where the file is: Folder, RelativePath (to
// root), FullPath and FileType (from the extension).
void SetItemLocation(TAudioItem& item, const std::string& root, const std::string& fullPath);

// Runs the fill function of item.FileType on stream, the open file
// item.FullPath. An unknown type is NotRecognised; a reader that raises gives
// ReadError with its message.
TReadResult FillFromStream(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);

// The same, opening item.FullPath first (an open error is a ReadError too).
TReadResult FillFromReader(TFormatReaders& readers, TAudioItem& item);
