// All state of one voice connection, embedded in the Python object.
#ifndef TALKWIRE_MODULE_CONNECTOR_H
#define TALKWIRE_MODULE_CONNECTOR_H

#include "bridge/cookie_counter.h"
#include "bridge/message_sink.h"
#include "bridge/sdk_link.h"
#include "channels/registry.h"
#include "dispatch/text_cache.h"
#include "pycompat/pycompat.h"
#include "pycompat/ref.h"

#include <string>

namespace talkwire {

class Connector final : public MessageSink {
public:
    // Owner thread.  Links the connector to the SDK (bridge/sdk_link.h).
    Connector(PyObject *self, PyObject *listener);
    Connector(const Connector &) = delete;
    Connector &operator=(const Connector &) = delete;

    // Owner thread, interpreter lock held: handles what the mailbox holds,
    // one message at a time, until it is empty or a message's dispatch says
    // stop (drain_stop()).
    void on_sdk_wake() override;
    HWND message_window() const override { return link_.window(); }

    PyObject *self() const { return self_; }
    // Null once the collector has cleared it: nothing is called then.
    PyObject *listener() const { return listener_.get(); }
    // False in a child forked from the process that made the connector:
    // the SDK's thread that serves it exists only there.
    bool in_owner_process() const { return GetCurrentProcessId() == owner_process_; }

    // Cyclic garbage collection: the listener is the one object a connector
    // holds that can hold the connector in turn.
    int visit_listener(visitproc visit, void *arg) const
    {
        Py_VISIT(listener_.get());
        return 0;
    }
    void clear_listener() { OwnedRef().swap(listener_); }

    std::string account_name;
    std::string account_uri;
    std::string voice_domain;
    std::string account_server_url;
    std::string connector_handle;
    std::string account_handle;
    std::string session_group_handle;
    ChannelRegistry registry;
    CookieCounter cookies;
    bool audio_test_passed = false;
    dispatch::TextCache texts;  // strings handed to the listener

private:
    enum class DrainStop {
        kNone,
        kReleased,  // nothing but this drain and the pumps reach the connector
        kPumpExit,  // a callback asked the pump to stop (bridge/pump_exit.h)
    };
    DrainStop drain_stop() const;

    PyObject *self_;  // borrowed: this object lives inside it
    const DWORD owner_process_;
    OwnedRef listener_;
    Py_ssize_t drains_ = 0;  // on_sdk_wake calls running, each holding a reference
    // Last: unlinked first, before the listener and the caches go.
    SdkLink link_;
};

struct ConnectorObject {
    PyObject_HEAD
    Connector connector;
};

inline Connector &connector_of(PyObject *self)
{
    return reinterpret_cast<ConnectorObject *>(self)->connector;
}

}  // namespace talkwire

#endif
