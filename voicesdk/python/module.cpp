// voicesdk: scripts the SDK stand-in from Python (tests, demo, developers).
// One source for Python 2.7 and 3.x; every blocking wait drops the
// interpreter lock, and nothing here runs on the SDK's notification thread.
#include "fields.h"
#include "service.h"

#include "twplatform/faults.h"
#include "twplatform/win32.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace voicesdk_py {
namespace py = talkwire::py;
namespace {

struct Param {
    const char *name;
    PyObject *value;  // borrowed; null when not given
};

// Binds arguments the way a Python signature would; keywords that name no
// parameter go to `extra`, or are a TypeError when extra is null.
template <size_t N>
bool bind(const char *function, PyObject *args, PyObject *kwargs, Param (&params)[N], size_t required,
          std::vector<Keyword> *extra)
{
    Py_ssize_t given = args ? PyTuple_GET_SIZE(args) : 0;
    if (given > static_cast<Py_ssize_t>(N)) {
        PyErr_Format(PyExc_TypeError, "%s() takes at most %d positional arguments (%d given)", function,
                     static_cast<int>(N), static_cast<int>(given));
        return false;
    }
    for (Py_ssize_t i = 0; i < given; ++i)
        params[i].value = PyTuple_GET_ITEM(args, i);
    if (kwargs) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            std::string name;
            if (!py::text_arg(key, name))
                return false;
            Param *param = nullptr;
            for (Param &candidate : params)
                if (name == candidate.name)
                    param = &candidate;
            if (param) {
                if (param->value) {
                    PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function,
                                 name.c_str());
                    return false;
                }
                param->value = value;
            } else if (extra) {
                extra->push_back(Keyword{name, value});
            } else {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%s'", function,
                             name.c_str());
                return false;
            }
        }
    }
    for (size_t i = 0; i < required; ++i) {
        if (!params[i].value) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s'", function, params[i].name);
            return false;
        }
    }
    return true;
}

PyObject *none()
{
    Py_INCREF(Py_None);
    return Py_None;
}

bool request_kind(PyObject *name_arg, int &kind)
{
    std::string name;
    if (!text_value(name_arg, name, "request kind"))
        return false;
    kind = sdk_ctl_request_kind(name.c_str());
    if (kind < 0) {
        PyErr_Format(PyExc_ValueError, "unknown request kind '%s'", name.c_str());
        return false;
    }
    return true;
}

// Snapshot of the recorded requests, released with it.
struct Recorded {
    sdk_ctl_recorded_t *list = nullptr;
    size_t count = 0;
    Recorded() { list = sdk_ctl_requests(&count); }
    Recorded(const Recorded &) = delete;
    Recorded &operator=(const Recorded &) = delete;
    ~Recorded() { sdk_ctl_requests_free(list, count); }
};

void clear_platform_faults()
{
#if TWPLAT_HAVE_FAULTS
    twplat_clear_faults();
#endif
}

PyObject *reset(PyObject *, PyObject *)
{
    // Ends the service first, so that nothing it still had scheduled can
    // reach the queue after the reset has emptied it.
    sdk_ctl_set_mode("scripted");
    sdk_ctl_reset();
    clear_platform_faults();
    return none();
}

PyObject *mode(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"name", nullptr}};
    std::string name;
    if (!bind("mode", args, kwargs, params, 1, nullptr) || !text_value(params[0].value, name, "mode"))
        return nullptr;
    switch (sdk_ctl_set_mode(name.c_str())) {
    case sdk_ctl_mode_ok:
        return none();
    case sdk_ctl_mode_unavailable:
        PyErr_Format(PyExc_ValueError, "%s mode is not available in this build", name.c_str());
        return nullptr;
    default:
        PyErr_Format(PyExc_ValueError, "unknown mode '%s' (use \"scripted\" or \"service\")", name.c_str());
        return nullptr;
    }
}

