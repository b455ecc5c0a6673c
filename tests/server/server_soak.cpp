// Soak of the local voice server: connections churn for a while (some
// leave in good order, some are cut off as a killed process would be) while
// everyone in the channel keeps talking.  After every round each client's
// view of the channel must be exactly who is there, with every arrival,
// departure and speaking change seen once: none lost, none doubled; and
// the server's memory must stay flat from the first rounds to the last.
//
//   server_soak SERVER_PROGRAM SECONDS CONNECTIONS
#include "../../server/fleet/fleet.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace voiceserver::fleet;

const char kChannel[] = "soak";
const char kDomainUrl[] = "https://www.orb.example/";

std::string uri_of(const std::string &name)
{
    return "sip:" + name + "@orb.example";
}

struct Slot {
    int client = -1;     // index in the fleet
    int generation = 0;  // a fresh name for each connection
    std::string name, connector, account, session;
    bool in_channel = false;
};

class Soak {
public:
    Soak(Fleet &fleet, int slots) : fleet_(fleet), slots_(static_cast<size_t>(slots))
    {
        fleet_.on_response = [this](int client, uint32_t id, const sdk_resp_base_t &response, Clock::time_point) {
            answered(client, id, response);
        };
        fleet_.on_event = [this](int client, const sdk_evt_base_t &event, Clock::time_point) { heard(client, event); };
    }

    void connect(size_t slot)
    {
        Slot &s = slots_[slot];
        s = Slot{fleet_.add(), s.generation + 1};
        s.name = "s" + std::to_string(slot) + "g" + std::to_string(s.generation);
        slot_of_[s.client] = slot;
        views_[s.client].clear();
        ask(s.client, sdk_request_connector_create, {{"account_server_url", kDomainUrl}});
    }

    // Leaves in good order (session, login, connector) or is cut off.
    void leave(size_t slot, bool abruptly)
    {
        Slot &s = slots_[slot];
        if (!abruptly) {
            ask(s.client, sdk_request_sessiongroup_remove_session, {{"session_handle", s.session}});
            ask(s.client, sdk_request_account_logout, {{"account_handle", s.account}});
            ask(s.client, sdk_request_connector_initiate_shutdown, {{"connector_handle", s.connector}});
            int client = s.client;
            wait([&] { return outstanding_[client] == 0; }, "an orderly departure");
        }
        fleet_.drop(s.client);
        slot_of_.erase(s.client);
        s.in_channel = false;
    }

    // Until everyone is in the channel and sees exactly the others.
    void settle()
    {
        wait(
            [&] {
                std::set<std::string> everyone;
                for (const Slot &s : slots_) {
                    if (!s.in_channel)
                        return false;
                    everyone.insert(uri_of(s.name));
                }
                for (const Slot &s : slots_) {
                    std::set<std::string> expected = everyone;
                    expected.erase(uri_of(s.name));
                    if (views_[s.client] != expected)
                        return false;
                }
                return true;
            },
            "everyone to see everyone");
    }

    // Each talks once (microphone open, then closed): each other member
    // hears both changes exactly once.
    void talk_round()
    {
        talk_.clear();
        for (const Slot &s : slots_) {
            ask(s.client, sdk_request_connector_mute_local_mic, {{"connector_handle", s.connector}}, {{"mute", 0}});
            ask(s.client, sdk_request_connector_mute_local_mic, {{"connector_handle", s.connector}}, {{"mute", 1}});
        }
        const size_t others = slots_.size() - 1;
        wait(
            [&] {
                for (const Slot &s : slots_) {
                    const auto &heard = talk_[s.client];
                    if (heard.size() < others)
                        return false;
                    for (const auto &changes : heard)
                        if (changes.second.size() < 2)
                            return false;
                }
                return true;
            },
            "every speaking change");
        // A round trip each: anything doubled would have arrived before it.
        for (const Slot &s : slots_)
            ask(s.client, sdk_request_session_mute_local_speaker, {{"session_handle", s.session}});
        wait([&] { return total_outstanding() == 0; }, "the barrier");
        for (const Slot &s : slots_) {
            for (const auto &changes : talk_[s.client])
                if (changes.second != std::vector<int>{1, 0})
                    fail(s.name + " heard " + changes.first + " change " + std::to_string(changes.second.size()) +
                         " times, or out of order");
            if (talk_[s.client].size() != others)
                fail(s.name + " heard talk from " + std::to_string(talk_[s.client].size()) + " others");
        }
    }

    size_t events() const { return events_; }

private:
    void ask(int client, int kind, const Texts &texts, const Ints &ints = {})
    {
        uint32_t id = fleet_.send(client, kind, texts, ints);
        asked_[{client, id}] = kind;
        ++outstanding_[client];
    }

    size_t total_outstanding() const
    {
        size_t total = 0;
        for (const auto &entry : outstanding_)
            total += static_cast<size_t>(entry.second);
        return total;
    }

    void wait(const std::function<bool()> &done, const char *what)
    {
        if (!fleet_.run_until(done, 60.0))
            fail(std::string("gave up waiting for ") + what);
    }

