// TMp4file: MPEG-4 / QuickTime-structured audio files (MP4, M4A, M4B) as laid
// down in ISO/IEC 14496-12 and 14496-14, with the iTunes-style metadata item
// list.
//
// One pass over the atoms (boxes) in storage order: containers are opened,
// everything else skipped. It reads 32-bit and 64-bit atom sizes, version 0
// and version 1 headers, every track's handler, media header and sample
// description, and fragmented files ("mvex", then "moof"/"mdat" pairs). The
// first sound track decides: its media header gives the playing time and
// its first audio sample entry the codec, channels and rate, refined by the
// codec's own configuration box ("esds" AudioSpecificConfig for AAC, with
// HE-AAC and HE-AACv2 signalling; "alac", "dOps", "dfLa", "dac3", "dec3").
// Video, text and chapter tracks are ignored. Tags are optional: every item
// of the "udta/meta/ilst" list is read (freeform "----" items and cover
// pictures included), and an item that cannot be read is skipped.
#pragma once

#include "io/FileStream.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One cover picture of the "covr" item. The record owns its bytes.
struct Tmp4PictureInfo {
    uint8_t DataType = 0;       // 13 JPEG, 14 PNG, anything else taken as BMP
    std::string MIME;           // "IMAGE/jpg", "IMAGE/png" or "IMAGE/bmp"
    std::vector<uint8_t> Data;  // the picture's bytes
};

// An item the reader has no named property for.
struct Tmp4Item {
    std::string Type;      // the item's four-byte type (or freeform name)
    std::string Value;     // UTF-8 text for data type 1, raw payload bytes otherwise
    char DataType = 0;     // the data type as one character (binary items only)
};

// The gapless information of iTunes' "iTunSMPB" freeform item: the
// encoder's delay (priming) and padding and the samples it was given.
struct TITunSMPB {
    int64_t Delay = 0;
    int64_t Padding = 0;
    int64_t Samples = 0;
};
// False unless the text holds at least four hexadecimal fields and a
// sample count above 0.
bool ParseITunSMPB(std::string_view text, TITunSMPB& value);

class TMp4file {
public:
    TMp4file() { ResetData(); }
    void ResetData();
    // The path is the system's 8-bit path (UTF-8 here). True when the file
    // starts with "ftyp", was walked and is Valid.
    bool ReadFromFile(const std::string& path);
    bool ReadFromStream(TFileStream& stream);   // the same on a stream opened already

    // A "moov" with a sound track that has a sample entry and a playing time
    // (from its media header or its fragments), and media data.
    bool Valid() const;
    double Duration() const;
    double Ratio() const;

    const std::string& FileName() const { return fileName_; }
    int64_t FileSize() const { return fileSize_; }
    int64_t MediaDataSize() const { return mediaDataSize_; }
    int64_t MediaDataOffset() const { return mediaDataOffset_; }
    int64_t MovieOffset() const { return movieOffset_; }
    int64_t MovieSize() const { return movieSize_; }
    int64_t UserDataOffset() const { return userDataOffset_; }
    int64_t UserDataSize() const { return userDataSize_; }
    int64_t MetaOffset() const { return metaOffset_; }
    int64_t MetaSize() const { return metaSize_; }
    int64_t ItemListOffset() const { return itemListOffset_; }
    int64_t ItemListSize() const { return itemListSize_; }
    bool HasItemList() const { return hasItemList_; }
    uint32_t TimeScale() const { return timeScale_; }
    uint64_t MediaDuration() const { return mediaDuration_; }
    uint8_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    uint8_t BitsPerSample() const { return bitsPerSample_; }
    int32_t BitRate() const { return bitRate_; }
    const std::string& CodecName() const { return codecName_; }
    uint8_t ObjectType() const { return objectType_; }   // esds objectTypeIndication, 0 without one
    bool Fragmented() const { return fragmented_; }     // has "moof" fragments
    int TrackCount() const { return trackCount_; }
    bool HasAudioTrack() const { return hasAudioTrack_; }
    const std::string& EncodingTool() const { return encodingTool_; }
    // The media time (time scale units) that the sound track's edit list
    // presents when it leaves out an encoder's delay or padding; else 0.
    uint64_t EditedDuration() const { return editedDuration_; }
    // The samples the encoder was given, without its delay and padding: from
    // "iTunSMPB", else from the edit list (when the time scale is the sample
    // rate); 0 when the file records neither.
    int64_t ExactSamples() const;
    // iTunes' "iTunSMPB" or "iTunNORM" freeform item is present.
    bool HasITunesMarks() const;

