// SetMicrophoneVolume and SetSpeakerVolume: the SDK's device level, waited
// for, then the connector's own level, issued without waiting while there
// is a connector.
#include "audio/levels.h"
#include "bridge/requests.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"
#include "pycompat/held_error.h"

namespace talkwire {
namespace {

template <class DeviceRecord, class ConnectorRecord>
struct LevelSetter {
    const char *format;
    DeviceRecord *(*create_device_level)();
    const char *device_message;
    ConnectorRecord *(*create_connector_level)();
    const char *connector_message;
};

template <class DeviceRecord, class ConnectorRecord>
PyObject *set_level(PyObject *self, CallArgs args, const LevelSetter<DeviceRecord, ConnectorRecord> &setter)
{
    int volume = 0;
    if (!args::parse(args, setter.format, &volume) || !args::require_given(args, setter.format, 1))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        const int32_t level = volume_to_level(volume);
        auto device_level = make_request(setter.create_device_level, connector.cookies);
        device_level->requested_level = level;
        // The connector's level is set whatever the device level did.
        HeldError device_error;
        try {
            issue_request_and_wait(std::move(device_level), setter.device_message);
        } catch (const SignalRaised &) {
            throw;  // Ctrl-C while it waited: nothing more is issued
        } catch (const PyErrOccurred &) {
            device_error = HeldError::take();
        }
        if (!connector.connector_handle.empty()) {
            auto connector_level = make_request(setter.create_connector_level, connector.cookies);
            connector_level.text(&ConnectorRecord::connector_handle, connector.connector_handle);
            connector_level->volume = level;
            // A refusal here is the error raised, even over the device's.
            issue_request(std::move(connector_level), setter.connector_message);
        }
        if (device_error) {
            device_error.restore();
            throw PyErrOccurred();
        }
        return new_none();
    });
}

}  // namespace

PyObject *Connector_SetMicrophoneVolume(PyObject *self, CallArgs args)
{
    static const LevelSetter<sdk_req_aux_set_mic_level_t, sdk_req_connector_set_local_mic_volume_t> kSetter = {
        "|i:SetMicrophoneVolume", sdk_req_aux_set_mic_level_create, msg::kCouldNotSetMicrophoneVolume,
        sdk_req_connector_set_local_mic_volume_create, msg::kCouldNotSetConnectorMicrophoneVolume};
    return set_level(self, args, kSetter);
}

PyObject *Connector_SetSpeakerVolume(PyObject *self, CallArgs args)
{
    static const LevelSetter<sdk_req_aux_set_speaker_level_t, sdk_req_connector_set_local_speaker_volume_t>
        kSetter = {"|i:SetSpeakerVolume", sdk_req_aux_set_speaker_level_create, msg::kCouldNotSetSpeakerVolume,
                   sdk_req_connector_set_local_speaker_volume_create, msg::kCouldNotSetConnectorSpeakerVolume};
    return set_level(self, args, kSetter);
}

}  // namespace talkwire
