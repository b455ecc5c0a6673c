// A connector stand-in for the bridge tests: a message window, a mailbox and
// the SDK handler, like a Connector's, recording what reaches it.
#ifndef TALKWIRE_TESTS_RECORDING_SINK_H
#define TALKWIRE_TESTS_RECORDING_SINK_H

#include "bridge/mailbox.h"
#include "bridge/message_window.h"
#include "bridge/notification_handler.h"
#include "bridge/window_registry.h"

#include <vector>

namespace talkwire {

class RecordingSink final : public MessageSink {
public:
    RecordingSink() : window_(create_message_window())
    {
        mailbox_.open(window_);
        sdk_register_message_notification_handler(notification_handler, &mailbox_);
        if (window_)
            window_registry::insert(window_, this);
    }
    ~RecordingSink()
    {
        sdk_unregister_message_notification_handler(notification_handler, &mailbox_);
        if (window_)
            window_registry::erase(window_);
        mailbox_.close();
        if (window_)
            destroy_message_window(window_);
    }
    RecordingSink(const RecordingSink &) = delete;
    RecordingSink &operator=(const RecordingSink &) = delete;

    void on_sdk_wake() override
    {
        ++wakes;
        woken_on = GetCurrentThreadId();
        mailbox_.collect();
        while (sdk_message_base_t *message = mailbox_.next()) {
            received.push_back(message);
            destroy_msg(message);
        }
    }
    HWND message_window() const override { return window_; }

    std::vector<const void *> received;
    int wakes = 0;
    DWORD woken_on = 0;  // the thread of the latest wake-up

private:
    HWND window_;
    Mailbox mailbox_;
};

}  // namespace talkwire

#endif
