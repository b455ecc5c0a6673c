#include "module/methods.h"

#include <cstring>

namespace talkwire {
namespace {

#define TALKWIRE_METHOD_ENTRY(name, style) \
    {#name, reinterpret_cast<PyCFunction>(Connector_##name), style, #name},

PyMethodDef g_methods[] = {
    TALKWIRE_CONNECTOR_METHODS(TALKWIRE_METHOD_ENTRY)
    {nullptr, nullptr, 0, nullptr},
};

#undef TALKWIRE_METHOD_ENTRY

}  // namespace

PyMethodDef *connector_methods()
{
    for (PyMethodDef *method = g_methods; method->ml_name; ++method) {
        // The one entry whose documentation differs from its name.
        if (std::strcmp(method->ml_name, "GetAudioInputDevices") == 0)
            method->ml_doc = "GetMicrophoneDevices";
    }
    return g_methods;
}

}  // namespace talkwire
