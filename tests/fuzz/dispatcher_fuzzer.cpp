// libFuzzer target: arbitrary sequences of SDK responses and events,
// Connector method calls and injected faults, run against Connectors inside
// an embedded interpreter.  After every step the channel registry of each
// live connector must hold its invariants and no Python error may be left
// set; after every input every SDK record must be released.
//
// The module is linked in (registered with PyImport_AppendInittab), so the
// harness drives it through its Python API and reads the registry of the
// C++ object behind it directly.  Input format: see Reader and run_step();
// tests/fuzz/make_seeds.py writes the seed corpus in it.
#include "module/connector.h"
#include "module/methods.h"
#include "twplatform/faults.h"
#include "voicesdk/control.h"

#include <Python.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern "C" PyObject *PyInit__talkwire(void);

namespace {

// ---- input ----------------------------------------------------------------

class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t u32()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(byte()) << (8 * i);
        return value;
    }

    // Integers with the edges the product must survive made likely.
    int integer()
    {
        switch (byte()) {
        case 0: return 0;
        case 1: return 1;
        case 2: return -1;
        case 3: return INT_MIN;
        case 4: return INT_MAX;
        case 5: return 20200;
        case 6: return 100;
        case 7: return static_cast<int8_t>(byte());
        default: return static_cast<int>(u32());
        }
    }

    // Text: one of a few names that make records, handles and requests
    // meet, absent (null), or raw bytes (NULs and invalid UTF-8 included).
    bool text(std::string &out)
    {
        static const char *const kPool[] = {"", "a", "b", "chan", "sess-1", "sess-2", "group-1", "sip:a",
                                            "sip:b", "acct-1", "conn-1", "\xff\xfe", "Test"};
        constexpr uint8_t kPoolSize = sizeof kPool / sizeof kPool[0];
        uint8_t choice = byte();
        if (choice == 0xff)
            return false;
        if (choice < kPoolSize || choice < 0xc0) {
            out = kPool[choice % kPoolSize];
            return true;
        }
        size_t length = byte() % 32;
        out.clear();
        for (size_t i = 0; i < length; ++i)
            out.push_back(static_cast<char>(byte()));
        return true;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] void fail(const char *what, const std::string &detail = std::string())
{
    std::fprintf(stderr, "dispatcher_fuzzer: %s %s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// ---- Python side ------------------------------------------------------------

// The listener: records nothing, but may act when called (its action list
// is filled by the input): raise, drop its connector (the only strong
// reference), call back into the connector, pump nested.
const char kListenerSource[] = R"PY(
import sys
sys.unraisablehook = lambda info: None

class Listener(object):
    def __init__(self):
        self.connector = None
        self.actions = []

    def __getattr__(self, name):
        if not (name.startswith("On") or name.startswith("Failed")):
            raise AttributeError(name)
        return lambda *args: self.act(name, args)

    def act(self, name, args):
        if not self.actions:
            return args
        kind, text = self.actions.pop()
        connector = self.connector
        if kind == 0:
            raise ValueError(name)
        if kind == 1:
            self.connector = None
            return None
        if connector is None:
            return None
        if kind == 2:
            connector.LeaveChannel(text)
        elif kind == 3:
            connector.JoinChannelEx(text)
        elif kind == 4:
            connector.GetMicrophoneVolume()
        elif kind == 5:
            connector.SetSpeakingChannel(text)
        elif kind == 6:
            return connector.GetParticipants(text)
        elif kind == 7:
            # A nested pump uses up the quit; the outer one gets another.
            post_quit()
            connector.Run()
            post_quit()
        return name
)PY";

PyObject *g_namespace = nullptr;  // the listener module's globals
PyObject *g_listener_type = nullptr;
PyObject *g_connector_type = nullptr;

PyObject *post_quit(PyObject *, PyObject *)
{
    PostQuitMessage(0);
    Py_RETURN_NONE;
}

PyMethodDef g_post_quit = {"post_quit", post_quit, METH_NOARGS, nullptr};

void init_python()
{
    if (PyImport_AppendInittab("_talkwire", PyInit__talkwire) < 0)
        fail("cannot register _talkwire");
    Py_InitializeEx(0);
    PyObject *module = PyImport_ImportModule("_talkwire");
    g_connector_type = module ? PyObject_GetAttrString(module, "Connector") : nullptr;
    Py_XDECREF(module);
    if (!g_connector_type)
        fail("cannot import _talkwire");
    g_namespace = PyDict_New();
    PyObject *quit = PyCFunction_New(&g_post_quit, nullptr);
    if (!g_namespace || !quit || PyDict_SetItemString(g_namespace, "__builtins__", PyEval_GetBuiltins()) < 0 ||
        PyDict_SetItemString(g_namespace, "post_quit", quit) < 0)
        fail("cannot make the listener's module");
    Py_DECREF(quit);
    PyObject *result = PyRun_String(kListenerSource, Py_file_input, g_namespace, g_namespace);
    if (!result) {
        PyErr_PrintEx(0);
        fail("listener source does not run");
    }
    Py_DECREF(result);
    g_listener_type = PyDict_GetItemString(g_namespace, "Listener");
    if (!g_listener_type)
        fail("no Listener");
}

// ---- one connector ---------------------------------------------------------

struct Slot {
    PyObject *listener = nullptr;  // owned; its `connector` holds the only strong reference

    // A new reference to the connector, or null when there is none.
    PyObject *connector() const
    {
        if (!listener)
            return nullptr;
        PyObject *connector = PyObject_GetAttrString(listener, "connector");
        if (!connector)
            fail("listener lost its connector attribute");
        if (connector == Py_None) {
            Py_DECREF(connector);
            return nullptr;
        }
        return connector;
    }

    void create()
    {
        destroy();
        listener = PyObject_CallObject(g_listener_type, nullptr);
        PyObject *connector =
            listener ? PyObject_CallFunctionObjArgs(g_connector_type, listener, nullptr) : nullptr;
        if (!connector)
            fail("Connector(listener) failed");
        PyObject_SetAttrString(listener, "connector", connector);
        Py_DECREF(connector);
    }

    void drop()
    {
        if (listener)
            PyObject_SetAttrString(listener, "connector", Py_None);
    }

    void destroy()
    {
        drop();
        Py_CLEAR(listener);
    }
};

Slot g_slots[2];
bool g_trace = false;  // TALKWIRE_FUZZ_TRACE=1: each step on stderr

// Names for which a session-removed event was queued: the one road that
// leaves a desired name without a record.
std::set<std::string> g_removed_names;
bool g_thread_requests = false;  // InitializeEx issues from a thread of its own

void check_connector(PyObject *object)
{
    const talkwire::ChannelRegistry &registry = talkwire::connector_of(object).registry;
    std::string problem = registry.check_consistency();
    if (!problem.empty())
        fail("registry inconsistent:", problem);
    int active = 0;
    for (const auto &entry : registry.channels()) {
        const talkwire::Channel *channel = entry.second.get();
        if (!channel)
            fail("null record under", entry.first);
        if (entry.first != channel->name)
            fail("record filed under another name:", entry.first);
        int state = static_cast<int>(channel->state());
        if (state < 1 || state > 5)
            fail("state out of range in", entry.first);
        active += state != static_cast<int>(talkwire::ChannelState::Idle);
    }
    if (active != registry.count_active_channels())
        fail("active count disagrees with the records");
    if (g_trace) {
        for (const auto &entry : registry.channels())
            std::fprintf(stderr, "  [%s: state %d, session '%s']\n", entry.first.c_str(),
                         static_cast<int>(entry.second->state()), entry.second->session_handle().c_str());
    }
    for (const std::string &name : registry.desired()) {
        if (!registry.find_channel(name) && !g_removed_names.count(name))
            fail("desired name without a record:", name);
    }
}

void check_all()
{
    if (PyErr_Occurred()) {
        PyErr_PrintEx(0);
        fail("a Python error was left set");
    }
    for (Slot &slot : g_slots) {
        PyObject *connector = slot.connector();
        if (connector) {
            check_connector(connector);
            Py_DECREF(connector);
        }
    }
    if (!g_thread_requests) {
        sdk_ctl_live_t live;
        sdk_ctl_live(&live);
        if (live.requests != 0)
            fail("a request was created and neither issued nor released");
    }
}

// ---- building arguments -----------------------------------------------------

PyObject *python_text(Reader &in)
{
    std::string value;
    if (!in.text(value))
        Py_RETURN_NONE;  // a wrong type on purpose
    return PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "surrogateescape");
}

