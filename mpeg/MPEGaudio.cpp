#include "mpeg/MPEGaudio.h"

void TMPEGaudio::ResetData() { valid_ = false; }

bool TMPEGaudio::ReadFromFile(const std::string&) {
    ResetData();
    return false;
}
