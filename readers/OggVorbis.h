// TOggVorbis: Ogg Vorbis files (Vorbis I in an Ogg stream), optionally behind
// an ID3v2 tag.
//
// The stream opens with three header packets: identification (channels,
// sample rate, nominal bitrate), comment (vendor string and tag fields) and
// setup; the audio packets follow on pages of their own. The granule position
// of the last complete page gives the sample count, and the bytes of the
// audio pages over that length the average bitrate. The vendor string is
// turned into a libVorbis release name by a table and a rule for later
// releases.
#pragma once

#include "io/FileStream.h"

#include "readers/OggPages.h"

#include <cstdint>
#include <string>

class TOggVorbis {
public:
    TOggVorbis() { ResetData(); }

    void ResetData();
    // True when the first page is an Ogg page holding a Vorbis identification
    // header; the caller still tests Valid. Open errors raise.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Valid() const;
    double Duration() const;
    uint16_t BitRate() const;   // average, kbit/s
    double Ratio() const;
    std::string EncoderRelease() const;

    int64_t FileSize() const { return fileSize_; }
    uint8_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    uint16_t NominalBitRate() const { return nominalBitRate_; }   // kbit/s
    // Granule position of the last complete page of the stream; 0 when none
    // was found near the end of the file.
    int64_t Samples() const { return samples_; }
    int32_t ID3v2Size() const { return id3v2Size_; }
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    uint8_t Track() const { return track_; }
    const std::string& Date() const { return date_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Vendor() const { return vendor_; }
    // Bytes of the header packets' pages (behind any ID3v2 tag), and of the
    // audio pages up to the end of the last complete page.
    int64_t HeaderBytes() const { return headerBytes_; }
    int64_t AudioBytes() const { return audioBytes_; }
    // The file ends inside a page: the last page is cut short.
    bool LastPageCut() const { return lastPageCut_; }
    // Pages read whose checksum does not match.
    int ChecksumFailures() const { return checksumFailures_; }
    // The checksums of the pages read, and how the stream ends.
    const TOggStreamEnd& StreamEnd() const { return streamEnd_; }

private:
    int64_t fileSize_ = 0;
    uint8_t channels_ = 0;
    int32_t sampleRate_ = 0;
    uint16_t nominalBitRate_ = 0;
    int64_t samples_ = 0;
    int32_t id3v2Size_ = 0;
    std::string title_, artist_, album_;
    uint8_t track_ = 0;
    std::string date_, genre_, comment_, vendor_;
    int64_t headerBytes_ = 0;
    int64_t audioBytes_ = 0;
    bool lastPageCut_ = false;
    int checksumFailures_ = 0;
    TOggStreamEnd streamEnd_;
};

// The libVorbis release that wrote a vendor string: from the table of known
// strings; for another "Xiph.Org libVorbis I YYYYMMDD" string the newest
// release of that date or before, followed by " or later"; for an aoTuV
// string "aoTuV" with the beta number and date it states; otherwise the
// vendor string itself.
std::string VorbisEncoderRelease(const std::string& vendor);
