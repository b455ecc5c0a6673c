// The service's settings and state through the C control interface.
#include "sdk_fixture.h"

#include <cstring>

namespace {

class ServiceControlTest : public SdkTest {};

TEST_F(ServiceControlTest, EachCallSaysWhenTheServiceIsNotRunning)
{
    sdk_ctl_service_settings_t *settings = reinterpret_cast<sdk_ctl_service_settings_t *>(1);
    sdk_ctl_service_state_t *state = reinterpret_cast<sdk_ctl_service_state_t *>(1);
    EXPECT_EQ(sdk_ctl_service_settings(&settings), sdk_ctl_service_not_running);
    EXPECT_EQ(settings, nullptr);
    EXPECT_EQ(sdk_ctl_service_state(&state), sdk_ctl_service_not_running);
    EXPECT_EQ(state, nullptr);
    sdk_ctl_service_settings_t empty{};
    EXPECT_EQ(sdk_ctl_service_configure(&empty), sdk_ctl_service_not_running);
    EXPECT_EQ(sdk_ctl_service_wait_idle(0.0), -1);
    sdk_ctl_service_settings_free(nullptr);
    sdk_ctl_service_state_free(nullptr);
}

TEST_F(ServiceControlTest, SettingsGoInWholeAndComeBackAsCopies)
{
    ASSERT_EQ(sdk_ctl_set_mode("service"), sdk_ctl_mode_ok);
    sdk_ctl_service_settings_t *before = nullptr;
    ASSERT_EQ(sdk_ctl_service_settings(&before), sdk_ctl_service_ok);

    sdk_ctl_service_settings_t edited = *before;
    const char *peers[] = {"cai", "sip:dee@elsewhere"};
    const char *squad[] = {"eve"};
    sdk_ctl_channel_peers_t channel{"squad", {1, squad}};
    sdk_ctl_account_t accounts[] = {{"alice", "secret"}, {"bob", nullptr}};
    edited.peers = {2, peers};
    edited.channel_peer_count = 1;
    edited.channel_peers = &channel;
    edited.open_accounts = 0;
    edited.account_count = 2;
    edited.accounts = accounts;
    edited.failing_info = "dns";
    ASSERT_EQ(sdk_ctl_service_configure(&edited), sdk_ctl_service_ok);
    sdk_ctl_service_settings_free(before);

    sdk_ctl_service_settings_t *after = nullptr;
    ASSERT_EQ(sdk_ctl_service_settings(&after), sdk_ctl_service_ok);
    ASSERT_EQ(after->peers.count, 2);
    EXPECT_STREQ(after->peers.items[1], "sip:dee@elsewhere");
    EXPECT_NE(after->peers.items[0], peers[0]);  // the service's own copy
    ASSERT_EQ(after->channel_peer_count, 1);
    EXPECT_STREQ(after->channel_peers[0].channel, "squad");
    EXPECT_STREQ(after->channel_peers[0].peers.items[0], "eve");
    ASSERT_EQ(after->account_count, 2);
    EXPECT_STREQ(after->accounts[0].password, "secret");
    EXPECT_EQ(after->accounts[1].password, nullptr);
    EXPECT_STREQ(after->failing_info, "dns");
    EXPECT_EQ(after->open_accounts, 0);
    sdk_ctl_service_settings_free(after);
}

TEST_F(ServiceControlTest, ACountWithoutItsItemsChangesNothing)
{
    ASSERT_EQ(sdk_ctl_set_mode("service"), sdk_ctl_mode_ok);
    sdk_ctl_service_settings_t *current = nullptr;
    ASSERT_EQ(sdk_ctl_service_settings(&current), sdk_ctl_service_ok);
    sdk_ctl_service_settings_t edited = *current;
    edited.latency = 0.5;
    edited.peers = {3, nullptr};
    EXPECT_EQ(sdk_ctl_service_configure(&edited), sdk_ctl_service_bad_settings);
    const char *holes[] = {"ava", nullptr};
    edited.peers = {2, holes};
    EXPECT_EQ(sdk_ctl_service_configure(&edited), sdk_ctl_service_bad_settings);
    double latency = current->latency;
    sdk_ctl_service_settings_free(current);

    ASSERT_EQ(sdk_ctl_service_settings(&current), sdk_ctl_service_ok);
    EXPECT_EQ(current->latency, latency);
    sdk_ctl_service_settings_free(current);
}

}  // namespace
