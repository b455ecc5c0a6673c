// A connector stand-in for the bridge tests: a message window, a mailbox and
// the SDK handler, like a Connector's, recording what reaches it.
#ifndef TALKWIRE_TESTS_RECORDING_SINK_H
#define TALKWIRE_TESTS_RECORDING_SINK_H

#include "bridge/sdk_link.h"

#include <vector>

namespace talkwire {

// An event type the SDK does not have: the bridge carries it like any other.
constexpr int kOtherEvent = 3;

class RecordingSink final : public MessageSink {
public:
    RecordingSink() : link_(this) {}
    RecordingSink(const RecordingSink &) = delete;
    RecordingSink &operator=(const RecordingSink &) = delete;

    void on_sdk_wake() override
    {
        ++wakes;
        woken_on = GetCurrentThreadId();
        Mailbox &mailbox = link_.mailbox();
        mailbox.collect();
        while (SdkMessage message = mailbox.next())
            received.push_back(message.get());
    }
    HWND message_window() const override { return link_.window(); }

    std::vector<const void *> received;
    int wakes = 0;
    DWORD woken_on = 0;  // the thread of the latest wake-up

private:
    SdkLink link_;
};

}  // namespace talkwire

#endif
