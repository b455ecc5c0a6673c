#include "client_protocol.h"

#include "../voicesdk/src/wire/records.h"

#include <cstring>

namespace voiceserver {

namespace wire = voicesdk::wire;

ClientProtocol::Verdict ClientProtocol::receive(const char *data, size_t size, std::string &replies)
{
    in_.feed(data, size);
    for (;;) {
        wire::FrameType type;
        const char *payload;
        size_t length;
        wire::Splitter::Result result = in_.next(type, payload, length);
        if (result == wire::Splitter::need_more)
            return keep;
        if (result == wire::Splitter::too_large)
            return fail("frame too large");
        Verdict verdict = take(type, payload, length, replies);
        if (verdict != keep)
            return verdict;
    }
}

ClientProtocol::Verdict ClientProtocol::take(wire::FrameType type, const char *payload, size_t size,
                                             std::string &replies)
{
    if (!greeted_)
        return type == wire::FrameType::hello ? greet(payload, size, replies) : fail("no hello");
    switch (type) {
    case wire::FrameType::request:
        return host_.request(id_, payload, size) ? keep : fail("malformed request");
    case wire::FrameType::ping:
        if (size != 0)
            return fail("malformed ping");
        replies += wire::Writer(wire::FrameType::pong).finish();
        return keep;
    default:
        return fail("unexpected frame");
    }
}

// Magic and version come first in every version's hello, so that any
// client, old or new, gets a refusal it can read.
ClientProtocol::Verdict ClientProtocol::greet(const char *payload, size_t size, std::string &replies)
{
    wire::Reader reader(payload, size);
    char magic[sizeof wire::kMagic];
    uint16_t version;
    if (!reader.raw(magic, sizeof magic) || std::memcmp(magic, wire::kMagic, sizeof magic) != 0 ||
        !reader.u16(version))
        return fail("not this protocol");
    uint32_t digest = 0;
    if (version != wire::kVersion) {
        reason_ = "this server speaks protocol version " + std::to_string(wire::kVersion) +
                  "; the client speaks version " + std::to_string(version);
    } else if (!reader.u32(digest) || !reader.finished()) {
        return fail("malformed hello");
    } else if (digest != wire::layout_digest()) {
        reason_ = "the client's SDK records differ from the server's: build both from the same source";
    }
    if (!reason_.empty()) {
        wire::Writer refusal(wire::FrameType::refused);
        refusal.u16(wire::kVersion);
        refusal.text(reason_.c_str());
        replies += refusal.finish();
        return close_after;
    }
    wire::Writer welcome(wire::FrameType::welcome);
    welcome.u16(wire::kVersion);
    welcome.u32(heartbeat_ms_);
    welcome.text("talkwire voice server");
    replies += welcome.finish();
    greeted_ = true;
    return keep;
}

}  // namespace voiceserver
