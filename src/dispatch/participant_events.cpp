// Participants joining, leaving and changing.
#include "dispatch/message_context.h"

#include <string>

namespace talkwire {
namespace dispatch {
namespace {

constexpr int kParticipantAdded = 7;
constexpr int kParticipantRemoved = 9;
constexpr int kUnreportedParticipantType = 2;

Channel *channel_of_session(MessageContext &context, const char *session_handle)
{
    return session_handle ? context.connector.registry.find_channel_by_session(session_handle) : nullptr;
}

}  // namespace

void on_participant_state(MessageContext &context, const sdk_evt_participant_state_change_t &event)
{
    if (event.participant_type == kUnreportedParticipantType)
        return;
    if (event.participant_state == kParticipantAdded)
        on_participant_added(context, event.session_handle, event.participant_uri, event.participant_type);
    else if (event.participant_state == kParticipantRemoved)
        on_participant_removed(context, event.session_handle, event.participant_uri);
}

void on_participant_added(MessageContext &context, const char *session_handle, const char *participant_uri,
                          int participant_type)
{
    Channel *channel = channel_of_session(context, session_handle);
    if (!channel || participant_type == kUnreportedParticipantType)
        return;
    // A rejoin starts afresh.
    const MeasuredText uri(participant_uri);
    ChannelRegistry::store_participant(*channel, uri.or_empty(), false, 0.0, false);
    // A copy: building the arguments may run Python code that changes the
    // registry.
    const std::string name = channel->name;
    context.notify(Callback::OnParticipantJoined, uri, name);
}

void on_participant_removed(MessageContext &context, const char *session_handle, const char *participant_uri)
{
    Channel *channel = channel_of_session(context, session_handle);
    if (!channel)
        return;
    ChannelRegistry::remove_participant(*channel, or_empty(participant_uri));
    const std::string name = channel->name;
    context.notify(Callback::OnParticipantLeft, participant_uri, name);
}

void on_participant_properties(MessageContext &context, const char *session_handle, const char *participant_uri,
                               int flag_a, int flag_b, double level)
{
    Channel *channel = channel_of_session(context, session_handle);
    if (!channel)
        return;
    const MeasuredText uri(participant_uri);
    ChannelRegistry::store_participant(*channel, uri.or_empty(), flag_a != 0, level, flag_b != 0);
    // The name is read without a copy: this is the message's only call, so
    // no earlier result is released first, and building texts and ints runs
    // no Python code; the record is still there when the name is read, and
    // the call itself no longer needs it.  The listener gets the flags
    // exactly as the SDK gave them.
    context.notify(Callback::OnParticipantStateChanged, uri, channel->name, flag_a, flag_b);
}

}  // namespace dispatch
}  // namespace talkwire
