#include "readers/DTS.h"

void TDTS::ResetData() { valid_ = false; }

bool TDTS::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
