#include "bridge/cookie_counter.h"

#include "voicesdk/voicesdk.h"

#include <cstdint>

namespace talkwire {
namespace {

// The decimal text of `value` ("%d"), written backwards from `end`; returns
// its first character.  A request takes one: no formatting machinery.
char *decimal(int32_t value, char *end)
{
    char *text = end;
    *--text = '\0';
    // Unsigned, so that the most negative value has a magnitude too.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--text = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--text = '-';
    return text;
}

}  // namespace

char *CookieCounter::next()
{
    char buffer[16];
    const char *text = decimal(next_, buffer + sizeof buffer);
    // Wraps like the 32-bit counter it is, without signed overflow.
    next_ = static_cast<int32_t>(static_cast<uint32_t>(next_) + 1u);
    return sdk_strdup(text);
}

}  // namespace talkwire
