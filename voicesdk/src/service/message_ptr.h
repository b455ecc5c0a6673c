// Ownership of a message the service made and has not handed over yet.
#ifndef VOICESDK_SRC_SERVICE_MESSAGE_PTR_H
#define VOICESDK_SRC_SERVICE_MESSAGE_PTR_H

#include "../records.h"

#include <memory>

namespace voicesdk {
namespace service {

struct MessageRelease {
    void operator()(sdk_message_base_t *message) const { release_message(message); }
};
using MessagePtr = std::unique_ptr<sdk_message_base_t, MessageRelease>;

}  // namespace service
}  // namespace voicesdk

#endif
