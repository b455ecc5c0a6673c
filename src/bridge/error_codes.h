// The Windows result codes the module raises with, as signed 32-bit values:
// the E_ codes of the talkwire package's constants.
#ifndef TALKWIRE_BRIDGE_ERROR_CODES_H
#define TALKWIRE_BRIDGE_ERROR_CODES_H

#include "catalogue.h"

#include <cstdint>

namespace talkwire {

constexpr int32_t kErrorNotImplemented = TALKWIRE_E_NOTIMPL;
constexpr int32_t kErrorFail = TALKWIRE_E_FAIL;
constexpr int32_t kErrorInvalidArg = TALKWIRE_E_INVALIDARG;

}  // namespace talkwire

#endif
