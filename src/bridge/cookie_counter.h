// Request cookies: the decimal text of a per-connector counter that starts
// at 1 and grows by one per request.  Owner thread only.
#ifndef TALKWIRE_BRIDGE_COOKIE_COUNTER_H
#define TALKWIRE_BRIDGE_COOKIE_COUNTER_H

#include <cstdint>

namespace talkwire {

class CookieCounter {
public:
    explicit CookieCounter(int32_t first = 1);

    // An SDK-owned copy of the current number (null when the SDK is out of
    // memory); the counter advances either way.
    char *next();
    int32_t peek() const { return next_; }

private:
    void advance();

    int32_t next_;
    // The decimal text of next_, kept up to date digit by digit: a request
    // usually changes only the last digit.  It ends at the buffer's end.
    char buffer_[16];
    char *text_;
};

}  // namespace talkwire

#endif
