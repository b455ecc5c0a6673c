// Fan-out of the local voice server: N lightweight protocol clients in one
// channel (10, 100, 1,000 by default), each speaking change of one of them
// delivered to all the others.  Reports the latency from the request's
// send to each delivery (p50, p99) and the server's CPU time per delivered
// event.  Goals on this machine: p99 under 20 ms at 1,000 participants, and
// a cost per delivered event that stays within 1.5x from 10 to 1,000.
//
//   server_fanout SERVER_PROGRAM [SIZE ...]
#include "../server/fleet/fleet.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace voiceserver::fleet;

struct Figures {
    int participants = 0;
    int changes = 0;
    size_t deliveries = 0;
    double p50_ms = 0, p99_ms = 0, max_ms = 0;
    double cpu_us_per_event = 0;
    double join_seconds = 0;
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(at), values.end());
    return values[at];
}

Figures measure(const std::string &program, int participants)
{
    Figures figures;
    figures.participants = participants;
    ServerProcess server(program, {"--heartbeat", "600"});
    Fleet fleet(server.port());

    // Everyone joins "lobby": connector, login, session, each on the last's answer.
    std::vector<std::string> connectors(static_cast<size_t>(participants));
    std::vector<int> stage(static_cast<size_t>(participants), 0);
    size_t arrivals = 0;
    int joined = 0;
    // Speaking changes being measured.
    std::string speaker_uri;
    int expected_flag = -1;
    Clock::time_point sent;
    size_t heard = 0;
    std::vector<double> latencies;

    fleet.on_response = [&](int client, uint32_t, const sdk_resp_base_t &response, Clock::time_point) {
        if (response.return_code != 0)
            throw std::runtime_error("a request failed: " + std::to_string(response.status_code));
        size_t i = static_cast<size_t>(client);
        if (response.response_type == sdk_response_connector_create) {
            connectors[i] = reinterpret_cast<const sdk_resp_connector_create_t &>(response).connector_handle;
            fleet.send(client, sdk_request_account_login,
                       {{"connector_handle", connectors[i]}, {"account_name", "p" + std::to_string(client)}});
        } else if (response.response_type == sdk_response_account_login) {
            fleet.send(client, sdk_request_session_create,
                       {{"account_handle", reinterpret_cast<const sdk_resp_account_login_t &>(response).account_handle},
                        {"channel_name", "lobby"}});
        } else if (response.response_type == sdk_response_session_create) {
            ++joined;
        }
    };
    fleet.on_event = [&](int, const sdk_evt_base_t &event, Clock::time_point at) {
        if (event.event_type == sdk_event_participant_added) {
            ++arrivals;
        } else if (event.event_type == sdk_event_participant_updated) {
            auto &updated = reinterpret_cast<const sdk_evt_participant_updated_t &>(event);
            if (updated.flag_a == expected_flag && speaker_uri == updated.participant_uri) {
                ++heard;
                latencies.push_back(std::chrono::duration<double, std::milli>(at - sent).count());
            }
        }
    };

    auto join_start = Clock::now();
    for (int i = 0; i < participants; ++i) {
        int client = fleet.add();
        fleet.send(client, sdk_request_connector_create, {{"account_server_url", "https://www.orb.example/"}});
    }
    const size_t all_arrivals = static_cast<size_t>(participants) * static_cast<size_t>(participants - 1);
    if (!fleet.run_until([&] { return joined == participants && arrivals == all_arrivals; }, 300.0))
        throw std::runtime_error("not everyone joined");
    figures.join_seconds = std::chrono::duration<double>(Clock::now() - join_start).count();

    // Each change goes to participants - 1 others; about 50,000 deliveries
    // per size, at least 40 changes.
    figures.changes = std::max(40, 50000 / std::max(1, participants - 1));
    double cpu_before = server.cpu_seconds();
    for (int change = 0; change < figures.changes; ++change) {
        int speaker = change % participants;
        int round = change / participants;
        speaker_uri = "sip:p" + std::to_string(speaker) + "@orb.example";
        expected_flag = round % 2 == 0 ? 1 : 0;
        heard = 0;
        sent = Clock::now();
        fleet.send(speaker, sdk_request_connector_mute_local_mic, {{"connector_handle", connectors[static_cast<size_t>(speaker)]}},
                   {{"mute", expected_flag == 1 ? 0 : 1}});
        if (!fleet.run_until([&] { return heard == static_cast<size_t>(participants - 1); }, 60.0))
            throw std::runtime_error("a speaking change did not reach everyone");
    }
    double cpu = server.cpu_seconds() - cpu_before;
    figures.deliveries = latencies.size();
    figures.p50_ms = percentile(latencies, 0.50);
    figures.p99_ms = percentile(latencies, 0.99);
    figures.max_ms = *std::max_element(latencies.begin(), latencies.end());
    figures.cpu_us_per_event = cpu * 1e6 / static_cast<double>(figures.deliveries);
    if (server.stop() != 0)
        throw std::runtime_error("the server did not stop cleanly");
    return figures;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: server_fanout SERVER_PROGRAM [PARTICIPANTS ...]\n");
        return 2;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {10, 100, 1000};

    std::string load;
    std::getline(std::ifstream("/proc/loadavg"), load);
    std::printf("local voice server fan-out: one speaking change delivered to every other participant\n"
                "(%u cores; load average %s)\n",
                std::thread::hardware_concurrency(), load.c_str());
    std::printf("%12s %8s %11s %9s %9s %9s %16s %9s\n", "participants", "changes", "deliveries", "p50 ms",
                "p99 ms", "max ms", "server us/event", "join s");
    std::vector<Figures> all;
    try {
        for (int size : sizes) {
            Figures f = measure(argv[1], size);
            std::printf("%12d %8d %11zu %9.3f %9.3f %9.3f %16.3f %9.2f\n", f.participants, f.changes, f.deliveries,
                        f.p50_ms, f.p99_ms, f.max_ms, f.cpu_us_per_event, f.join_seconds);
            std::fflush(stdout);
            all.push_back(f);
        }
    } catch (const std::exception &error) {
        std::printf("FAILED: %s\n", error.what());
        return 1;
    }
    const Figures &first = all.front(), &last = all.back();
    std::printf("\np99 at %d participants: %.3f ms (goal < 20 ms)\n", last.participants, last.p99_ms);
    std::printf("server CPU per delivered event, %d vs %d participants: %.2fx (goal <= 1.5x)\n", last.participants,
                first.participants, last.cpu_us_per_event / first.cpu_us_per_event);
    return 0;
}
