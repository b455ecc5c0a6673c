// Frames of the local voice server's protocol (docs/voice-server-protocol.md):
// a 4-byte big-endian length, then a type byte and the payload.  Writer
// builds one frame; Reader takes a payload apart, refusing anything that
// runs past its end; Splitter cuts a byte stream into frames.
#ifndef VOICESDK_SRC_WIRE_FRAME_H
#define VOICESDK_SRC_WIRE_FRAME_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace voicesdk {
namespace wire {

constexpr uint16_t kVersion = 1;
constexpr char kMagic[4] = {'T', 'W', 'V', 'S'};
// Most bytes a frame may have after its length word.
constexpr size_t kMaxFrame = 64 * 1024;
constexpr uint32_t kNullText = 0xffffffffu;

enum class FrameType : uint8_t {
    hello = 1,     // client: magic, version, layout digest
    welcome = 2,   // server: version, heartbeat timeout in ms, server name
    refused = 3,   // server: its version, the reason; then it closes
    request = 4,   // client: id, response type, the request's fields
    response = 5,  // server: id, response type, return code, status code and text, result fields
    event = 6,     // server: event type, the event's fields
    ping = 7,      // client, while otherwise silent
    pong = 8       // server, to every ping
};

class Writer {
public:
    explicit Writer(FrameType type);
    void u8(uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
    void u16(uint16_t value);
    void u32(uint32_t value);
    void i32(int32_t value) { u32(static_cast<uint32_t>(value)); }
    void f64(double value);
    void text(const char *value);  // null is kept apart from ""
    void raw(const char *data, size_t size) { bytes_.append(data, size); }
    // The whole frame, its length word filled in.
    std::string finish();

private:
    std::string bytes_;
};

class Reader {
public:
    Reader(const char *data, size_t size) : at_(data), end_(data + size) {}
    bool u8(uint8_t &out);
    bool u16(uint16_t &out);
    bool u32(uint32_t &out);
    bool i32(int32_t &out);
    bool f64(double &out);
    // False for a text that runs past the end or holds a NUL byte.
    bool text(std::string &out, bool &is_null);
    bool raw(char *out, size_t size);
    // True once every byte was read, and nothing failed.
    bool finished() const { return ok_ && at_ == end_; }

private:
    bool take(size_t size, const char *&out);
    const char *at_;
    const char *end_;
    bool ok_ = true;
};

class Splitter {
public:
    enum Result {
        need_more,  // no whole frame yet
        frame,      // type and payload are set
        too_large,  // the stream announced a frame over kMaxFrame, or an empty one
    };
    void feed(const char *data, size_t size);
    // The payload stays valid until the next feed() or next().
    Result next(FrameType &type, const char *&payload, size_t &size);
    size_t buffered() const { return buffer_.size() - start_; }
    // Hands over every byte not yet cut into a frame.
    std::string take_rest();

private:
    std::string buffer_;
    size_t start_ = 0;
};

}  // namespace wire
}  // namespace voicesdk

#endif
