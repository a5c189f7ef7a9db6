#include "readers/WMAfile.h"

void TWMAfile::ResetData() { valid_ = false; }

bool TWMAfile::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