PyObject *python_int(Reader &in)
{
    if (in.byte() == 0xfe)
        return PyLong_FromLongLong(1LL << 40);  // beyond 32 bits
    return PyLong_FromLong(in.integer());
}

PyObject *python_float(Reader &in)
{
    return PyFloat_FromDouble(static_cast<double>(in.integer()) / 7.0);
}

PyObject *python_bindings(Reader &in)
{
    int count = in.byte() % 12;
    PyObject *list = PyList_New(0);
    for (int i = 0; list && i < count; ++i) {
        PyObject *name = python_text(in);  // in input order
        PyObject *code = python_int(in);
        PyObject *entry = Py_BuildValue("(NN)", name, code);
        if (!entry || PyList_Append(list, entry) < 0)
            fail("cannot build a binding");
        Py_DECREF(entry);
    }
    return list;
}

const char *const kMethods[] = {
#define TALKWIRE_METHOD_NAME(name, style) #name,
    TALKWIRE_CONNECTOR_METHODS(TALKWIRE_METHOD_NAME)
#undef TALKWIRE_METHOD_NAME
};
constexpr size_t kMethodCount = sizeof kMethods / sizeof kMethods[0];
static_assert(kMethodCount == 48, "every method of the table");

// Argument kinds of a method: s text, i int, f float, L binding list,
// * anything; "" none.
const char *argument_kinds(const char *name)
{
    static const struct {
        const char *name;
        const char *kinds;
    } kKinds[] = {
        {"Login", "ss"}, {"CreateAccount", "ssss"}, {"Mute", "i"}, {"LeaveChannel", "s"}, {"JoinChannelEx", "s"},
        {"InitializeEx", "sisssi"}, {"GetParticipants", "s"}, {"SetPreferredAudioInputDevice", "i"},
        {"SetPreferredAudioOutputDevice", "i"}, {"SetMicrophoneVolume", "i"},
        {"SetAudioPositionAndFacing", "sfffffff"}, {"SetSpeakerVolume", "i"}, {"Talk", "i"},
        {"MuteSpeakers", "i"}, {"MuteParticipantForMe", "ssi"}, {"SetParticipantVolumeForMe", "ssi"},
        {"EnableGlobalPushToTalkMode", "L"}, {"SetSpeakingChannel", "s"}, {"MuteChannelOutput", "si"},
        {"SetChannelOutputVolume", "si"}, {"ModeratorMuteAll", "si"}, {"ModeratorMute", "ssi"},
        {"InitializeLogging", "*"}, {"PutAnswerMode", "*"}, {"PlaceCall", "*"}, {"JoinChannel", "*"},
        {"MuteChannelInput", "*"}, {"SetChannelInputVolume", "*"}, {"SetPreferredAudioInputDeviceLineNumber", "*"},
    };
    for (const auto &entry : kKinds)
        if (std::strcmp(entry.name, name) == 0)
            return entry.kinds;
    return "";
}

