// The one report each connectivity answer makes: the request failed, the
// first test failed, or every test passed.
#include "catalogue.h"
#include "dispatch/message_context.h"

#include <string>

namespace talkwire {
namespace dispatch {
namespace {

// talkwire.CONNECTIVITY_TESTS; "Test Type <n>" for a type the table does not
// know (compared unsigned, so negative types take that road too).
std::string test_name(int test_type)
{
    static const char *const kTestNames[] = {TALKWIRE_CONNECTIVITY_TESTS};
    if (static_cast<unsigned>(test_type) < sizeof kTestNames / sizeof kTestNames[0])
        return kTestNames[test_type];
    return "Test Type " + std::to_string(test_type);
}

bool test_passed(int test_result) { return test_result == 0 || test_result == 1; }

std::string detail(int number, const char *status_text)
{
    return std::to_string(number) + " " + or_empty(status_text);
}

}  // namespace

void on_connectivity_info(MessageContext &context, const sdk_resp_aux_connectivity_info_t &response)
{
    const sdk_resp_base_t &base = response.base;
    if (base.return_code != 0) {
        context.notify(Callback::OnConnectivityTroubleShooterErrorFound, base.status_code, "General Failure",
                       detail(base.status_code, base.status_text), "");
        return;
    }
    for (int index = 0; index < response.test_count && response.test_results; ++index) {
        const sdk_connectivity_test_result_t *test = response.test_results[index];
        if (!test || test_passed(test->test_result))
            continue;
        context.notify(Callback::OnConnectivityTroubleShooterErrorFound, TALKWIRE_TROUBLESHOOTER_TEST_FAILED,
                       test_name(test->test_type), detail(test->test_result, base.status_text),
                       or_empty(test->test_info));
        return;
    }
    context.notify(Callback::OnConnectivityTroubleShooterErrorFound, TALKWIRE_TROUBLESHOOTER_ALL_PASSED, "", "", "");
}

}  // namespace dispatch
}  // namespace talkwire