PyObject *use_server(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"address", nullptr}};
    if (!bind("use_server", args, kwargs, params, 1, nullptr))
        return nullptr;
    if (params[0].value == Py_None) {
        sdk_ctl_set_server(nullptr);
        return none();
    }
    std::string address;
    if (!text_value(params[0].value, address, "address"))
        return nullptr;
    sdk_ctl_set_server(address.c_str());
    return none();
}

PyObject *server_protocol(PyObject *, PyObject *)
{
    int version = 0;
    unsigned long digest = 0;
    sdk_ctl_server_protocol(&version, &digest);
    return Py_BuildValue("(ik)", version, digest);
}

OwnedRef recorded_dict(const sdk_ctl_recorded_t &entry)
{
    const sdk_record_info_t *info = sdk_ctl_request_info(entry.kind);
    const char *cookie = entry.request->cookie;
    OwnedRef dict = OwnedRef::steal(PyDict_New());
    OwnedRef kind = OwnedRef::steal(py::text(info->name));
    OwnedRef cookie_value = cookie ? OwnedRef::steal(py::text(cookie)) : OwnedRef::none();
    OwnedRef sync = OwnedRef::steal(PyBool_FromLong(entry.sync));
    OwnedRef accepted = OwnedRef::steal(PyBool_FromLong(entry.accepted));
    OwnedRef index = OwnedRef::steal(PyLong_FromUnsignedLongLong(entry.index));
    OwnedRef fields = field_list(entry.request, *info);
    if (!dict || !kind || !cookie_value || !index || !fields ||
        PyDict_SetItemString(dict.get(), "kind", kind.get()) < 0 ||
        PyDict_SetItemString(dict.get(), "cookie", cookie_value.get()) < 0 ||
        PyDict_SetItemString(dict.get(), "sync", sync.get()) < 0 ||
        PyDict_SetItemString(dict.get(), "accepted", accepted.get()) < 0 ||
        PyDict_SetItemString(dict.get(), "index", index.get()) < 0 ||
        PyDict_SetItemString(dict.get(), "fields", fields.get()) < 0)
        return OwnedRef();
    return dict;
}

PyObject *requests(PyObject *, PyObject *)
{
    Recorded recorded;
    OwnedRef list = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(recorded.count)));
    if (!list)
        return nullptr;
    for (size_t i = 0; i < recorded.count; ++i) {
        OwnedRef dict = recorded_dict(recorded.list[i]);
        if (!dict)
            return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return list.release();
}

PyObject *clear_requests(PyObject *, PyObject *)
{
    sdk_ctl_clear_requests();
    return none();
}

PyObject *request_total(PyObject *, PyObject *)
{
    return PyLong_FromUnsignedLongLong(sdk_ctl_request_total());
}

PyObject *request_limit(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"limit", nullptr}};
    int limit = 0;
    if (!bind("request_limit", args, kwargs, params, 0, nullptr) ||
        (params[0].value && params[0].value != Py_None && !int_value(params[0].value, limit, "limit")))
        return nullptr;
    if (params[0].value && params[0].value != Py_None && limit < 1) {
        PyErr_SetString(PyExc_ValueError, "limit must be at least 1");
        return nullptr;
    }
    return PyLong_FromSize_t(sdk_ctl_request_limit(static_cast<size_t>(limit)));
}

PyObject *refuse(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"code", nullptr}, {"count", nullptr}};
    int code = 0, count = 1;
    if (!bind("refuse", args, kwargs, params, 1, nullptr) || !int_value(params[0].value, code, "code") ||
        (params[1].value && !int_value(params[1].value, count, "count")))
        return nullptr;
    sdk_ctl_refuse(code, count);
    return none();
}

