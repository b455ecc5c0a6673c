#include "event_loop.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace voiceserver {

namespace {

// A client that reads nothing while this much waits for it is dropped.
constexpr size_t kMaxBacklog = 16 * 1024 * 1024;
// Bytes read from one connection before the others get their turn.
constexpr size_t kReadBudget = 256 * 1024;

int stop_pipe = -1;  // the wake-up pipe's write end, for the signal handler

void set_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace

EventLoop::EventLoop()
{
    int fds[2];
    if (pipe(fds) == 0) {
        wake_read_ = fds[0];
        wake_write_ = fds[1];
        set_nonblocking(wake_read_);
        set_nonblocking(wake_write_);
        stop_pipe = wake_write_;
    }
}

EventLoop::~EventLoop()
{
    for (auto &connection : connections_)
        ::close(connection.second->fd);
    connections_.clear();
    if (host_)
        host_->stop();
    host_.reset();
    if (listener_ >= 0)
        ::close(listener_);
    stop_pipe = -1;
    if (wake_read_ >= 0)
        ::close(wake_read_);
    if (wake_write_ >= 0)
        ::close(wake_write_);
}

void EventLoop::request_stop()
{
    char byte = 's';
    if (stop_pipe >= 0) {
        ssize_t ignored = write(stop_pipe, &byte, 1);
        (void)ignored;
    }
}

bool EventLoop::listen(const Options &options, std::string &error)
{
    options_ = options;
    if (wake_read_ < 0) {
        error = "no wake-up pipe";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    std::string port = std::to_string(options.port);
    int rc = getaddrinfo(options.host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
        error = "cannot resolve " + options.host + ": " + gai_strerror(rc);
        return false;
    }
    for (addrinfo *ai = found; ai && listener_ < 0; ai = ai->ai_next) {
        int fd = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
        if (fd < 0)
            continue;
        int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 1024) == 0) {
            listener_ = fd;
        } else {
            error = std::string("cannot listen on ") + options.host + ":" + port + ": " + std::strerror(errno);
            ::close(fd);
        }
    }
    freeaddrinfo(found);
    if (listener_ < 0)
        return false;
    set_nonblocking(listener_);
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&bound), &size);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    outbox_.reset(new Outbox(wake_write_));
    host_.reset(new ServiceHost(options.settings, *outbox_));
    return true;
}

void EventLoop::log(const std::string &line)
{
    if (!options_.log)
        return;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("%.3f server %s\n", static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9, line.c_str());
    std::fflush(stdout);
}

void EventLoop::run()
{
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids;
    while (!stopping_) {
        fds.clear();
        ids.clear();
        fds.push_back(pollfd{wake_read_, POLLIN, 0});
        fds.push_back(pollfd{listener_, POLLIN, 0});
        for (auto &entry : connections_) {
            Connection &connection = *entry.second;
            short events = connection.closing ? 0 : POLLIN;
            if (connection.out_sent < connection.out.size())
                events |= POLLOUT;
            fds.push_back(pollfd{connection.fd, events, 0});
            ids.push_back(entry.first);
        }
        // Wakes a few times a second to drop silent clients.
        int timeout_ms = static_cast<int>(std::max(options_.heartbeat * 250.0, 10.0));
        if (poll(fds.data(), fds.size(), std::min(timeout_ms, 250)) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char bytes[64];
            ssize_t got;
            while ((got = read(wake_read_, bytes, sizeof bytes)) > 0)
                if (std::memchr(bytes, 's', static_cast<size_t>(got)))
                    stopping_ = true;
        }
        if (fds[1].revents & POLLIN)
            accept_all();
        for (size_t i = 0; i < ids.size(); ++i) {
            short revents = fds[i + 2].revents;
            auto found = connections_.find(ids[i]);
            if (!revents || found == connections_.end())
                continue;
            Connection &connection = *found->second;
            if (revents & POLLOUT && !flush(connection))
                continue;
            if (revents & (POLLIN | POLLHUP | POLLERR))
                read_from(connection);
        }
        drain_outbox();
        check_heartbeats();
    }
    log("stopping: " + std::to_string(connections_.size()) + " connections closed");
    std::vector<uint64_t> open;
    for (auto &entry : connections_)
        open.push_back(entry.first);
    for (uint64_t id : open)
        close(id, "server stopping");
}

