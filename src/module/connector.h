// All state of one voice connection, embedded in the Python object.
#ifndef TALKWIRE_MODULE_CONNECTOR_H
#define TALKWIRE_MODULE_CONNECTOR_H

#include "bridge/cookie_counter.h"
#include "bridge/mailbox.h"
#include "bridge/message_sink.h"
#include "channels/registry.h"
#include "dispatch/text_cache.h"
#include "pycompat/pycompat.h"
#include "pycompat/ref.h"

#include <string>

namespace talkwire {

class Connector final : public MessageSink {
public:
    // Owner thread.  Creates the message window, registers the SDK handler
    // and enters the window in window_registry; none of it reports failure
    // (a connector without a window gets no notifications).
    Connector(PyObject *self, PyObject *listener);
    ~Connector();
    Connector(const Connector &) = delete;
    Connector &operator=(const Connector &) = delete;

    // Owner thread, interpreter lock held: handles what the mailbox holds.
    void on_sdk_wake() override;
    HWND message_window() const override { return window_; }

    PyObject *self() const { return self_; }
    PyObject *listener() const { return listener_.get(); }

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
    HWND window_ = nullptr;
    Mailbox mailbox_;
    OwnedRef listener_;
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
