// The SDK's capture and render device lists, asked afresh on every call:
// indexes are positions in the latest answer and are never stored.
#ifndef TALKWIRE_AUDIO_DEVICE_LIST_H
#define TALKWIRE_AUDIO_DEVICE_LIST_H

#include "bridge/messages.h"
#include "bridge/requests.h"
#include "module/connector.h"

#include <cstring>

namespace talkwire {

// What differs between the input side and the output side.
struct CaptureDevices {
    using GetRecord = sdk_req_aux_get_capture_devices_t;
    using SetRecord = sdk_req_aux_set_capture_device_t;
    using ListRecord = sdk_resp_aux_get_capture_devices_t;
    static GetRecord *create_get() { return sdk_req_aux_get_capture_devices_create(); }
    static SetRecord *create_set() { return sdk_req_aux_set_capture_device_create(); }
    static constexpr const char *kGetMessage = msg::kCouldNotGetInputDevice;
    static constexpr const char *kSetMessage = msg::kCouldNotSetInputDevice;
};

struct RenderDevices {
    using GetRecord = sdk_req_aux_get_render_devices_t;
    using SetRecord = sdk_req_aux_set_render_device_t;
    using ListRecord = sdk_resp_aux_get_render_devices_t;
    static GetRecord *create_get() { return sdk_req_aux_get_render_devices_create(); }
    static SetRecord *create_set() { return sdk_req_aux_set_render_device_create(); }
    static constexpr const char *kGetMessage = msg::kCouldNotGetOutputDevice;
    static constexpr const char *kSetMessage = msg::kCouldNotSetOutputDevice;
};

// One answer to a device query.  Owner thread; readable until the thread
// next dispatches messages (the posted copy of the response is released
// then).
template <class Side>
class DeviceList {
public:
    // Throws PyErrOccurred with the query's error set when it fails.
    static DeviceList query(Connector &connector)
    {
        return DeviceList(issue_request_and_wait(make_request(Side::create_get, connector.cookies),
                                                 Side::kGetMessage));
    }

    int count() const
    {
        const auto *list = response_.template as<typename Side::ListRecord>();
        return list->devices && list->count > 0 ? list->count : 0;
    }

    // Null when the SDK gave the device no name.
    const char *name(int index) const
    {
        const sdk_device_t *device = response_.template as<typename Side::ListRecord>()->devices[index];
        return device ? device->name : nullptr;
    }

    // The first device whose name equals the in-use device's name, byte for
    // byte; -1 when none does or nothing is in use.
    int in_use() const
    {
        const sdk_device_t *current = response_.template as<typename Side::ListRecord>()->current_device;
        if (!current || !current->name)
            return -1;
        for (int i = 0; i < count(); ++i) {
            const char *candidate = name(i);
            if (candidate && std::strcmp(candidate, current->name) == 0)
                return i;
        }
        return -1;
    }

private:
    explicit DeviceList(SyncResponse response) : response_(std::move(response)) {}

    SyncResponse response_;
};

}  // namespace talkwire

#endif
