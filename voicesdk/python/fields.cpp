#include "fields.h"

#include <climits>
#include <cstring>

namespace voicesdk_py {
namespace py = talkwire::py;

namespace {

template <class T> T &at(void *record, size_t offset)
{
    return *reinterpret_cast<T *>(static_cast<char *>(record) + offset);
}
template <class T> const T &at(const void *record, size_t offset)
{
    return *reinterpret_cast<const T *>(static_cast<const char *>(record) + offset);
}

bool is_integer(PyObject *object)
{
    return PyIndex_Check(object) && !PyFloat_Check(object);
}

std::string field_names(const sdk_record_info_t &info)
{
    std::string names;
    for (int i = 0; i < info.field_count; ++i)
        names += (names.empty() ? "" : ", ") + std::string(info.fields[i].name);
    if (info.extra == sdk_extra_test_results)
        names += (names.empty() ? "" : ", ") + std::string("test_results, test_count");
    else if (info.extra == sdk_extra_devices)
        names += (names.empty() ? "" : ", ") + std::string("devices, current_device");
    return names.empty() ? "none" : names;
}

bool unexpected(const char *function, const std::string &name, const sdk_record_info_t &info)
{
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%s' (%s %s takes: %s)",
                 function, name.c_str(), info.name ? info.name : "this",
                 info.record_class == sdk_record_request ? "request"
                 : info.record_class == sdk_record_event ? "event" : "response",
                 field_names(info).c_str());
    return false;
}

// Owned C text that is freed unless handed on.
struct OwnedText {
    char *text = nullptr;
    OwnedText() = default;
    OwnedText(const OwnedText &) = delete;
    OwnedText &operator=(const OwnedText &) = delete;
    ~OwnedText() { sdk_ctl_free_text(text); }
};

bool test_results(sdk_resp_base_t *response, PyObject *items, PyObject *count_arg)
{
    OwnedRef seq = OwnedRef::steal(PySequence_Fast(items, "test_results must be a sequence of tuples"));
    if (!seq)
        return false;
    Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
    std::vector<sdk_connectivity_test_result_t> tests(static_cast<size_t>(n));
    std::vector<std::unique_ptr<OwnedText>> infos;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject *item = PySequence_Fast_GET_ITEM(seq.get(), i);
        if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) < 2 || PyTuple_GET_SIZE(item) > 3) {
            PyErr_SetString(PyExc_TypeError,
                            "test_results items must be (test_type, test_result, test_info or None)");
            return false;
        }
        sdk_connectivity_test_result_t &test = tests[static_cast<size_t>(i)];
        infos.emplace_back(new OwnedText);
        if (!int_value(PyTuple_GET_ITEM(item, 0), test.test_type, "test_type") ||
            !int_value(PyTuple_GET_ITEM(item, 1), test.test_result, "test_result"))
            return false;
        if (PyTuple_GET_SIZE(item) == 3 &&
            !optional_text(PyTuple_GET_ITEM(item, 2), infos.back()->text, "test_info"))
            return false;
        test.test_info = infos.back()->text;
    }
    int reported = static_cast<int>(n);
    if (count_arg) {
        if (!int_value(count_arg, reported, "test_count"))
            return false;
        if (reported < 0 || reported > n) {
            PyErr_Format(PyExc_ValueError, "test_count must be between 0 and %d (the test_results given)",
                         static_cast<int>(n));
            return false;
        }
    }
    if (n > INT_MAX || sdk_ctl_resp_set_test_results(response, static_cast<int>(n), tests.data()) != 0) {
        PyErr_NoMemory();
        return false;
    }
    // The only record with test results; the count may claim fewer than given.
    reinterpret_cast<sdk_resp_aux_connectivity_info_t *>(response)->test_count = reported;
    return true;
}

bool devices(sdk_resp_base_t *response, PyObject *list, PyObject *current_arg)
{
    std::vector<std::string> names;
    if (list) {
        OwnedRef seq = OwnedRef::steal(PySequence_Fast(list, "devices must be a sequence of names"));
        if (!seq)
            return false;
        if (py::is_text(list) || PyBytes_Check(list)) {
            PyErr_SetString(PyExc_TypeError, "devices must be a sequence of names, not a name");
            return false;
        }
        Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
        for (Py_ssize_t i = 0; i < n; ++i) {
            names.emplace_back();
            if (!text_value(PySequence_Fast_GET_ITEM(seq.get(), i), names.back(), "a device name"))
                return false;
        }
    }
    std::string current;
    bool has_current = current_arg && current_arg != Py_None;
    if (has_current && !text_value(current_arg, current, "current_device"))
        return false;
    std::vector<const char *> pointers;
    for (const std::string &name : names)
        pointers.push_back(name.c_str());
    if (names.size() > INT_MAX ||
        sdk_ctl_resp_set_devices(response, static_cast<int>(names.size()), pointers.data(),
                                 has_current ? current.c_str() : nullptr) != 0) {
        PyErr_NoMemory();
        return false;
    }
    return true;
}

}  // namespace

