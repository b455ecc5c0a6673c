// An SDK message (a response or an event) that the module owns: released
// exactly once, when its owner goes, unless handed on with release().  Any
// thread; no interpreter.
#ifndef TALKWIRE_BRIDGE_SDK_MESSAGE_H
#define TALKWIRE_BRIDGE_SDK_MESSAGE_H

#include "voicesdk/voicesdk.h"

#include <utility>

namespace talkwire {

class SdkMessage {
public:
    SdkMessage() = default;
    explicit SdkMessage(sdk_message_base_t *message) : message_(message) {}
    explicit SdkMessage(sdk_resp_base_t *response) : message_(response ? &response->message : nullptr) {}
    SdkMessage(SdkMessage &&other) noexcept : message_(std::exchange(other.message_, nullptr)) {}
    SdkMessage &operator=(SdkMessage other) noexcept
    {
        std::swap(message_, other.message_);
        return *this;
    }
    ~SdkMessage()
    {
        if (message_)
            destroy_msg(message_);
    }

    sdk_message_base_t *get() const { return message_; }
    explicit operator bool() const { return message_ != nullptr; }
    sdk_message_base_t *release() { return std::exchange(message_, nullptr); }

private:
    sdk_message_base_t *message_ = nullptr;
};

}  // namespace talkwire

#endif
