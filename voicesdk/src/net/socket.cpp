#include "socket.h"

#ifdef _WIN32
#  include <winsock2.h>
#  include <ws2tcpip.h>
#else
#  include <cerrno>
#  include <fcntl.h>
#  include <netdb.h>
#  include <netinet/in.h>
#  include <netinet/tcp.h>
#  include <poll.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

#include <chrono>
#include <cstring>

namespace voicesdk {
namespace net {
namespace {

#ifdef _WIN32
using Native = SOCKET;
const Native kNone = INVALID_SOCKET;
int last_error() { return WSAGetLastError(); }
bool would_block(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }
int poll_fds(WSAPOLLFD *fds, unsigned long count, int timeout_ms) { return WSAPoll(fds, count, timeout_ms); }
using PollFd = WSAPOLLFD;
void close_native(Native fd) { closesocket(fd); }
void set_nonblocking(Native fd)
{
    u_long on = 1;
    ioctlsocket(fd, FIONBIO, &on);
}
std::string error_text(int error) { return "socket error " + std::to_string(error); }
constexpr int kSendFlags = 0;

struct Startup {
    Startup()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} startup;
#else
using Native = int;
const Native kNone = -1;
int last_error() { return errno; }
bool would_block(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == EINTR; }
int poll_fds(pollfd *fds, nfds_t count, int timeout_ms) { return ::poll(fds, count, timeout_ms); }
using PollFd = pollfd;
void close_native(Native fd) { ::close(fd); }
void set_nonblocking(Native fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}
std::string error_text(int error) { return std::strerror(error); }
#  ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#  else
constexpr int kSendFlags = 0;
#  endif
#endif

int milliseconds(double seconds)
{
    double ms = seconds * 1000.0;
    return ms <= 0 ? 0 : ms > 1e8 ? 100000000 : static_cast<int>(ms + 0.999);
}

// Waits for `events` on fd; false on time-out.
bool wait_for(Native fd, short events, double timeout, short &revents)
{
    PollFd entry{};
    entry.fd = fd;
    entry.events = events;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    for (;;) {
        double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        int ready = poll_fds(&entry, 1, milliseconds(left));
        if (ready > 0) {
            revents = entry.revents;
            return true;
        }
        if ((ready < 0 && !would_block(last_error())) || left <= 0)
            return false;
    }
}

bool split_address(const std::string &address, std::string &host, std::string &port)
{
    size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon + 1 == address.size())
        return false;
    host = address.substr(0, colon);
    port = address.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return !host.empty();
}

}  // namespace

Socket::~Socket()
{
    close();
}

bool Socket::connect(const std::string &address, double timeout, std::string &error)
{
    close();
    std::string host, port;
    if (!split_address(address, host, port)) {
        error = "not host:port";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
        error = "cannot resolve " + host;
        return false;
    }
    error = "nothing to connect to";
    for (addrinfo *ai = found; ai; ai = ai->ai_next) {
        Native fd = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
        if (fd == kNone)
            continue;
        set_nonblocking(fd);
        int code = 0;
        if (::connect(fd, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0) {
            code = last_error();
            short revents = 0;
            if (would_block(code) && wait_for(fd, POLLOUT, timeout, revents)) {
                int so_error = 0;
                socklen_t size = sizeof so_error;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&so_error), &size);
                code = so_error;
            } else if (would_block(code)) {
                error = "no answer within " + std::to_string(timeout) + " s";
                close_native(fd);
                continue;
            }
        }
        if (code != 0) {
            error = error_text(code);
            close_native(fd);
            continue;
        }
        int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&yes), sizeof yes);
        fd_ = fd;
        break;
    }
    freeaddrinfo(found);
    return fd_ != kNone;
}

bool Socket::send_all(const std::string &bytes, double timeout)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (fd_ == kNone)
            return false;
        auto result = ::send(fd_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), kSendFlags);
        if (result > 0) {
            sent += static_cast<size_t>(result);
            continue;
        }
        short revents = 0;
        if (result == 0 || !would_block(last_error()) || !wait_for(fd_, POLLOUT, timeout, revents) ||
            (revents & (POLLERR | POLLHUP)))
            return false;
    }
    return true;
}

long Socket::receive(char *buffer, size_t size, double timeout)
{
    if (fd_ == kNone)
        return failed;
    short revents = 0;
    if (!wait_for(fd_, POLLIN, timeout, revents))
        return timed_out;
    auto got = ::recv(fd_, buffer, static_cast<int>(size), 0);
    if (got > 0)
        return static_cast<long>(got);
    if (got == 0)
        return closed;
    return would_block(last_error()) ? timed_out : failed;
}

void Socket::shutdown()
{
    if (fd_ == kNone)
        return;
#ifdef _WIN32
    ::shutdown(fd_, SD_BOTH);
#else
    ::shutdown(fd_, SHUT_RDWR);
#endif
}

void Socket::close()
{
    if (fd_ != kNone)
        close_native(fd_);
    fd_ = kNone;
}

}  // namespace net
}  // namespace voicesdk