PyObject *build_arguments(const char *kinds, Reader &in)
{
    std::vector<PyObject *> items;
    for (const char *kind = kinds; *kind; ++kind) {
        switch (*kind) {
        case 's': items.push_back(python_text(in)); break;
        case 'i': items.push_back(python_int(in)); break;
        case 'f': items.push_back(python_float(in)); break;
        case 'L': items.push_back(in.byte() == 0xfe ? python_text(in) : python_bindings(in)); break;
        default: items.push_back(python_text(in)); break;
        }
    }
    // Arity: as the method wants, one short, or one over.
    switch (in.byte() % 8) {
    case 0:
        if (!items.empty()) {
            Py_XDECREF(items.back());
            items.pop_back();
        }
        break;
    case 1: items.push_back(PyLong_FromLong(1)); break;
    default: break;
    }
    PyObject *tuple = PyTuple_New(static_cast<Py_ssize_t>(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i])
            fail("cannot build an argument");
        PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), items[i]);
    }
    return tuple;
}

// ---- SDK side -------------------------------------------------------------------

const int kResponseTypes[] = {1, 2, 3, 28, 5, 101, 34, 6, 8, 16, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19, 86,
                              87, 88, 89, 90, 91, 92, 93, 94, 97, 98, 20, 21, 22, 23, 0, 95, 96, 12345};
