#include "frame.h"

#include <cstring>

namespace voicesdk {
namespace wire {

Writer::Writer(FrameType type)
{
    bytes_.assign(4, '\0');
    u8(static_cast<uint8_t>(type));
}

void Writer::u16(uint16_t value)
{
    u8(static_cast<uint8_t>(value >> 8));
    u8(static_cast<uint8_t>(value));
}

void Writer::u32(uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        u8(static_cast<uint8_t>(value >> shift));
}

void Writer::f64(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    u32(static_cast<uint32_t>(bits >> 32));
    u32(static_cast<uint32_t>(bits));
}

void Writer::text(const char *value)
{
    if (!value) {
        u32(kNullText);
        return;
    }
    size_t size = std::strlen(value);
    u32(static_cast<uint32_t>(size));
    bytes_.append(value, size);
}

std::string Writer::finish()
{
    uint32_t size = static_cast<uint32_t>(bytes_.size() - 4);
    for (int i = 0; i < 4; ++i)
        bytes_[static_cast<size_t>(i)] = static_cast<char>(size >> (24 - 8 * i));
    return std::move(bytes_);
}

bool Reader::take(size_t size, const char *&out)
{
    if (!ok_ || static_cast<size_t>(end_ - at_) < size) {
        ok_ = false;
        return false;
    }
    out = at_;
    at_ += size;
    return true;
}

bool Reader::u8(uint8_t &out)
{
    const char *bytes;
    if (!take(1, bytes))
        return false;
    out = static_cast<uint8_t>(bytes[0]);
    return true;
}

bool Reader::u16(uint16_t &out)
{
    const char *bytes;
    if (!take(2, bytes))
        return false;
    out = static_cast<uint16_t>((static_cast<uint8_t>(bytes[0]) << 8) | static_cast<uint8_t>(bytes[1]));
    return true;
}

bool Reader::u32(uint32_t &out)
{
    const char *bytes;
    if (!take(4, bytes))
        return false;
    out = 0;
    for (int i = 0; i < 4; ++i)
        out = (out << 8) | static_cast<uint8_t>(bytes[i]);
    return true;
}

bool Reader::i32(int32_t &out)
{
    uint32_t value;
    if (!u32(value))
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool Reader::f64(double &out)
{
    uint32_t high, low;
    if (!u32(high) || !u32(low))
        return false;
    uint64_t bits = (static_cast<uint64_t>(high) << 32) | low;
    std::memcpy(&out, &bits, sizeof out);
    return true;
}

bool Reader::text(std::string &out, bool &is_null)
{
    uint32_t size;
    if (!u32(size))
        return false;
    is_null = size == kNullText;
    out.clear();
    if (is_null)
        return true;
    const char *bytes;
    if (!take(size, bytes))
        return false;
    if (std::memchr(bytes, '\0', size)) {
        ok_ = false;
        return false;
    }
    out.assign(bytes, size);
    return true;
}

bool Reader::raw(char *out, size_t size)
{
    const char *bytes;
    if (!take(size, bytes))
        return false;
    std::memcpy(out, bytes, size);
    return true;
}

void Splitter::feed(const char *data, size_t size)
{
    // What was handed out is dropped once it is half the buffer.
    if (start_ > 0 && start_ * 2 >= buffer_.size()) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(data, size);
}

Splitter::Result Splitter::next(FrameType &type, const char *&payload, size_t &size)
{
    size_t available = buffer_.size() - start_;
    if (available < 4)
        return need_more;
    const auto *head = reinterpret_cast<const uint8_t *>(buffer_.data() + start_);
    uint32_t length = (uint32_t(head[0]) << 24) | (uint32_t(head[1]) << 16) | (uint32_t(head[2]) << 8) | head[3];
    if (length == 0 || length > kMaxFrame)
        return too_large;
    if (available - 4 < length)
        return need_more;
    type = static_cast<FrameType>(head[4]);
    payload = buffer_.data() + start_ + 5;
    size = length - 1;
    start_ += 4 + length;
    if (start_ == buffer_.size()) {
        // Nothing left: the next feed starts afresh (the payload handed out
        // stays valid, since clear() keeps the storage).
        buffer_.clear();
        start_ = 0;
    }
    return frame;
}

std::string Splitter::take_rest()
{
    std::string rest = buffer_.substr(start_);
    buffer_.clear();
    start_ = 0;
    return rest;
}

}  // namespace wire
}  // namespace voicesdk
