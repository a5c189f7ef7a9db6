#include "readers/TwinVQ.h"

void TTwinVQ::ResetData() { valid_ = false; }

bool TTwinVQ::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
