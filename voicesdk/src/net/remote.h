// The stand-in's "remote" mode: a client of the local voice server.  Each
// connector gets a link to the server named when it was created; requests
// about the client's own machine (devices, levels, the microphone test, key
// bindings) are answered here by the service's own rules, as the in-process
// service would, and so is anything else while no connector has a link.
#ifndef VOICESDK_SRC_NET_REMOTE_H
#define VOICESDK_SRC_NET_REMOTE_H

#include "link.h"

#include "../service/service.h"

#include <memory>
#include <mutex>
#include <vector>

namespace voicesdk {
namespace net {

class Remote : public Responder {
public:
    Remote();
    ~Remote() override;
    bool on_request(const IssuedRequest &request) override;

private:
    void create_connector(const IssuedRequest &request);
    std::shared_ptr<Link> route(const sdk_req_base_t *request);

    service::Service machine_;
    std::mutex mutex_;  // links_
    std::vector<std::shared_ptr<Link>> links_;
};

}  // namespace net
}  // namespace voicesdk

#endif
