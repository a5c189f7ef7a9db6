#include "readers/Speex.h"

void TSpeex::ResetData() { valid_ = false; }

bool TSpeex::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
