#include "module/not_available.h"

namespace talkwire {
TALKWIRE_NOT_AVAILABLE(EnableGlobalPushToTalkMode)
}  // namespace talkwire
