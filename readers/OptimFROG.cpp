#include "readers/OptimFROG.h"

void TOptimFrog::ResetData() { valid_ = false; }

bool TOptimFrog::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
