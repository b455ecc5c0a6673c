#include "service.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <map>

namespace voicesdk_py {
namespace py = talkwire::py;
namespace {

const char kNotRunning[] = "the simulated voice service is not running (call voicesdk.mode(\"service\") first)";

// A control call's status as a Python error; true for success.
bool check(int status)
{
    switch (status) {
    case sdk_ctl_service_ok:
        return true;
    case sdk_ctl_service_not_running:
        PyErr_SetString(PyExc_RuntimeError, kNotRunning);
        return false;
    case sdk_ctl_service_no_memory:
        PyErr_NoMemory();
        return false;
    default:
        PyErr_SetString(PyExc_SystemError, "the stand-in refused the service's settings");
        return false;
    }
}

// Longest wait a setting may ask for, in seconds.
constexpr double kLongest = 3600.0;

bool seconds_value(PyObject *object, double &out, const char *what)
{
    if (!double_value(object, out, what))
        return false;
    if (!(out >= 0.0 && out <= kLongest)) {
        PyErr_Format(PyExc_ValueError, "%s must be between 0 and %d seconds", what, static_cast<int>(kLongest));
        return false;
    }
    return true;
}

// A sequence that is not itself one text.
OwnedRef sequence(PyObject *object, const char *what)
{
    if (py::is_text(object) || PyBytes_Check(object)) {
        PyErr_Format(PyExc_TypeError, "%s must be a list, not a single string", what);
        return OwnedRef();
    }
    return OwnedRef::steal(PySequence_Fast(object, what));
}

// Holds what service() points the edited settings at, until it has handed
// them to the stand-in (which copies them).
struct Storage {
    std::deque<std::string> texts;
    std::deque<std::vector<const char *>> lists;
    std::deque<std::vector<double>> levels;
    std::vector<sdk_ctl_account_t> accounts;
    std::vector<sdk_ctl_channel_peers_t> channel_peers;

    const char *keep(std::string text)
    {
        texts.push_back(std::move(text));
        return texts.back().c_str();
    }
};

// Settings a C caller owns: a copy the stand-in made, released on the way out.
struct SettingsDeleter {
    void operator()(sdk_ctl_service_settings_t *settings) const { sdk_ctl_service_settings_free(settings); }
};
struct StateDeleter {
    void operator()(sdk_ctl_service_state_t *state) const { sdk_ctl_service_state_free(state); }
};

bool text_list(PyObject *object, sdk_ctl_texts_t &out, Storage &storage, const char *what)
{
    OwnedRef seq = sequence(object, what);
    if (!seq)
        return false;
    storage.lists.emplace_back();
    std::vector<const char *> &items = storage.lists.back();
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
        std::string text;
        if (!text_value(PySequence_Fast_GET_ITEM(seq.get(), i), text, what))
            return false;
        items.push_back(storage.keep(std::move(text)));
    }
    out = sdk_ctl_texts_t{static_cast<int>(items.size()), items.data()};
    return true;
}

bool level_list(PyObject *object, sdk_ctl_service_settings_t &settings, Storage &storage)
{
    OwnedRef seq = sequence(object, "mic_levels");
    if (!seq)
        return false;
    storage.levels.emplace_back();
    std::vector<double> &out = storage.levels.back();
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
        double level = 0.0;
        if (!double_value(PySequence_Fast_GET_ITEM(seq.get(), i), level, "a microphone level"))
            return false;
        if (!(level >= 0.0 && level <= 1.0)) {
            PyErr_SetString(PyExc_ValueError, "microphone levels are fractions of full scale, 0 to 1");
            return false;
        }
        out.push_back(level);
    }
    settings.mic_level_count = static_cast<int>(out.size());
    settings.mic_levels = out.data();
    return true;
}

