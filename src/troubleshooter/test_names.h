// Names of the SDK's connectivity tests.
#ifndef TALKWIRE_TROUBLESHOOTER_TEST_NAMES_H
#define TALKWIRE_TROUBLESHOOTER_TEST_NAMES_H

#include <string>

namespace talkwire {

// "Test Type <n>" for a type the table does not know (negative included).
std::string test_name(int test_type);

}  // namespace talkwire

#endif
