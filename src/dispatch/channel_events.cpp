// Sessions being added, removed, connected and disconnected.
#include "bridge/messages.h"
#include "channels/sessions.h"
#include "dispatch/message_context.h"

#include <memory>
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
bool terminate_session(MessageContext &context, const Channel &channel)
{
    return context.reporting_errors(
        [&] { remove_session(context.connector, channel, msg::kCouldNotTerminateSession); });
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

void session_connected(MessageContext &context, Channel &channel)
{
    ChannelRegistry &registry = context.connector.registry;
    const std::string name = channel.name;
    // A session still leaving stays on its way out even when the channel
    // was joined again meanwhile: the new join waits for it to go.
    if (!registry.is_desired(name) || channel.state() == ChannelState::Leaving) {
        // Left while connecting: hang up quietly.
        if (terminate_session(context, channel))
            registry.set_state(channel, ChannelState::Leaving);
        return;
    }
    const bool first_connected = registry.count_in_state(ChannelState::Connected) == 0;
    registry.set_state(channel, ChannelState::Connected);
    if (first_connected)
        place_waiting_channels(context);
    context.notify(Callback::OnJoinedChannel, name);
}

void session_disconnected(MessageContext &context, const Channel &found, const sdk_evt_media_stream_updated_t &event)
{
    ChannelRegistry &registry = context.connector.registry;
    const std::string name = found.name;
    const bool rejoin = registry.rejoin_waits(found);
    if (!rejoin)
        registry.undesire(name);
    // Out of the registry before the callbacks, destroyed after them.
    std::unique_ptr<Channel> record = registry.take_channel(name);
    if (record->state() == ChannelState::Connecting)
        context.notify(Callback::FailedJoinChannel, event.status_code, or_empty(event.status_text));
    context.notify(Callback::OnLeftChannel, name);
    if (rejoin)
        resume_rejoin(registry, name, record->rejoin_uri);
    record.reset();
    place_waiting_channels(context);
}

}  // namespace

void on_session_state(MessageContext &context, const sdk_evt_session_state_change_t &event)
{
    ChannelRegistry &registry = context.connector.registry;
    const std::string name = or_empty(event.channel_name);
    switch (event.session_state) {
    case kSessionAdded:
        if (event.session_flag == 0)
            return;
        if (const Channel *channel = registry.find_channel(name)) {
            if (!registry.is_desired(name))
                terminate_session(context, *channel);  // the state stays, whatever the outcome
        }
        context.notify(Callback::OnJoinedChannel, static_cast<const char *>(event.channel_name));
        break;
    case kSessionRemoved: {
        std::unique_ptr<Channel> record = registry.take_channel(name);  // the name stays desired
        const bool rejoin = record && registry.rejoin_waits(*record);
        context.notify(Callback::OnLeftChannel, static_cast<const char *>(event.channel_name));
        if (rejoin) {
            resume_rejoin(registry, name, record->rejoin_uri);
            record.reset();
            place_waiting_channels(context);
        }
        break;
    }
    default:
        break;
    }
}

void on_media_state(MessageContext &context, const sdk_evt_media_stream_updated_t &event)
{
    if (!event.session_handle)
        return;
    Channel *channel = context.connector.registry.find_channel_by_session(event.session_handle);
    if (!channel)
        return;
    switch (event.media_state) {
    case kSessionConnected:
        session_connected(context, *channel);
        break;
    case kSessionDisconnected:
        session_disconnected(context, *channel, event);
        break;
    default:
        break;
    }
}

}  // namespace dispatch
}  // namespace talkwire