// {channel name: [peer, ...]}; None for none.  A channel named twice (a
// text and the same bytes) keeps its last list.
bool channel_peers_value(PyObject *object, sdk_ctl_service_settings_t &settings, Storage &storage)
{
    std::map<std::string, sdk_ctl_texts_t> channels;
    if (object != Py_None && !PyDict_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "channel_peers must be a dict of channel name to a list of peers");
        return false;
    }
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (object != Py_None && PyDict_Next(object, &pos, &key, &value)) {
        std::string channel;
        if (!text_value(key, channel, "a channel name") || !text_list(value, channels[channel], storage, "channel_peers"))
            return false;
    }
    storage.channel_peers.clear();
    for (const auto &channel : channels)
        storage.channel_peers.push_back({storage.keep(channel.first), channel.second});
    settings.channel_peer_count = static_cast<int>(storage.channel_peers.size());
    settings.channel_peers = storage.channel_peers.data();
    return true;
}

// None: every account name logs in.  A dict maps names to passwords (None
// for any); a list names accounts that take any password.
bool accounts_value(PyObject *object, sdk_ctl_service_settings_t &settings, Storage &storage)
{
    storage.accounts.clear();
    settings.open_accounts = object == Py_None;
    if (PyDict_Check(object)) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(object, &pos, &key, &value)) {
            std::string name, password;
            if (!text_value(key, name, "an account name") ||
                (value != Py_None && !text_value(value, password, "a password")))
                return false;
            storage.accounts.push_back(
                {storage.keep(std::move(name)), value == Py_None ? nullptr : storage.keep(std::move(password))});
        }
    } else if (object != Py_None) {
        sdk_ctl_texts_t names;
        if (!text_list(object, names, storage, "accounts"))
            return false;
        for (int i = 0; i < names.count; ++i)
            storage.accounts.push_back({names.items[i], nullptr});
    }
    settings.account_count = static_cast<int>(storage.accounts.size());
    settings.accounts = storage.accounts.data();
    return true;
}

// None, a test type, or (test_type, result[, info]).
bool failing_test_value(PyObject *object, sdk_ctl_service_settings_t &settings, Storage &storage)
{
    settings.failing_test = -1;
    settings.failing_result = 2;
    settings.failing_info = nullptr;
    if (object == Py_None)
        return true;
    PyObject *type = object;
    PyObject *result = nullptr;
    PyObject *info = nullptr;
    if (PyTuple_Check(object)) {
        Py_ssize_t size = PyTuple_GET_SIZE(object);
        if (size < 2 || size > 3) {
            PyErr_SetString(PyExc_TypeError, "failing_test must be None, a test type or (test_type, result[, info])");
            return false;
        }
        type = PyTuple_GET_ITEM(object, 0);
        result = PyTuple_GET_ITEM(object, 1);
        info = size == 3 ? PyTuple_GET_ITEM(object, 2) : nullptr;
    }
    std::string info_text;
    if (!int_value(type, settings.failing_test, "failing_test") ||
        (result && !int_value(result, settings.failing_result, "the failing test's result")) ||
        (info && info != Py_None && !text_value(info, info_text, "the failing test's info")))
        return false;
    if (!info_text.empty())
        settings.failing_info = storage.keep(std::move(info_text));
    if (settings.failing_test < 0 || settings.failing_test > 16) {
        PyErr_SetString(PyExc_ValueError, "failing_test must name a test type from 0 to 16");
        return false;
    }
    if (settings.failing_result == 0 || settings.failing_result == 1) {
        PyErr_SetString(PyExc_ValueError, "a failing test's result must be neither 0 nor 1 (those pass)");
        return false;
    }
    return true;
}

