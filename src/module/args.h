// Method arguments, read as the interpreter's own parser reads them with the
// method's format: the count first, then each argument left to right, the
// first bad one reported.  An argument of exactly its output's type is read
// here; anything else (a subclass, a number to convert, a wrong type, a
// wrong count) is handed to the interpreter's parser, so that conversions
// and errors are its own.  Text departs from it on purpose: any str (on 2.7
// a unicode too, as UTF-8) is taken, on 3.x encoded with surrogateescape so
// that text from the SDK comes back as the same bytes; an embedded NUL
// raises the interpreter's error for it.  Interpreter lock held.
#ifndef TALKWIRE_MODULE_ARGS_H
#define TALKWIRE_MODULE_ARGS_H

#include "module/call_args.h"
#include "pycompat/pycompat.h"

#include <cassert>
#include <climits>
#include <cstring>
#include <string>
#include <utility>

namespace talkwire {
namespace args {

enum class Read { done, unusual, embedded_nul, failed };

// Per output type: its format letter, how an argument is read into it
// without the parser, and how the parser's result is stored.
template <class T> struct Converter;

template <> struct Converter<std::string> {
    static constexpr char letter = 's';
    using Parsed = const char *;
    static Read read(PyObject *item, std::string &out)
    {
        if (!py::is_text(item))
            return Read::unusual;
        if (!py::text_arg(item, out))
            return Read::failed;
        return std::memchr(out.data(), '\0', out.size()) ? Read::embedded_nul : Read::done;
    }
    static void store(Parsed value, std::string &out) { out.assign(value); }
};

template <> struct Converter<int> {
    static constexpr char letter = 'i';
    using Parsed = int;
    static Read read(PyObject *item, int &out)
    {
        long wide = 0;
        if (!py::exact_int_value(item, wide) || wide < INT_MIN || wide > INT_MAX)
            return Read::unusual;
        out = static_cast<int>(wide);
        return Read::done;
    }
    static void store(Parsed value, int &out) { out = value; }
};

template <> struct Converter<float> {
    static constexpr char letter = 'f';
    using Parsed = float;
    static Read read(PyObject *item, float &out)
    {
        if (!PyFloat_CheckExact(item))
            return Read::unusual;
        out = static_cast<float>(PyFloat_AS_DOUBLE(item));
        return Read::done;
    }
    static void store(Parsed value, float &out) { out = value; }
};

template <> struct Converter<PyObject *> {
    static constexpr char letter = 'O';
    using Parsed = PyObject *;
    static Read read(PyObject *item, PyObject *&out)
    {
        out = item;
        return Read::done;
    }
    static void store(Parsed value, PyObject *&out) { out = value; }
};

// The method name after the colon of a format.
const char *method_name(const char *format);

// For formats that make arguments optional without giving them a value:
// false with a TypeError naming the method (from `format`) when fewer than
// `needed` arguments were passed.
bool require_given(const CallArgs &args, const char *format, Py_ssize_t needed);

namespace detail {

constexpr size_t kMaxArguments = 8;
constexpr size_t kCountOnly = kMaxArguments;

// The interpreter's parser with `format`, its letters `letters`, every
// argument but the one at `position` read as 'O' into nothing; kCountOnly
// judges the count alone.  False with the parser's error set, else
// `target` holds the argument.
bool parse_one(const CallArgs &args, const char *format, const char *letters, size_t position, void *target);

void set_embedded_nul_error(const char *format, size_t position, PyObject *item);

inline size_t required_count(const char *format)
{
    size_t count = 0;
    while (format[count] && format[count] != '|' && format[count] != ':')
        ++count;
    return count;
}

inline bool letters_match(const char *format, const char *letters)
{
    for (; *format && *format != ':'; ++format) {
        if (*format != '|' && *format != *letters++)
            return false;
    }
    return *letters == '\0';
}

template <class T>
bool read_one(const CallArgs &args, const char *format, const char *letters, size_t position, T *out)
{
    PyObject *item = args[static_cast<Py_ssize_t>(position)];
    switch (Converter<T>::read(item, *out)) {
    case Read::done:
        return true;
    case Read::unusual:
        break;
    case Read::embedded_nul:
        set_embedded_nul_error(format, position, item);
        return false;
    case Read::failed:
        return false;
    }
    typename Converter<T>::Parsed parsed{};
    if (!parse_one(args, format, letters, position, &parsed))
        return false;
    Converter<T>::store(parsed, *out);
    return true;
}

template <class... Out, size_t... I>
bool parse(const CallArgs &args, const char *format, std::index_sequence<I...>, Out *...out)
{
    static_assert(sizeof...(Out) <= kMaxArguments, "the parser is handed at most eight outputs");
    static constexpr char letters[] = {Converter<Out>::letter..., '\0'};
    assert(letters_match(format, letters));
    const size_t given = static_cast<size_t>(args.size());
    if (given > sizeof...(Out) || given < required_count(format))
        return parse_one(args, format, letters, kCountOnly, nullptr);
    return ((I >= given || read_one(args, format, letters, I, out)) && ...);
}

}  // namespace detail

// parse(args, "|si:MuteChannelOutput", &name, &mute): false with the
// parser's exception set when the arguments do not fit.  Outputs for
// omitted optional arguments keep their values; after a failure the others
// may hold what was read before it.
template <class... Out>
bool parse(const CallArgs &args, const char *format, Out *...out)
{
    return detail::parse(args, format, std::index_sequence_for<Out...>{}, out...);
}

}  // namespace args
}  // namespace talkwire

#endif
