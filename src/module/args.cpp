#include "module/args.h"

#include <cstring>

namespace talkwire {
namespace args {
namespace {

constexpr size_t kMaxSlots = 8;

bool convert_text(Slot &slot, const char *format, size_t position)
{
    auto *out = static_cast<std::string *>(slot.target);
    // Straight into the output when it is empty (the usual case): its value
    // on failure is then empty as before.
    std::string spare;
    std::string &value = out->empty() ? *out : spare;
    if (!py::text_arg(slot.object, value)) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "%s() argument %d must be str, not %.100s", method_name(format),
                         static_cast<int>(position + 1), Py_TYPE(slot.object)->tp_name);
        }
        return false;
    }
    if (std::memchr(value.data(), '\0', value.size())) {
        PyErr_Format(PyExc_ValueError, "%s() argument %d: embedded null character", method_name(format),
                     static_cast<int>(position + 1));
        value.clear();
        return false;
    }
    if (&value != out)
        out->swap(value);
    return true;
}

// What the interpreter's parser would store for an argument that is
// exactly of the type its slot takes; false for anything else, which is
// left to the parser (conversions, subclasses and every error message).
bool take_exact(Slot &slot, PyObject *item, int &integer, float &real)
{
    switch (slot.kind) {
    case 's':
        if (!py::is_exact_text(item))
            return false;
        slot.object = item;
        return true;
    case 'i':
        return exact::Road<int>::read(item, integer);
    case 'f':
        return exact::Road<float>::read(item, real);
    case 'O':
        return true;
    default:
        return false;
    }
}

// The common call, every argument exactly the type it should be, without
// the parser's interpretation of the format.  Outputs are written only
// once every argument has passed, as the parser does.
bool parse_exact(const CallArgs &args, const char *format, Slot *slots, size_t count)
{
    size_t required = 0;
    size_t letters = 0;
    bool optional = false;
    for (const char *letter = format; *letter && *letter != ':'; ++letter) {
        if (*letter == '|') {
            optional = true;
            continue;
        }
        if (letters == count || *letter != slots[letters].kind)
            return false;
        required += optional ? 0 : 1;
        ++letters;
    }
    const size_t given = static_cast<size_t>(args.size());
    if (letters != count || given < required || given > count)
        return false;
    int integers[kMaxSlots] = {};
    float reals[kMaxSlots] = {};
    for (size_t i = 0; i < given; ++i) {
        if (!take_exact(slots[i], args[static_cast<Py_ssize_t>(i)], integers[i], reals[i]))
            return false;
    }
    for (size_t i = 0; i < given; ++i) {
        Slot &slot = slots[i];
        if (slot.kind == 'i')
            *static_cast<int *>(slot.target) = integers[i];
        else if (slot.kind == 'f')
            *static_cast<float *>(slot.target) = reals[i];
        else if (slot.kind == 'O')
            *static_cast<PyObject **>(slot.target) = args[static_cast<Py_ssize_t>(i)];
    }
    return true;
}

bool convert_texts(Slot *slots, size_t count, const char *format)
{
    for (size_t i = 0; i < count; ++i) {
        if (slots[i].kind == 's' && slots[i].object && !convert_text(slots[i], format, i))
            return false;
    }
    return true;
}

}  // namespace

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

bool parse_slots(const CallArgs &args, const char *format, Slot *slots, size_t count)
{
    if (count > kMaxSlots)
        return false;
    if (parse_exact(args, format, slots, count))
        return convert_texts(slots, count, format);
    // The interpreter's parser sees 'O' for each text slot.  Formats are
    // short; a longer one is copied to the heap.
    char local_format[64];
    std::string long_format;
    size_t length = std::strlen(format);
    char *parser_format = local_format;
    if (length >= sizeof local_format) {
        long_format.assign(format, length);
        parser_format = &long_format[0];
    } else {
        std::memcpy(local_format, format, length + 1);
    }
    void *targets[kMaxSlots] = {};
    size_t position = 0;
    for (char *letter = parser_format; *letter; ++letter) {
        if (*letter == ':')
            break;
        if (*letter == '|')
            continue;
        if (*letter == 's')
            *letter = 'O';
        Slot &slot = slots[position];
        targets[position] = slot.kind == 's' ? static_cast<void *>(&slot.object) : slot.target;
        ++position;
    }
    // Its borrowed results are the caller's arguments, alive for the call.
    OwnedRef tuple = args.as_tuple();
    if (!tuple || !PyArg_ParseTuple(tuple.get(), parser_format, targets[0], targets[1], targets[2], targets[3],
                          targets[4], targets[5], targets[6], targets[7]))
        return false;
    return convert_texts(slots, count, format);
}

}  // namespace args
}  // namespace talkwire