PyObject *answer(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"kind", nullptr},        {"return_code", nullptr}, {"status_code", nullptr},
                      {"status_text", nullptr}, {"once", nullptr}};
    ResponseArgs response_args;
    int kind = 0;
    if (!bind("answer", args, kwargs, params, 1, &response_args.results) || !request_kind(params[0].value, kind))
        return nullptr;
    int once = params[4].value ? PyObject_IsTrue(params[4].value) : 0;
    if (once < 0)
        return nullptr;
    response_args.return_code = params[1].value;
    response_args.status_code = params[2].value;
    response_args.status_text = params[3].value;
    sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_ctl_request_info(kind)->type, nullptr);
    MessagePtr owner(prototype ? &prototype->message : nullptr);
    if (!owner)
        return PyErr_NoMemory();
    if (!fill_response(prototype, "answer", response_args))
        return nullptr;
    owner.release();
    sdk_ctl_answer(kind, prototype, once);
    return none();
}

// Finishes respond() and respond_to(): fills the response and queues it.
PyObject *queue_response(sdk_resp_base_t *response, const char *function, const ResponseArgs &args)
{
    MessagePtr owner(response ? &response->message : nullptr);
    if (!owner)
        return PyErr_NoMemory();
    if (!fill_response(response, function, args))
        return nullptr;
    sdk_ctl_post(owner.release());
    return none();
}

const sdk_ctl_recorded_t *find_recorded(const Recorded &recorded, PyObject *which)
{
    if (py::is_text(which) || PyBytes_Check(which)) {
        std::string cookie;
        if (!text_value(which, cookie, "cookie"))
            return nullptr;
        for (size_t i = 0; i < recorded.count; ++i) {
            const char *candidate = recorded.list[i].request->cookie;
            if (candidate && cookie == candidate)
                return &recorded.list[i];
        }
        PyErr_Format(PyExc_KeyError, "no recorded request has cookie '%s'", cookie.c_str());
        return nullptr;
    }
    // An index is the request's place in issue order since the last clear
    // (its "index" in requests()); a negative one counts back from the
    // newest.  The service keeps only the latest requests, so an old index
    // may name one no longer kept.
    int given = 0;
    if (!int_value(which, given, "which"))
        return nullptr;
    const long long index = given;
    const long long kept = static_cast<long long>(recorded.count);
    const long long first = kept ? static_cast<long long>(recorded.list[0].index) : 0;
    const long long total = first + kept;
    const long long wanted = index < 0 ? index + total : index;
    if (wanted < 0 || wanted >= total || (index < 0 && wanted < first)) {
        PyErr_Format(PyExc_IndexError, "request index %lld out of range (%lld kept of %lld issued)", index, kept,
                     total);
        return nullptr;
    }
    if (wanted < first) {
        PyErr_Format(PyExc_IndexError, "request %lld is no longer kept (only the latest %lld of %lld are)", index,
                     kept, total);
        return nullptr;
    }
    return &recorded.list[wanted - first];
}

PyObject *respond(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"which", nullptr}, {"return_code", nullptr}, {"status_code", nullptr},
                      {"status_text", nullptr}};
    ResponseArgs response_args;
    if (!bind("respond", args, kwargs, params, 1, &response_args.results))
        return nullptr;
    response_args.return_code = params[1].value;
    response_args.status_code = params[2].value;
    response_args.status_text = params[3].value;
    Recorded recorded;
    const sdk_ctl_recorded_t *entry = find_recorded(recorded, params[0].value);
    if (!entry)
        return nullptr;
    int type = sdk_ctl_request_info(entry->kind)->type;
    return queue_response(sdk_ctl_response_create(type, entry->request), "respond", response_args);
}

