#include "mpeg/MP3Analysis.h"

void FillMPEGItem(TMPEGaudio& reader, TAudioItem& item) {
    if (!reader.ReadFromFile(item.FullPath) || !reader.Valid()) return;
    item.FileSize = reader.FileSize();
    item.Duration = reader.Duration();
    item.SampleRate = reader.SampleRate();
    item.Channels = reader.ChannelMode() == "Mono" ? 1 : 2;
    item.BitsPerSample = 16;
    item.Ratio = reader.Ratio();
    item.BitRate = reader.BitRate();
}
