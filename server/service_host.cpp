#include "service_host.h"

#include "../voicesdk/src/records.h"
#include "../voicesdk/src/wire/records.h"

#include <cstdlib>

namespace voiceserver {

namespace svc = voicesdk::service;
namespace wire = voicesdk::wire;

ServiceHost::ServiceHost(const svc::Settings &settings, Outbox &outbox)
    : outbox_(outbox), service_([this](uint64_t to, svc::MessagePtr message) { deliver(to, std::move(message)); })
{
    service_.configure(settings);
}

ServiceHost::~ServiceHost()
{
    stop();
}

void ServiceHost::stop()
{
    service_.stop();
}

void ServiceHost::disconnect(uint64_t from)
{
    service_.disconnect(from);
}

// Scheduler's or loop's thread, with the service's or scheduler's lock held.
void ServiceHost::deliver(uint64_t to, svc::MessagePtr message)
{
    Delivery delivery{to, std::string()};
    if (message->message_type == sdk_message_response) {
        auto *response = reinterpret_cast<sdk_resp_base_t *>(message.get());
        // The server keeps each request's wire id as its cookie.
        const char *cookie = response->request ? response->request->cookie : nullptr;
        uint32_t id = cookie ? static_cast<uint32_t>(std::strtoul(cookie, nullptr, 10)) : 0;
        delivery.frame = wire::response_frame(id, response);
    } else {
        delivery.frame = wire::event_frame(reinterpret_cast<sdk_evt_base_t *>(message.get()));
    }
    outbox_.push(std::move(delivery));
}

void ServiceHost::refuse(uint64_t to, uint32_t id, int kind, int status, const char *text)
{
    sdk_resp_base_t *response = voicesdk::make_response(voicesdk::request_info(kind)->type, nullptr);
    if (!response)
        return;
    response->return_code = 1;
    response->status_code = status;
    response->status_text = voicesdk::copy_text(text);
    outbox_.push(Delivery{to, wire::response_frame(id, response)});
    voicesdk::release_message(&response->message);
}

bool ServiceHost::request(uint64_t from, const char *payload, size_t size)
{
    wire::Reader reader(payload, size);
    uint32_t id;
    if (!reader.u32(id))
        return false;
    sdk_req_base_t *request = wire::read_request(reader);
    if (!request)
        return false;
    int kind = request->kind;
    std::string connector = service_.connector_of(from);
    if (svc::machine_request(kind)) {
        refuse(from, id, kind, svc::kNotServed, "Answered on the client's machine");
    } else if (kind == sdk_request_connector_create && !connector.empty()) {
        refuse(from, id, kind, svc::kNotServed, "One connector per connection");
    } else {
        if (char **handle = wire::text_field(request, "connector_handle")) {
            voicesdk::free_record_text(*handle);
            *handle = voicesdk::copy_text(connector.c_str());
        }
        request->cookie = voicesdk::copy_text(std::to_string(id).c_str());
        voicesdk::IssuedRequest issued{request, kind, false, from};
        service_.on_request(issued);
    }
    voicesdk::release_request(request);
    return true;
}

}  // namespace voiceserver
