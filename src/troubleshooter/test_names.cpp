#include "troubleshooter/test_names.h"

#include "catalogue.h"

namespace talkwire {
namespace {

// talkwire.CONNECTIVITY_TESTS.
const char *const kTestNames[] = {TALKWIRE_CONNECTIVITY_TESTS};

}  // namespace

std::string test_name(int test_type)
{
    // Compared unsigned, so negative types take the last row too.
    if (static_cast<unsigned>(test_type) < sizeof kTestNames / sizeof kTestNames[0])
        return kTestNames[test_type];
    return "Test Type " + std::to_string(test_type);
}

}  // namespace talkwire
