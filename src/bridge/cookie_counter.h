// Request cookies: the decimal text of a per-connector counter that starts
// at 1 and grows by one per request.  Owner thread only.
#ifndef TALKWIRE_BRIDGE_COOKIE_COUNTER_H
#define TALKWIRE_BRIDGE_COOKIE_COUNTER_H

#include <cstdint>

namespace talkwire {

class CookieCounter {
public:
    explicit CookieCounter(int32_t first = 1) : next_(first) {}

    // An SDK-owned copy of the current number (null when the SDK is out of
    // memory); the counter advances either way.
    char *next();
    int32_t peek() const { return next_; }

private:
    int32_t next_;
};

}  // namespace talkwire

#endif
