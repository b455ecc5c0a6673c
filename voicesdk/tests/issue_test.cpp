// sdk_issue_request: recording, refusals and answer rules.
#include "sdk_fixture.h"

#include <thread>

namespace {

using IssueTest = SdkTest;

std::vector<int> status_codes(const std::vector<sdk_message_base_t *> &messages)
{
    std::vector<int> codes;
    for (sdk_message_base_t *message : messages)
        codes.push_back(reinterpret_cast<sdk_resp_base_t *>(message)->status_code);
    return codes;
}

TEST_F(IssueTest, RecordsEveryRequestInIssueOrder)
{
    int user = 0;
    EXPECT_EQ(issue_logout("1"), 0);
    EXPECT_EQ(issue_logout(nullptr, &user), 0);
    std::thread([] { EXPECT_EQ(sdk_issue_request(&sdk_req_aux_get_mic_level_create()->base), 0); }).join();
    EXPECT_NE(sdk_issue_request(nullptr), 0);

    size_t count = 0;
    sdk_ctl_recorded_t *recorded = sdk_ctl_requests(&count);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(recorded[0].kind, sdk_request_account_logout);
    EXPECT_STREQ(recorded[0].request->cookie, "1");
    EXPECT_FALSE(recorded[0].sync);
    EXPECT_TRUE(recorded[1].sync);
    EXPECT_EQ(recorded[2].kind, sdk_request_aux_get_mic_level);
    EXPECT_TRUE(recorded[2].accepted);
    sdk_ctl_requests_free(recorded, count);

    // Scripted mode without rules answers nothing.
    EXPECT_TRUE(take_all().empty());
    sdk_ctl_clear_requests();
    EXPECT_EQ(sdk_ctl_requests(&count), nullptr);
    EXPECT_EQ(count, 0u);
}

TEST_F(IssueTest, OnceRulesComeFirstInOrderThenTheLatestStandingRule)
{
    answer_with(sdk_request_account_logout, 100, false);
    answer_with(sdk_request_account_logout, 1, true);
    answer_with(sdk_request_account_logout, 200, false);  // replaces 100
    answer_with(sdk_request_account_logout, 2, true);
    answer_with(sdk_request_account_login, 999, false);   // other kinds are separate
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(issue_logout(), 0);
    std::vector<sdk_message_base_t *> messages = take_all();
    EXPECT_EQ(status_codes(messages), (std::vector<int>{1, 2, 200, 200}));
    auto *response = reinterpret_cast<sdk_resp_base_t *>(messages[0]);
    EXPECT_EQ(response->response_type, 28);
    ASSERT_NE(response->request, nullptr);
    EXPECT_EQ(response->request->kind, sdk_request_account_logout);
    destroy_all(messages);
}

TEST_F(IssueTest, RefusedRequestsAreRecordedAndNeverAnswered)
{
    answer_with(sdk_request_account_logout, 1, true);
    sdk_ctl_refuse(-7, 2);
    EXPECT_EQ(issue_logout("a"), -7);
    EXPECT_EQ(issue_logout("b"), -7);
    EXPECT_TRUE(take_all().empty());
    // The once-rule was not used up by the refusals.
    EXPECT_EQ(issue_logout("c"), 0);
    std::vector<sdk_message_base_t *> messages = take_all();
    EXPECT_EQ(status_codes(messages), std::vector<int>{1});
    destroy_all(messages);

    size_t count = 0;
    sdk_ctl_recorded_t *recorded = sdk_ctl_requests(&count);
    ASSERT_EQ(count, 3u);
    EXPECT_FALSE(recorded[0].accepted);
    EXPECT_FALSE(recorded[1].accepted);
    EXPECT_TRUE(recorded[2].accepted);
    sdk_ctl_requests_free(recorded, count);
}

TEST_F(IssueTest, ResetForgetsRulesRefusalsAndQueuedMessages)
{
    answer_with(sdk_request_account_logout, 1, false);
    sdk_ctl_refuse(3, 5);
    sdk_ctl_post(&sdk_ctl_event_create(1)->message);
    sdk_ctl_reset();
    EXPECT_EQ(live().events, 0);
    EXPECT_EQ(issue_logout(), 0);
    EXPECT_TRUE(take_all().empty());
}

TEST_F(IssueTest, ModesOtherThanScriptedAreReported)
{
    EXPECT_EQ(sdk_ctl_set_mode("scripted"), sdk_ctl_mode_ok);
    EXPECT_EQ(sdk_ctl_set_mode("service"), sdk_ctl_mode_ok);
    EXPECT_EQ(sdk_ctl_set_mode("scripted"), sdk_ctl_mode_ok);
    EXPECT_EQ(sdk_ctl_set_mode("bogus"), sdk_ctl_mode_unknown);
}

TEST_F(IssueTest, ConcurrentIssuersAreEachRecordedAndAnswered)
{
    answer_with(sdk_request_account_logout, 5, false);
    constexpr int threads = 4, per_thread = 250;
    std::vector<std::thread> issuers;
    for (int t = 0; t < threads; ++t)
        issuers.emplace_back([] {
            for (int i = 0; i < per_thread; ++i)
                EXPECT_EQ(issue_logout(), 0);
        });
    // Rules may change while requests are answered.
    for (int i = 0; i < 50; ++i)
        answer_with(sdk_request_account_logout, 5, i % 2 == 0);
    for (std::thread &issuer : issuers)
        issuer.join();
    std::vector<sdk_message_base_t *> messages = take_all();
    EXPECT_EQ(messages.size(), static_cast<size_t>(threads * per_thread));
    destroy_all(messages);
    size_t count = 0;
    sdk_ctl_recorded_t *recorded = sdk_ctl_requests(&count);
    sdk_ctl_requests_free(recorded, count);
    EXPECT_EQ(count, static_cast<size_t>(threads * per_thread));
}

}  // namespace
