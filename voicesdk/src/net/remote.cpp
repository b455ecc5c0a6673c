#include "remote.h"

#include "server_address.h"

#include "../records.h"
#include "../service/messages.h"

#include <cstring>

namespace voicesdk {
namespace net {
namespace {

std::shared_ptr<Responder> make_remote()
{
    return std::make_shared<Remote>();
}

struct Registration {
    Registration() { register_mode("remote", &make_remote); }
} registration;

bool is_handle_field(const sdk_field_info_t &field)
{
    size_t length = std::strlen(field.name);
    return field.kind == sdk_field_text && length > 7 && std::strcmp(field.name + length - 7, "_handle") == 0;
}

}  // namespace

Remote::Remote() : machine_([](uint64_t, service::MessagePtr message) { post_message(message.release()); }) {}

Remote::~Remote()
{
    std::vector<std::shared_ptr<Link>> links;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        links.swap(links_);
    }
    links.clear();
    machine_.stop();
}

bool Remote::on_request(const IssuedRequest &request)
{
    if (service::machine_request(request.kind))
        return machine_.on_request(request);
    if (request.kind == sdk_request_connector_create) {
        create_connector(request);
        return true;
    }
    std::shared_ptr<Link> link;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        link = route(request.request);
    }
    if (!link)
        return machine_.on_request(request);
    link->send(request);
    return true;
}

// Never falls back to another mode: without a server, no connector.
void Remote::create_connector(const IssuedRequest &request)
{
    std::string address = server_address();
    std::string error = "no server named (set " + std::string(kServerVariable) + " to host:port)";
    std::unique_ptr<Link> link = address.empty() ? nullptr : Link::open(address, error);
    if (!link) {
        std::string text = "No voice server at " + (address.empty() ? std::string("?") : address) + " (" + error + ")";
        service::MessagePtr response =
            service::response_to(request, service::kServerUnreachable, text.c_str());
        post_message(response.release());
        return;
    }
    // Listed before the request goes: its answer may reach the game, and
    // the game's next request this mode, before this thread runs again.
    std::shared_ptr<Link> shared(std::move(link));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        links_.push_back(shared);
    }
    shared->send(request);
}

// mutex_ held.  The link that knows one of the request's handles, else the
// first one (the server answers a handle it does not know, and some
// requests, account creation among them, name none); links whose connector
// was shut down are dropped on the way.
std::shared_ptr<Link> Remote::route(const sdk_req_base_t *request)
{
    for (auto it = links_.begin(); it != links_.end();)
        it = (*it)->finished() ? links_.erase(it) : std::next(it);
    const sdk_record_info_t &info = *header_of(request)->info;
    for (int i = 0; i < info.field_count; ++i) {
        if (!is_handle_field(info.fields[i]))
            continue;
        const char *handle =
            *reinterpret_cast<char *const *>(reinterpret_cast<const char *>(request) + info.fields[i].offset);
        if (!handle)
            continue;
        for (const std::shared_ptr<Link> &link : links_)
            if (link->owns(handle))
                return link;
    }
    return links_.empty() ? nullptr : links_.front();
}

}  // namespace net
}  // namespace voicesdk
