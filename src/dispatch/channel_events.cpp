// Sessions being added, removed, connected and disconnected.
#include "bridge/errors.h"
#include "bridge/messages.h"
#include "channels/sessions.h"
#include "dispatch/dispatcher.h"

#include <memory>
#include <new>
#include <string>

namespace talkwire {
namespace dispatch {
namespace {

constexpr int kSessionAdded = 4;
constexpr int kSessionRemoved = 5;
constexpr int kSessionDisconnected = 1;
constexpr int kSessionConnected = 2;

// Asks the SDK to drop a session nobody wants any more.  A refusal goes to
// the unraisable hook and the handler carries on; the channel must be
// looked up again afterwards, since the hook may change the registry.
bool terminate_session(Dispatch &dispatch, const Channel &channel)
{
    try {
        remove_session(dispatch.connector, channel, msg::kCouldNotTerminateSession);
        return true;
    } catch (const PyErrOccurred &) {
        dispatch.report_error();
        return false;
    }
}

void session_connected(Dispatch &dispatch, Channel &channel)
{
    ChannelRegistry &registry = dispatch.connector.registry;
    const std::string name = channel.name;
    if (!registry.is_desired(name)) {
        // Left while connecting: hang up quietly.
        if (terminate_session(dispatch, channel))
            registry.set_state(channel, ChannelState::Leaving);
        return;
    }
    const bool first_connected = registry.count_in_state(ChannelState::Connected) == 0;
    registry.set_state(channel, ChannelState::Connected);
    if (first_connected)
        place_waiting_channels(dispatch);
    dispatch.notify(Callback::OnJoinedChannel, name);
}

void session_disconnected(Dispatch &dispatch, const Channel &found, const sdk_evt_media_stream_updated_t &event)
{
    ChannelRegistry &registry = dispatch.connector.registry;
    const std::string name = found.name;
    registry.undesire(name);
    // Out of the registry before the callbacks, destroyed after them.
    std::unique_ptr<Channel> record = registry.take_channel(name);
    if (record->state() == ChannelState::Connecting)
        dispatch.notify(Callback::FailedJoinChannel, event.status_code, or_empty(event.status_text));
    dispatch.notify(Callback::OnLeftChannel, name);
    record.reset();
    place_waiting_channels(dispatch);
}

}  // namespace

void on_session_state(Dispatch &dispatch, const sdk_evt_session_state_change_t &event)
{
    ChannelRegistry &registry = dispatch.connector.registry;
    const std::string name = or_empty(event.channel_name);
    switch (event.session_state) {
    case kSessionAdded:
        if (event.session_flag == 0)
            return;
        if (const Channel *channel = registry.find_channel(name)) {
            if (!registry.is_desired(name))
                terminate_session(dispatch, *channel);  // the state stays, whatever the outcome
        }
        dispatch.notify(Callback::OnJoinedChannel, static_cast<const char *>(event.channel_name));
        break;
    case kSessionRemoved:
        registry.remove_channel(name);  // the name stays desired
        dispatch.notify(Callback::OnLeftChannel, static_cast<const char *>(event.channel_name));
        break;
    default:
        break;
    }
}

void on_media_state(Dispatch &dispatch, const sdk_evt_media_stream_updated_t &event)
{
    if (!event.session_handle)
        return;
    Channel *channel = dispatch.connector.registry.find_channel_by_session(event.session_handle);
    if (!channel)
        return;
    switch (event.media_state) {
    case kSessionConnected:
        session_connected(dispatch, *channel);
        break;
    case kSessionDisconnected:
        session_disconnected(dispatch, *channel, event);
        break;
    default:
        break;
    }
}

}  // namespace dispatch
}  // namespace talkwire
