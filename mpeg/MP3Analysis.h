// The analysis step for MPEG audio files (MPA, MP1, MP2, MP3): fills the
// item's numbers from the stream reader and composes its encoder info.
#pragma once

#include "core/AudioItem.h"
#include "mpeg/MPEGaudio.h"

// Reads item.FullPath with the given reader; leaves the item untouched when
// the file is not a readable MPEG audio stream. May raise EReadError
// ("Unexpected End Of File.") from the LAME tag after the numbers were filled.
void FillMPEGItem(TMPEGaudio& reader, TAudioItem& item);
