// TFormatReaders: one instance of every format reader, created once and
// reused for every file of its format (each ReadFromFile resets its reader).
#pragma once

#include "mpeg/MPEGaudio.h"
#include "readers/AACfile.h"
#include "readers/AC3.h"
#include "readers/AIFF.h"
#include "readers/DSDIFF.h"
#include "readers/DSF.h"
#include "readers/DTS.h"
#include "readers/FLACfile.h"
#include "readers/Matroska.h"
#include "readers/Monkey.h"
#include "readers/Mp4File.h"
#include "readers/Musepack.h"
#include "readers/MusepackSV8.h"
#include "readers/OggFLAC.h"
#include "readers/OggVorbis.h"
#include "readers/Opus.h"
#include "readers/OptimFROG.h"
#include "readers/Speex.h"
#include "readers/TTA.h"
#include "readers/TwinVQ.h"
#include "readers/WAVPackFile.h"
#include "readers/WAVfile.h"
#include "readers/WMAfile.h"

// Members in the order the readers are created.
struct TFormatReaders {
    TAACfile AACfile;
    TAC3 AC3;
    TAIFF AIFF;
    TDTS DTS;
    TFLACfile FLACfile;
    TMonkey Monkey;
    TMPEGaudio MPEGaudio;
    TMp4file Mp4file;
    TMPEGplus MPEGplus;
    TOptimFrog OptimFrog;
    TOggVorbis OggVorbis;
    TSpeex Speex;
    TTTA TTA;
    TTwinVQ TwinVQ;
    TWAVfile WAVfile;
    TWMAfile WMAfile;
    TWAVPackfile WAVPackfile;
    TOpus Opus;
    TOggFLAC OggFLAC;
    TMusepackSV8 MusepackSV8;
    TDSF DSF;
    TDSDIFF DSDIFF;
    TMatroska Matroska;
};
