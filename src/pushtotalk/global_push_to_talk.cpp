// EnableGlobalPushToTalkMode: hands a key binding to the SDK's global
// keyboard-and-mouse monitor.  Key changes come back as key events.
#include "bridge/requests.h"
#include "bridge/trace.h"
#include "catalogue.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

#include <string>

namespace talkwire {
namespace {

constexpr const char *kFormat = "|O:EnableGlobalPushToTalkMode";
constexpr const char *kEntryFormat = "si";
constexpr Py_ssize_t kMaxEntries = TALKWIRE_MAX_KEY_BINDINGS;

using Record = sdk_req_aux_global_monitor_keyboard_mouse_t;
static_assert(sizeof(Record::key_codes) / sizeof(Record::key_codes[0]) == kMaxEntries,
              "the request holds one key code per entry");

// One (name, code) entry; throws PyErrOccurred with the parser's error.
void parse_entry(PyObject *entry, std::string &name, int &code)
{
    // The parser only takes tuples; anything else is the caller's mistake.
    if (!PyTuple_Check(entry)) {
        PyErr_Format(PyExc_TypeError, "%s() entries must be (name, key code) tuples, not %.100s",
                     args::method_name(kFormat), Py_TYPE(entry)->tp_name);
        throw PyErrOccurred();
    }
    if (!args::parse(CallArgs::of_tuple(entry), kEntryFormat, &name, &code))
        throw PyErrOccurred();
}

}  // namespace

PyObject *Connector_EnableGlobalPushToTalkMode(PyObject *self, CallArgs args)
{
    PyObject *entries = nullptr;
    if (!args::parse(args, kFormat, &entries) || !args::require_given(args, kFormat, 1))
        return nullptr;
    return method_entry(self, [entries](Connector &connector) {
        // Not a list: the interpreter's bad-internal-argument error.
        const Py_ssize_t count = PyList_Size(entries);
        if (count < 0)
            throw PyErrOccurred();
        if (count > kMaxEntries) {
            PyErr_Format(PyExc_ValueError, msg::kTooManyEntries, static_cast<int>(kMaxEntries));
            throw PyErrOccurred();
        }
        // Released unissued when an entry does not parse.
        auto request = Request<Record>::create_without_cookie(sdk_req_aux_global_monitor_keyboard_mouse_create);
        std::string name;
        for (Py_ssize_t i = 0; i < count; ++i) {
            // Held while parsing: converting the code may run Python code
            // that changes the list.
            OwnedRef entry = OwnedRef::take(check(PyList_GetItem(entries, i)));
            int code = 0;
            parse_entry(entry.get(), name, code);
            request->key_codes[i] = code;
        }
        // An empty list leaves the request as created: no cookie, no name.
        if (count > 0) {
            request.take_cookie(connector.cookies);
            request.text(&Record::binding_name, name);  // only the last entry's name is sent
            request->code_count = static_cast<int>(count);
            for (Py_ssize_t i = 0; i < count; ++i)
                trace("key value=%i\r\n", request->key_codes[i]);
        }
        issue_request(std::move(request), msg::kCouldNotSetKeyBinding);
        return new_none();
    });
}

}  // namespace talkwire
