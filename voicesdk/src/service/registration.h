// The service in force, for the control interface.
#ifndef VOICESDK_SRC_SERVICE_REGISTRATION_H
#define VOICESDK_SRC_SERVICE_REGISTRATION_H

#include <memory>

namespace voicesdk {
namespace service {

class Service;

// Null unless "service" is the mode in force.
std::shared_ptr<Service> running_service();

}  // namespace service
}  // namespace voicesdk

#endif
