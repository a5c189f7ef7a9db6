// TVorbisComment: a parsed Vorbis comment packet (vendor string and
// "NAME=value" entries, all lengths 32-bit little-endian), as carried by
// Speex and Vorbis streams. Entries are kept as stored: not split, not decoded.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class TVorbisComment {
public:
    void Clear();
    // Parses the packet bytes (starting after any packet signature). Stops at
    // the end of the bytes whatever the lengths and count claim; a string cut
    // by the end keeps the bytes that are there.
    void Parse(std::span<const uint8_t> packet);

    const std::string& Vendor() const { return vendor_; }
    uint32_t VendorLength() const { return vendorLength_; }   // as stated
    uint32_t FieldCount() const { return fieldCount_; }       // as stated
    const std::vector<std::string>& Entries() const { return entries_; }
    const std::vector<uint32_t>& EntryLengths() const { return entryLengths_; }   // as stated
    // A length or the field count claims more than the packet holds.
    bool RunsPast() const { return runsPast_; }

private:
    std::string vendor_;
    uint32_t vendorLength_ = 0;
    uint32_t fieldCount_ = 0;
    std::vector<std::string> entries_;
    std::vector<uint32_t> entryLengths_;
    bool runsPast_ = false;
};
