#include "readers/Musepack.h"

void TMPEGplus::ResetData() { valid_ = false; }

bool TMPEGplus::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
