#include "troubleshooter/test_names.h"

namespace talkwire {
namespace {

const char *const kTestNames[] = {
    "Locate Interface",
    "Ping Gateway",
    "Test DNS",
    "Test STUN",
    "Test Echo",
    "Test Echo SIP First Port",
    "Test Echo First Port Invite Request",
    "Test Echo First Port Invite Response",
    "Test Echo First Port Register Request",
    "Test Echo First Port Register Response",
    "Test Echo SIP Second Port",
    "Test Echo Second Port Invite Request",
    "Test Echo Second Port Invite Response",
    "Test Echo Second Port Register Request",
    "Test Echo Second Port Register Response",
    "Test Echo Media",
    "Test Media Large Packet",
};

}  // namespace

std::string test_name(int test_type)
{
    // Compared unsigned, so negative types take the last row too.
    if (static_cast<unsigned>(test_type) < sizeof kTestNames / sizeof kTestNames[0])
        return kTestNames[test_type];
    return "Test Type " + std::to_string(test_type);
}

}  // namespace talkwire
