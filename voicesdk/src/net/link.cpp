#include "link.h"

#include "../records.h"
#include "../service/messages.h"
#include "../service/settings.h"
#include "../wire/records.h"

#include <vector>

#ifndef _WIN32
#  include <csignal>
#  include <pthread.h>
#endif

namespace voicesdk {
namespace net {
namespace {

namespace svc = service;

// How long a connection or a greeting may take.
constexpr double kConnectTimeout = 2.0;
// How long a write may wait for the server to make room.
constexpr double kSendTimeout = 5.0;

constexpr int kLoggedOut = 0;
constexpr int kMediaDisconnected = 1;

// A failure answer to `request` from the link itself.
void fail(sdk_req_base_t *request, int status, const std::string &text)
{
    sdk_resp_base_t *response = make_response(request_info(request->kind)->type, request);
    if (!response)
        return;
    response->return_code = 1;
    response->status_code = status;
    response->status_text = copy_text(text.c_str());
    post_message(&response->message);
}

std::string text_of(const char *text)
{
    return text ? text : "";
}

}  // namespace

std::unique_ptr<Link> Link::open(const std::string &address, std::string &error)
{
    std::unique_ptr<Link> link(new Link(address));
    if (!link->connect(error))
        return nullptr;
    return link;
}

bool Link::connect(std::string &error)
{
    if (!socket_.connect(address_, kConnectTimeout, error))
        return false;
    if (!socket_.send_all(wire::hello_frame(), kSendTimeout)) {
        error = "the connection closed at once";
        socket_.close();
        return false;
    }
    wire::Splitter splitter;
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kConnectTimeout));
    char buffer[4096];
    for (;;) {
        wire::FrameType type;
        const char *payload;
        size_t size;
        wire::Splitter::Result result = splitter.next(type, payload, size);
        if (result == wire::Splitter::frame) {
            wire::Reader reader(payload, size);
            uint16_t version = 0;
            uint32_t heartbeat_ms = 0;
            std::string text;
            bool is_null = false;
            if (type == wire::FrameType::refused && reader.u16(version) && reader.text(text, is_null)) {
                error = "refused: " + text;
            } else if (type == wire::FrameType::welcome && reader.u16(version) && reader.u32(heartbeat_ms) &&
                       reader.text(text, is_null) && reader.finished() && version == wire::kVersion &&
                       heartbeat_ms > 0) {
                heartbeat_ = heartbeat_ms / 1000.0;
                // Whatever came after the welcome is the reader's.
                leftover_ = splitter.take_rest();
                state_ = State::up;
                last_sent_ = Clock::now();
                return true;
            } else {
                error = "the server at " + address_ + " does not speak this protocol";
            }
            socket_.close();
            return false;
        }
        if (result == wire::Splitter::too_large) {
            error = "the server at " + address_ + " does not speak this protocol";
            socket_.close();
            return false;
        }
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        long got = left > 0 ? socket_.receive(buffer, sizeof buffer, left) : Socket::timed_out;
        if (got <= 0) {
            error = got == Socket::timed_out ? "no greeting from the server" : "the connection closed at once";
            socket_.close();
            return false;
        }
        splitter.feed(buffer, static_cast<size_t>(got));
    }
}

void Link::start_reader()
{
#ifndef _WIN32
    // Signals are the main thread's business: the reader never takes one.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
#endif
    std::string leftover = std::move(leftover_);
    reader_ = std::thread([this, leftover] { read_loop(leftover); });
#ifndef _WIN32
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
}

Link::~Link()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State::finished;
    }
    socket_.shutdown();
    if (reader_.joinable()) {
        if (reader_.get_id() == std::this_thread::get_id())
            reader_.detach();
        else
            reader_.join();
    }
    for (auto &entry : pending_)
        release_request(entry.second);
    if (creation_)
        release_request(creation_);
}

