// Every test starts and ends with an empty SDK: no handlers, no rules, no
// queued messages, nothing alive.
#ifndef VOICESDK_TESTS_SDK_FIXTURE_H
#define VOICESDK_TESTS_SDK_FIXTURE_H

#include "voicesdk/control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class SdkTest : public ::testing::Test {
protected:
    void SetUp() override { sdk_ctl_reset(); }
    void TearDown() override
    {
        sdk_ctl_reset();
        EXPECT_EQ(sdk_ctl_handler_count(), 0) << "a test left a handler registered";
        sdk_ctl_live_t live;
        sdk_ctl_live(&live);
        EXPECT_EQ(live.requests, 0);
        EXPECT_EQ(live.responses, 0);
        EXPECT_EQ(live.events, 0);
    }

    static sdk_ctl_live_t live()
    {
        sdk_ctl_live_t counts;
        sdk_ctl_live(&counts);
        return counts;
    }

    // Takes every queued message (no handler registered).
    static std::vector<sdk_message_base_t *> take_all()
    {
        std::vector<sdk_message_base_t *> messages;
        sdk_message_base_t *message = nullptr;
        while (sdk_get_message(&message) == 0)
            messages.push_back(message);
        return messages;
    }

    static void destroy_all(const std::vector<sdk_message_base_t *> &messages)
    {
        for (sdk_message_base_t *message : messages)
            destroy_msg(message);
    }

    // A standing or once rule answering `kind` with status_code `code`.
    static void answer_with(int kind, int code, bool once)
    {
        sdk_resp_base_t *prototype = sdk_ctl_response_create(sdk_ctl_request_info(kind)->type, nullptr);
        prototype->status_code = code;
        ASSERT_EQ(sdk_ctl_answer(kind, prototype, once), 0);
    }

    static int issue_logout(const char *cookie = nullptr, void *user_pointer = nullptr)
    {
        sdk_req_account_logout_t *request = sdk_req_account_logout_create();
        request->base.cookie = sdk_strdup(cookie);
        request->base.user_pointer = user_pointer;
        request->account_handle = sdk_strdup("a1");
        return sdk_issue_request(&request->base);
    }
};

#endif
