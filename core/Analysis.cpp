#include "core/Analysis.h"

#include "core/FormatRegistry.h"
#include "core/Verify.h"
#include "io/Errors.h"
#include "io/Paths.h"

#include <exception>

TReadResult FillFromStream(TFormatReaders& readers, TFileStream& stream, TAudioItem& item) {
    const TFormatEntry* format = FindFormat(item.FileType);
    if (!format) return TReadResult::NotRecognised();
    try {
        return format->Fill(readers, stream, item);
    } catch (const std::exception& e) {
        return TReadResult::Error(e.what());
    }
}

TReadResult FillFromReader(TFormatReaders& readers, TAudioItem& item) {
    try {
        TFileStream stream(item.FullPath, TFileStream::Share::ReadWrite);
        return FillFromStream(readers, stream, item);
    } catch (const std::exception& e) {
        return TReadResult::Error(e.what());
    }
}

void SetItemLocation(TAudioItem& item, const std::string& root, const std::string& fullPath) {
    item.Folder = FolderOf(fullPath);
    item.RelativePath = RelativePathOf(root, item.Folder);
    item.FullPath = fullPath;
    item.FileType = FileTypeOf(fullPath);
}

std::unique_ptr<TAudioItem> AnalyseFile(TFormatReaders& readers, const std::string& root,
                                        const std::string& fullPath, bool verify) {
    // The one open of the file: the size probe and every reader use it.
    // Other programs may go on writing the file meanwhile.
    TFileStream stream(fullPath, TFileStream::Share::ReadWrite);
    auto item = std::make_unique<TAudioItem>();
    SetItemLocation(*item, root, fullPath);
    // An empty file keeps its row, so that an audit finds it.
    if (stream.Size() == 0) {
        AddFinding(item->Health, Finding(THealthKind::EmptyFile));
        return item;
    }
    const TReadResult result = FillFromStream(readers, stream, *item);
    if (result.Status == TReadStatus::ReadError) throw EReadError(result.Message);
    if (result.Status == TReadStatus::NotRecognised) {
        // Findings noticed before the reader gave up stay behind this one.
        AddFinding(item->Health, Finding(THealthKind::NotRecognised));
    }
    if (verify) VerifyItem(readers, stream, *item);
    return item;
}