bool apply(const std::string &name, PyObject *value, sdk_ctl_service_settings_t &settings, Storage &storage)
{
    if (name == "latency")
        return seconds_value(value, settings.latency, "latency");
    if (name == "accounts")
        return accounts_value(value, settings, storage);
    if (name == "peers")
        return text_list(value, settings.peers, storage, "peers");
    if (name == "channel_peers")
        return channel_peers_value(value, settings, storage);
    if (name == "peer_interval")
        return seconds_value(value, settings.peer_interval, "peer_interval");
    if (name == "talk_rounds") {
        if (!int_value(value, settings.talk_rounds, "talk_rounds"))
            return false;
        if (settings.talk_rounds < 0 || settings.talk_rounds > 1000) {
            PyErr_SetString(PyExc_ValueError, "talk_rounds must be between 0 and 1000");
            return false;
        }
        return true;
    }
    if (name == "peers_leave") {
        int leave = PyObject_IsTrue(value);
        settings.peers_leave = leave > 0;
        return leave >= 0;
    }
    if (name == "capture_devices")
        return text_list(value, settings.capture_devices, storage, "capture_devices");
    if (name == "render_devices")
        return text_list(value, settings.render_devices, storage, "render_devices");
    if (name == "mic_levels")
        return level_list(value, settings, storage);
    if (name == "mic_interval")
        return seconds_value(value, settings.mic_interval, "mic_interval");
    if (name == "failing_test")
        return failing_test_value(value, settings, storage);
    PyErr_Format(PyExc_TypeError,
                 "service() got an unexpected keyword argument '%s' (latency, accounts, peers, channel_peers, peer_interval, "
                 "talk_rounds, peers_leave, capture_devices, render_devices, mic_levels, mic_interval, failing_test)",
                 name.c_str());
    return false;
}

OwnedRef text_or_none(const char *value)
{
    return value ? OwnedRef::steal(py::text(value)) : OwnedRef::none();
}

OwnedRef texts(const sdk_ctl_texts_t &values)
{
    OwnedRef list = OwnedRef::steal(PyList_New(0));
    for (int i = 0; i < values.count; ++i) {
        OwnedRef item = OwnedRef::steal(py::text(values.items[i]));
        if (!list || !item || PyList_Append(list.get(), item.get()) < 0)
            return OwnedRef();
    }
    return list;
}

// Builds a dict from (key, value) pairs; null when any value is null.
OwnedRef dict_of(std::initializer_list<std::pair<const char *, OwnedRef>> items)
{
    OwnedRef dict = OwnedRef::steal(PyDict_New());
    if (!dict)
        return OwnedRef();
    for (const auto &item : items)
        if (!item.second || PyDict_SetItemString(dict.get(), item.first, item.second.get()) < 0)
            return OwnedRef();
    return dict;
}

OwnedRef settings_dict(const sdk_ctl_service_settings_t &settings)
{
    OwnedRef accounts = OwnedRef::none();
    if (!settings.open_accounts) {
        accounts = OwnedRef::steal(PyDict_New());
        for (int i = 0; i < settings.account_count; ++i) {
            const sdk_ctl_account_t &account = settings.accounts[i];
            OwnedRef name = OwnedRef::steal(py::text(account.name));
            OwnedRef password = text_or_none(account.password);
            if (!accounts || !name || !password || PyDict_SetItem(accounts.get(), name.get(), password.get()) < 0)
                return OwnedRef();
        }
    }
    OwnedRef levels = OwnedRef::steal(PyList_New(0));
    for (int i = 0; i < settings.mic_level_count; ++i) {
        OwnedRef item = OwnedRef::steal(PyFloat_FromDouble(settings.mic_levels[i]));
        if (!levels || !item || PyList_Append(levels.get(), item.get()) < 0)
            return OwnedRef();
    }
    OwnedRef failing = OwnedRef::none();
    if (settings.failing_test >= 0)
        failing = OwnedRef::steal(Py_BuildValue("(iiN)", settings.failing_test, settings.failing_result,
                                                text_or_none(settings.failing_info).release()));
    OwnedRef channel_peers = OwnedRef::steal(PyDict_New());
    for (int i = 0; i < settings.channel_peer_count; ++i) {
        const sdk_ctl_channel_peers_t &channel = settings.channel_peers[i];
        OwnedRef name = OwnedRef::steal(py::text(channel.channel));
        OwnedRef peers = texts(channel.peers);
        if (!channel_peers || !name || !peers || PyDict_SetItem(channel_peers.get(), name.get(), peers.get()) < 0)
            return OwnedRef();
    }
    return dict_of({{"latency", OwnedRef::steal(PyFloat_FromDouble(settings.latency))},
                    {"accounts", accounts},
                    {"peers", texts(settings.peers)},
                    {"channel_peers", channel_peers},
                    {"peer_interval", OwnedRef::steal(PyFloat_FromDouble(settings.peer_interval))},
                    {"talk_rounds", OwnedRef::steal(py::integer(settings.talk_rounds))},
                    {"peers_leave", OwnedRef::steal(PyBool_FromLong(settings.peers_leave))},
                    {"capture_devices", texts(settings.capture_devices)},
                    {"render_devices", texts(settings.render_devices)},
                    {"mic_levels", levels},
                    {"mic_interval", OwnedRef::steal(PyFloat_FromDouble(settings.mic_interval))},
                    {"failing_test", failing}});
}

}  // namespace

