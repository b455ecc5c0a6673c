#include "fleet.h"

#include "../../voicesdk/src/records.h"
#include "../../voicesdk/src/wire/records.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace voiceserver {
namespace fleet {

namespace wire = voicesdk::wire;

std::string request_frame(uint32_t id, int kind, const Texts &texts, const Ints &ints)
{
    sdk_req_base_t *record = voicesdk::make_request(kind);
    const sdk_record_info_t &info = *voicesdk::request_info(kind);
    for (int i = 0; i < info.field_count; ++i) {
        char *at = reinterpret_cast<char *>(record) + info.fields[i].offset;
        for (const auto &text : texts)
            if (std::strcmp(info.fields[i].name, text.first) == 0)
                *reinterpret_cast<char **>(at) = voicesdk::copy_text(text.second.c_str());
        for (const auto &value : ints)
            if (std::strcmp(info.fields[i].name, value.first) == 0)
                *reinterpret_cast<int *>(at) = value.second;
    }
    std::string frame = wire::request_frame(id, record);
    voicesdk::release_request(record);
    return frame;
}

ServerProcess::ServerProcess(const std::string &program, const std::vector<std::string> &options)
{
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        throw std::runtime_error("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::vector<std::string> words{program, "--port", "0"};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    output_ = pipe_fds[0];
    if (rc != 0)
        throw std::runtime_error("cannot start " + program);
    std::string line;
    char c;
    while (read(output_, &c, 1) == 1 && c != '\n')
        line += c;
    size_t colon = line.rfind(':');
    if (line.find("listening on") == std::string::npos || colon == std::string::npos)
        throw std::runtime_error("the server said: " + line);
    port_ = std::stoi(line.substr(colon + 1));
}

ServerProcess::~ServerProcess()
{
    if (pid_ > 0)
        stop();
    if (output_ >= 0)
        close(output_);
}

int ServerProcess::stop(double timeout)
{
    if (pid_ <= 0)
        return -1;
    kill(pid_, SIGINT);
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long ServerProcess::rss_kib() const
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 20, '\n');
    }
    return -1;
}

double ServerProcess::cpu_seconds() const
{
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name (which may hold blanks): 14 and 15 of
    // the line are user and system time in clock ticks.
    size_t end = text.rfind(')');
    if (end == std::string::npos)
        return -1;
    std::vector<std::string> fields;
    size_t at = end + 2;
    while (at < text.size()) {
        size_t next = text.find(' ', at);
        fields.push_back(text.substr(at, next - at));
        if (next == std::string::npos)
            break;
        at = next + 1;
    }
    if (fields.size() < 13)
        return -1;
    return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

Fleet::Fleet(int port) : port_(port), epoll_(epoll_create1(EPOLL_CLOEXEC))
{
    if (epoll_ < 0)
        throw std::runtime_error("no epoll");
}

Fleet::~Fleet()
{
    for (Client &client : clients_)
        if (client.fd >= 0)
            close(client.fd);
    close(epoll_);
}

int Fleet::add()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error(std::string("cannot connect: ") + std::strerror(errno));
    }
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    std::string hello = wire::hello_frame();
    if (write(fd, hello.data(), hello.size()) != static_cast<ssize_t>(hello.size()))
        throw std::runtime_error("cannot greet");
    Client client;
    client.fd = fd;
    // The welcome, read blocking: nothing else comes before it.
    char buffer[256];
    for (;;) {
        wire::FrameType type;
        const char *payload;
        size_t size;
        if (client.in.next(type, payload, size) == wire::Splitter::frame) {
            if (type != wire::FrameType::welcome)
                throw std::runtime_error("not welcomed");
            break;
        }
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            throw std::runtime_error("closed before the welcome");
        client.in.feed(buffer, static_cast<size_t>(got));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    clients_.push_back(std::move(client));
    int index = static_cast<int>(clients_.size() - 1);
    epoll_event interest{};
    interest.events = EPOLLIN;
    interest.data.u32 = static_cast<uint32_t>(index);
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &interest);
    return index;
}

