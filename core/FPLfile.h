// TFPLfile: reads the track paths of a binary ".fpl" playlist.
//
// Layout as read (32-bit little-endian signed integers): a 28-byte header
// whose first four bytes add up to 669 and whose integer at offset 20 is the
// track count N; then length-prefixed strings. A string starting with
// "file://" begins a track (the rest is its UTF-8 path) and is followed by 28
// bytes of per-track data and a count of key/value strings that belong to it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TFPLitem {
    std::string Path;
    std::string TrackNumber, Artist, Title, Album, Date, Genre, Comment, SampleRate, Channels, BitRate, Codec;
};

class TFPLfile {
public:
    // Reads the header and all tracks; false when the file cannot be opened
    // or its header sum is not 669. A read error later keeps the tracks found.
    // cancelled, when given, is asked every few thousand strings; true stops
    // the read there (the tracks found so far stay).
    bool Open(const std::string& path, const std::function<bool()>& cancelled = {});

    int32_t TrackCount() const { return trackCount_; }
    // Path of track i (1 to TrackCount); empty for a slot no track filled.
    std::string TrackPath(int32_t i) const;
    const std::vector<TFPLitem>& Tracks() const { return tracks_; }

private:
    std::string path_;
    int32_t trackCount_ = 0;
    std::vector<TFPLitem> tracks_;   // tracks 1..found, at most TrackCount
};
