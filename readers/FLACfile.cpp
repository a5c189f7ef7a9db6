#include "readers/FLACfile.h"

void TFLACfile::ResetData() { valid_ = false; }

bool TFLACfile::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