PyObject *respond_to(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"response_type", nullptr}, {"request_kind", nullptr}, {"request_fields", nullptr},
                      {"return_code", nullptr},   {"status_code", nullptr},  {"status_text", nullptr}};
    ResponseArgs response_args;
    int type = 0, kind = 0;
    if (!bind("respond_to", args, kwargs, params, 3, &response_args.results) ||
        !int_value(params[0].value, type, "response_type") || !request_kind(params[1].value, kind))
        return nullptr;
    response_args.return_code = params[3].value;
    response_args.status_code = params[4].value;
    response_args.status_text = params[5].value;
    PyObject *fields = params[2].value;
    if (fields != Py_None && !PyDict_Check(fields)) {
        PyErr_SetString(PyExc_TypeError, "request_fields must be a dict");
        return nullptr;
    }
    RequestPtr request(sdk_ctl_request_create(kind));
    if (!request)
        return PyErr_NoMemory();
    if (fields != Py_None) {
        std::vector<Keyword> keywords;
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(fields, &pos, &key, &value)) {
            keywords.push_back(Keyword{std::string(), value});
            if (!py::text_arg(key, keywords.back().name))
                return nullptr;
            // The cookie is how the product matches a response to its request.
            if (keywords.back().name == "cookie") {
                if (!optional_text(value, request->cookie, "cookie"))
                    return nullptr;
                keywords.pop_back();
            }
        }
        if (!set_fields(request.get(), "respond_to", keywords))
            return nullptr;
    }
    // The response keeps the made-up request alive; our reference goes.
    return queue_response(sdk_ctl_response_create(type, request.get()), "respond_to", response_args);
}

// An event built from keywords, for event() and event_burst().
MessagePtr make_event(const char *function, PyObject *type_arg, const std::vector<Keyword> &fields)
{
    int type = 0;
    if (!int_value(type_arg, type, "event_type"))
        return MessagePtr();
    sdk_evt_base_t *event = sdk_ctl_event_create(type);
    MessagePtr owner(event ? &event->message : nullptr);
    if (!owner) {
        PyErr_NoMemory();
        return owner;
    }
    if (!set_fields(event, function, fields))
        owner.reset();
    return owner;
}

PyObject *event(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"event_type", nullptr}};
    std::vector<Keyword> fields;
    if (!bind("event", args, kwargs, params, 1, &fields))
        return nullptr;
    MessagePtr event = make_event("event", params[0].value, fields);
    if (!event)
        return nullptr;
    sdk_ctl_post(event.release());
    return none();
}

PyObject *event_burst(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"count", nullptr}, {"event_type", nullptr}};
    std::vector<Keyword> fields;
    int count = 0;
    if (!bind("event_burst", args, kwargs, params, 2, &fields) || !int_value(params[0].value, count, "count"))
        return nullptr;
    if (count < 0) {
        PyErr_SetString(PyExc_ValueError, "count must not be negative");
        return nullptr;
    }
    MessagePtr prototype = make_event("event_burst", params[1].value, fields);
    if (!prototype)
        return nullptr;
    int failed;
    Py_BEGIN_ALLOW_THREADS
    failed = sdk_ctl_event_burst(reinterpret_cast<sdk_evt_base_t *>(prototype.get()), count);
    Py_END_ALLOW_THREADS
    if (failed)
        return PyErr_NoMemory();
    return none();
}

PyObject *message(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"message_type", nullptr}};
    int type = 0;
    if (!bind("message", args, kwargs, params, 1, nullptr) || !int_value(params[0].value, type, "message_type"))
        return nullptr;
    sdk_message_base_t *made = sdk_ctl_message_create(type);
    if (!made)
        return PyErr_NoMemory();
    sdk_ctl_post(made);
    return none();
}

PyObject *flush(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"timeout", nullptr}};
    double timeout = 5.0;
    if (!bind("flush", args, kwargs, params, 0, nullptr) ||
        (params[0].value && !double_value(params[0].value, timeout, "timeout")))
        return nullptr;
    int drained;
    Py_BEGIN_ALLOW_THREADS
    drained = sdk_ctl_flush(timeout);
    Py_END_ALLOW_THREADS
    return PyBool_FromLong(drained);
}

// Without an argument WM_QUIT goes to the calling thread; with a thread id
// (from thread_id()) to that thread, so another thread can end its Run.
PyObject *post_quit(PyObject *, PyObject *args)
{
    unsigned long thread = 0;
    if (!PyArg_ParseTuple(args, "|k:post_quit", &thread))
        return nullptr;
    if (thread == 0)
        PostQuitMessage(0);
    else if (!PostThreadMessageA(static_cast<DWORD>(thread), WM_QUIT, 0, 0))
        return PyErr_Format(PyExc_ValueError, "no message queue for thread %lu", thread);
    return none();
}

