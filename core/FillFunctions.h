// The fill functions: one per format, each runs its reader on item.FullPath
// and copies the results into the item with the unit conversions of its
// format, the shared compression ratio and the composed encoder info.
//
// Each returns Read, or NotRecognised when the reader rejects the file (the
// item keeps its defaults). A reader's exception passes through; AnalyseFile
// turns it into a reported failure.
#pragma once

#include "core/AudioItem.h"
#include "core/FormatReaders.h"
#include "io/ReadResult.h"

TReadResult FillAAC(TFormatReaders& readers, TAudioItem& item);
TReadResult FillAC3(TFormatReaders& readers, TAudioItem& item);   // AC-3 and E-AC-3
TReadResult FillAIFF(TFormatReaders& readers, TAudioItem& item);
TReadResult FillMonkey(TFormatReaders& readers, TAudioItem& item);
TReadResult FillDSDIFF(TFormatReaders& readers, TAudioItem& item);
TReadResult FillDSF(TFormatReaders& readers, TAudioItem& item);
TReadResult FillDTS(TFormatReaders& readers, TAudioItem& item);
TReadResult FillFLAC(TFormatReaders& readers, TAudioItem& item);
TReadResult FillMatroska(TFormatReaders& readers, TAudioItem& item);
TReadResult FillMPEG(TFormatReaders& readers, TAudioItem& item);
TReadResult FillMp4(TFormatReaders& readers, TAudioItem& item);
// Stream version 8 ("MPCK") by its own reader, versions 4 to 7.1 by TMPEGplus.
TReadResult FillMusepack(TFormatReaders& readers, TAudioItem& item);
TReadResult FillOptimFrog(TFormatReaders& readers, TAudioItem& item);
// Any Ogg file, by its first packet: Opus, FLAC, Speex, else Vorbis.
TReadResult FillOgg(TFormatReaders& readers, TAudioItem& item);
TReadResult FillOggVorbis(TFormatReaders& readers, TAudioItem& item);
TReadResult FillSpeex(TFormatReaders& readers, TAudioItem& item);
TReadResult FillTTA(TFormatReaders& readers, TAudioItem& item);
TReadResult FillTwinVQ(TFormatReaders& readers, TAudioItem& item);
TReadResult FillWAV(TFormatReaders& readers, TAudioItem& item);
TReadResult FillWMA(TFormatReaders& readers, TAudioItem& item);
TReadResult FillWavPack(TFormatReaders& readers, TAudioItem& item);

// The MPEG audio step with a reader of its own (tests, fuzz target): the
// stream's numbers, then the LAME tag for the encoder info. May raise
// EReadError ("Unexpected End Of File.") from a LAME tag cut short.
TReadResult FillMPEGItem(TMPEGaudio& reader, TAudioItem& item);
