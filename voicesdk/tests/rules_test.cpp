// The service's rules with several origins, as the local voice server runs
// them: who meets whom, who hears what, and whose handles a request may
// name.
#include "../src/records.h"
#include "../src/service/service.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace voicesdk;
using namespace voicesdk::service;

struct Delivered {
    uint64_t to;
    MessagePtr message;
};

class RulesTest : public ::testing::Test {
protected:
    RulesTest()
        : service_([this](uint64_t to, MessagePtr message) {
              std::lock_guard<std::mutex> lock(mutex_);
              delivered_.push_back(Delivered{to, std::move(message)});
          })
    {
        Settings settings;
        settings.latency = 0.0;
        settings.peers.clear();
        service_.configure(settings);
    }

    // Issues a request of `kind` from `origin` with the given text fields
    // (name, value) and int fields; returns the response it got.
    const sdk_resp_base_t *ask(uint64_t origin, int kind, std::vector<std::pair<const char *, std::string>> texts,
                               std::vector<std::pair<const char *, int>> ints = {})
    {
        sdk_req_base_t *request = make_request(kind);
        const sdk_record_info_t &info = *request_info(kind);
        for (int i = 0; i < info.field_count; ++i) {
            char *at = reinterpret_cast<char *>(request) + info.fields[i].offset;
            for (auto &text : texts)
                if (std::string(info.fields[i].name) == text.first)
                    *reinterpret_cast<char **>(at) = copy_text(text.second.c_str());
            for (auto &value : ints)
                if (std::string(info.fields[i].name) == value.first)
                    *reinterpret_cast<int *>(at) = value.second;
        }
        size_t before = delivered_.size();
        service_.on_request(IssuedRequest{request, kind, false, origin});
        release_request(request);
        for (size_t i = before; i < delivered_.size(); ++i) {
            if (delivered_[i].message->message_type == sdk_message_response) {
                EXPECT_EQ(delivered_[i].to, origin);
                return reinterpret_cast<const sdk_resp_base_t *>(delivered_[i].message.get());
            }
        }
        ADD_FAILURE() << "no response";
        return nullptr;
    }

    std::string connector(uint64_t origin)
    {
        auto *response = reinterpret_cast<const sdk_resp_connector_create_t *>(
            ask(origin, sdk_request_connector_create, {{"account_server_url", "https://www.orb.example/api"}}));
        return response->connector_handle;
    }

    std::string log_in(uint64_t origin, const std::string &name)
    {
        std::string connector_handle = connector(origin);
        auto *response = reinterpret_cast<const sdk_resp_account_login_t *>(ask(
            origin, sdk_request_account_login, {{"connector_handle", connector_handle}, {"account_name", name}}));
        EXPECT_EQ(response->base.return_code, 0);
        return response->account_handle ? response->account_handle : "";
    }

    std::string join(uint64_t origin, const std::string &account, const std::string &channel = "lobby")
    {
        auto *response = reinterpret_cast<const sdk_resp_session_create_t *>(
            ask(origin, sdk_request_session_create, {{"account_handle", account}, {"channel_name", channel}}));
        return response->session_handle ? response->session_handle : "";
    }

    // Events delivered to `to` since `mark`, as "type session uri a b".
    std::vector<std::string> events_to(uint64_t to, size_t mark = 0)
    {
        std::vector<std::string> out;
        for (size_t i = mark; i < delivered_.size(); ++i) {
            if (delivered_[i].to != to || delivered_[i].message->message_type != sdk_message_event)
                continue;
            auto *event = reinterpret_cast<const sdk_evt_base_t *>(delivered_[i].message.get());
            switch (event->event_type) {
            case sdk_event_participant_added: {
                auto *added = reinterpret_cast<const sdk_evt_participant_added_t *>(event);
                out.push_back(std::string("added ") + added->session_handle + " " + added->participant_uri);
                break;
            }
            case sdk_event_participant_removed: {
                auto *removed = reinterpret_cast<const sdk_evt_participant_removed_t *>(event);
                out.push_back(std::string("removed ") + removed->session_handle + " " + removed->participant_uri);
                break;
            }
            case sdk_event_participant_updated: {
                auto *updated = reinterpret_cast<const sdk_evt_participant_updated_t *>(event);
                out.push_back(std::string("updated ") + updated->session_handle + " " + updated->participant_uri +
                              " " + std::to_string(updated->flag_a) + " " + std::to_string(updated->flag_b));
                break;
            }
            default:
                break;
            }
        }
        return out;
    }

    size_t mark() const { return delivered_.size(); }

    static std::string uri(const std::string &name) { return "sip:" + name + "@orb.example"; }

    std::mutex mutex_;
    std::vector<Delivered> delivered_;
    Service service_;
};

using Events = std::vector<std::string>;