PyObject *thread_id(PyObject *, PyObject *)
{
    return PyLong_FromUnsignedLong(GetCurrentThreadId());
}

PyObject *live(PyObject *, PyObject *)
{
    sdk_ctl_live_t counts;
    sdk_ctl_live(&counts);
    OwnedRef dict = OwnedRef::steal(PyDict_New());
    if (!dict)
        return nullptr;
    const std::pair<const char *, long> items[] = {
        {"requests", counts.requests}, {"responses", counts.responses}, {"events", counts.events}};
    for (const auto &item : items) {
        OwnedRef value = OwnedRef::steal(py::integer(item.second));
        if (!value || PyDict_SetItemString(dict.get(), item.first, value.get()) < 0)
            return nullptr;
    }
    return dict.release();
}

PyObject *handlers(PyObject *, PyObject *)
{
    return py::integer(sdk_ctl_handler_count());
}

PyObject *windows(PyObject *, PyObject *)
{
#if TWPLAT_HAVE_FAULTS
    return PyLong_FromSize_t(twplat_window_count());
#else
    PyErr_SetString(PyExc_NotImplementedError, "window counts need the platform layer of non-Windows hosts");
    return nullptr;
#endif
}

PyObject *fail_strdup(PyObject *, PyObject *args, PyObject *kwargs)
{
    Param params[] = {{"count", nullptr}};
    int count = 1;
    if (!bind("fail_strdup", args, kwargs, params, 0, nullptr) ||
        (params[0].value && !int_value(params[0].value, count, "count")))
        return nullptr;
    sdk_ctl_fail_strdup(count);
    return none();
}

PyObject *fault(PyObject *, PyObject *args, PyObject *kwargs)
{
    static const std::pair<const char *, int> names[] = {
        {"create_event", twplat_fault_create_event},     {"create_thread", twplat_fault_create_thread},
        {"register_class", twplat_fault_register_class}, {"create_window", twplat_fault_create_window},
        {"post_message", twplat_fault_post_message}};
    Param params[] = {{"name", nullptr}, {"count", nullptr}, {"error", nullptr}};
    std::string name;
    int count = 1, error = 0;
    if (!bind("fault", args, kwargs, params, 1, nullptr) || !text_value(params[0].value, name, "name") ||
        (params[1].value && !int_value(params[1].value, count, "count")) ||
        (params[2].value && !int_value(params[2].value, error, "error")))
        return nullptr;
    for (const auto &entry : names) {
        if (name == entry.first) {
#if TWPLAT_HAVE_FAULTS
            twplat_inject_fault(entry.second, count, static_cast<DWORD>(error));
            return none();
#else
            PyErr_SetString(PyExc_NotImplementedError, "platform faults need the platform layer of non-Windows hosts");
            return nullptr;
#endif
        }
    }
    PyErr_Format(PyExc_ValueError,
                 "unknown fault '%s' (create_event, create_thread, register_class, create_window, post_message)",
                 name.c_str());
    return nullptr;
}

PyObject *fault_clear(PyObject *, PyObject *)
{
    clear_platform_faults();
    return none();
}