PyObject *service(PyObject *, PyObject *args, PyObject *kwargs)
{
    if (args && PyTuple_GET_SIZE(args) > 0) {
        PyErr_SetString(PyExc_TypeError, "service() takes keyword arguments only");
        return nullptr;
    }
    sdk_ctl_service_settings_t *copy = nullptr;
    if (!check(sdk_ctl_service_settings(&copy)))
        return nullptr;
    std::unique_ptr<sdk_ctl_service_settings_t, SettingsDeleter> current(copy);
    // What is not given keeps pointing into the current copy.
    sdk_ctl_service_settings_t settings = *current;
    Storage storage;
    if (kwargs) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            std::string name;
            if (!py::text_arg(key, name) || !apply(name, value, settings, storage))
                return nullptr;
        }
        // All or nothing: nothing changes unless every keyword was good.
        if (!check(sdk_ctl_service_configure(&settings)))
            return nullptr;
    }
    return settings_dict(settings).release();
}

PyObject *service_state(PyObject *, PyObject *)
{
    sdk_ctl_service_state_t *copy = nullptr;
    if (!check(sdk_ctl_service_state(&copy)))
        return nullptr;
    std::unique_ptr<sdk_ctl_service_state_t, StateDeleter> owned(copy);
    const sdk_ctl_service_state_t &state = *owned;
    OwnedRef sessions = OwnedRef::steal(PyDict_New());
    for (int i = 0; i < state.session_count; ++i) {
        OwnedRef handle = OwnedRef::steal(py::text(state.sessions[i].session_handle));
        OwnedRef channel = OwnedRef::steal(py::text(state.sessions[i].channel_name));
        if (!sessions || !handle || !channel || PyDict_SetItem(sessions.get(), handle.get(), channel.get()) < 0)
            return nullptr;
    }
    OwnedRef codes = OwnedRef::steal(PyList_New(0));
    for (int i = 0; i < state.key_code_count; ++i) {
        OwnedRef item = OwnedRef::steal(py::integer(state.key_codes[i]));
        if (!codes || !item || PyList_Append(codes.get(), item.get()) < 0)
            return nullptr;
    }
    return dict_of({{"connectors", OwnedRef::steal(py::integer(state.connectors))},
                    {"logged_in", texts(state.logged_in)},
                    {"created_accounts", texts(state.created_accounts)},
                    {"sessions", sessions},
                    {"speaking_session", text_or_none(state.speaking_session)},
                    {"capture_device", text_or_none(state.capture_device)},
                    {"render_device", text_or_none(state.render_device)},
                    {"mic_level", OwnedRef::steal(py::integer(state.mic_level))},
                    {"speaker_level", OwnedRef::steal(py::integer(state.speaker_level))},
                    {"mic_test", OwnedRef::steal(PyBool_FromLong(state.mic_test))},
                    {"key_binding", text_or_none(state.key_binding)},
                    {"key_codes", codes},
                    {"pending", OwnedRef::steal(py::integer(static_cast<long>(state.pending)))}})
        .release();
}

PyObject *settle(PyObject *, PyObject *args, PyObject *kwargs)
{
    static const char *names[] = {"timeout", nullptr};
    double timeout = 5.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|d:settle", const_cast<char **>(names), &timeout))
        return nullptr;
    int settled;
    Py_BEGIN_ALLOW_THREADS
    auto start = std::chrono::steady_clock::now();
    int idle = sdk_ctl_service_wait_idle(timeout);
    double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Out of service mode there is nothing to wait for but the queue.
    settled = idle != 0 && sdk_ctl_flush(timeout > spent ? timeout - spent : 0.0);
    Py_END_ALLOW_THREADS
    return PyBool_FromLong(settled);
}

}  // namespace voicesdk_py
