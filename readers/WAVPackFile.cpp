#include "readers/WAVPackFile.h"

void TWAVPackfile::ResetData() { valid_ = false; }

bool TWAVPackfile::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
