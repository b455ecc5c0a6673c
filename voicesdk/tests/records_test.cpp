// Record layouts, ownership and live counts.
#include "sdk_fixture.h"

#include <cstddef>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using RecordsTest = SdkTest;

TEST_F(RecordsTest, ReflectionFollowsTheRecordStructs)
{
    int kind = sdk_ctl_request_kind("account_login");
    ASSERT_EQ(kind, sdk_request_account_login);
    const sdk_record_info_t *info = sdk_ctl_request_info(kind);
    ASSERT_EQ(info->field_count, 5);
    EXPECT_STREQ(info->fields[0].name, "connector_handle");
    EXPECT_EQ(info->fields[0].offset, offsetof(sdk_req_account_login_t, connector_handle));
    EXPECT_STREQ(info->fields[4].name, "login_trailing_option");
    EXPECT_EQ(info->fields[4].kind, sdk_field_int);
    EXPECT_EQ(info->fields[4].offset, offsetof(sdk_req_account_login_t, login_trailing_option));
    EXPECT_EQ(info->type, 3);
    EXPECT_EQ(info->size, sizeof(sdk_req_account_login_t));

    const sdk_record_info_t *position = sdk_ctl_request_info(sdk_request_session_set_3d_position);
    EXPECT_EQ(position->fields[2].kind, sdk_field_double_array);
    EXPECT_EQ(position->fields[2].length, 15);
    EXPECT_EQ(position->fields[2].offset, offsetof(sdk_req_session_set_3d_position_t, listener_vectors));

    EXPECT_EQ(sdk_ctl_request_kind("no_such_kind"), -1);
    EXPECT_EQ(sdk_ctl_request_info(sdk_request_kind_count), nullptr);

    // Response and event records follow their type numbers.
    EXPECT_EQ(sdk_ctl_response_info(86)->extra, sdk_extra_test_results);
    EXPECT_EQ(sdk_ctl_response_info(87)->extra, sdk_extra_devices);
    EXPECT_EQ(sdk_ctl_response_info(16)->size, sizeof(sdk_resp_session_create_t));
    EXPECT_EQ(sdk_ctl_response_info(4242)->size, sizeof(sdk_resp_base_t));
    EXPECT_EQ(sdk_ctl_response_info(-1)->field_count, 0);
    EXPECT_EQ(sdk_ctl_event_info(6)->size, sizeof(sdk_evt_participant_properties_t));
    EXPECT_EQ(sdk_ctl_event_info(99)->size, sizeof(sdk_evt_base_t));
}

TEST_F(RecordsTest, RecordsStartZeroFilled)
{
    sdk_req_session_set_3d_position_t *request = sdk_req_session_set_3d_position_create();
    for (double value : request->listener_vectors)
        EXPECT_EQ(value, 0.0);
    EXPECT_EQ(request->base.cookie, nullptr);
    EXPECT_EQ(request->base.kind, sdk_request_session_set_3d_position);
    destroy_req(&request->base);

    auto *response = reinterpret_cast<sdk_resp_aux_get_capture_devices_t *>(sdk_ctl_response_create(87, nullptr));
    EXPECT_EQ(response->base.message.message_type, sdk_message_response);
    EXPECT_EQ(response->base.response_type, 87);
    EXPECT_EQ(response->devices, nullptr);
    EXPECT_EQ(response->current_device, nullptr);
    destroy_resp(&response->base);
}

TEST_F(RecordsTest, LiveCountsFollowOwnership)
{
    sdk_req_account_logout_t *kept = sdk_req_account_logout_create();
    sdk_req_account_logout_t *issued = sdk_req_account_logout_create();
    EXPECT_EQ(live().requests, 2);
    destroy_req(&kept->base);
    EXPECT_EQ(live().requests, 1);
    // Issued: the SDK's, no longer the caller's to count or release.
    EXPECT_EQ(sdk_issue_request(&issued->base), 0);
    EXPECT_EQ(live().requests, 0);
    destroy_req(&issued->base);
    EXPECT_EQ(live().requests, 0);

    sdk_ctl_post(&sdk_ctl_event_create(4)->message);
    sdk_ctl_post(sdk_ctl_message_create(7));
    sdk_ctl_post(&sdk_ctl_response_create(28, nullptr)->message);
    EXPECT_EQ(live().events, 2);
    EXPECT_EQ(live().responses, 1);
    std::vector<sdk_message_base_t *> messages = take_all();
    ASSERT_EQ(messages.size(), 3u);
    destroy_evt(reinterpret_cast<sdk_evt_base_t *>(messages[0]));
    destroy_msg(messages[1]);
    destroy_resp(reinterpret_cast<sdk_resp_base_t *>(messages[2]));
    EXPECT_EQ(live().events, 0);
    EXPECT_EQ(live().responses, 0);

    destroy_resp(nullptr);
    destroy_evt(nullptr);
    destroy_req(nullptr);
    destroy_msg(nullptr);
}