const int kEventTypes[] = {1, 2, 4, 5, 6, 11, 18, 20, 26, 27, 28, 3, 0, 99};

template <class T>
T pick(Reader &in, const T *values, size_t count)
{
    return values[in.byte() % count];
}

void fill_fields(void *record, const sdk_record_info_t *info, Reader &in)
{
    for (int i = 0; i < info->field_count; ++i) {
        const sdk_field_info_t &field = info->fields[i];
        char *at = static_cast<char *>(record) + field.offset;
        switch (field.kind) {
        case sdk_field_text: {
            std::string value;
            *reinterpret_cast<char **>(at) = in.text(value) ? sdk_ctl_strdup(value.c_str()) : nullptr;
            break;
        }
        case sdk_field_int:
            *reinterpret_cast<int *>(at) = in.integer();
            break;
        case sdk_field_double:
            *reinterpret_cast<double *>(at) = static_cast<double>(in.integer()) / 64.0;
            break;
        default:
            break;
        }
    }
}

int request_kind_for(int response_type)
{
    for (int kind = 0; const sdk_record_info_t *info = sdk_ctl_request_info(kind); ++kind)
        if (info->type == response_type)
            return kind;
    return -1;
}

void fill_response(sdk_resp_base_t *response, Reader &in)
{
    response->return_code = in.byte() % 3 == 0 ? in.integer() : 0;
    response->status_code = in.integer();
    std::string text;
    response->status_text = in.text(text) ? sdk_ctl_strdup(text.c_str()) : nullptr;
    const sdk_record_info_t *info = sdk_ctl_record_info(response);
    fill_fields(response, info, in);
    if (info->extra == sdk_extra_test_results) {
        // Up to thousands of tests; a count that disagrees with the list is
        // only ever smaller (a negative one included).
        int count = in.byte() == 0xfe ? 3000 : in.byte() % 6;
        std::vector<sdk_connectivity_test_result_t> tests(static_cast<size_t>(count));
        std::vector<std::string> infos(tests.size());
        for (size_t i = 0; i < tests.size(); ++i) {
            tests[i].test_type = in.integer();
            tests[i].test_result = in.byte() % 4 == 0 ? in.integer() : in.byte() % 2;
            tests[i].test_info = in.text(infos[i]) ? const_cast<char *>(infos[i].c_str()) : nullptr;
        }
        sdk_ctl_resp_set_test_results(response, count, tests.data());
        if (in.byte() == 0xfd)
            reinterpret_cast<sdk_resp_aux_connectivity_info_t *>(response)->test_count = -in.byte();
    } else if (info->extra == sdk_extra_devices) {
        int count = in.byte() % 5;
        std::vector<std::string> names(static_cast<size_t>(count));
        std::vector<const char *> pointers;
        for (std::string &name : names) {
            in.text(name);
            pointers.push_back(name.c_str());
        }
        std::string current;
        bool has_current = in.text(current);
        sdk_ctl_resp_set_devices(response, count, pointers.data(), has_current ? current.c_str() : nullptr);
        if (in.byte() == 0xfd)
            reinterpret_cast<sdk_resp_aux_get_capture_devices_t *>(response)->count = -in.byte();
    }
}

void respond_to_recorded(Reader &in)
{
    size_t count = 0;
    sdk_ctl_recorded_t *recorded = sdk_ctl_requests(&count);
    uint8_t which = in.byte();
    if (count == 0) {
        sdk_ctl_requests_free(recorded, count);
        return;
    }
    // Most often the latest requests: that is where joins continue.
    const sdk_ctl_recorded_t &entry = recorded[count - 1 - which % count];
    int type = sdk_ctl_request_info(entry.kind)->type;
    // A synchronous request gets one answer (from its rule); a second one
    // would lead the handler to a caller that has long returned.  An answer
    // of its kind to a request like it is fair game.
    sdk_req_base_t *request = entry.sync ? sdk_ctl_request_create(entry.kind) : entry.request;
    sdk_resp_base_t *response = sdk_ctl_response_create(type, request);
    if (entry.sync)
        destroy_req(request);
    sdk_ctl_requests_free(recorded, count);
    if (!response)
        return;
    fill_response(response, in);
    sdk_ctl_post(&response->message);
}

