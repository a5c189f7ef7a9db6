#include "readers/WAVfile.h"

void TWAVfile::ResetData() { valid_ = false; }

bool TWAVfile::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
