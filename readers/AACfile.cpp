#include "readers/AACfile.h"

void TAACfile::ResetData() { valid_ = false; }

bool TAACfile::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