    // Item list.
    const std::string& Title() const { return title_; }
    const std::string& Artist() const { return artist_; }
    const std::string& Album() const { return album_; }
    const std::string& Comment() const { return comment_; }
    const std::string& Year() const { return year_; }
    const std::string& Genre() const { return genre_; }
    const std::string& Track() const { return track_; }
    const std::string& Disc() const { return disc_; }
    const std::string& Composer() const { return composer_; }
    bool Compilation() const { return compilation_; }
    uint16_t Tempo() const { return tempo_; }   // "tmpo", beats per minute
    const std::string& Grouping() const { return grouping_; }
    const std::string& Copyright() const { return copyright_; }
    const std::string& URL() const { return url_; }
    const std::string& Lyrics() const { return lyrics_; }
    const std::string& OriginalArtist() const { return originalArtist_; }   // first performer
    const std::string& Information() const { return information_; }
    const std::string& Description() const { return description_; }
    const std::string& Author() const { return author_; }
    const std::string& Source() const { return source_; }
    const std::string& Performers() const { return performers_; }
    const std::string& Producer() const { return producer_; }
    // Freeform ("----") items with these names.
    const std::string& Tones() const { return tones_; }
    const std::string& Styles() const { return styles_; }
    const std::string& Mood() const { return mood_; }
    const std::string& Situation() const { return situation_; }
    const std::string& Rating() const { return rating_; }
    const std::string& Quality() const { return quality_; }
    const std::string& TempoText() const { return tempoText_; }   // freeform "TEMPO"
    const std::string& Type() const { return type_; }

    const std::vector<Tmp4PictureInfo>& Pictures() const { return pictures_; }
    // Items of other types: binary ones (with their data type), text ones,
    // and freeform text items with other names (Type holds the name).
    const std::vector<Tmp4Item>& OtherBinaryItems() const { return otherBinaryItems_; }
    const std::vector<Tmp4Item>& OtherTextItems() const { return otherTextItems_; }
    const std::vector<Tmp4Item>& FreeformItems() const { return freeformItems_; }

private:
    friend class Mp4Walker;
    struct Blank {};
    explicit TMp4file(Blank) {}   // every field at its default
    void StoreItem(const std::string& type, const std::string& freeformName, uint8_t dataType,
                   const std::string& payload);
    const Tmp4Item* FreeformItem(std::string_view name) const;

    std::string fileName_;
    int64_t fileSize_ = 0;
    int64_t mediaDataSize_ = 0, mediaDataOffset_ = 0;
    int64_t movieOffset_ = 0, movieSize_ = 0;
    int64_t userDataOffset_ = 0, userDataSize_ = 0;
    int64_t metaOffset_ = 0, metaSize_ = 0;
    int64_t itemListOffset_ = 0, itemListSize_ = 0;
    bool hasItemList_ = false;
    uint32_t timeScale_ = 0;
    uint64_t mediaDuration_ = 0;
    uint8_t channels_ = 0;
    int32_t sampleRate_ = 0;
    uint8_t bitsPerSample_ = 0;
    int32_t bitRate_ = 0;
    std::string codecName_, encodingTool_;
    uint8_t objectType_ = 0;
    bool fragmented_ = false;
    int trackCount_ = 0;
    bool hasAudioTrack_ = false;
    uint64_t editedDuration_ = 0;

    std::string title_, artist_, album_, comment_, year_, genre_, track_, disc_, composer_;
    bool compilation_ = false;
    uint16_t tempo_ = 0;
    std::string grouping_, copyright_, url_, lyrics_, originalArtist_, information_, description_, author_,
        source_, performers_, producer_;
    std::string tones_, styles_, mood_, situation_, rating_, quality_, tempoText_, type_;
    std::vector<Tmp4PictureInfo> pictures_;
    std::vector<Tmp4Item> otherBinaryItems_, otherTextItems_, freeformItems_;
};
