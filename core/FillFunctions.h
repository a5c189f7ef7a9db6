// The fill functions: one per format, each runs its reader on the file's open
// stream (item.FullPath names it) and copies the results into the item with the unit conversions of its
// format, the shared compression ratio and the composed encoder info.
//
// Each returns Read, or NotRecognised when the reader rejects the file (the
// item keeps its defaults). A reader's exception passes through; AnalyseFile
// turns it into a reported failure.
#pragma once

#include "core/AudioItem.h"
#include "core/FormatReaders.h"
#include "io/FileStream.h"
#include "io/ReadResult.h"

TReadResult FillAAC(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillAC3(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);   // AC-3 and E-AC-3
TReadResult FillAIFF(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillMonkey(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillDSDIFF(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillDSF(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillDTS(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillFLAC(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillMatroska(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillMPEG(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillMp4(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
// Stream version 8 ("MPCK") by its own reader, versions 4 to 7.1 by TMPEGplus.
TReadResult FillMusepack(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillOptimFrog(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
// Any Ogg file, by its first packet: Opus, FLAC, Speex, else Vorbis.
TReadResult FillOgg(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillOggVorbis(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillSpeex(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillTTA(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillTwinVQ(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillWAV(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillWMA(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);
TReadResult FillWavPack(TFormatReaders& readers, TFileStream& stream, TAudioItem& item);

// The MPEG audio step with a reader of its own: the stream's numbers, then
// the encoder info from the marks the file carries.
TReadResult FillMPEGItem(TMPEGaudio& reader, TFileStream& stream, TAudioItem& item);
// The same on item.FullPath, opened here (tests, fuzz target).
TReadResult FillMPEGItem(TMPEGaudio& reader, TAudioItem& item);

// A truncated stream: the item's length, ratio (against PCM with headerBytes
// of header) and, when bitRateFromLength (the bitrate is the file's bytes
// over the length), bitrate become those of the presentSeconds of audio
// there; the declared length stays in the finding only.
void ApplyTruncation(TAudioItem& item, double presentSeconds, int32_t headerBytes, bool bitRateFromLength);

// Musepack stream version 7 and 7.1: the frames are walked up to walkLimit
// bytes after the header; frames that run past the end make the item
// truncated.
bool IsMusepackSV7(const TMPEGplus& reader);
void CheckMusepackSV7Frames(const TMPEGplus& reader, TFileStream& stream, TAudioItem& item, int64_t walkLimit);
