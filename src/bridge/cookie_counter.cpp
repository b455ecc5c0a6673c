#include "bridge/cookie_counter.h"

#include "voicesdk/voicesdk.h"

#include <cstdio>

namespace talkwire {

char *CookieCounter::next()
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(next_));
    // Wraps like the 32-bit counter it is, without signed overflow.
    next_ = static_cast<int32_t>(static_cast<uint32_t>(next_) + 1u);
    return sdk_strdup(text);
}

}  // namespace talkwire
