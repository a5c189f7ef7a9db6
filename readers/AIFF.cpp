#include "readers/AIFF.h"

void TAIFF::ResetData() { valid_ = false; }

bool TAIFF::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
