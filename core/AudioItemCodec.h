// The results of a TAudioItem as bytes and back, for the results cache.
//
// Every result field of TAudioItem is listed once, in TransferResults; the
// encoder and the decoder both run that list, so a new field is one line
// there (and a bump of kAudioItemCodecVersion, which makes the stored rows of
// every earlier layout unreadable, so they are read again from the files).
// The location fields (Folder, RelativePath, FullPath, FileType) are not
// stored: they follow from the path and the scan root.
#pragma once

#include "core/AudioItem.h"

#include <string>
#include <string_view>

inline constexpr int kAudioItemCodecVersion = 2;

// The result fields of item as bytes.
std::string EncodeItemResults(const TAudioItem& item);

// Sets the result fields of item from bytes EncodeItemResults wrote; false
// (item partly set) when the bytes are cut short or have bytes left over.
bool DecodeItemResults(std::string_view bytes, TAudioItem& item);

// The one list of result fields, in stored order. transfer is called with
// each field (a reference to it), whose type it must know.
template <class Item, class Transfer>
void TransferResults(Item& item, Transfer&& transfer) {
    transfer(item.FileSize);
    transfer(item.Duration);
    transfer(item.SampleRate);
    transfer(item.Channels);
    transfer(item.BitsPerSample);
    transfer(item.Ratio);
    transfer(item.BitRate);
    transfer(item.EncoderInfo);
    transfer(item.EncoderEvidence);
    transfer(item.EncoderSettings);
    transfer(item.DurationSamples);
}
