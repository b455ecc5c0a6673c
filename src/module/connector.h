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

    // Owner thread, interpreter lock held: handles what the mailbox holds.
    void on_sdk_wake() override;
    HWND message_window() const override { return link_.window(); }

    PyObject *self() const { return self_; }
    PyObject *listener() const { return listener_.get(); }
    // False in a child forked from the process that made the connector:
    // the SDK's thread that serves it exists only there.
    bool in_owner_process() const { return GetCurrentProcessId() == owner_process_; }

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
    PyObject *self_;  // borrowed: this object lives inside it
    const DWORD owner_process_;
    OwnedRef listener_;
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
