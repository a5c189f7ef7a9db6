// TMatroska: the audio of a Matroska or WebM file (.mka, .webm, .weba, any
// DocType version), read with a small EBML walker of its own.
//
// EBML is a tree of elements, each an ID, a size and the data. The walker
// reads the EBML header (DocType), then the Segment's Info (timestamp scale,
// duration, muxing and writing application) and Tracks (the first audio
// track: codec ID, sampling frequency, channels, bit depth), and passes over
// the Clusters by their sizes, looking into the blocks of the first 16 MiB of
// them to count the audio track's bytes (and, when Info has no duration, the
// time of the last block). An element of unknown size (a live stream's
// Segment or Cluster) is walked into instead of skipped; it ends where an
// element that cannot be its child begins. Laced blocks count all their
// frames.
//
// Why not libebml/libmatroska: the format readers use the standard library
// only; those libraries read whole elements into memory (a hostile size is
// an allocation), and the few elements needed here are a page of code whose
// every read is bounded by the file and a fixed element budget.
#pragma once

#include <cstdint>
#include <string>

class TFileStream;

class TMatroska {
public:
    TMatroska() { ResetData(); }
    void ResetData();
    // True when the file starts with an EBML header and holds a Segment; the
    // caller still tests Valid (an audio track was found). Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);

    bool Valid() const;
    double Duration() const;      // seconds
    int32_t BitRate() const;      // kbit/s over the audio track's blocks
    double Ratio() const;         // percent of PCM of the same length, rate, channels and bits
    std::string CodecName() const;   // "Opus", "Vorbis", "AAC" ... or the codec ID

    int64_t FileSize() const { return fileSize_; }
    const std::string& DocType() const { return docType_; }   // "matroska", "webm"
    uint64_t TimestampScale() const { return timestampScale_; }   // ns per tick
    double InfoDuration() const { return infoDuration_; }          // ticks, 0 when absent
    const std::string& MuxingApp() const { return muxingApp_; }
    const std::string& WritingApp() const { return writingApp_; }
    int32_t TrackCount() const { return trackCount_; }
    uint64_t AudioTrackNumber() const { return audioTrack_; }   // 0: no audio track
    const std::string& CodecId() const { return codecId_; }
    int32_t SampleRate() const { return sampleRate_; }
    int32_t Channels() const { return channels_; }
    int32_t BitsPerSample() const { return bitsPerSample_; }   // the track's bit depth, else 16
    int64_t AudioBytes() const { return audioBytes_; }
    double LastBlockEnd() const { return lastBlockEnd_; }       // seconds, from the blocks walked

private:
    friend struct TMatroskaWalker;

    int64_t fileSize_ = 0;
    std::string docType_;
    uint64_t timestampScale_ = 0;
    double infoDuration_ = 0;
    std::string muxingApp_;
    std::string writingApp_;
    int32_t trackCount_ = 0;
    uint64_t audioTrack_ = 0;
    std::string codecId_;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    int32_t bitsPerSample_ = 0;
    uint64_t defaultDuration_ = 0;   // ns per frame of the audio track
    int64_t audioBytes_ = 0;
    double lastBlockEnd_ = 0;
};