void Link::send(const IssuedRequest &request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == State::finished)
        return fail(request.request, svc::kUnknownHandle, "Unknown connector");
    if (!creation_) {
        retain_request(request.request);
        creation_ = request.request;
    } else if (state_ == State::down) {
        // The server went away: its reader has reported that and ended.
        if (reader_.joinable())
            reader_.join();
        socket_.close();
        std::string error;
        if (!connect(error))
            return fail(request.request, svc::kServerUnreachable,
                        "No voice server at " + address_ + " (" + error + ")");
        if (!socket_.send_all(wire::request_frame(0, creation_), kSendTimeout))
            socket_.shutdown();  // the reader reports the loss
    }
    uint32_t id = next_id_++;
    if (next_id_ == 0)
        next_id_ = 1;
    retain_request(request.request);
    pending_[id] = request.request;
    if (!socket_.send_all(wire::request_frame(id, request.request), kSendTimeout))
        socket_.shutdown();
    last_sent_ = Clock::now();
    if (!reader_.joinable())
        start_reader();
}

bool Link::owns(const std::string &handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !handle.empty() && (handle == connector_ || accounts_.count(handle) || groups_.count(handle) ||
                               sessions_.count(handle));
}

bool Link::finished()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State::finished;
}

bool Link::ping()
{
    std::lock_guard<std::mutex> lock(mutex_);
    last_sent_ = Clock::now();
    return state_ == State::up &&
           socket_.send_all(wire::Writer(wire::FrameType::ping).finish(), kSendTimeout);
}

// Reader thread.
void Link::read_loop(std::string leftover)
{
    wire::Splitter splitter;
    splitter.feed(leftover.data(), leftover.size());
    Clock::time_point last_heard = Clock::now();
    double interval;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        interval = heartbeat_ / 4;
    }
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        wire::FrameType type;
        const char *payload;
        size_t size;
        wire::Splitter::Result result;
        while ((result = splitter.next(type, payload, size)) == wire::Splitter::frame) {
            if (!take_frame(type, payload, size))
                return lose("the server sent what this client cannot read");
            if (finished())
                return;
        }
        if (result == wire::Splitter::too_large)
            return lose("the server sent an oversized frame");
        long got = socket_.receive(buffer.data(), buffer.size(), interval);
        Clock::time_point now = Clock::now();
        if (got > 0) {
            splitter.feed(buffer.data(), static_cast<size_t>(got));
            last_heard = now;
        } else if (got != Socket::timed_out) {
            return lose(got == Socket::closed ? "the server closed the connection" : "the connection failed");
        } else if (std::chrono::duration<double>(now - last_heard).count() > heartbeat_) {
            return lose("the server stopped answering");
        }
        bool quiet;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (state_ == State::finished)
                return;
            quiet = std::chrono::duration<double>(now - last_sent_).count() >= interval;
        }
        if (quiet && !ping())
            return lose("the connection failed");
    }
}

bool Link::take_frame(wire::FrameType type, const char *payload, size_t size)
{
    switch (type) {
    case wire::FrameType::response:
        return take_response(payload, size);
    case wire::FrameType::event: {
        wire::Reader reader(payload, size);
        sdk_evt_base_t *event = wire::read_event(reader);
        if (!event)
            return false;
        learn(event);
        post_message(&event->message);
        return true;
    }
    case wire::FrameType::pong:
        return size == 0;
    default:
        return false;
    }
}

bool Link::take_response(const char *payload, size_t size)
{
    wire::Reader reader(payload, size);
    uint32_t id;
    if (!reader.u32(id))
        return false;
    sdk_req_base_t *request = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = pending_.find(id);
        if (found != pending_.end()) {
            request = found->second;
            pending_.erase(found);
        } else if (id == 0 && creation_) {
            // The connector made again after a reconnection: nothing to
            // tell the receiver.
            retain_request(creation_);
            request = creation_;
        } else {
            return false;
        }
    }
    sdk_resp_base_t *response = wire::read_response(reader, request);
    release_request(request);
    if (!response)
        return false;
    learn(response);
    if (id == 0)
        release_message(&response->message);
    else
        post_message(&response->message);
    return true;
}

