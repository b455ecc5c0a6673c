// The C interface: the SDK's own calls and the control calls, over one
// process-wide state.
#include "voicesdk/control.h"

#include "hub.h"
#include "net/server_address.h"
#include "records.h"
#include "request_log.h"
#include "responder.h"
#include "scripted.h"
#include "wire/records.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace voicesdk {
namespace {

// The issue path's lock: held for a few stores, so one atomic exchange to
// take it and a plain store to give it back, where a mutex costs two
// read-modify-writes and a call each way.  A waiter yields rather than
// spin against a holder that was descheduled.
class SpinLock {
public:
    void lock()
    {
        while (locked_.exchange(true, std::memory_order_acquire)) {
            while (locked_.load(std::memory_order_relaxed))
                std::this_thread::yield();
        }
    }
    void unlock() { locked_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> locked_{false};
};

class State {
public:
    Hub hub;
    ScriptedRules rules;
    std::atomic<int> strdup_failures{0};

    int issue(sdk_req_base_t *request);
    void refuse(int code, int count);
    int set_mode(const char *name);
    // A connector made while a local voice server is named talks to it.
    void follow_server();
    void register_mode(const char *name, ResponderFactory factory);
    sdk_ctl_recorded_t *snapshot(size_t *count);
    void clear_requests();
    uint64_t request_total();
    size_t request_limit(size_t limit);
    void reset();

private:
    SpinLock mutex_;  // everything below
    RequestLog recorded_;
    int refuse_code_ = 0;
    int refuse_count_ = 0;
    std::shared_ptr<Responder> mode_;  // null: scripted
    std::string mode_name_ = "scripted";
    std::map<std::string, ResponderFactory> modes_;
};

// Never destroyed: handlers and late callers at process exit still find it.
State &state()
{
    static State *instance = new State;
    return *instance;
}

// Stops the notification thread before the process tears down.
struct StopAtExit {
    ~StopAtExit() { state().hub.shutdown(); }
} stop_at_exit;

int State::issue(sdk_req_base_t *request)
{
    if (!request)
        return 1;
    RecordHeader *header = header_of(request);
    IssuedRequest issued{request, header->info->kind, request->user_pointer != nullptr};
    if (issued.kind == sdk_request_connector_create)
        follow_server();
    std::shared_ptr<Responder> mode;
    int refused = 0;
    bool refuse = false;
    sdk_req_base_t *let_go = nullptr;
    // Released once the lock is given back, whichever way the call ends.
    struct Release {
        sdk_req_base_t *&request;
        ~Release()
        {
            if (request)
                release_request(request);
        }
    } release_let_go{let_go};
    {
        std::lock_guard<SpinLock> lock(mutex_);
        // Checked and set under the lock, so a request issued twice at once
        // is still taken once; destroy_req reads it without the lock.
        if (header->issued.load(std::memory_order_relaxed))
            return 1;  // already the SDK's
        header->issued.store(true, std::memory_order_release);
        header->counted = false;
        count_live(live_requests, -1);
        if (refuse_count_ > 0) {
            --refuse_count_;
            refuse = true;
            refused = refuse_code_;
        }
        // The creator's reference becomes the record's.  While the service
        // answers, the record keeps only the latest requests.
        let_go = recorded_.record(RequestLog::Entry{request, issued.kind, issued.sync, !refuse}, mode_ != nullptr);
        if (refuse)
            return refused;
        mode = mode_;
        // Nothing answers: the request is only recorded.
        if (!mode && !rules.answers(issued.kind))
            return 0;
        // clear_requests() may drop the record while responders run.
        retain_request(request);
    }
    if (!rules.on_request(issued) && mode)
        mode->on_request(issued);
    release_request(request);
    return 0;
}

void State::refuse(int code, int count)
{
    std::lock_guard<SpinLock> lock(mutex_);
    refuse_code_ = code;
    refuse_count_ = count > 0 ? count : 0;
}

int State::set_mode(const char *name)
{
    if (!name)
        return sdk_ctl_mode_unknown;
    std::shared_ptr<Responder> previous;
    RequestLog::Released let_go;
    {
        std::lock_guard<SpinLock> lock(mutex_);
        if (std::strcmp(name, "scripted") == 0) {
            previous.swap(mode_);
            mode_name_ = name;
            return sdk_ctl_mode_ok;
        }
        auto it = modes_.find(name);
        if (it == modes_.end())
            return std::strcmp(name, "service") == 0 ? sdk_ctl_mode_unavailable : sdk_ctl_mode_unknown;
        previous.swap(mode_);
        mode_ = it->second();
        mode_name_ = name;
        recorded_.trim(let_go);  // what scripted mode kept beyond the limit
    }
    for (sdk_req_base_t *request : let_go)
        release_request(request);
    return sdk_ctl_mode_ok;
}

void State::follow_server()
{
    if (net::server_address().empty())
        return;
    std::shared_ptr<Responder> previous;
    RequestLog::Released let_go;
    {
        std::lock_guard<SpinLock> lock(mutex_);
        auto it = modes_.find("remote");
        if (mode_name_ == "remote" || it == modes_.end())
            return;
        previous.swap(mode_);
        mode_ = it->second();
        mode_name_ = "remote";
        recorded_.trim(let_go);
    }
    for (sdk_req_base_t *request : let_go)
        release_request(request);
}

void State::register_mode(const char *name, ResponderFactory factory)
{
    std::lock_guard<SpinLock> lock(mutex_);
    modes_[name] = factory;
}

sdk_ctl_recorded_t *State::snapshot(size_t *count)
{
    std::lock_guard<SpinLock> lock(mutex_);
    *count = 0;
    if (recorded_.size() == 0)
        return nullptr;
    auto *list = static_cast<sdk_ctl_recorded_t *>(std::malloc(recorded_.size() * sizeof(sdk_ctl_recorded_t)));
    if (!list)
        return nullptr;
    recorded_.copy_to(list);
    *count = recorded_.size();
    return list;
}

void State::clear_requests()
{
    RequestLog::Released let_go;
    {
        std::lock_guard<SpinLock> lock(mutex_);
        recorded_.clear(let_go);
    }
    for (sdk_req_base_t *request : let_go)
        release_request(request);
}

uint64_t State::request_total()
{
    std::lock_guard<SpinLock> lock(mutex_);
    return recorded_.total();
}

size_t State::request_limit(size_t limit)
{
    RequestLog::Released let_go;
    size_t in_effect;
    {
        std::lock_guard<SpinLock> lock(mutex_);
        if (limit > 0) {
            recorded_.set_limit(limit);
            if (mode_)
                recorded_.trim(let_go);
        }
        in_effect = recorded_.limit();
    }
    for (sdk_req_base_t *request : let_go)
        release_request(request);
    return in_effect;
}

void State::reset()
{
    std::shared_ptr<Responder> previous;
    {
        std::lock_guard<SpinLock> lock(mutex_);
        refuse_code_ = 0;
        refuse_count_ = 0;
        previous.swap(mode_);
        recorded_.set_limit(RequestLog::kDefaultLimit);
        mode_name_ = "scripted";
    }
    net::choose_server(nullptr);
    // Ended before the queue is drained, so none of its timers can queue a
    // message after the drain.
    previous.reset();
    clear_requests();
    rules.clear();
    strdup_failures.store(0, std::memory_order_relaxed);
    for (sdk_message_base_t *message : hub.drain())
        release_message(message);
}

}  // namespace

void register_mode(const char *name, ResponderFactory factory)
{
    state().register_mode(name, factory);
}

void post_message(sdk_message_base_t *message)
{
    state().hub.post(message);
}

}  // namespace voicesdk

