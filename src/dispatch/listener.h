// Calls on the listener.  They are made only by the handlers, so nobody on
// the Python side can receive their errors: a missing method is skipped, and
// an exception a method raises goes to the interpreter's unraisable hook
// (KeyboardInterrupt and SystemExit end the pump instead, when it is ours:
// bridge/pump_exit.h).  Owner thread, interpreter lock held.
#ifndef TALKWIRE_DISPATCH_LISTENER_H
#define TALKWIRE_DISPATCH_LISTENER_H

#include "catalogue.h"
#include "dispatch/text_cache.h"
#include "pycompat/pycompat.h"
#include "pycompat/ref.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace talkwire {
namespace dispatch {

// The listener protocol, TALKWIRE_CALLBACKS, comes from the methods of the
// talkwire package's Listener class.
enum class Callback {
#define TALKWIRE_CALLBACK_ENUM(name) name,
    TALKWIRE_CALLBACKS(TALKWIRE_CALLBACK_ENUM)
#undef TALKWIRE_CALLBACK_ENUM
};

// Argument builders: an int ("i"), text ("s"; null text is None).  Texts
// come from `texts`, so a name passed with every event is decoded once.
inline PyObject *to_python(TextCache &, int value) { return py::integer(value); }
inline PyObject *to_python(TextCache &texts, const std::string &value)
{
    return texts.text(value.data(), value.size());
}

// An SDK text measured once, for a handler that both stores it and passes
// it on.  Null stays null: the listener gets None, the registry "".
class MeasuredText {
public:
    explicit MeasuredText(const char *text) : data_(text), size_(text ? std::char_traits<char>::length(text) : 0) {}
    std::string_view or_empty() const { return std::string_view(data_ ? data_ : "", size_); }
    PyObject *to_python(TextCache &texts) const
    {
        if (data_)
            return texts.text(data_, size_);
        Py_INCREF(Py_None);
        return Py_None;
    }

private:
    const char *data_;
    size_t size_;
};
inline PyObject *to_python(TextCache &texts, const MeasuredText &value) { return value.to_python(texts); }
inline PyObject *to_python(TextCache &texts, const char *value) { return MeasuredText(value).to_python(texts); }

// Looks the method up on the listener by name (every time: methods may be
// added or replaced) and calls it.  `call` holds the listener followed by
// the `count` arguments (any null: they could not be built, and the error
// is set); call[-1] is writable scratch space, which vectorcall lets the
// callee use instead of copying the arguments.  Returns the method's
// result, or nothing when the method is missing or raised.
OwnedRef call_listener(Callback callback, PyObject **call, size_t count);

template <class... Arguments>
OwnedRef notify_listener(PyObject *listener, TextCache &texts, Callback callback, const Arguments &...arguments)
{
    OwnedArguments<sizeof...(arguments)> call{listener, to_python(texts, arguments)...};  // built in order
    return call_listener(callback, call.call(), sizeof...(arguments));
}

// Sends the pending Python error to the unraisable hook and clears it, or
// parks it for the thread's pump (bridge/pump_exit.h).
void report_unraisable(PyObject *context);

}  // namespace dispatch
}  // namespace talkwire

#endif