void Link::learn(const sdk_resp_base_t *response)
{
    if (response->return_code != 0 || !response->request)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    switch (response->response_type) {
    case sdk_response_connector_create:
        if (connector_.empty())
            connector_ = text_of(reinterpret_cast<const sdk_resp_connector_create_t *>(response)->connector_handle);
        break;
    case sdk_response_connector_initiate_shutdown:
        state_ = State::finished;
        break;
    case sdk_response_account_login:
        accounts_.insert(text_of(reinterpret_cast<const sdk_resp_account_login_t *>(response)->account_handle));
        break;
    case sdk_response_account_logout:
        accounts_.erase(text_of(reinterpret_cast<const sdk_req_account_logout_t *>(response->request)->account_handle));
        break;
    case sdk_response_sessiongroup_create:
        groups_.insert(
            text_of(reinterpret_cast<const sdk_resp_sessiongroup_create_t *>(response)->session_group_handle));
        break;
    case sdk_response_sessiongroup_add_session:
        sessions_.insert(text_of(reinterpret_cast<const sdk_resp_sessiongroup_add_session_t *>(response)->session_handle));
        break;
    case sdk_response_session_create:
        sessions_.insert(text_of(reinterpret_cast<const sdk_resp_session_create_t *>(response)->session_handle));
        break;
    case sdk_response_sessiongroup_remove_session:
        sessions_.erase(
            text_of(reinterpret_cast<const sdk_req_sessiongroup_remove_session_t *>(response->request)->session_handle));
        break;
    default:
        break;
    }
    // Without a login the server keeps none of the connector's sessions.
    if (accounts_.empty()) {
        sessions_.clear();
        groups_.clear();
    }
}

void Link::learn(const sdk_evt_base_t *event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (event->event_type == sdk_event_media_stream_updated) {
        auto *media = reinterpret_cast<const sdk_evt_media_stream_updated_t *>(event);
        if (media->media_state == kMediaDisconnected)
            sessions_.erase(text_of(media->session_handle));
    } else if (event->event_type == sdk_event_account_login_state_change) {
        auto *state = reinterpret_cast<const sdk_evt_account_login_state_change_t *>(event);
        if (state->login_state == kLoggedOut)
            accounts_.erase(text_of(state->account_handle));
        if (accounts_.empty()) {
            sessions_.clear();
            groups_.clear();
        }
    }
}

// Reader thread: the server is gone.  Whatever waited for an answer fails,
// every session is reported disconnected and every login logged out, each
// with the status of a lost server; the connector stays for a new login.
void Link::lose(const std::string &reason)
{
    std::map<uint32_t, sdk_req_base_t *> pending;
    std::set<std::string> sessions, accounts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ == State::finished)
            return;
        state_ = State::down;
        pending.swap(pending_);
        sessions.swap(sessions_);
        accounts.swap(accounts_);
        groups_.clear();
    }
    socket_.shutdown();
    const std::string text = "Lost the voice server at " + address_ + ": " + reason;
    for (auto &entry : pending) {
        fail(entry.second, svc::kServerLost, text);
        release_request(entry.second);
    }
    for (const std::string &session : sessions) {
        svc::MessagePtr event = svc::media_event(session, kMediaDisconnected);
        if (auto *record = svc::as<sdk_evt_media_stream_updated_t>(event)) {
            record->status_code = svc::kServerLost;
            svc::put_text(record->status_text, text);
            post_message(event.release());
        }
    }
    for (const std::string &account : accounts) {
        svc::MessagePtr event = svc::login_state_event(account, kLoggedOut);
        if (auto *record = svc::as<sdk_evt_account_login_state_change_t>(event)) {
            record->status_code = svc::kServerLost;
            svc::put_text(record->status_text, text);
            post_message(event.release());
        }
    }
}

}  // namespace net
}  // namespace voicesdk
