#include "bridge/cookie_counter.h"

#include "voicesdk/voicesdk.h"

#include <cstdint>

namespace talkwire {
namespace {

// The decimal text of `value` ("%d"), written backwards from `end`; returns
// its first character.
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

CookieCounter::CookieCounter(int32_t first) : next_(first), text_(decimal(first, buffer_ + sizeof buffer_)) {}

char *CookieCounter::next()
{
    char *copy = sdk_strdup(text_);
    advance();
    return copy;
}

void CookieCounter::advance()
{
    // Wraps like the 32-bit counter it is, without signed overflow.
    const int32_t previous = next_;
    next_ = static_cast<int32_t>(static_cast<uint32_t>(next_) + 1u);
    if (previous <= 0 || next_ < 0) {
        // Signs, zero and the wrap are rare: write the text afresh.
        text_ = decimal(next_, buffer_ + sizeof buffer_);
        return;
    }
    // A positive number plus one: carry through the trailing nines.
    char *digit = buffer_ + sizeof buffer_ - 2;
    while (digit >= text_ && *digit == '9')
        *digit-- = '0';
    if (digit < text_)
        *--text_ = '1';
    else
        ++*digit;
}

}  // namespace talkwire