// The floor for a synchronous round trip: two threads bounce a wake-up
// between two auto-reset events, the primitive the synchronous road waits
// on.  Returns each round trip's duration in seconds.
PyObject *wake_round_trips(PyObject *, PyObject *args)
{
    int count = 0;
    if (!PyArg_ParseTuple(args, "i:wake_round_trips", &count))
        return nullptr;
    if (count < 0) {
        PyErr_SetString(PyExc_ValueError, "count must not be negative");
        return nullptr;
    }
    std::vector<double> seconds(static_cast<size_t>(count));
    bool made = false;
    Py_BEGIN_ALLOW_THREADS
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    made = ping && pong;
    if (made) {
        std::thread echo([&] {
            for (int i = 0; i < count; ++i) {
                WaitForSingleObject(ping, INFINITE);
                SetEvent(pong);
            }
        });
        for (double &elapsed : seconds) {
            auto start = std::chrono::steady_clock::now();
            SetEvent(ping);
            WaitForSingleObject(pong, INFINITE);
            elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        echo.join();
    }
    if (ping)
        CloseHandle(ping);
    if (pong)
        CloseHandle(pong);
    Py_END_ALLOW_THREADS
    if (!made)
        return PyErr_Format(PyExc_OSError, "CreateEventA failed (error %lu)", static_cast<unsigned long>(GetLastError()));
    OwnedRef list = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(seconds.size())));
    if (!list)
        return nullptr;
    for (size_t i = 0; i < seconds.size(); ++i) {
        PyObject *value = PyFloat_FromDouble(seconds[i]);
        if (!value)
            return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), value);
    }
    return list.release();
}

