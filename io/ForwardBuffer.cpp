#include "io/ForwardBuffer.h"

#include <algorithm>
#include <cstring>

std::size_t TForwardBuffer::Need(TFileStream& stream, int64_t at, std::size_t count, std::size_t fill) {
    const int64_t end = End();
    std::size_t kept = 0;
    if (length_ > 0 && at >= start_ && at <= end) {
        const auto offset = static_cast<std::size_t>(at - start_);
        kept = length_ - offset;
        if (kept >= count || end >= stream.Size()) return std::min(kept, count);
        std::memmove(bytes_.data(), bytes_.data() + offset, kept);
    }
    fill = std::max(fill, count);
    if (bytes_.size() < fill) bytes_.resize(fill);
    start_ = at;
    stream.Seek(at + static_cast<int64_t>(kept));
    length_ = kept + stream.Read(bytes_.data() + kept, fill - kept);
    return std::min(length_, count);
}