uint32_t Fleet::send(int index, int kind, const Texts &texts, const Ints &ints)
{
    Client &client = clients_[static_cast<size_t>(index)];
    uint32_t id = client.next_id++;
    client.out += request_frame(id, kind, texts, ints);
    flush(index);
    return id;
}

void Fleet::ping(int index)
{
    Client &client = clients_[static_cast<size_t>(index)];
    client.out += wire::Writer(wire::FrameType::ping).finish();
    flush(index);
}

void Fleet::drop(int index)
{
    Client &client = clients_[static_cast<size_t>(index)];
    if (client.fd >= 0) {
        // A reset, not an orderly close: as abrupt as a dying process.
        linger abrupt{1, 0};
        setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
        close(client.fd);
    }
    client = Client();
}

void Fleet::flush(int index)
{
    Client &client = clients_[static_cast<size_t>(index)];
    while (client.fd >= 0 && client.sent < client.out.size()) {
        ssize_t n = ::send(client.fd, client.out.data() + client.sent, client.out.size() - client.sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        client.sent += static_cast<size_t>(n);
    }
    bool waiting = client.sent < client.out.size();
    if (!waiting) {
        client.out.clear();
        client.sent = 0;
    }
    if (client.fd >= 0 && waiting != client.waiting_to_write) {
        epoll_event interest{};
        interest.events = EPOLLIN | (waiting ? EPOLLOUT : 0u);
        interest.data.u32 = static_cast<uint32_t>(index);
        epoll_ctl(epoll_, EPOLL_CTL_MOD, client.fd, &interest);
        client.waiting_to_write = waiting;
    }
}

void Fleet::read(int index, Clock::time_point at)
{
    Client &client = clients_[static_cast<size_t>(index)];
    char buffer[65536];
    // One read per readiness: the loop is level-triggered, so whatever is
    // left is reported again, and no read is spent learning that nothing is.
    {
        ssize_t got = recv(client.fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                throw std::runtime_error("the server closed client " + std::to_string(index));
            return;
        }
        client.in.feed(buffer, static_cast<size_t>(got));
        wire::FrameType type;
        const char *payload;
        size_t size;
        wire::Splitter::Result result;
        while ((result = client.in.next(type, payload, size)) == wire::Splitter::frame) {
            wire::Reader reader(payload, size);
            if (type == wire::FrameType::response) {
                uint32_t id = 0;
                reader.u32(id);
                sdk_resp_base_t *response = wire::read_response(reader, nullptr);
                if (!response)
                    throw std::runtime_error("a response this client cannot read");
                if (on_response)
                    on_response(index, id, *response, at);
                voicesdk::release_message(&response->message);
            } else if (type == wire::FrameType::event) {
                sdk_evt_base_t *event = wire::read_event(reader);
                if (!event)
                    throw std::runtime_error("an event this client cannot read");
                if (on_event)
                    on_event(index, *event, at);
                voicesdk::release_message(&event->message);
            } else if (type != wire::FrameType::pong) {
                throw std::runtime_error("an unexpected frame");
            }
        }
        if (result == wire::Splitter::too_large)
            throw std::runtime_error("an oversized frame");
    }
}

bool Fleet::run_until(const std::function<bool()> &done, double timeout)
{
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    epoll_event ready[256];
    while (!done()) {
        Clock::time_point now = Clock::now();
        if (now > deadline)
            return false;
        int left_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
        int count = epoll_wait(epoll_, ready, 256, std::max(1, std::min(left_ms, 200)));
        Clock::time_point at = Clock::now();
        for (int i = 0; i < count; ++i) {
            int index = static_cast<int>(ready[i].data.u32);
            if (clients_[static_cast<size_t>(index)].fd < 0)
                continue;  // dropped since
            if (ready[i].events & EPOLLOUT)
                flush(index);
            if (ready[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
                read(index, at);
        }
    }
    return true;
}

}  // namespace fleet
}  // namespace voiceserver