bool text_value(PyObject *object, std::string &out, const char *what)
{
#if TW_PY3
    if (PyBytes_Check(object)) {
        out.assign(PyBytes_AS_STRING(object), static_cast<size_t>(PyBytes_GET_SIZE(object)));
    } else if (!py::is_text(object)) {
        PyErr_Format(PyExc_TypeError, "%s must be str or bytes, not %.100s", what, Py_TYPE(object)->tp_name);
        return false;
    } else if (!py::text_arg(object, out)) {
        return false;
    }
#else
    if (!py::is_text(object)) {
        PyErr_Format(PyExc_TypeError, "%s must be a string, not %.100s", what, Py_TYPE(object)->tp_name);
        return false;
    }
    if (!py::text_arg(object, out))
        return false;
#endif
    if (out.find('\0') != std::string::npos) {
        PyErr_Format(PyExc_ValueError, "%s must not contain NUL characters", what);
        return false;
    }
    return true;
}

bool optional_text(PyObject *object, char *&out, const char *what)
{
    if (object == Py_None) {
        out = nullptr;
        return true;
    }
    std::string value;
    if (!text_value(object, value, what))
        return false;
    out = sdk_ctl_strdup(value.c_str());
    if (!out) {
        PyErr_NoMemory();
        return false;
    }
    return true;
}

bool int_value(PyObject *object, int &out, const char *what)
{
    if (!is_integer(object)) {
        PyErr_Format(PyExc_TypeError, "%s must be an integer, not %.100s", what, Py_TYPE(object)->tp_name);
        return false;
    }
    OwnedRef index = OwnedRef::steal(PyNumber_Index(object));
    if (!index)
        return false;
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred())
        return false;
    if (overflow || value < INT_MIN || value > INT_MAX) {
        PyErr_Format(PyExc_OverflowError, "%s does not fit a 32-bit integer", what);
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool double_value(PyObject *object, double &out, const char *what)
{
    if (!PyFloat_Check(object) && !is_integer(object)) {
        PyErr_Format(PyExc_TypeError, "%s must be a number, not %.100s", what, Py_TYPE(object)->tp_name);
        return false;
    }
    out = PyFloat_AsDouble(object);
    return !(out == -1.0 && PyErr_Occurred());
}

const sdk_field_info_t *find_field(const sdk_record_info_t &info, const std::string &name)
{
    for (int i = 0; i < info.field_count; ++i)
        if (name == info.fields[i].name)
            return &info.fields[i];
    return nullptr;
}

OwnedRef field_value(const void *record, const sdk_field_info_t &field)
{
    switch (field.kind) {
    case sdk_field_text: {
        const char *text = at<char *>(record, field.offset);
        return text ? OwnedRef::steal(py::text(text)) : OwnedRef::none();
    }
    case sdk_field_int:
        return OwnedRef::steal(py::integer(at<int>(record, field.offset)));
    case sdk_field_double:
        return OwnedRef::steal(PyFloat_FromDouble(at<double>(record, field.offset)));
    case sdk_field_int_array:
    case sdk_field_double_array: {
        OwnedRef tuple = OwnedRef::steal(PyTuple_New(field.length));
        if (!tuple)
            return tuple;
        for (int i = 0; i < field.length; ++i) {
            size_t offset = field.offset + static_cast<size_t>(i) *
                (field.kind == sdk_field_int_array ? sizeof(int) : sizeof(double));
            PyObject *item = field.kind == sdk_field_int_array
                ? py::integer(at<int>(record, offset))
                : PyFloat_FromDouble(at<double>(record, offset));
            if (!item)
                return OwnedRef();
            PyTuple_SET_ITEM(tuple.get(), i, item);
        }
        return tuple;
    }
    }
    PyErr_SetString(PyExc_SystemError, "unknown field kind");
    return OwnedRef();
}

bool set_field(void *record, const sdk_field_info_t &field, PyObject *value)
{
    switch (field.kind) {
    case sdk_field_text: {
        char *text = nullptr;
        if (!optional_text(value, text, field.name))
            return false;
        sdk_ctl_free_text(at<char *>(record, field.offset));
        at<char *>(record, field.offset) = text;
        return true;
    }
    case sdk_field_int:
        return int_value(value, at<int>(record, field.offset), field.name);
    case sdk_field_double:
        return double_value(value, at<double>(record, field.offset), field.name);
    case sdk_field_int_array:
    case sdk_field_double_array: {
        if (py::is_text(value) || PyBytes_Check(value) || !PySequence_Check(value)) {
            PyErr_Format(PyExc_TypeError, "%s must be a sequence of numbers", field.name);
            return false;
        }
        OwnedRef seq = OwnedRef::steal(PySequence_Fast(value, "must be a sequence"));
        if (!seq)
            return false;
        Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
        if (n > field.length) {
            PyErr_Format(PyExc_ValueError, "%s takes at most %d values", field.name, field.length);
            return false;
        }
        // Converted first, so a bad element leaves the record as it was.
        std::vector<int> ints(static_cast<size_t>(field.length), 0);
        std::vector<double> doubles(static_cast<size_t>(field.length), 0.0);
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyObject *item = PySequence_Fast_GET_ITEM(seq.get(), i);
            size_t k = static_cast<size_t>(i);
            if (field.kind == sdk_field_int_array ? !int_value(item, ints[k], field.name)
                                                  : !double_value(item, doubles[k], field.name))
                return false;
        }
        if (field.kind == sdk_field_int_array)
            std::memcpy(&at<int>(record, field.offset), ints.data(), ints.size() * sizeof(int));
        else
            std::memcpy(&at<double>(record, field.offset), doubles.data(), doubles.size() * sizeof(double));
        return true;
    }
    }
    PyErr_SetString(PyExc_SystemError, "unknown field kind");
    return false;
}

