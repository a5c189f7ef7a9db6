// TAPETag: an APE tag (version 1 or 2) at the end of a file, found by its
// 32-byte "APETAGEX" footer, before an ID3v1 tag if there is one.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>
#include <vector>

struct AField {
    std::string Name;
    std::string Value;
};

class TAPETag {
public:
    TAPETag() { ResetData(); }
    void ResetData();
    // True when 32 footer bytes could be read where the footer belongs,
    // whether or not they hold a tag; look at Exists.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Exists() const { return exists_; }
    int32_t Version() const { return version_; }
    // Item bytes plus the 32-byte footer, without a header.
    int32_t Size() const { return size_; }
    const std::vector<AField>& Fields() const { return fields_; }

private:
    bool exists_ = false;
    int32_t version_ = 0;
    int32_t size_ = 0;
    std::vector<AField> fields_;
};