    [[noreturn]] void fail(const std::string &what) { throw std::runtime_error(what); }

    void answered(int client, uint32_t id, const sdk_resp_base_t &response)
    {
        auto asked = asked_.find({client, id});
        if (asked == asked_.end())
            fail("an answer to nothing asked");
        int kind = asked->second;
        asked_.erase(asked);
        --outstanding_[client];
        if (response.return_code != 0)
            fail("request kind " + std::to_string(kind) + " failed: " + std::to_string(response.status_code));
        auto slot = slot_of_.find(client);
        if (slot == slot_of_.end())
            return;
        Slot &s = slots_[slot->second];
        switch (kind) {
        case sdk_request_connector_create:
            s.connector = reinterpret_cast<const sdk_resp_connector_create_t &>(response).connector_handle;
            ask(client, sdk_request_account_login, {{"connector_handle", s.connector}, {"account_name", s.name}});
            break;
        case sdk_request_account_login:
            s.account = reinterpret_cast<const sdk_resp_account_login_t &>(response).account_handle;
            ask(client, sdk_request_session_create, {{"account_handle", s.account}, {"channel_name", kChannel}});
            break;
        case sdk_request_session_create:
            s.session = reinterpret_cast<const sdk_resp_session_create_t &>(response).session_handle;
            s.in_channel = true;
            break;
        default:
            break;
        }
    }

    void heard(int client, const sdk_evt_base_t &event)
    {
        ++events_;
        std::set<std::string> &view = views_[client];
        auto slot = slot_of_.find(client);
        const std::string who = slot == slot_of_.end() ? "?" : slots_[slot->second].name;
        switch (event.event_type) {
        case sdk_event_participant_added: {
            std::string uri = reinterpret_cast<const sdk_evt_participant_added_t &>(event).participant_uri;
            if (!view.insert(uri).second)
                fail(who + " heard " + uri + " arrive twice");
            break;
        }
        case sdk_event_participant_removed: {
            std::string uri = reinterpret_cast<const sdk_evt_participant_removed_t &>(event).participant_uri;
            if (view.erase(uri) == 0)
                fail(who + " heard " + uri + " leave without having arrived");
            break;
        }
        case sdk_event_participant_updated: {
            auto &updated = reinterpret_cast<const sdk_evt_participant_updated_t &>(event);
            if (!view.count(updated.participant_uri))
                fail(who + " heard " + updated.participant_uri + " talk without having arrived");
            talk_[client][updated.participant_uri].push_back(updated.flag_a);
            break;
        }
        default:
            break;
        }
    }

    Fleet &fleet_;
    std::vector<Slot> slots_;
    std::map<int, size_t> slot_of_;
    std::map<std::pair<int, uint32_t>, int> asked_;
    std::map<int, int> outstanding_;
    std::map<int, std::set<std::string>> views_;
    std::map<int, std::map<std::string, std::vector<int>>> talk_;
    size_t events_ = 0;
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: server_soak SERVER_PROGRAM SECONDS CONNECTIONS\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const int connections = std::atoi(argv[3]);
    try {
        ServerProcess server(argv[1], {"--heartbeat", "600"});
        Fleet fleet(server.port());
        Soak soak(fleet, connections);
        for (int i = 0; i < connections; ++i)
            soak.connect(static_cast<size_t>(i));
        soak.settle();

        std::mt19937 random(20240611);
        const auto start = Clock::now();
        long warm_kib = -1, peak_kib = 0;
        int rounds = 0, churned = 0;
        while (std::chrono::duration<double>(Clock::now() - start).count() < seconds || rounds < 4) {
            // A fifth of the channel goes, half of those cut off; they come
            // back under new names.
            std::vector<size_t> leaving;
            for (int i = 0; i < connections / 5 + 1; ++i)
                leaving.push_back(random() % static_cast<size_t>(connections));
            std::set<size_t> unique(leaving.begin(), leaving.end());
            for (size_t slot : unique)
                soak.leave(slot, random() % 2 == 0);
            for (size_t slot : unique)
                soak.connect(slot);
            churned += static_cast<int>(unique.size());
            soak.settle();
            soak.talk_round();
            ++rounds;
            long kib = server.rss_kib();
            peak_kib = std::max(peak_kib, kib);
            if (rounds == 3)
                warm_kib = kib;
        }
        long end_kib = server.rss_kib();
        int status = server.stop();
        std::printf("%d rounds, %d connections replaced, %zu events checked; server memory %ld KiB after "
                    "round 3, %ld KiB at the end (peak %ld KiB); exit status %d\n",
                    rounds, churned, soak.events(), warm_kib, end_kib, peak_kib, status);
        // Flat: no more than 2 MiB over what it had once warm, however long
        // it ran.
        if (end_kib - warm_kib > 2048) {
            std::printf("FAILED: the server's memory grew\n");
            return 1;
        }
        if (status != 0) {
            std::printf("FAILED: the server did not stop cleanly\n");
            return 1;
        }
    } catch (const std::exception &error) {
        std::printf("FAILED: %s\n", error.what());
        return 1;
    }
    return 0;
}
