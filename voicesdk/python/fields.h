// Python values <-> SDK record fields, driven by the record reflection of
// voicesdk/control.h.  Everything here runs with the interpreter lock held.
#ifndef VOICESDK_PYTHON_FIELDS_H
#define VOICESDK_PYTHON_FIELDS_H

#include "pycompat/pycompat.h"
#include "pycompat/ref.h"
#include "voicesdk/control.h"

#include <memory>
#include <string>
#include <vector>

namespace voicesdk_py {

using talkwire::OwnedRef;

struct MessageDeleter {
    void operator()(sdk_message_base_t *message) const { destroy_msg(message); }
};
using MessagePtr = std::unique_ptr<sdk_message_base_t, MessageDeleter>;

struct RequestDeleter {
    void operator()(sdk_req_base_t *request) const { destroy_req(request); }
};
using RequestPtr = std::unique_ptr<sdk_req_base_t, RequestDeleter>;

// A keyword argument not bound to a named parameter.
struct Keyword {
    std::string name;
    PyObject *value;  // borrowed from the call's keyword dict
};

// Text for C: native str (UTF-8, surrogate escapes back to their bytes) or,
// on Python 3, bytes.  ValueError for an embedded NUL.
bool text_value(PyObject *object, std::string &out, const char *what);
bool int_value(PyObject *object, int &out, const char *what);
bool double_value(PyObject *object, double &out, const char *what);
// Null for None.
bool optional_text(PyObject *object, char *&out, const char *what);

const sdk_field_info_t *find_field(const sdk_record_info_t &info, const std::string &name);

// Field value as a Python object (new reference, null with an exception).
OwnedRef field_value(const void *record, const sdk_field_info_t &field);
bool set_field(void *record, const sdk_field_info_t &field, PyObject *value);

// [(name, value), ...] in record order.
OwnedRef field_list(const void *record, const sdk_record_info_t &info);

// Sets the record's fields from keywords; TypeError naming the first one the
// record does not have.
bool set_fields(void *record, const char *function, const std::vector<Keyword> &keywords);

// The common head and results of a response made by answer(), respond() or
// respond_to().  Arguments that were not given are null.
struct ResponseArgs {
    PyObject *return_code = nullptr;
    PyObject *status_code = nullptr;
    PyObject *status_text = nullptr;
    std::vector<Keyword> results;
};
bool fill_response(sdk_resp_base_t *response, const char *function, const ResponseArgs &args);

}  // namespace voicesdk_py

#endif
