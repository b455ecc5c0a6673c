#include "options.h"

#include <cstdlib>
#include <cstring>

namespace voiceserver {
namespace {

bool number(const char *text, double low, double high, double &out)
{
    char *end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= low && value <= high))
        return false;
    out = value;
    return true;
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace

const char *usage()
{
    return "usage: talkwire-voice-server [options]\n"
           "  --host ADDRESS        address to listen on (default 127.0.0.1)\n"
           "  --port N              port to listen on; 0 picks a free one (default 0)\n"
           "  --heartbeat SECONDS   silence after which a client is dropped (default 3)\n"
           "  --account NAME:PASSWORD  an account that exists from the start (repeatable)\n"
           "  --closed              only listed and created accounts log in\n"
           "  --latency SECONDS     delay of every answer and event (default 0)\n"
           "  --peers NAME,NAME     puppet peers in every channel (default none)\n"
           "  --peer-interval SECONDS  time between the puppets' steps (default 0.25)\n"
           "  --talk-rounds N       how often each puppet talks (default 2)\n"
           "  --peers-stay          puppets stay until the session ends\n"
           "  --log                 print a line per connection, login and channel change\n";
}

bool parse_options(int argc, char **argv, Options &options, std::string &error, bool &help)
{
    voicesdk::service::Settings &settings = options.settings;
    settings.latency = 0.0;
    settings.peers.clear();
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            help = true;
            return true;
        }
        if (name == "--closed") {
            settings.open_accounts = false;
            continue;
        }
        if (name == "--peers-stay") {
            settings.peers_leave = false;
            continue;
        }
        if (name == "--log") {
            options.log = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = name + " needs a value";
            return false;
        }
        const char *value = argv[++i];
        double number_value = 0.0;
        if (name == "--host") {
            options.host = value;
        } else if (name == "--port" && number(value, 0, 65535, number_value)) {
            options.port = static_cast<int>(number_value);
        } else if (name == "--heartbeat" && number(value, 0.1, 3600, options.heartbeat)) {
        } else if (name == "--latency" && number(value, 0, 60, settings.latency)) {
        } else if (name == "--peer-interval" && number(value, 0, 60, settings.peer_interval)) {
        } else if (name == "--talk-rounds" && number(value, 0, 1000, number_value)) {
            settings.talk_rounds = static_cast<int>(number_value);
        } else if (name == "--peers") {
            settings.peers = split(value, ',');
        } else if (name == "--account" && std::strchr(value, ':')) {
            std::string pair = value;
            size_t colon = pair.find(':');
            voicesdk::service::Settings::Account account;
            account.password = pair.substr(colon + 1);
            account.any_password = false;
            settings.accounts[pair.substr(0, colon)] = account;
        } else {
            error = "bad option or value: " + name + " " + value;
            return false;
        }
    }
    return true;
}

}  // namespace voiceserver
