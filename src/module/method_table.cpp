#include "module/methods.h"
#include "module/owner_process.h"

namespace talkwire {
namespace {

template <PyObject *(*Entry)(PyObject *, PyObject *)>
PyObject *in_owner_process(PyObject *self, PyObject *unused)
{
    return check_owner_process(self) ? Entry(self, unused) : nullptr;
}

template <PyObject *(*Entry)(PyObject *, CallArgs)>
PyObject *in_owner_process(PyObject *self, CallArgs args)
{
    return check_owner_process(self) ? Entry(self, args) : nullptr;
}

// The table's slot has one type for every convention; the flags say which.
template <class Function>
PyCFunction as_table_slot(Function *function)
{
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr bool same_text(const char *a, const char *b) { return *a == *b && (*a == '\0' || same_text(a + 1, b + 1)); }

// A method's doc string is its name, but for one, which keeps an older name.
constexpr const char *method_doc(const char *name)
{
    return same_text(name, "GetAudioInputDevices") ? "GetMicrophoneDevices" : name;
}

#define TALKWIRE_METHOD_METH_VARARGS(name) \
    {#name, as_table_slot(py::positional_method<CallArgs, in_owner_process<Connector_##name>>), py::kPositionalStyle, method_doc(#name)},
#define TALKWIRE_METHOD_METH_NOARGS(name) {#name, in_owner_process<Connector_##name>, METH_NOARGS, method_doc(#name)},
#define TALKWIRE_METHOD_ENTRY(name, style) TALKWIRE_METHOD_##style(name)

PyMethodDef g_methods[] = {
    TALKWIRE_CONNECTOR_METHODS(TALKWIRE_METHOD_ENTRY)
    {nullptr, nullptr, 0, nullptr},
};

#undef TALKWIRE_METHOD_ENTRY
#undef TALKWIRE_METHOD_METH_NOARGS
#undef TALKWIRE_METHOD_METH_VARARGS

}  // namespace

PyMethodDef *connector_methods() { return g_methods; }

}  // namespace talkwire
