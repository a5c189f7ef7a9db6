#include "core/AudioItemCodec.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

// Numbers as 8 bytes little-endian (a double as its bit pattern); texts as a
// 4-byte length and their bytes.
class TEncoder {
public:
    explicit TEncoder(std::string& out) : out_(out) {}
    void operator()(const std::string& text) {
        Put(static_cast<uint64_t>(text.size()), 4);
        out_ += text;
    }
    void operator()(double value) { Put(std::bit_cast<uint64_t>(value), 8); }
    template <class T>
        requires std::is_integral_v<T>
    void operator()(T value) {
        Put(static_cast<uint64_t>(static_cast<int64_t>(value)), 8);
    }

private:
    void Put(uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out_ += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    std::string& out_;
};

class TDecoder {
public:
    explicit TDecoder(std::string_view bytes) : bytes_(bytes) {}
    void operator()(std::string& text) {
        const uint64_t length = Get(4);
        if (!ok_ || length > bytes_.size() - at_) {
            ok_ = false;
            return;
        }
        text.assign(bytes_.substr(at_, length));
        at_ += length;
    }
    void operator()(double& value) { value = std::bit_cast<double>(Get(8)); }
    template <class T>
        requires std::is_integral_v<T>
    void operator()(T& value) {
        value = static_cast<T>(static_cast<int64_t>(Get(8)));
    }
    bool Done() const { return ok_ && at_ == bytes_.size(); }

private:
    uint64_t Get(std::size_t bytes) {
        if (!ok_ || bytes > bytes_.size() - at_) {
            ok_ = false;
            return 0;
        }
        uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
        at_ += bytes;
        return value;
    }
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

} // namespace

std::string EncodeItemResults(const TAudioItem& item) {
    std::string out;
    out.reserve(160 + item.EncoderInfo.size() + item.EncoderSettings.size());
    TransferResults(item, TEncoder(out));
    return out;
}

bool DecodeItemResults(std::string_view bytes, TAudioItem& item) {
    TDecoder decoder(bytes);
    TransferResults(item, decoder);
    return decoder.Done();
}
