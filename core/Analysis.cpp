#include "core/Analysis.h"

#include "core/FormatRegistry.h"
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
                                        const std::string& fullPath) {
    // The one open of the file: the size probe and every reader use it.
    // Other programs may go on writing the file meanwhile.
    TFileStream stream(fullPath, TFileStream::Share::ReadWrite);
    if (stream.Size() == 0) return nullptr;
    auto item = std::make_unique<TAudioItem>();
    SetItemLocation(*item, root, fullPath);
    const TReadResult result = FillFromStream(readers, stream, *item);
    if (result.Status == TReadStatus::ReadError) throw EReadError(result.Message);
    return item;
}
