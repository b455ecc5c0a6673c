#include "service.h"

#include "../src/service/service_control.h"

#include <chrono>
#include <cstring>

namespace voicesdk_py {
namespace py = talkwire::py;
namespace svc = voicesdk::service;
namespace {

const char kNotRunning[] = "the simulated voice service is not running (call voicesdk.mode(\"service\") first)";

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

bool text_list(PyObject *object, std::vector<std::string> &out, const char *what)
{
    OwnedRef seq = sequence(object, what);
    if (!seq)
        return false;
    out.clear();
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
        out.emplace_back();
        if (!text_value(PySequence_Fast_GET_ITEM(seq.get(), i), out.back(), what))
            return false;
    }
    return true;
}

bool level_list(PyObject *object, std::vector<double> &out)
{
    OwnedRef seq = sequence(object, "mic_levels");
    if (!seq)
        return false;
    out.clear();
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
    return true;
}

// {channel name: [peer, ...]}; None for none.
bool channel_peers_value(PyObject *object, std::map<std::string, std::vector<std::string>> &out)
{
    out.clear();
    if (object == Py_None)
        return true;
    if (!PyDict_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "channel_peers must be a dict of channel name to a list of peers");
        return false;
    }
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(object, &pos, &key, &value)) {
        std::string channel;
        if (!text_value(key, channel, "a channel name") || !text_list(value, out[channel], "channel_peers"))
            return false;
    }
    return true;
}

// None: every account name logs in.  A dict maps names to passwords (None
// for any); a list names accounts that take any password.
bool accounts_value(PyObject *object, svc::Settings &settings)
{
    settings.accounts.clear();
    settings.open_accounts = object == Py_None;
    if (settings.open_accounts)
        return true;
    if (PyDict_Check(object)) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(object, &pos, &key, &value)) {
            std::string name;
            svc::Settings::Account account;
            if (!text_value(key, name, "an account name"))
                return false;
            account.any_password = value == Py_None;
            if (!account.any_password && !text_value(value, account.password, "a password"))
                return false;
            settings.accounts[name] = account;
        }
        return true;
    }
    std::vector<std::string> names;
    if (!text_list(object, names, "accounts"))
        return false;
    for (const std::string &name : names)
        settings.accounts[name] = svc::Settings::Account();
    return true;
}

// None, a test type, or (test_type, result[, info]).
bool failing_test_value(PyObject *object, svc::Settings &settings)
{
    settings.failing_test = -1;
    settings.failing_result = 2;
    settings.failing_info.clear();
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
    if (!int_value(type, settings.failing_test, "failing_test") ||
        (result && !int_value(result, settings.failing_result, "the failing test's result")) ||
        (info && info != Py_None && !text_value(info, settings.failing_info, "the failing test's info")))
        return false;
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

bool apply(const std::string &name, PyObject *value, svc::Settings &settings)
{
    if (name == "latency")
        return seconds_value(value, settings.latency, "latency");
    if (name == "accounts")
        return accounts_value(value, settings);
    if (name == "peers")
        return text_list(value, settings.peers, "peers");
    if (name == "channel_peers")
        return channel_peers_value(value, settings.channel_peers);
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
        return text_list(value, settings.capture_devices, "capture_devices");
    if (name == "render_devices")
        return text_list(value, settings.render_devices, "render_devices");
    if (name == "mic_levels")
        return level_list(value, settings.mic_levels);
    if (name == "mic_interval")
        return seconds_value(value, settings.mic_interval, "mic_interval");
    if (name == "failing_test")
        return failing_test_value(value, settings);
    PyErr_Format(PyExc_TypeError,
                 "service() got an unexpected keyword argument '%s' (latency, accounts, peers, channel_peers, peer_interval, "
                 "talk_rounds, peers_leave, capture_devices, render_devices, mic_levels, mic_interval, failing_test)",
                 name.c_str());
    return false;
}

OwnedRef text_or_none(const std::string &value)
{
    return value.empty() ? OwnedRef::none() : OwnedRef::steal(py::text(value));
}

OwnedRef texts(const std::vector<std::string> &values)
{
    OwnedRef list = OwnedRef::steal(PyList_New(0));
    for (const std::string &value : values) {
        OwnedRef item = OwnedRef::steal(py::text(value));
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

OwnedRef settings_dict(const svc::Settings &settings)
{
    OwnedRef accounts = OwnedRef::none();
    if (!settings.open_accounts) {
        accounts = OwnedRef::steal(PyDict_New());
        for (const auto &account : settings.accounts) {
            OwnedRef name = OwnedRef::steal(py::text(account.first));
            OwnedRef password =
                account.second.any_password ? OwnedRef::none() : OwnedRef::steal(py::text(account.second.password));
            if (!accounts || !name || !password || PyDict_SetItem(accounts.get(), name.get(), password.get()) < 0)
                return OwnedRef();
        }
    }
    OwnedRef levels = OwnedRef::steal(PyList_New(0));
    for (double level : settings.mic_levels) {
        OwnedRef item = OwnedRef::steal(PyFloat_FromDouble(level));
        if (!levels || !item || PyList_Append(levels.get(), item.get()) < 0)
            return OwnedRef();
    }
    OwnedRef failing = OwnedRef::none();
    if (settings.failing_test >= 0)
        failing = OwnedRef::steal(Py_BuildValue("(iiN)", settings.failing_test, settings.failing_result,
                                                text_or_none(settings.failing_info).release()));
    OwnedRef channel_peers = OwnedRef::steal(PyDict_New());
    for (const auto &channel : settings.channel_peers) {
        OwnedRef name = OwnedRef::steal(py::text(channel.first));
        OwnedRef peers = texts(channel.second);
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
    svc::Settings settings;
    if (!svc::get_settings(settings)) {
        PyErr_SetString(PyExc_RuntimeError, kNotRunning);
        return nullptr;
    }
    if (kwargs) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            std::string name;
            if (!py::text_arg(key, name) || !apply(name, value, settings))
                return nullptr;
        }
        // All or nothing: nothing changes unless every keyword was good.
        if (!svc::set_settings(settings)) {
            PyErr_SetString(PyExc_RuntimeError, kNotRunning);
            return nullptr;
        }
    }
    return settings_dict(settings).release();
}

PyObject *service_state(PyObject *, PyObject *)
{
    svc::Snapshot state;
    if (!svc::snapshot(state)) {
        PyErr_SetString(PyExc_RuntimeError, kNotRunning);
        return nullptr;
    }
    OwnedRef sessions = OwnedRef::steal(PyDict_New());
    for (const auto &session : state.sessions) {
        OwnedRef handle = OwnedRef::steal(py::text(session.first));
        OwnedRef channel = OwnedRef::steal(py::text(session.second));
        if (!sessions || !handle || !channel || PyDict_SetItem(sessions.get(), handle.get(), channel.get()) < 0)
            return nullptr;
    }
    OwnedRef codes = OwnedRef::steal(PyList_New(0));
    for (int code : state.key_codes) {
        OwnedRef item = OwnedRef::steal(py::integer(code));
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
    int idle = svc::wait_idle(timeout);
    double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Out of service mode there is nothing to wait for but the queue.
    settled = idle != 0 && sdk_ctl_flush(timeout > spent ? timeout - spent : 0.0);
    Py_END_ALLOW_THREADS
    return PyBool_FromLong(settled);
}

}  // namespace voicesdk_py
