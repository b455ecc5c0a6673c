// Capture and render device selection, and the fixed input-line answers.
// A failed device query raises its error: it never passes for "no device".
#include "audio/device_list.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {
namespace {

// Both setters share the input setter's format, so their argument errors
// name SetPreferredAudioInputDevice.
constexpr const char *kSetDeviceFormat = "|i:SetPreferredAudioInputDevice";

template <class Side>
PyObject *preferred_device(PyObject *self)
{
    return method_entry(self, [](Connector &connector) {
        int index = DeviceList<Side>::query(connector).in_use();
        return index < 0 ? new_none() : check(py::integer(index));
    });
}

template <class Side>
PyObject *set_preferred_device(PyObject *self, CallArgs args)
{
    int index = 0;
    if (!args::parse(args, kSetDeviceFormat, &index) || !args::require_given(args, kSetDeviceFormat, 1))
        return nullptr;
    return method_entry(self, [index](Connector &connector) {
        const DeviceList<Side> devices = DeviceList<Side>::query(connector);
        // Outside the list nothing is selected, and that is no error.
        if (index < 0 || index >= devices.count())
            return new_none();
        auto request = make_request(Side::create_set, connector.cookies);
        if (const char *name = devices.name(index))
            request.text(&Side::SetRecord::device_name, name);
        issue_request_and_wait(std::move(request), Side::kSetMessage);
        return new_none();
    });
}

template <class Side>
PyObject *list_devices(PyObject *self)
{
    return method_entry(self, [](Connector &connector) {
        OwnedRef list = OwnedRef::steal(check(PyList_New(0)));
        const DeviceList<Side> devices = DeviceList<Side>::query(connector);
        for (int i = 0; i < devices.count(); ++i) {
            const char *name = devices.name(i);
            OwnedRef number = OwnedRef::steal(check(py::integer(i)));
            OwnedRef text = name ? OwnedRef::steal(check(py::text(name))) : OwnedRef::none();
            OwnedRef entry = OwnedRef::steal(check(PyTuple_Pack(2, number.get(), text.get())));
            if (PyList_Append(list.get(), entry.get()) < 0)
                throw PyErrOccurred();
        }
        return list.release();
    });
}

}  // namespace

PyObject *Connector_GetPreferredAudioInputDevice(PyObject *self, PyObject *)
{
    return preferred_device<CaptureDevices>(self);
}

PyObject *Connector_SetPreferredAudioInputDevice(PyObject *self, CallArgs args)
{
    return set_preferred_device<CaptureDevices>(self, args);
}

PyObject *Connector_GetAudioInputDevices(PyObject *self, PyObject *)
{
    return list_devices<CaptureDevices>(self);
}

PyObject *Connector_GetAudioInputDeviceLines(PyObject *, PyObject *)
{
    return PyList_New(0);
}

PyObject *Connector_GetPreferredAudioInputDeviceLineNumber(PyObject *, PyObject *)
{
    return py::integer(0);
}

PyObject *Connector_GetPreferredAudioOutputDevice(PyObject *self, PyObject *)
{
    return preferred_device<RenderDevices>(self);
}

PyObject *Connector_SetPreferredAudioOutputDevice(PyObject *self, CallArgs args)
{
    return set_preferred_device<RenderDevices>(self, args);
}

PyObject *Connector_GetAudioOutputDevices(PyObject *self, PyObject *)
{
    return list_devices<RenderDevices>(self);
}

}  // namespace talkwire