void respond_made_up(Reader &in)
{
    int type = pick(in, kResponseTypes, sizeof kResponseTypes / sizeof kResponseTypes[0]);
    int kind = request_kind_for(type);
    sdk_req_base_t *request = nullptr;
    // The request answered is of the kind the type names, or absent.
    if (kind >= 0 && in.byte() % 8 != 0) {
        request = sdk_ctl_request_create(kind);
        if (request)
            fill_fields(request, sdk_ctl_record_info(request), in);
    }
    sdk_resp_base_t *response = sdk_ctl_response_create(type, request);
    destroy_req(request);  // the response keeps its own reference
    if (!response)
        return;
    fill_response(response, in);
    sdk_ctl_post(&response->message);
}

void queue_event(Reader &in)
{
    int type = pick(in, kEventTypes, sizeof kEventTypes / sizeof kEventTypes[0]);
    sdk_evt_base_t *event = sdk_ctl_event_create(type);
    if (!event)
        return;
    fill_fields(event, sdk_ctl_record_info(event), in);
    const auto *session = reinterpret_cast<sdk_evt_session_state_change_t *>(event);
    if (type == sdk_event_session_state_change && session->channel_name)
        g_removed_names.insert(session->channel_name);
    if (in.byte() % 4 == 0) {
        sdk_ctl_event_burst(event, 1 + in.byte() % 64);
        destroy_evt(event);
    } else {
        sdk_ctl_post(&event->message);
    }
}

// Standing answers for the eleven synchronous kinds, so that no call waits
// for ever.  The first byte picks how they answer: as a well-behaved SDK,
// all failing, with odd values, or each from the input.
void answer_synchronous_requests(Reader &in)
{
    static const char *const kKinds[] = {
        "sessiongroup_create", "aux_get_capture_devices", "aux_get_render_devices", "aux_set_capture_device",
        "aux_set_render_device", "aux_capture_audio_start", "aux_capture_audio_stop", "aux_get_mic_level",
        "aux_get_speaker_level", "aux_set_mic_level", "aux_set_speaker_level"};
    static const char *const kDevices[] = {"dev-a", "dev-b"};
    const int profile = in.byte() % 4;
    for (const char *name : kKinds) {
        int kind = sdk_ctl_request_kind(name);
        sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_ctl_request_info(kind)->type, nullptr);
        if (!prototype)
            fail("cannot make an answer");
        const sdk_record_info_t *info = sdk_ctl_record_info(prototype);
        switch (profile) {
        case 0:
        case 2:
            if (info->extra == sdk_extra_devices)
                sdk_ctl_resp_set_devices(prototype, 2, kDevices, profile == 0 ? "dev-b" : nullptr);
            if (kind == sdk_request_sessiongroup_create)
                reinterpret_cast<sdk_resp_sessiongroup_create_t *>(prototype)->session_group_handle =
                    profile == 0 ? sdk_ctl_strdup("group-1") : nullptr;
            if (kind == sdk_request_aux_get_mic_level || kind == sdk_request_aux_get_speaker_level)
                reinterpret_cast<sdk_resp_aux_get_mic_level_t *>(prototype)->level = profile == 0 ? 50 : INT_MIN;
            break;
        case 1:
            prototype->return_code = 1;
            prototype->status_code = 7;
            break;
        default:
            fill_response(prototype, in);
            break;
        }
        sdk_ctl_answer(kind, prototype, 0);
    }
}

// ---- steps --------------------------------------------------------------------