using namespace voicesdk;

extern "C" {

/* ---- the SDK's calls ---------------------------------------------------- */

#define TW_CREATE(kind, rtype)                                         \
    sdk_req_##kind##_t *sdk_req_##kind##_create(void)                  \
    {                                                                  \
        return reinterpret_cast<sdk_req_##kind##_t *>(make_request(sdk_request_##kind)); \
    }
SDK_REQUEST_KINDS(TW_CREATE)
#undef TW_CREATE

int sdk_issue_request(sdk_req_base_t *request)
{
    return state().issue(request);
}

int sdk_get_message(sdk_message_base_t **message)
{
    if (!message)
        return 1;
    return state().hub.take(message) ? 0 : 1;
}

char *sdk_strdup(const char *text)
{
    if (!text)
        return nullptr;
    std::atomic<int> &failures = state().strdup_failures;
    int left = failures.load(std::memory_order_relaxed);
    while (left > 0)
        if (failures.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            return nullptr;
    return copy_text(text);
}

int sdk_register_message_notification_handler(sdk_message_notification_handler_t handler,
                                              void *user_data)
{
    return state().hub.add_handler(handler, user_data);
}

int sdk_unregister_message_notification_handler(sdk_message_notification_handler_t handler,
                                                void *user_data)
{
    return state().hub.remove_handler(handler, user_data);
}

void destroy_resp(sdk_resp_base_t *response)
{
    if (response)
        release_message(&response->message);
}

void destroy_evt(sdk_evt_base_t *event)
{
    if (event)
        release_message(&event->message);
}

void destroy_req(sdk_req_base_t *request)
{
    if (!request)
        return;
    RecordHeader *header = header_of(request);
    if (header->issued.load(std::memory_order_acquire))
        return;  // the SDK's now, not the caller's to release
    if (header->counted) {
        header->counted = false;
        count_live(live_requests, -1);
    }
    release_request(request);
}

void destroy_msg(sdk_message_base_t *message)
{
    release_message(message);
}

/* ---- control ------------------------------------------------------------ */

const sdk_record_info_t *sdk_ctl_request_info(int kind)
{
    return request_info(kind);
}

int sdk_ctl_request_kind(const char *name)
{
    if (!name)
        return -1;
    for (int kind = 0; kind < sdk_request_kind_count; ++kind)
        if (std::strcmp(request_info(kind)->name, name) == 0)
            return kind;
    return -1;
}

const sdk_record_info_t *sdk_ctl_response_info(int response_type)
{
    return response_info(response_type);
}

const sdk_record_info_t *sdk_ctl_event_info(int event_type)
{
    return event_info(event_type);
}

const sdk_record_info_t *sdk_ctl_record_info(const void *record)
{
    return record ? header_of(record)->info : nullptr;
}

sdk_req_base_t *sdk_ctl_request_create(int kind)
{
    return make_request(kind);
}

sdk_resp_base_t *sdk_ctl_response_create(int response_type, sdk_req_base_t *request)
{
    return make_response(response_type, request);
}

sdk_evt_base_t *sdk_ctl_event_create(int event_type)
{
    return make_event(event_type);
}

sdk_message_base_t *sdk_ctl_message_create(int message_type)
{
    return make_message(message_type);
}

char *sdk_ctl_strdup(const char *text)
{
    return copy_text(text);
}

void sdk_ctl_free_text(char *text)
{
    free_record_text(text);
}

int sdk_ctl_resp_set_test_results(sdk_resp_base_t *response, int count,
                                  const sdk_connectivity_test_result_t *items)
{
    return response ? set_test_results(response, count, items) : 1;
}

int sdk_ctl_resp_set_devices(sdk_resp_base_t *response, int count, const char *const *names,
                             const char *current)
{
    return response ? set_devices(response, count, names, current) : 1;
}

void sdk_ctl_post(sdk_message_base_t *message)
{
    if (message)
        state().hub.post(message);
}

int sdk_ctl_event_burst(const sdk_evt_base_t *prototype, int count)
{
    if (!prototype)
        return 1;
    const size_t copies = count > 0 ? static_cast<size_t>(count) : 0;
    std::vector<sdk_message_base_t *> events;
    try {
        events.reserve(copies);
    } catch (const std::bad_alloc &) {
        return 1;
    }
    if (!copy_events(prototype, copies, events))
        return 1;
    if (!events.empty())
        state().hub.post(events);
    return 0;
}

int sdk_ctl_flush(double timeout_seconds)
{
    return state().hub.flush(timeout_seconds) ? 1 : 0;
}

int sdk_ctl_handler_count(void)
{
    return state().hub.handler_count();
}

int sdk_ctl_answer(int kind, sdk_resp_base_t *prototype, int once)
{
    if (!prototype)
        return 1;
    if (!request_info(kind)) {
        release_message(&prototype->message);
        return 1;
    }
    state().rules.add(kind, prototype, once != 0);
    return 0;
}

void sdk_ctl_refuse(int code, int count)
{
    state().refuse(code, count);
}

void sdk_ctl_fail_strdup(int count)
{
    state().strdup_failures.store(count > 0 ? count : 0, std::memory_order_relaxed);
}

int sdk_ctl_set_mode(const char *name)
{
    return state().set_mode(name);
}

void sdk_ctl_set_server(const char *address)
{
    net::choose_server(address);
}

void sdk_ctl_server_protocol(int *version, unsigned long *layout_digest)
{
    if (version)
        *version = wire::kVersion;
    if (layout_digest)
        *layout_digest = wire::layout_digest();
}

sdk_ctl_recorded_t *sdk_ctl_requests(size_t *count)
{
    size_t ignored;
    return state().snapshot(count ? count : &ignored);
}

void sdk_ctl_requests_free(sdk_ctl_recorded_t *list, size_t count)
{
    if (!list)
        return;
    for (size_t i = 0; i < count; ++i)
        release_request(list[i].request);
    std::free(list);
}

void sdk_ctl_clear_requests(void)
{
    state().clear_requests();
}

unsigned long long sdk_ctl_request_total(void)
{
    return state().request_total();
}

size_t sdk_ctl_request_limit(size_t limit)
{
    return state().request_limit(limit);
}

void sdk_ctl_reset(void)
{
    state().reset();
}

void sdk_ctl_live(sdk_ctl_live_t *out)
{
    if (!out)
        return;
    const LiveTotals live = live_totals();
    out->requests = live.requests;
    out->responses = live.responses;
    out->events = live.events;
}

}  // extern "C"