void EventLoop::accept_all()
{
    for (;;) {
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        int fd = accept(listener_, reinterpret_cast<sockaddr *>(&address), &size);
        if (fd < 0)
            return;  // EAGAIN, or out of descriptors: the client is refused by the backlog
        set_nonblocking(fd);
        int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        char host[NI_MAXHOST] = "?", service[NI_MAXSERV] = "?";
        getnameinfo(reinterpret_cast<sockaddr *>(&address), size, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV);
        std::unique_ptr<Connection> connection(
            new Connection(next_id_++, fd, *host_, static_cast<uint32_t>(options_.heartbeat * 1000.0)));
        connection->peer = std::string(host) + ":" + service;
        connection->last_heard = Clock::now();
        log("client " + std::to_string(connection->id) + " connected from " + connection->peer);
        connections_[connection->id] = std::move(connection);
    }
}

void EventLoop::read_from(Connection &connection)
{
    uint64_t id = connection.id;
    char buffer[16384];
    size_t budget = kReadBudget;
    while (budget > 0) {
        ssize_t got = recv(connection.fd, buffer, sizeof buffer, 0);
        if (got == 0)
            return close(id, "closed by the client");
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return;
            return close(id, std::strerror(errno));
        }
        budget -= std::min(budget, static_cast<size_t>(got));
        connection.last_heard = Clock::now();
        std::string replies;
        ClientProtocol::Verdict verdict = connection.protocol.receive(buffer, static_cast<size_t>(got), replies);
        if (!replies.empty())
            send(connection, std::move(replies));
        if (verdict == ClientProtocol::close_now)
            return close(id, connection.protocol.reason().c_str());
        if (verdict == ClientProtocol::close_after) {
            log("client " + std::to_string(id) + " refused: " + connection.protocol.reason());
            connection.closing = true;
            return;
        }
    }
}

void EventLoop::send(Connection &connection, std::string frame)
{
    if (connection.out_sent == connection.out.size()) {
        connection.out.swap(frame);
        connection.out_sent = 0;
    } else {
        connection.out.append(frame);
    }
}

// False when the connection was closed.
bool EventLoop::flush(Connection &connection)
{
    while (connection.out_sent < connection.out.size()) {
        ssize_t sent = ::send(connection.fd, connection.out.data() + connection.out_sent,
                              connection.out.size() - connection.out_sent, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                break;
            close(connection.id, std::strerror(errno));
            return false;
        }
        connection.out_sent += static_cast<size_t>(sent);
    }
    if (connection.out_sent == connection.out.size()) {
        connection.out.clear();
        connection.out_sent = 0;
        if (connection.closing) {
            close(connection.id, "refused");
            return false;
        }
    } else if (connection.out.size() - connection.out_sent > kMaxBacklog) {
        close(connection.id, "reads too slowly");
        return false;
    } else if (connection.out_sent > connection.out.size() / 2) {
        connection.out.erase(0, connection.out_sent);
        connection.out_sent = 0;
    }
    return true;
}

void EventLoop::close(uint64_t id, const char *reason)
{
    auto found = connections_.find(id);
    if (found == connections_.end())
        return;
    std::unique_ptr<Connection> connection = std::move(found->second);
    connections_.erase(found);
    ::close(connection->fd);
    log("client " + std::to_string(id) + " gone: " + reason);
    // Its participants leave the others' channels.
    host_->disconnect(id);
}

void EventLoop::drain_outbox()
{
    // Closing a connection can deliver more (the others hear it leave).
    for (int round = 0; round < 4; ++round) {
        std::vector<Delivery> deliveries = outbox_->take();
        if (deliveries.empty())
            return;
        std::vector<Connection *> touched;
        for (Delivery &delivery : deliveries) {
            auto found = connections_.find(delivery.to);
            if (found == connections_.end())
                continue;  // gone: nothing more goes to it
            Connection &connection = *found->second;
            if (connection.out_sent == connection.out.size())
                touched.push_back(&connection);
            send(connection, std::move(delivery.frame));
        }
        std::vector<uint64_t> ids;
        for (Connection *connection : touched)
            ids.push_back(connection->id);
        for (uint64_t id : ids) {
            auto found = connections_.find(id);
            if (found != connections_.end())
                flush(*found->second);
        }
    }
}

void EventLoop::check_heartbeats()
{
    auto limit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.heartbeat));
    Clock::time_point now = Clock::now();
    std::vector<uint64_t> silent;
    for (auto &entry : connections_)
        if (now - entry.second->last_heard > limit)
            silent.push_back(entry.first);
    for (uint64_t id : silent)
        close(id, "silent past the heartbeat");
}

}  // namespace voiceserver
