// Which local voice server, if any, a new connector talks to: the
// VOICESDK_SERVER environment variable ("host:port"), read when the
// connector is created, unless the control interface chose otherwise.
#ifndef VOICESDK_SRC_NET_SERVER_ADDRESS_H
#define VOICESDK_SRC_NET_SERVER_ADDRESS_H

#include <string>

namespace voicesdk {
namespace net {

constexpr const char *kServerVariable = "VOICESDK_SERVER";

// "" when no server is named.
std::string server_address();
// Null: back to the environment variable; "": no server whatever it says.
void choose_server(const char *address);

}  // namespace net
}  // namespace voicesdk

#endif
