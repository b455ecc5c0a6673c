// The simulated voice service's status codes, settings and state.  The
// control interface (voicesdk/control.h) carries them across the library's
// boundary as C records; here they are the service's own C++ types.
#ifndef VOICESDK_SRC_SERVICE_SETTINGS_H
#define VOICESDK_SRC_SERVICE_SETTINGS_H

#include "voicesdk/voicesdk.h"

#include <map>
#include <string>
#include <vector>

namespace voicesdk {
namespace service {

// Status codes of the service's failures.
enum Status {
    kUnknownHandle = 1001,     // a connector, account, group or session it never gave out
    kUnknownDevice = 1005,     // selection of a device not in the list
    kAccountNotFound = 20200,  // login of an account it does not know
    kWrongPassword = 20201,
    kAccountExists = 20202,    // account creation of a name already taken
    kInvalidAccount = 20203,   // account creation without a name
    kAlreadyLoggedIn = 20204,  // login of an account that is logged in elsewhere
    kServerUnreachable = 10060,  // no voice server answers at the address given
    kServerLost = 10054,         // the voice server went away during the session
    kNotServed = 1010            // a request the server leaves to the client's machine
};

struct Settings {
    // Seconds from a request to its answer and the events it causes.
    double latency = 0.03;

    // When open, every account name logs in (accounts listed here and those
    // created with the account-creation request still need their password).
    bool open_accounts = true;
    struct Account {
        std::string password;
        bool any_password = true;
    };
    std::map<std::string, Account> accounts;

    // Who else is in every channel: names (made into URIs in the voice
    // domain) or URIs.  They join one by one once the session connects, take
    // turns talking for talk_rounds rounds and leave (unless peers_leave is
    // off: then they stay until the session ends); one step every
    // peer_interval seconds, or every step at once when it is 0.
    std::vector<std::string> peers{"ava", "ben"};
    // Channels with peers of their own, by channel name.
    std::map<std::string, std::vector<std::string>> channel_peers;
    double peer_interval = 0.25;
    int talk_rounds = 2;
    bool peers_leave = true;

    std::vector<std::string> capture_devices{"Built-in Microphone", "USB Headset Microphone", "Line In"};
    std::vector<std::string> render_devices{"Built-in Speakers", "USB Headset", "HDMI Output"};

    // Microphone energies the microphone test reports, cycled every
    // mic_interval seconds while the test runs, or each once at the start
    // when it is 0.
    std::vector<double> mic_levels{0.05, 0.22, 0.48, 0.71, 0.55, 0.3, 0.12};
    double mic_interval = 0.1;

    // Connectivity tests: every one passes unless failing_test names one
    // (0..16), which then reports failing_result and failing_info.
    int failing_test = -1;
    int failing_result = 2;
    std::string failing_info;
};

struct Snapshot {
    int connectors = 0;
    std::vector<std::string> logged_in;         // account names, one per login
    std::vector<std::string> created_accounts;  // by the account-creation request
    std::map<std::string, std::string> sessions;  // session handle -> channel name
    std::string speaking_session;               // "" for none
    std::string capture_device;                 // "" for none
    std::string render_device;
    int mic_level = 50;
    int speaker_level = 50;
    bool mic_test = false;
    std::string key_binding;                    // name of the last binding, "" for none
    std::vector<int> key_codes;
    size_t pending = 0;                         // messages and ticks waiting for their time
};

}  // namespace service
}  // namespace voicesdk

#endif
