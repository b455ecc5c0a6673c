// Fuzzes the local voice server's side of a client connection: arbitrary
// bytes, cut into arbitrary pieces, from one or two clients at once, into
// the protocol handler and the service's rules behind it.  Whatever comes
// in, nothing may crash, leak or read out of bounds (ASan, UBSan), and a
// client that is gone must leave nothing behind in the rules.
//
// The first byte steers: bit 0 puts a valid hello in front (so that the
// fuzzer reaches the request parser without having to find the layout
// digest), bit 1 splits the rest between two clients, the high bits give
// the size of the pieces.
#include "../../server/client_protocol.h"
#include "../../server/fleet/fleet.h"
#include "../../server/outbox.h"
#include "../../server/service_host.h"
#include "../../voicesdk/src/wire/records.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using voiceserver::ClientProtocol;

struct World {
    voiceserver::Outbox outbox{-1};
    std::unique_ptr<voiceserver::ServiceHost> host;
    uint64_t next_id = 1;

    World()
    {
        voicesdk::service::Settings settings;
        settings.latency = 0.0;
        settings.peers.clear();
        host.reset(new voiceserver::ServiceHost(settings, outbox));
    }
};

World &world()
{
    static World *instance = new World;
    return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    World &w = world();
    const uint8_t steer = data[0];
    const size_t piece = (steer >> 2) + 1u;
    ClientProtocol clients[2] = {ClientProtocol(w.next_id++, *w.host, 3000),
                                 ClientProtocol(w.next_id++, *w.host, 3000)};
    bool open[2] = {true, (steer & 2) != 0};
    std::string replies;
    if (steer & 1) {
        std::string hello = voicesdk::wire::hello_frame();
        for (int i = 0; i < 2; ++i)
            if (open[i])
                open[i] = clients[i].receive(hello.data(), hello.size(), replies) == ClientProtocol::keep;
    }
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    size_t left = size - 1;
    for (int turn = 0; left > 0 && (open[0] || open[1]); ++turn) {
        int which = (steer & 2) ? turn % 2 : 0;
        size_t n = piece < left ? piece : left;
        if (open[which])
            open[which] = clients[which].receive(bytes, n, replies) == ClientProtocol::keep;
        bytes += n;
        left -= n;
        replies.clear();
    }
    for (ClientProtocol &client : clients) {
        w.host->disconnect(client.id());
        if (!w.host->connector_of(client.id()).empty()) {
            std::fprintf(stderr, "client %llu left a connector behind\n", static_cast<unsigned long long>(client.id()));
            std::abort();
        }
    }
    w.outbox.take();
    return 0;
}

namespace {

void write_seed(const std::string &folder, const char *name, int steer, const std::string &frames)
{
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out << static_cast<char>(steer) << frames;
}

// A session as a client plays it: handles are the ones a fresh server gives.
void write_seeds(const std::string &folder)
{
    using voiceserver::fleet::request_frame;
    auto request = [](uint32_t id, int kind, const voiceserver::fleet::Texts &texts,
                      const voiceserver::fleet::Ints &ints = {}) { return request_frame(id, kind, texts, ints); };
    std::string ping = voicesdk::wire::Writer(voicesdk::wire::FrameType::ping).finish();
    std::string session =
        request(1, sdk_request_connector_create, {{"account_server_url", "https://www.orb.example/"}}) +
        request(2, sdk_request_account_login, {{"account_name", "ann"}, {"password", "pw"}}) +
        request(3, sdk_request_account_channel_create, {{"account_handle", "account-2"}, {"channel_name", "lobby"}}) +
        request(4, sdk_request_sessiongroup_create, {{"account_handle", "account-2"}}) +
        request(5, sdk_request_sessiongroup_add_session,
                {{"sessiongroup_handle", "group-3"}, {"channel_uri", "sip:channel-lobby@orb.example"},
                 {"channel_name", "lobby"}}) +
        request(6, sdk_request_connector_mute_local_mic, {}, {{"mute", 0}}) +
        request(7, sdk_request_channel_mute_user,
                {{"account_handle", "account-2"}, {"channel_uri", "sip:channel-lobby@orb.example"},
                 {"participant_uri", "sip:bob@orb.example"}},
                {{"mute", 1}}) +
        request(8, sdk_request_session_set_3d_position, {{"session_handle", "session-4"}}) + ping +
        request(9, sdk_request_sessiongroup_remove_session, {{"session_handle", "session-4"}}) +
        request(10, sdk_request_account_logout, {{"account_handle", "account-2"}}) +
        request(11, sdk_request_connector_initiate_shutdown, {});
    write_seed(folder, "session", 1 | (15 << 2), session);
    write_seed(folder, "two-clients", 1 | 2 | (20 << 2), session);
    write_seed(folder, "byte-by-byte", 1, session.substr(0, 200));
    write_seed(folder, "machine-request", 1 | (63 << 2),
               request(1, sdk_request_aux_get_capture_devices, {}) +
                   request(2, sdk_request_aux_create_account, {{"user_name", "eve"}, {"password", "x"}}));
    write_seed(folder, "hello-only", 0, voicesdk::wire::hello_frame() + ping);
}

}  // namespace

// TALKWIRE_FUZZ_WRITE_SEEDS=folder: writes the seed corpus and exits.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (const char *folder = std::getenv("TALKWIRE_FUZZ_WRITE_SEEDS")) {
        write_seeds(folder);
        std::exit(0);
    }
    return 0;
}
