#include "readers/Mp4File.h"

void TMp4file::ResetData() { valid_ = false; }

bool TMp4file::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
