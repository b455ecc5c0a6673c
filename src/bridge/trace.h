// Diagnostic sink with printf formats ending in "\r\n".  Release builds
// discard everything; configure with TALKWIRE_TRACE=ON to write to stderr.
// Safe on any thread.
#ifndef TALKWIRE_BRIDGE_TRACE_H
#define TALKWIRE_BRIDGE_TRACE_H

namespace talkwire {

#ifdef TALKWIRE_TRACE
#  if defined(__GNUC__)
#    define TW_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#  else
#    define TW_PRINTF_FORMAT
#  endif
void trace(const char *format, ...) TW_PRINTF_FORMAT;
#else
inline void trace(const char *, ...) {}
#endif

}  // namespace talkwire

#endif
