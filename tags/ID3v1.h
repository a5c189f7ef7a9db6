// TID3v1: the 128-byte ID3v1 tag at the end of a file (versions 1.0 and 1.1)
// and the Lyrics3 version 2 block that may stand before it.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>

class TID3v1 {
public:
    TID3v1() { ResetData(); }
    void ResetData();
    // True when the file could be read, tag or no tag; look at Exists.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    bool Exists() const { return exists_; }
    uint8_t VersionID() const { return versionID_; }   // 1 = ID3v1.0, 2 = ID3v1.1
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    const std::string& Year() const { return year_; }
    const std::string& Comment() const { return comment_; }
    uint8_t Track() const { return track_; }
    uint8_t GenreID() const { return genreID_; }
    const std::string& ExtendedTitle() const { return extendedTitle_; }
    const std::string& ExtendedArtist() const { return extendedArtist_; }
    const std::string& ExtendedAlbum() const { return extendedAlbum_; }
    const std::string& ExtendedComment() const { return extendedComment_; }
    bool Lyrics3Present() const { return lyrics3Present_; }
    int32_t Lyrics3Size() const { return lyrics3Size_; }
    const std::string& Lyrics3Author() const { return lyrics3Author_; }
    const std::string& Lyrics3Image() const { return lyrics3Image_; }
    const std::string& Lyrics() const { return lyrics_; }

    // Lyrics3Size plus its 15-byte footer; 0 without a Lyrics3 block.
    int64_t Lyrics3TotalSize() const;
    // Bytes at the end of the file taken by the Lyrics3 block and the ID3v1 tag.
    int64_t TrailingTagSize() const;

private:
    void SetTitle(std::string text);
    void SetArtist(std::string text);
    void SetAlbum(std::string text);
    void SetComment(std::string text);

    bool exists_ = false;
    uint8_t versionID_ = 1;
    std::string title_, artist_, album_, year_, comment_;
    uint8_t track_ = 0;
    uint8_t genreID_ = 255;
    std::string extendedTitle_, extendedArtist_, extendedAlbum_, extendedComment_;
    bool lyrics3Present_ = false;
    int32_t lyrics3Size_ = 0;
    std::string lyrics3Author_, lyrics3Image_, lyrics_;
};
