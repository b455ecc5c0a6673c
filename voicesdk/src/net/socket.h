// A TCP connection for the stand-in's client of the local voice server: the
// one place that knows POSIX sockets from Winsock.  One thread may receive
// while another sends; shutdown() from any thread ends a receive in
// progress.
#ifndef VOICESDK_SRC_NET_SOCKET_H
#define VOICESDK_SRC_NET_SOCKET_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace voicesdk {
namespace net {

class Socket {
public:
    Socket() = default;
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    ~Socket();

    // "host:port" ("[v6 address]:port" too), within `timeout` seconds; false
    // with the reason in `error`.
    bool connect(const std::string &address, double timeout, std::string &error);
    // False once the connection is lost or the peer took longer than
    // `timeout` seconds to make room.
    bool send_all(const std::string &bytes, double timeout);

    static constexpr long closed = 0, failed = -1, timed_out = -2;
    // Bytes received (> 0), or one of the values above.
    long receive(char *buffer, size_t size, double timeout);
    // Ends the connection both ways; the descriptor stays until close().
    void shutdown();
    void close();

private:
#ifdef _WIN32
    uintptr_t fd_ = ~uintptr_t(0);
#else
    int fd_ = -1;
#endif
};

}  // namespace net
}  // namespace voicesdk

#endif
