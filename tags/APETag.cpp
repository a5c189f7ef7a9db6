#include "tags/APETag.h"

void TAPETag::ResetData() { exists_ = false; }
bool TAPETag::ReadFromFile(const std::string&) { ResetData(); return true; }
