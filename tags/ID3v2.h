// TID3v2: the ID3v2 tag at the start of a file. Its presence and size are read
// for every major version; the text frames of versions 2.2, 2.3 and 2.4.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TID3v2 {
public:
    TID3v2() { ResetData(); }
    void ResetData();
    // False only when the file cannot be opened or is shorter than 10 bytes.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Exists() const { return exists_; }
    uint8_t VersionID() const { return versionID_; }
    // Whole tag length (header, frames, padding, footer); 0 when it would
    // exceed the file.
    int32_t Size() const { return size_; }
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    uint16_t Track() const { return track_; }
    const std::string& TrackString() const { return trackString_; }
    const std::string& Year() const { return year_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Composer() const { return composer_; }
    const std::string& Encoder() const { return encoder_; }
    const std::string& Copyright() const { return copyright_; }
    const std::string& Language() const { return language_; }
    const std::string& Link() const { return link_; }
    const std::string& AudioSizeText() const { return audioSizeText_; }

private:
    bool exists_ = false;
    uint8_t versionID_ = 0;
    int32_t size_ = 0;
    std::string title_, artist_, album_;
    uint16_t track_ = 0;
    std::string trackString_, year_, genre_, comment_, composer_, encoder_, copyright_, language_, link_,
        audioSizeText_;
};