TEST_F(RulesTest, ClientsInOneChannelMeetHearTalkAndPart)
{
    std::string ann = log_in(1, "ann");
    std::string ann_session = join(1, ann);
    std::string bob = log_in(2, "bob");
    size_t before_bob = mark();
    std::string bob_session = join(2, bob);
    EXPECT_EQ(events_to(2, before_bob), Events{"added " + bob_session + " " + uri("ann")});
    EXPECT_EQ(events_to(1, before_bob), Events{"added " + ann_session + " " + uri("bob")});

    size_t talk = mark();
    ask(1, sdk_request_connector_mute_local_mic, {{"connector_handle", service_.connector_of(1)}}, {{"mute", 0}});
    EXPECT_EQ(events_to(2, talk), Events{"updated " + bob_session + " " + uri("ann") + " 1 0"});
    EXPECT_EQ(events_to(1, talk), Events{});

    // Choosing to speak into no session silences ann for the others.
    size_t quiet = mark();
    std::string group = reinterpret_cast<const sdk_resp_sessiongroup_create_t *>(
                            ask(1, sdk_request_sessiongroup_create, {{"account_handle", ann}}))
                            ->session_group_handle;
    ask(1, sdk_request_sessiongroup_set_tx_no_session, {{"sessiongroup_handle", group}});
    EXPECT_EQ(events_to(2, quiet), Events{"updated " + bob_session + " " + uri("ann") + " 0 0"});

    size_t leave = mark();
    ask(2, sdk_request_sessiongroup_remove_session, {{"session_handle", bob_session}});
    EXPECT_EQ(events_to(1, leave), Events{"removed " + ann_session + " " + uri("bob")});
    // A latecomer hears who is there, and that the one there is quiet.
    std::string cai = log_in(3, "cai");
    size_t late = mark();
    std::string cai_session = join(3, cai);
    EXPECT_EQ(events_to(3, late), Events{"added " + cai_session + " " + uri("ann")});
}

TEST_F(RulesTest, ARequestNamingAnotherClientsHandleIsAnsweredAsUnknown)
{
    std::string ann = log_in(1, "ann");
    std::string ann_session = join(1, ann);
    std::string bob = log_in(2, "bob");
    std::string bob_session = join(2, bob);
    size_t before = mark();
    EXPECT_EQ(ask(2, sdk_request_account_logout, {{"account_handle", ann}})->status_code, kUnknownHandle);
    EXPECT_EQ(ask(2, sdk_request_sessiongroup_remove_session, {{"session_handle", ann_session}})->status_code,
              kUnknownHandle);
    EXPECT_EQ(ask(2, sdk_request_session_create, {{"account_handle", ann}, {"channel_name", "x"}})->status_code,
              kUnknownHandle);
    EXPECT_EQ(ask(2, sdk_request_session_mute_local_speaker, {{"session_handle", ann_session}})->status_code,
              kUnknownHandle);
    EXPECT_EQ(ask(2, sdk_request_channel_mute_user,
                  {{"account_handle", ann}, {"channel_name", "lobby"}, {"participant_uri", uri("bob")}})
                  ->status_code,
              kUnknownHandle);
    EXPECT_EQ(ask(2, sdk_request_connector_initiate_shutdown, {{"connector_handle", service_.connector_of(1)}})
                  ->status_code,
              kUnknownHandle);
    // Nothing happened to ann: bob still sees nobody leave, ann nothing at all.
    EXPECT_EQ(events_to(1, before), Events{});
    EXPECT_EQ(events_to(2, before), Events{});
    EXPECT_EQ(ask(1, sdk_request_session_mute_local_speaker, {{"session_handle", ann_session}})->return_code, 0);
}

TEST_F(RulesTest, AGoneClientLeavesEveryChannelAndItsAccountIsFree)
{
    std::string ann = log_in(1, "ann");
    join(1, ann, "lobby");
    join(1, ann, "squad");
    std::string bob = log_in(2, "bob");
    std::string lobby = join(2, bob, "lobby");
    std::string squad = join(2, bob, "squad");
    size_t before = mark();
    service_.disconnect(1);
    EXPECT_EQ(events_to(2, before),
              (Events{"removed " + lobby + " " + uri("ann"), "removed " + squad + " " + uri("ann")}));
    EXPECT_EQ(events_to(1, before), Events{});
    EXPECT_EQ(service_.connector_of(1), "");
    EXPECT_FALSE(log_in(3, "ann").empty());
}

TEST_F(RulesTest, ASecondLoginOfAnAccountIsRefusedWhileTheFirstLasts)
{
    std::string ann = log_in(1, "ann");
    std::string connector_handle = connector(2);
    auto login = [&] {
        return ask(2, sdk_request_account_login, {{"connector_handle", connector_handle}, {"account_name", "ann"}});
    };
    const sdk_resp_base_t *refused = login();
    EXPECT_EQ(refused->status_code, kAlreadyLoggedIn);
    EXPECT_STREQ(refused->status_text, "Account already logged in");
    ask(1, sdk_request_account_logout, {{"account_handle", ann}});
    EXPECT_EQ(login()->return_code, 0);
}

TEST_F(RulesTest, ModeratorMutesReachEveryoneAndMuteAllSparesTheModerator)
{
    std::string ann = log_in(1, "ann");
    std::string ann_session = join(1, ann);
    std::string bob = log_in(2, "bob");
    std::string bob_session = join(2, bob);
    std::string channel = "sip:channel-lobby@orb.example";
    size_t before = mark();
    ask(1, sdk_request_channel_mute_user,
        {{"account_handle", ann}, {"channel_uri", channel}, {"participant_uri", uri("bob")}}, {{"mute", 1}});
    EXPECT_EQ(events_to(1, before), Events{"updated " + ann_session + " " + uri("bob") + " 0 1"});
    EXPECT_EQ(events_to(2, before), Events{"updated " + bob_session + " " + uri("bob") + " 0 1"});
    // Muting again changes nothing, so nobody hears of it.
    size_t again = mark();
    ask(1, sdk_request_channel_mute_user,
        {{"account_handle", ann}, {"channel_uri", channel}, {"participant_uri", uri("bob")}}, {{"mute", 1}});
    EXPECT_EQ(events_to(2, again), Events{});

    size_t all = mark();
    ask(2, sdk_request_channel_mute_all_users, {{"account_handle", bob}, {"channel_uri", channel}}, {{"mute", 1}});
    EXPECT_EQ(events_to(2, all), Events{"updated " + bob_session + " " + uri("ann") + " 0 1"});
}

}  // namespace
