// Sessions being added, removed, connected and disconnected.
#include "bridge/errors.h"
#include "bridge/messages.h"
#include "channels/sessions.h"
#include "dispatch/dispatcher.h"

#include <memory>
#include <new>
#include <optional>
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

// The old session of a channel joined again while it was leaving is gone:
// the join goes ahead under a fresh record, placed by the caller's walk
// over the waiting channels.  Nothing happens when the name was let go
// meanwhile (a callback left the channel); a record a callback's own join
// made is taken over.
void resume_rejoin(ChannelRegistry &registry, const std::string &name, const std::optional<std::string> &uri)
{
    if (!registry.is_desired(name))
        return;
    Channel *fresh = registry.add_channel(name);
    if (uri && fresh->state() == ChannelState::Idle) {
        fresh->uri = *uri;
        registry.set_state(*fresh, ChannelState::Created);
    }
    // Without the channel-create answer the record waits in Idle, as any
    // new join does, and the answer places it.
}

void session_connected(Dispatch &dispatch, Channel &channel)
{
    ChannelRegistry &registry = dispatch.connector.registry;
    const std::string name = channel.name;
    // A session still leaving stays on its way out even when the channel
    // was joined again meanwhile: the new join waits for it to go.
    if (!registry.is_desired(name) || channel.state() == ChannelState::Leaving) {
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
    const bool rejoin = registry.rejoin_waits(found);
    if (!rejoin)
        registry.undesire(name);
    // Out of the registry before the callbacks, destroyed after them.
    std::unique_ptr<Channel> record = registry.take_channel(name);
    if (record->state() == ChannelState::Connecting)
        dispatch.notify(Callback::FailedJoinChannel, event.status_code, or_empty(event.status_text));
    dispatch.notify(Callback::OnLeftChannel, name);
    if (rejoin)
        resume_rejoin(registry, name, record->rejoin_uri);
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
    case kSessionRemoved: {
        std::unique_ptr<Channel> record = registry.take_channel(name);  // the name stays desired
        const bool rejoin = record && registry.rejoin_waits(*record);
        dispatch.notify(Callback::OnLeftChannel, static_cast<const char *>(event.channel_name));
        if (rejoin) {
            resume_rejoin(registry, name, record->rejoin_uri);
            record.reset();
            place_waiting_channels(dispatch);
        }
        break;
    }
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
