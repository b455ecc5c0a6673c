// The commonest call of all, written out at compile time: every argument
// given and exactly the type its output takes (an exact str whose bytes
// need no encoding and hold no NUL, an exact int in range, an exact
// float).  Anything else is left to the general road, which converts and
// reports errors exactly as the interpreter's parser does.  Interpreter
// lock held.
#ifndef TALKWIRE_MODULE_ARGS_EXACT_H
#define TALKWIRE_MODULE_ARGS_EXACT_H

#include "module/call_args.h"
#include "pycompat/pycompat.h"

#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

namespace talkwire {
namespace args {
namespace exact {

// Per output type: its format letter, what is read from the argument
// before anything is stored, and how it is stored.
template <class T> struct Road;

template <> struct Road<std::string> {
    static constexpr char letter = 's';
    struct Value {
        const char *data;
        size_t size;
    };
    static bool read(PyObject *item, Value &value)
    {
        if (!py::plain_text_view(item, value.data, value.size))
            return false;
        return std::memchr(value.data, '\0', value.size) == nullptr;
    }
    static void store(const Value &value, std::string *out) { out->assign(value.data, value.size); }
};

template <> struct Road<int> {
    static constexpr char letter = 'i';
    using Value = int;
    static bool read(PyObject *item, Value &value)
    {
        long wide = 0;
        if (!py::exact_int_value(item, wide) || wide < INT_MIN || wide > INT_MAX)
            return false;
        value = static_cast<int>(wide);
        return true;
    }
    static void store(Value value, int *out) { *out = value; }
};

template <> struct Road<float> {
    static constexpr char letter = 'f';
    using Value = float;
    static bool read(PyObject *item, Value &value)
    {
        if (!PyFloat_CheckExact(item))
            return false;
        value = static_cast<float>(PyFloat_AS_DOUBLE(item));
        return true;
    }
    static void store(Value value, float *out) { *out = value; }
};

template <> struct Road<PyObject *> {
    static constexpr char letter = 'O';
    using Value = PyObject *;
    static bool read(PyObject *item, Value &value)
    {
        value = item;
        return true;
    }
    static void store(Value value, PyObject **out) { *out = value; }
};

// True when the format's letters, optional marker aside, are exactly
// `letters` (the outputs' own): the format is the one the outputs were
// written for.
inline bool letters_match(const char *format, const char *letters)
{
    for (const char *letter = format; *letter && *letter != ':'; ++letter) {
        if (*letter == '|')
            continue;
        if (*letter != *letters++)
            return false;
    }
    return *letters == '\0';
}

template <class... Out, size_t... I>
bool parse(const CallArgs &args, Out *...out, std::index_sequence<I...>)
{
    std::tuple<typename Road<Out>::Value...> values;
    // Outputs are written only once every argument has passed.
    if (!(Road<Out>::read(args[static_cast<Py_ssize_t>(I)], std::get<I>(values)) && ...))
        return false;
    (Road<Out>::store(std::get<I>(values), out), ...);
    return true;
}

// False, with nothing stored and no error set, when the call is not of
// that kind.
template <class... Out>
bool parse(const CallArgs &args, const char *format, Out *...out)
{
    static constexpr char letters[] = {Road<Out>::letter..., '\0'};
    if (static_cast<size_t>(args.size()) != sizeof...(Out) || !letters_match(format, letters))
        return false;
    return parse<Out...>(args, out..., std::index_sequence_for<Out...>{});
}

}  // namespace exact
}  // namespace args
}  // namespace talkwire

#endif
