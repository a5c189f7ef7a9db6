#include "core/Analysis.h"

#include "core/FormatRegistry.h"
#include "io/Errors.h"
#include "io/FileStream.h"
#include "io/Paths.h"

#include <exception>

TReadResult FillFromReader(TFormatReaders& readers, TAudioItem& item) {
    const TFormatEntry* format = FindFormat(item.FileType);
    if (!format) return TReadResult::NotRecognised();
    try {
        return format->Fill(readers, item);
    } catch (const std::exception& e) {
        return TReadResult::Error(e.what());
    }
}

std::unique_ptr<TAudioItem> AnalyseFile(TFormatReaders& readers, const std::string& root,
                                        const std::string& fullPath) {
    if (FileSizeOf(fullPath) == 0) return nullptr;
    auto item = std::make_unique<TAudioItem>();
    item->Folder = FolderOf(fullPath);
    item->RelativePath = RelativePathOf(root, item->Folder);
    item->FullPath = fullPath;
    item->FileType = FileTypeOf(fullPath);
    const TReadResult result = FillFromReader(readers, *item);
    if (result.Status == TReadStatus::ReadError) throw EReadError(result.Message);
    return item;
}