OwnedRef field_list(const void *record, const sdk_record_info_t &info)
{
    OwnedRef list = OwnedRef::steal(PyList_New(info.field_count));
    if (!list)
        return list;
    for (int i = 0; i < info.field_count; ++i) {
        OwnedRef name = OwnedRef::steal(py::text(info.fields[i].name));
        OwnedRef value = field_value(record, info.fields[i]);
        if (!name || !value)
            return OwnedRef();
        PyObject *pair = PyTuple_Pack(2, name.get(), value.get());
        if (!pair)
            return OwnedRef();
        PyList_SET_ITEM(list.get(), i, pair);
    }
    return list;
}

bool set_fields(void *record, const char *function, const std::vector<Keyword> &keywords)
{
    const sdk_record_info_t &info = *sdk_ctl_record_info(record);
    for (const Keyword &keyword : keywords) {
        const sdk_field_info_t *field = find_field(info, keyword.name);
        if (!field)
            return unexpected(function, keyword.name, info);
        if (!set_field(record, *field, keyword.value))
            return false;
    }
    return true;
}

bool fill_response(sdk_resp_base_t *response, const char *function, const ResponseArgs &args)
{
    if (args.return_code && !int_value(args.return_code, response->return_code, "return_code"))
        return false;
    if (args.status_code && !int_value(args.status_code, response->status_code, "status_code"))
        return false;
    if (args.status_text) {
        char *text = nullptr;
        if (!optional_text(args.status_text, text, "status_text"))
            return false;
        sdk_ctl_free_text(response->status_text);
        response->status_text = text;
    }
    const sdk_record_info_t &info = *sdk_ctl_record_info(response);
    std::vector<Keyword> plain;
    PyObject *tests = nullptr, *test_count = nullptr, *device_list = nullptr, *current = nullptr;
    for (const Keyword &keyword : args.results) {
        if (info.extra == sdk_extra_test_results && keyword.name == "test_results")
            tests = keyword.value;
        else if (info.extra == sdk_extra_test_results && keyword.name == "test_count")
            test_count = keyword.value;
        else if (info.extra == sdk_extra_devices && keyword.name == "devices")
            device_list = keyword.value;
        else if (info.extra == sdk_extra_devices && keyword.name == "current_device")
            current = keyword.value;
        else
            plain.push_back(keyword);
    }
    if (!set_fields(response, function, plain))
        return false;
    if (tests || test_count) {
        OwnedRef none_given = tests ? OwnedRef() : OwnedRef::steal(PyTuple_New(0));
        if (!tests && !none_given)
            return false;
        if (!test_results(response, tests ? tests : none_given.get(), test_count))
            return false;
    }
    if ((device_list || current) && !devices(response, device_list, current))
        return false;
    return true;
}

}  // namespace voicesdk_py
