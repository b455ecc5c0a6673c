#include "module/host_log_channel.h"

namespace talkwire {

int attach_host_log_channel(HINSTANCE) { return -1; }

}  // namespace talkwire