template <class F> PyCFunction keywords(F function)
{
    // METH_KEYWORDS functions take a third argument; the table's type does not.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

#define TW_KW METH_VARARGS | METH_KEYWORDS
PyMethodDef methods[] = {
    {"reset", reset, METH_NOARGS,
     "reset()\n\nEnd the simulated voice service (dropping what it had scheduled) and every connection to a"
     " voice server, forget requests and rules, release queued messages, clear refusals and faults, follow"
     " VOICESDK_SERVER again, back to scripted mode."},
    {"mode", keywords(mode), TW_KW,
     "mode(name)\n\n\"scripted\" or \"service\" (a fresh simulated voice service with default settings)."},
    {"use_server", keywords(use_server), TW_KW,
     "use_server(address)\n\nConnectors created from now on talk to the local voice server at \"host:port\" (\"\": to\n"
     "none) instead of the one the VOICESDK_SERVER environment variable names; None follows the variable again."},
    {"server_protocol", server_protocol, METH_NOARGS,
     "server_protocol() -> (version, layout_digest)\n\nWhat this build's clients say in their hello to a local voice server."},
    {"service", keywords(service), TW_KW,
     "service(latency=, accounts=, peers=, channel_peers=, peer_interval=, talk_rounds=, peers_leave=, capture_devices=, render_devices=,"
     " mic_levels=, mic_interval=, failing_test=) -> settings\n\n"
     "Change the given settings of the running simulated voice service; returns them all."},
    {"service_state", service_state, METH_NOARGS,
     "service_state() -> dict\n\nWhat the simulated voice service holds: connectors, logins, accounts,"
     " sessions, devices, levels, microphone test, key binding, pending timed messages."},
    {"settle", keywords(settle), TW_KW,
     "settle(timeout=5.0) -> bool\n\nWait until the service has nothing scheduled and the queue is delivered."},
    {"requests", requests, METH_NOARGS,
     "requests() -> [{'kind', 'cookie', 'sync', 'accepted', 'fields', 'index'}, ...] in issue order.\n\n"
     "Scripted mode keeps every request; while the service answers, only the latest request_limit()."},
    {"clear_requests", clear_requests, METH_NOARGS,
     "clear_requests()\n\nForget the recorded requests; request_total() starts again from 0."},
    {"request_total", request_total, METH_NOARGS,
     "request_total() -> requests issued since the last clear, those no longer kept included."},
    {"request_limit", keywords(request_limit), TW_KW,
     "request_limit(limit=None) -> int\n\nHow many requests are kept while the service answers (1000 after a"
     " reset); sets it first when given."},
    {"refuse", keywords(refuse), TW_KW, "refuse(code, count=1)\n\nThe next count issues return code."},
    {"answer", keywords(answer), TW_KW,
     "answer(kind, return_code=0, status_code=0, status_text=None, once=False, **results)\n\n"
     "Answer later requests of kind at once."},
    {"respond", keywords(respond), TW_KW,
     "respond(which, return_code=0, status_code=0, status_text=None, **results)\n\n"
     "Queue the response to a recorded request (index or cookie)."},
    {"respond_to", keywords(respond_to), TW_KW,
     "respond_to(response_type, request_kind, request_fields, return_code=0, status_code=0,"
     " status_text=None, **results)\n\nQueue a response to a made-up request."},
    {"event", keywords(event), TW_KW, "event(event_type, **fields)\n\nQueue an event."},
    {"event_burst", keywords(event_burst), TW_KW,
     "event_burst(count, event_type, **fields)\n\nQueue count identical events in one go."},
    {"message", keywords(message), TW_KW, "message(message_type)\n\nQueue a bare message of any type."},
    {"flush", keywords(flush), TW_KW,
     "flush(timeout=5.0) -> bool\n\nWait until every queued message went through a handler."},
    {"post_quit", post_quit, METH_VARARGS,
     "post_quit(thread_id=0)\n\nPost WM_QUIT to the calling thread, or to the thread given."},
    {"thread_id", thread_id, METH_NOARGS, "thread_id() -> the calling thread's platform thread id"},
    {"live", live, METH_NOARGS, "live() -> {'requests': n, 'responses': n, 'events': n}"},
    {"handlers", handlers, METH_NOARGS, "handlers() -> number of registered notification handlers"},
    {"windows", windows, METH_NOARGS, "windows() -> number of windows that exist in the process, of every thread"},
    {"fail_strdup", keywords(fail_strdup), TW_KW,
     "fail_strdup(count=1)\n\nThe next count calls of sdk_strdup return null."},
    {"fault", keywords(fault), TW_KW,
     "fault(name, count=1, error=0)\n\nFail the next count platform calls of one kind (NotImplementedError where\n"
     "PLATFORM_FAULTS is false: on Windows)."},
    {"fault_clear", fault_clear, METH_NOARGS, "fault_clear()\n\nClear every platform fault."},
    {"wake_round_trips", wake_round_trips, METH_VARARGS,
     "wake_round_trips(count) -> [seconds, ...]\n\nTwo native threads bounce a wake-up through a pair of"
     " platform events count times (the floor of a synchronous round trip)."},
    {nullptr, nullptr, 0, nullptr}};
#undef TW_KW

const char doc[] = "Scripts the voice SDK stand-in: recorded requests, answers, events and faults.";

// The message, response and event types by name (RESPONSE_ACCOUNT_LOGIN,
// EVENT_SESSION_STATE_CHANGE, ...), from the SDK's own record lists.
struct NamedType {
    const char *prefix;
    const char *name;
    int value;
};
const NamedType kTypes[] = {
    {"MESSAGE_", "response", sdk_message_response},
    {"MESSAGE_", "event", sdk_message_event},
#define VOICESDK_PY_TYPE(prefix, name, value) {prefix, #name, value},
#define VOICESDK_PY_RESPONSE(kind, rtype) VOICESDK_PY_TYPE("RESPONSE_", kind, rtype)
#define VOICESDK_PY_EVENT(name, etype) VOICESDK_PY_TYPE("EVENT_", name, etype)
    SDK_REQUEST_KINDS(VOICESDK_PY_RESPONSE)
    SDK_EVENT_KINDS(VOICESDK_PY_EVENT)
#undef VOICESDK_PY_EVENT
#undef VOICESDK_PY_RESPONSE
#undef VOICESDK_PY_TYPE
};

bool add_constants(PyObject *module)
{
    for (const NamedType &type : kTypes) {
        std::string name = type.prefix;
        for (const char *c = type.name; *c; ++c)
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
        if (PyModule_AddIntConstant(module, name.c_str(), type.value) < 0)
            return false;
    }
    // Whether fault() works here: tests that need it skip where it cannot.
    return PyModule_AddIntConstant(module, "PLATFORM_FAULTS", TWPLAT_HAVE_FAULTS) == 0;
}

talkwire::py::ModuleDefinition module_definition{"voicesdk", doc, methods, add_constants};

}  // namespace
}  // namespace voicesdk_py

TW_MODULE_INIT(voicesdk, voicesdk_py::module_definition)
