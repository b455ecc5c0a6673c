// The Windows result codes the module raises with, as signed 32-bit values.
#ifndef TALKWIRE_BRIDGE_ERROR_CODES_H
#define TALKWIRE_BRIDGE_ERROR_CODES_H

#include <cstdint>

namespace talkwire {

constexpr int32_t kErrorNotImplemented = static_cast<int32_t>(0x80004001u);  // E_NOTIMPL
constexpr int32_t kErrorFail = static_cast<int32_t>(0x80004005u);            // E_FAIL
constexpr int32_t kErrorInvalidArg = static_cast<int32_t>(0x80070057u);      // E_INVALIDARG

}  // namespace talkwire

#endif
