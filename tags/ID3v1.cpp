#include "tags/ID3v1.h"

void TID3v1::ResetData() { exists_ = false; }
bool TID3v1::ReadFromFile(const std::string&) { ResetData(); return true; }
int64_t TID3v1::Lyrics3TotalSize() const { return 0; }
int64_t TID3v1::TrailingTagSize() const { return exists_ ? 128 : 0; }
