// Argument parsing with the interpreter's own parser, except that text
// slots ('s') fill a std::string: a native str, encoded so that text which
// reached Python with surrogate escapes comes back as the same bytes.
// Interpreter lock held.
#ifndef TALKWIRE_MODULE_ARGS_H
#define TALKWIRE_MODULE_ARGS_H

#include "module/args_exact.h"
#include "module/call_args.h"
#include "pycompat/pycompat.h"

#include <cstddef>
#include <string>

namespace talkwire {
namespace args {

struct Slot {
    char kind;
    void *target;
    PyObject *object;
};

inline Slot slot(std::string *out) { return Slot{'s', out, nullptr}; }
inline Slot slot(int *out) { return Slot{'i', out, nullptr}; }
inline Slot slot(float *out) { return Slot{'f', out, nullptr}; }
inline Slot slot(PyObject **out) { return Slot{'O', out, nullptr}; }

bool parse_slots(const CallArgs &args, const char *format, Slot *slots, size_t count);

// parse(args, "|si:MuteChannelOutput", &name, &mute): false with the
// parser's exception set when the arguments do not fit.  Outputs for
// omitted optional arguments keep their values.
template <class... Out>
bool parse(const CallArgs &args, const char *format, Out *...out)
{
    if (exact::parse(args, format, out...))
        return true;
    Slot slots[] = {slot(out)...};
    return parse_slots(args, format, slots, sizeof...(out));
}

// For formats that make arguments optional without giving them a value:
// false with a TypeError naming the method (from `format`) when fewer than
// `needed` arguments were passed.
bool require_given(const CallArgs &args, const char *format, Py_ssize_t needed);

// The method name after the colon of a format.
const char *method_name(const char *format);

}  // namespace args
}  // namespace talkwire

#endif
