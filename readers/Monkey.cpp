#include "readers/Monkey.h"

void TMonkey::ResetData() { valid_ = false; }

bool TMonkey::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