// Dispatches what the thread's queue holds without holding a reference to
// any connector, so a listener can drop the last one.
void pump()
{
    if (!sdk_ctl_flush(5.0) && sdk_ctl_handler_count() > 0)
        fail("the SDK did not deliver its queue");
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void call_method(Reader &in)
{
    Slot &slot = g_slots[in.byte() % 2];
    const char *method = kMethods[in.byte() % kMethodCount];
    PyObject *connector = slot.connector();
    PyObject *arguments = build_arguments(argument_kinds(method), in);
    if (!connector) {
        Py_DECREF(arguments);
        return;
    }
    if (g_trace)
        std::fprintf(stderr, "  %s%s\n", method, connector ? "" : " (no connector)");
    if (std::strcmp(method, "InitializeEx") == 0)
        g_thread_requests = true;
    if (std::strcmp(method, "Run") == 0) {
        sdk_ctl_flush(5.0);
        PostQuitMessage(0);
    }
    PyObject *bound = PyObject_GetAttrString(connector, method);
    PyObject *result = bound ? PyObject_Call(bound, arguments, nullptr) : nullptr;
    if (!result) {
        // A failed call says so with an exception, never with a bare null.
        if (!PyErr_Occurred())
            fail("null without an exception from", method);
        if (g_trace)
            PyErr_PrintEx(0);
        PyErr_Clear();
    }
    Py_XDECREF(result);
    Py_XDECREF(bound);
    Py_DECREF(arguments);
    Py_DECREF(connector);
}

void inject_fault(Reader &in)
{
    switch (in.byte() % 3) {
    case 0: {
        int code = in.integer();
        sdk_ctl_refuse(code == 0 ? 5 : code, in.byte() % 3);
        break;
    }
    case 1:
        sdk_ctl_fail_strdup(in.byte() % 4);
        break;
    default: {
        int fault = in.byte() % twplat_fault_count;
        int count = in.byte() % 3;
        twplat_inject_fault(fault, count, in.byte());
        break;
    }
    }
}

void push_action(Reader &in)
{
    Slot &slot = g_slots[in.byte() % 2];
    int kind = in.byte() % 8;
    PyObject *text = python_text(in);
    if (!slot.listener || text == Py_None) {
        Py_DECREF(text);
        return;
    }
    PyObject *actions = PyObject_GetAttrString(slot.listener, "actions");
    PyObject *action = Py_BuildValue("(iN)", kind, text);
    if (!actions || !action || PyList_Insert(actions, 0, action) < 0)
        fail("cannot queue an action");
    Py_DECREF(action);
    Py_DECREF(actions);
}

void run_step(Reader &in)
{
    const int op = in.byte() % 11;
    if (g_trace)
        std::fprintf(stderr, "step %d\n", op);
    switch (op) {
    case 0: call_method(in); break;
    case 1: respond_to_recorded(in); break;
    case 2: respond_made_up(in); break;
    case 3: queue_event(in); break;
    case 4: pump(); break;
    case 5: {
        // Run, through the module, with a quit waiting.
        PyObject *connector = g_slots[in.byte() % 2].connector();
        if (connector) {
            sdk_ctl_flush(5.0);
            PostQuitMessage(0);
            PyObject *result = PyObject_CallMethod(connector, "Run", nullptr);
            if (!result)
                fail("Run failed");
            Py_DECREF(result);
            Py_DECREF(connector);
        }
        break;
    }
    case 6: inject_fault(in); break;
    case 7: push_action(in); break;
    case 8: g_slots[in.byte() % 2].create(); break;
    case 9: g_slots[in.byte() % 2].drop(); break;
    default: {
        sdk_ctl_refuse(0, 0);
        sdk_ctl_fail_strdup(0);
        twplat_clear_faults();
        break;
    }
    }
}

void wait_for_thread_requests()
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    sdk_ctl_live_t live;
    for (sdk_ctl_live(&live); live.requests != 0; sdk_ctl_live(&live)) {
        if (std::chrono::steady_clock::now() > deadline)
            fail("a request was created and neither issued nor released");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void finish_input()
{
    sdk_ctl_refuse(0, 0);
    sdk_ctl_fail_strdup(0);
    twplat_clear_faults();
    for (Slot &slot : g_slots)
        slot.destroy();
    if (PyErr_Occurred()) {
        PyErr_PrintEx(0);
        fail("a Python error was left set by a connector's end");
    }
    wait_for_thread_requests();
    if (sdk_ctl_handler_count() != 0)
        fail("a handler is still registered");
    sdk_ctl_reset();  // what is still queued in the SDK goes
    sdk_ctl_live_t live;
    sdk_ctl_live(&live);
    if (live.requests || live.responses || live.events)
        fail("records leaked");
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    g_removed_names.clear();
    g_thread_requests = false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *trace = std::getenv("TALKWIRE_FUZZ_TRACE");
    g_trace = trace && *trace && *trace != '0';
    init_python();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in(data, size);
    answer_synchronous_requests(in);
    g_slots[0].create();
    int steps = 0;
    while (!in.empty() && steps++ < 256) {
        run_step(in);
        check_all();
    }
    pump();
    check_all();
    finish_input();
    return 0;
}
