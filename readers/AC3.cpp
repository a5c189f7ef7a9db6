#include "readers/AC3.h"

void TAC3::ResetData() { valid_ = false; }

bool TAC3::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
