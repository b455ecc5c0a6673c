// The positional arguments of a method call.  On 3.7+ the interpreter hands
// methods its own argument array (METH_FASTCALL), so no tuple is built per
// call; older interpreters pass a tuple, whose items are viewed the same way.
// Interpreter lock held; the items are borrowed for the call.
#ifndef TALKWIRE_MODULE_CALL_ARGS_H
#define TALKWIRE_MODULE_CALL_ARGS_H

#include "pycompat/ref.h"

namespace talkwire {

class CallArgs {
public:
    CallArgs(PyObject *const *items, Py_ssize_t count) : items_(items), count_(count) {}

    // `tuple` must be a tuple.
    static CallArgs of_tuple(PyObject *tuple)
    {
        CallArgs args(&PyTuple_GET_ITEM(tuple, 0), PyTuple_GET_SIZE(tuple));
        args.tuple_ = tuple;
        return args;
    }

    Py_ssize_t size() const { return count_; }
    PyObject *operator[](Py_ssize_t index) const { return items_[index]; }

    // The arguments as a tuple, for the interpreter's own parser: the
    // caller's tuple when there was one, else a new one (null with the error
    // set when it cannot be made).
    OwnedRef as_tuple() const
    {
        if (tuple_)
            return OwnedRef::take(tuple_);
        OwnedRef tuple = OwnedRef::steal(PyTuple_New(count_));
        for (Py_ssize_t i = 0; tuple && i < count_; ++i) {
            Py_INCREF(items_[i]);
            PyTuple_SET_ITEM(tuple.get(), i, items_[i]);
        }
        return tuple;
    }

private:
    PyObject *const *items_;
    Py_ssize_t count_;
    PyObject *tuple_ = nullptr;
};

}  // namespace talkwire

#endif
