#include "bridge/trace.h"

#ifdef TALKWIRE_TRACE
#include <cstdarg>
#include <cstdio>

namespace talkwire {

void trace(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace talkwire
#endif
