// The local voice server's wire format: frames cut from a byte stream,
// payloads read without running past their end, records through and back.
#include "../src/records.h"
#include "../src/wire/frame.h"
#include "../src/wire/records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

using namespace voicesdk;
using namespace voicesdk::wire;

TEST(WireFrames, ASplitterCutsFramesHoweverTheBytesArrive)
{
    std::string stream;
    for (int i = 0; i < 3; ++i) {
        Writer writer(FrameType::event);
        writer.u32(static_cast<uint32_t>(i));
        writer.text(i == 1 ? nullptr : "hello");
        stream += writer.finish();
    }
    Splitter splitter;
    int seen = 0;
    for (char byte : stream) {
        splitter.feed(&byte, 1);
        FrameType type;
        const char *payload;
        size_t size;
        while (splitter.next(type, payload, size) == Splitter::frame) {
            Reader reader(payload, size);
            uint32_t number;
            std::string text;
            bool is_null = false;
            ASSERT_TRUE(reader.u32(number) && reader.text(text, is_null) && reader.finished());
            EXPECT_EQ(number, static_cast<uint32_t>(seen));
            EXPECT_EQ(is_null, seen == 1);
            ++seen;
        }
    }
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(splitter.buffered(), 0u);
}

TEST(WireFrames, AnAnnouncedLengthOverTheLimitOrOfNothingIsRefused)
{
    for (uint32_t length : {uint32_t(kMaxFrame + 1), 0u, 0xffffffffu}) {
        Splitter splitter;
        char head[4] = {char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
        splitter.feed(head, 4);
        FrameType type;
        const char *payload;
        size_t size;
        EXPECT_EQ(splitter.next(type, payload, size), Splitter::too_large) << length;
    }
}

TEST(WireFrames, AReaderNeverRunsPastItsPayload)
{
    const char text_too_long[] = {0, 0, 0, 9, 'a', 'b'};
    std::string out;
    bool is_null;
    Reader a(text_too_long, sizeof text_too_long);
    EXPECT_FALSE(a.text(out, is_null));
    uint8_t byte;
    EXPECT_FALSE(a.u8(byte));  // and stays failed

    const char with_nul[] = {0, 0, 0, 3, 'a', 0, 'b'};
    Reader b(with_nul, sizeof with_nul);
    EXPECT_FALSE(b.text(out, is_null));

    const char spare[] = {0, 0, 0, 1, 9};
    Reader c(spare, sizeof spare);
    uint32_t value;
    EXPECT_TRUE(c.u32(value));
    EXPECT_FALSE(c.finished());
}

TEST(WireRecords, ARequestComesBackFieldForField)
{
    auto *request = reinterpret_cast<sdk_req_session_set_3d_position_t *>(make_request(sdk_request_session_set_3d_position));
    request->session_handle = copy_text("session-7");
    for (int i = 0; i < 15; ++i) {
        request->speaker_vectors[i] = i * 0.5;
        request->listener_vectors[i] = -i;
    }
    request->listener_vectors[3] = std::numeric_limits<double>::quiet_NaN();
    std::string frame = request_frame(42, &request->base);

    Splitter splitter;
    splitter.feed(frame.data(), frame.size());
    FrameType type;
    const char *payload;
    size_t size;
    ASSERT_EQ(splitter.next(type, payload, size), Splitter::frame);
    EXPECT_EQ(type, FrameType::request);
    Reader reader(payload, size);
    uint32_t id;
    ASSERT_TRUE(reader.u32(id));
    EXPECT_EQ(id, 42u);
    auto *copy = reinterpret_cast<sdk_req_session_set_3d_position_t *>(read_request(reader));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->base.kind, sdk_request_session_set_3d_position);
    EXPECT_STREQ(copy->session_handle, "session-7");
    EXPECT_EQ(copy->speaker_vectors[14], 7.0);
    EXPECT_TRUE(std::isnan(copy->listener_vectors[3]));
    EXPECT_EQ(copy->listener_vectors[14], -14.0);
    release_request(&copy->base);
    release_request(&request->base);
}

TEST(WireRecords, EveryShortenedRequestIsRefusedAndNothingIsKept)
{
    auto *request = reinterpret_cast<sdk_req_account_login_t *>(make_request(sdk_request_account_login));
    request->connector_handle = copy_text("connector-1");
    request->account_name = copy_text("ann");
    request->password = nullptr;
    request->login_option = 3;
    std::string frame = request_frame(1, &request->base);
    release_request(&request->base);
    const std::string payload = frame.substr(9);  // past length, type and id
    for (size_t cut = 0; cut < payload.size(); ++cut) {
        Reader reader(payload.data(), cut);
        EXPECT_EQ(read_request(reader), nullptr) << cut;
    }
    std::string longer = payload + "x";
    Reader reader(longer.data(), longer.size());
    EXPECT_EQ(read_request(reader), nullptr);
    Reader whole(payload.data(), payload.size());
    sdk_req_base_t *copy = read_request(whole);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(reinterpret_cast<sdk_req_account_login_t *>(copy)->password, nullptr);
    release_request(copy);
}

TEST(WireRecords, AResponseKeepsItsStatusAndAnsweredRequest)
{
    sdk_req_base_t *request = make_request(sdk_request_account_login);
    sdk_resp_base_t *response = make_response(sdk_response_account_login, nullptr);
    response->return_code = 1;
    response->status_code = 20204;
    response->status_text = copy_text("Account already logged in");
    std::string frame = response_frame(5, response);
    release_message(&response->message);

    Reader reader(frame.data() + 9, frame.size() - 9);
    sdk_resp_base_t *copy = read_response(reader, request);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->request, request);
    EXPECT_EQ(copy->status_code, 20204);
    EXPECT_STREQ(copy->status_text, "Account already logged in");
    release_message(&copy->message);

    // An answer of another kind than the request is refused.
    sdk_req_base_t *other = make_request(sdk_request_account_logout);
    Reader again(frame.data() + 9, frame.size() - 9);
    EXPECT_EQ(read_response(again, other), nullptr);
    release_request(other);
    release_request(request);
}

TEST(WireRecords, UnknownTypesAreRefused)
{
    const char unknown_request[] = {0x7f, 0x7f};
    Reader a(unknown_request, sizeof unknown_request);
    EXPECT_EQ(read_request(a), nullptr);
    const char unknown_event[] = {0, 3};  // 3 is no event type
    Reader b(unknown_event, sizeof unknown_event);
    EXPECT_EQ(read_event(b), nullptr);
}

}  // namespace
