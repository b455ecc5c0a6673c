#include "module/args.h"

namespace talkwire {
namespace args {

const char *method_name(const char *format)
{
    const char *colon = std::strchr(format, ':');
    return colon ? colon + 1 : "function";
}

bool require_given(const CallArgs &args, const char *format, Py_ssize_t needed)
{
    Py_ssize_t given = args.size();
    if (given >= needed)
        return true;
    PyErr_Format(PyExc_TypeError, "%.150s() takes exactly %d argument%s (%d given)", method_name(format),
                 static_cast<int>(needed), needed == 1 ? "" : "s", static_cast<int>(given));
    return false;
}

namespace detail {

bool parse_one(const CallArgs &args, const char *format, const char *letters, size_t position, void *target)
{
    // The format keeps its optional marker and method name, so the count
    // and the message are the parser's own for it.
    std::string shape(format);
    PyObject *ignored = nullptr;
    void *targets[kMaxArguments] = {};
    size_t index = 0;
    for (char &letter : shape) {
        if (letter == ':')
            break;
        if (letter == '|')
            continue;
        letter = index == position ? letters[index] : 'O';
        targets[index] = index == position ? target : &ignored;
        ++index;
    }
    OwnedRef tuple = args.as_tuple();
    if (!tuple || !PyArg_ParseTuple(tuple.get(), shape.c_str(), targets[0], targets[1], targets[2], targets[3],
                                    targets[4], targets[5], targets[6], targets[7]))
        return false;
    if (position != kCountOnly)
        return true;
    PyErr_Format(PyExc_SystemError, "%s: argument count mismatch", format);
    return false;
}

void set_embedded_nul_error(const char *format, size_t position, PyObject *item)
{
    const char *colon = std::strchr(format, ':');
    py::set_embedded_nul_error(colon ? colon + 1 : nullptr, static_cast<int>(position + 1), item);
}

}  // namespace detail
}  // namespace args
}  // namespace talkwire
