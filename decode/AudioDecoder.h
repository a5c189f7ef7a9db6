// Decodes one audio file to PCM through FFmpeg (libavformat finds the first
// audio stream, libavcodec decodes it, libswresample makes the samples
// planar). Reads every format FFmpeg reads: FLAC, ALAC, Monkey's Audio,
// WavPack, TTA, WAV/AIFF PCM and the lossy formats.
#pragma once

#include "decode/PcmBlock.h"

#include <memory>
#include <string>

class TAudioDecoder {
public:
    TAudioDecoder();
    ~TAudioDecoder();
    TAudioDecoder(const TAudioDecoder&) = delete;
    TAudioDecoder& operator=(const TAudioDecoder&) = delete;

    // Opens path and its first audio stream. False when FFmpeg cannot read or
    // decode it; Error() then says why ("Cannot decode: ...").
    bool Open(const std::string& path);
    const TStreamInfo& Info() const;

    // The next block of samples (the frames of one or more decoded packets).
    // False at the end of the stream, or on a fault that ends decoding, when
    // Error() is no longer empty. Damaged packets are skipped and counted.
    bool Read(TPcmBlock& block);

    const std::string& Error() const;
    int DamagedPackets() const;

private:
    struct TState;
    std::unique_ptr<TState> State;
};
