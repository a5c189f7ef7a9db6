#include "readers/TTA.h"

void TTTA::ResetData() { valid_ = false; }

bool TTTA::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
