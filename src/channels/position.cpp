// SetAudioPositionAndFacing: the listener's place and facing in a channel's
// 3D audio space.
#include "bridge/requests.h"
#include "channels/sessions.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

#include <cmath>

namespace talkwire {
namespace {

constexpr Py_ssize_t kNumberCount = 7;
constexpr size_t kBlockSize = 15;  // five 3-vectors

// Position, second position, facing, vertical axis, and the vertical axis
// crossed with the facing; every value single precision widened.
void fill_block(double *block, const float (&p)[3], const float (&q)[3], float s, float c)
{
    const float values[kBlockSize] = {p[0], p[1], p[2], q[0], q[1], q[2], s, 0.0f, -c,
                                      0.0f, 1.0f, 0.0f, -c,   0.0f, -s};
    for (size_t i = 0; i < kBlockSize; ++i)
        block[i] = static_cast<double>(values[i]);
}

}  // namespace

PyObject *Connector_SetAudioPositionAndFacing(PyObject *self, CallArgs args)
{
    std::string name;
    float p[3] = {};
    float q[3] = {};
    float theta = 0.0f;
    if (!args::parse(args, "|sfffffff:SetAudioPositionAndFacing", &name, &p[0], &p[1], &p[2], &q[0], &q[1],
                     &q[2], &theta))
        return nullptr;
    // A name with only some of the numbers would send numbers nobody gave.
    const Py_ssize_t given = args.size();
    if (given > 0 && given < 1 + kNumberCount) {
        PyErr_Format(PyExc_TypeError, "SetAudioPositionAndFacing() takes a channel name and %d numbers (%d given)",
                     static_cast<int>(kNumberCount), static_cast<int>(given - 1));
        return nullptr;
    }
    return method_entry(self, [&](Connector &connector) {
        // The cookie is taken even when the guard then stops the request.
        auto request = make_request(sdk_req_session_set_3d_position_create, connector.cookies);
        const Channel *channel = channel_with_session(connector, name);
        if (!channel)
            return new_none();  // the request is released unissued
        request.text(&sdk_req_session_set_3d_position_t::session_handle, channel->session_handle());
        const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
        const float c = static_cast<float>(std::cos(static_cast<double>(theta)));
        fill_block(request->speaker_vectors, p, q, s, c);
        fill_block(request->listener_vectors, p, q, s, c);
        issue_request(std::move(request), msg::kCouldNotSetAudioPosition);
        return new_none();
    });
}

}  // namespace talkwire
