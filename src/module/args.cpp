#include "module/args.h"

#include <cstring>

namespace talkwire {
namespace args {
namespace {

constexpr size_t kMaxSlots = 8;

bool convert_text(Slot &slot, const char *format, size_t position)
{
    auto *out = static_cast<std::string *>(slot.target);
    std::string value;
    if (!py::text_arg(slot.object, value)) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "%s() argument %d must be str, not %.100s", method_name(format),
                         static_cast<int>(position + 1), Py_TYPE(slot.object)->tp_name);
        }
        return false;
    }
    if (value.find('\0') != std::string::npos) {
        PyErr_Format(PyExc_ValueError, "%s() argument %d: embedded null character", method_name(format),
                     static_cast<int>(position + 1));
        return false;
    }
    out->swap(value);
    return true;
}

}  // namespace

const char *method_name(const char *format)
{
    const char *colon = std::strchr(format, ':');
    return colon ? colon + 1 : "function";
}

bool require_given(PyObject *args, const char *format, Py_ssize_t needed)
{
    Py_ssize_t given = PyTuple_GET_SIZE(args);
    if (given >= needed)
        return true;
    PyErr_Format(PyExc_TypeError, "%.150s() takes exactly %d argument%s (%d given)", method_name(format),
                 static_cast<int>(needed), needed == 1 ? "" : "s", static_cast<int>(given));
    return false;
}

bool parse_slots(PyObject *args, const char *format, Slot *slots, size_t count)
{
    if (count > kMaxSlots)
        return false;
    std::string parser_format(format);
    void *targets[kMaxSlots] = {};
    size_t position = 0;
    for (char &letter : parser_format) {
        if (letter == ':')
            break;
        if (letter == '|')
            continue;
        if (letter == 's')
            letter = 'O';
        Slot &slot = slots[position];
        targets[position] = slot.kind == 's' ? static_cast<void *>(&slot.object) : slot.target;
        ++position;
    }
    if (!PyArg_ParseTuple(args, parser_format.c_str(), targets[0], targets[1], targets[2], targets[3],
                          targets[4], targets[5], targets[6], targets[7]))
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (slots[i].kind == 's' && slots[i].object && !convert_text(slots[i], format, i))
            return false;
    }
    return true;
}

}  // namespace args
}  // namespace talkwire
