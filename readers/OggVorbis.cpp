#include "readers/OggVorbis.h"

void TOggVorbis::ResetData() { valid_ = false; }

bool TOggVorbis::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