TEST_F(RecordsTest, LiveCountsAddUpAcrossThreadsThatComeAndGo)
{
    // Threads count in blocks of their own: what one thread makes and
    // another releases, and what threads that have ended made or released,
    // must still add up.
    std::vector<sdk_req_base_t *> made;
    std::thread maker([&made] {
        for (int i = 0; i < 50; ++i)
            made.push_back(&sdk_req_account_logout_create()->base);
    });
    maker.join();
    EXPECT_EQ(live().requests, 50);
    for (size_t i = 0; i < 20; ++i)
        destroy_req(made[i]);
    EXPECT_EQ(live().requests, 30);
    std::vector<std::thread> releasers;
    for (size_t first = 20; first < made.size(); first += 10) {
        releasers.emplace_back([&made, first] {
            for (size_t i = first; i < first + 10; ++i)
                destroy_req(made[i]);
        });
    }
    for (std::thread &releaser : releasers)
        releaser.join();
    EXPECT_EQ(live().requests, 0);

    sdk_ctl_post(&sdk_ctl_event_create(4)->message);
    std::thread([] { sdk_ctl_post(&sdk_ctl_event_create(4)->message); }).join();
    EXPECT_EQ(live().events, 2);
    std::thread([] { destroy_all(take_all()); }).join();
    EXPECT_EQ(live().events, 0);
}

TEST_F(RecordsTest, BareMessagesOfResponseAndEventTypeAreReadableAsSuch)
{
    sdk_message_base_t *response = sdk_ctl_message_create(sdk_message_response);
    EXPECT_EQ(reinterpret_cast<sdk_resp_base_t *>(response)->request, nullptr);
    EXPECT_EQ(live().responses, 1);
    destroy_msg(response);
    sdk_message_base_t *event = sdk_ctl_message_create(sdk_message_event);
    EXPECT_EQ(reinterpret_cast<sdk_evt_base_t *>(event)->event_type, 0);
    destroy_msg(event);
}

TEST_F(RecordsTest, ResponseKeepsItsRequestReadable)
{
    EXPECT_EQ(issue_logout("c7"), 0);
    size_t count = 0;
    sdk_ctl_recorded_t *recorded = sdk_ctl_requests(&count);
    ASSERT_EQ(count, 1u);
    sdk_resp_base_t *response = sdk_ctl_response_create(28, recorded[0].request);
    sdk_ctl_requests_free(recorded, count);
    sdk_ctl_clear_requests();
    // Only the response holds the request now.
    ASSERT_NE(response->request, nullptr);
    EXPECT_STREQ(response->request->cookie, "c7");
    EXPECT_STREQ(reinterpret_cast<sdk_req_account_logout_t *>(response->request)->account_handle, "a1");
    destroy_resp(response);

    // A made-up request released by its creator lives on in the response.
    sdk_req_base_t *made_up = sdk_ctl_request_create(sdk_request_session_create);
    made_up->cookie = sdk_ctl_strdup("m1");
    response = sdk_ctl_response_create(16, made_up);
    destroy_req(made_up);
    EXPECT_EQ(live().requests, 0);
    EXPECT_STREQ(response->request->cookie, "m1");
    destroy_resp(response);
}

TEST_F(RecordsTest, StructuredResultsAreCopiedPerAnswer)
{
    sdk_resp_base_t *devices = sdk_ctl_response_create(87, nullptr);
    const char *names[] = {"mic A", "mic B"};
    ASSERT_EQ(sdk_ctl_resp_set_devices(devices, 2, names, "mic B"), 0);
    ASSERT_EQ(sdk_ctl_answer(sdk_request_aux_get_capture_devices, devices, 0), 0);
    EXPECT_EQ(live().responses, 0) << "a rule is not a live response";

    sdk_resp_base_t *tests = sdk_ctl_response_create(86, nullptr);
    sdk_connectivity_test_result_t items[] = {{1, 0, const_cast<char *>("ok")}, {2, 5, nullptr}};
    ASSERT_EQ(sdk_ctl_resp_set_test_results(tests, 2, items), 0);
    EXPECT_NE(sdk_ctl_resp_set_devices(tests, 2, names, nullptr), 0) << "wrong kind of results";
    ASSERT_EQ(sdk_ctl_answer(sdk_request_aux_connectivity_info, tests, 1), 0);

    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(sdk_issue_request(&sdk_req_aux_get_capture_devices_create()->base), 0);
    EXPECT_EQ(sdk_issue_request(&sdk_req_aux_connectivity_info_create()->base), 0);
    std::vector<sdk_message_base_t *> messages = take_all();
    ASSERT_EQ(messages.size(), 3u);
    auto *first = reinterpret_cast<sdk_resp_aux_get_capture_devices_t *>(messages[0]);
    auto *second = reinterpret_cast<sdk_resp_aux_get_capture_devices_t *>(messages[1]);
    ASSERT_EQ(first->count, 2);
    EXPECT_STREQ(first->devices[1]->name, "mic B");
    EXPECT_STREQ(first->current_device->name, "mic B");
    EXPECT_NE(first->devices[0], second->devices[0]);
    EXPECT_NE(first->current_device->name, second->current_device->name);
    auto *connectivity = reinterpret_cast<sdk_resp_aux_connectivity_info_t *>(messages[2]);
    ASSERT_EQ(connectivity->test_count, 2);
    EXPECT_STREQ(connectivity->test_results[0]->test_info, "ok");
    EXPECT_EQ(connectivity->test_results[1]->test_result, 5);
    EXPECT_EQ(connectivity->test_results[1]->test_info, nullptr);
    // A receiver may lower the count; the whole list is still released.
    connectivity->test_count = 1;
    destroy_all(messages);
}

TEST_F(RecordsTest, BurstCopiesStandAloneWhateverOrderTheyGoIn)
{
    auto *prototype = reinterpret_cast<sdk_evt_participant_updated_t *>(sdk_ctl_event_create(28));
    prototype->session_handle = sdk_ctl_strdup("sess-1");
    prototype->participant_uri = sdk_ctl_strdup("sip:peer@voice.example");
    prototype->flag_a = 1;
    prototype->level = 0.5;
    // Enough copies for several shared allocations.
    constexpr int kCopies = 2000;
    ASSERT_EQ(sdk_ctl_event_burst(&prototype->base, kCopies), 0);
    destroy_evt(&prototype->base);
    EXPECT_EQ(live().events, kCopies);

    std::vector<sdk_message_base_t *> copies;
    sdk_message_base_t *message = nullptr;
    while (sdk_get_message(&message) == 0)
        copies.push_back(message);
    ASSERT_EQ(copies.size(), static_cast<size_t>(kCopies));
    for (sdk_message_base_t *copy : copies) {
        auto *event = reinterpret_cast<sdk_evt_participant_updated_t *>(copy);
        ASSERT_EQ(event->base.event_type, 28);
        ASSERT_STREQ(event->session_handle, "sess-1");
        ASSERT_STREQ(event->participant_uri, "sip:peer@voice.example");
        ASSERT_EQ(event->flag_a, 1);
        ASSERT_EQ(event->level, 0.5);
    }
    // Each copy's texts are its own: changing one leaves the others alone.
    reinterpret_cast<sdk_evt_participant_updated_t *>(copies[0])->session_handle[0] = 'X';
    EXPECT_STREQ(reinterpret_cast<sdk_evt_participant_updated_t *>(copies[1])->session_handle, "sess-1");

    // Every other copy from the front, then the rest from the back, some on
    // another thread: no copy outlives its release and none takes another
    // with it (the sanitized and valgrind runs watch the memory).
    for (size_t i = 0; i < copies.size(); i += 2)
        destroy_msg(copies[i]);
    EXPECT_EQ(live().events, kCopies / 2);
    std::thread other([&] {
        for (size_t i = copies.size() - 1; i >= copies.size() / 2; i -= 2)
            destroy_msg(copies[i]);
    });
    other.join();
    for (size_t i = copies.size() / 2 - 1; i < copies.size(); i -= 2) {
        auto *event = reinterpret_cast<sdk_evt_participant_updated_t *>(copies[i]);
        ASSERT_STREQ(event->participant_uri, "sip:peer@voice.example");
        destroy_msg(copies[i]);
    }
}

TEST_F(RecordsTest, StrdupFaultFailsTheNextCalls)
{
    sdk_ctl_fail_strdup(2);
    EXPECT_EQ(sdk_strdup(nullptr), nullptr);  // null in, nothing used up
    EXPECT_EQ(sdk_strdup("a"), nullptr);
    EXPECT_EQ(sdk_strdup("b"), nullptr);
    char *copy = sdk_strdup("c");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "c");
    // Records own their text: a request frees what sdk_strdup gave it.
    sdk_req_account_logout_t *request = sdk_req_account_logout_create();
    request->account_handle = copy;
    destroy_req(&request->base);

    // The control side's copies never fail, and reset turns the fault off.
    sdk_ctl_fail_strdup(5);
    char *control = sdk_ctl_strdup("x");
    EXPECT_NE(control, nullptr);
    sdk_ctl_free_text(control);
    sdk_ctl_reset();
    char *after = sdk_strdup("y");
    EXPECT_NE(after, nullptr);
    sdk_ctl_free_text(after);
}

}  // namespace
