// Answers to channel creation and to adding sessions.
#include "channels/sessions.h"
#include "dispatch/message_context.h"

#include <string>

namespace talkwire {
namespace dispatch {
namespace {

template <class RequestRecord, class ResponseRecord>
const RequestRecord *request_of(const ResponseRecord &response)
{
    return reinterpret_cast<const RequestRecord *>(response.base.request);
}

// "Couldn't do <what>('<uri or null>,<status text>')".
std::string failed_join_message(const char *what, const char *uri, const char *status_text)
{
    return std::string("Couldn't do ") + what + "('" + (uri ? uri : "null") + "," + or_empty(status_text) + "')";
}

// "Couldn't rejoin channel '<name>'", then ": <status text>" when there is one.
std::string failed_rejoin_message(const std::string &name, const char *status_text)
{
    std::string message = "Couldn't rejoin channel '" + name + "'";
    if (status_text && *status_text)
        message += std::string(": ") + status_text;
    return message;
}

}  // namespace

// The names are collected first and each is looked up again, since the
// unraisable hook a failure reaches may join or leave channels.
void place_waiting_channels(MessageContext &context)
{
    ChannelRegistry &registry = context.connector.registry;
    for (const std::string &name : registry.names_in_state(ChannelState::Created)) {
        Channel *channel = registry.find_channel(name);
        if (channel && channel->state() == ChannelState::Created && registry.is_desired(name))
            context.reporting_errors([&] { place_call_internal(context.connector, *channel); });
    }
}

void on_add_session(MessageContext &context, const sdk_resp_sessiongroup_add_session_t &response)
{
    const auto *request = request_of<sdk_req_sessiongroup_add_session_t>(response);
    const std::string name = request ? or_empty(request->channel_name) : "";
    ChannelRegistry &registry = context.connector.registry;
    if (response.base.return_code == 0) {
        if (Channel *channel = registry.find_channel(name))
            registry.set_session_handle(*channel, or_empty(response.session_handle));
        return;
    }
    // The listener still finds the channel registered during the call.
    context.notify(Callback::FailedJoinChannel, response.base.status_code,
                   failed_join_message("resp_sessiongroup_add_session", request ? request->channel_uri : nullptr,
                                       response.base.status_text));
    if (!registry.find_channel(name))
        return;
    registry.undesire(name);
    registry.remove_channel(name);
    place_waiting_channels(context);
}

void on_session_create(MessageContext &context, const sdk_resp_session_create_t &response)
{
    const auto *request = request_of<sdk_req_session_create_t>(response);
    if (response.base.return_code == 0) {
        ChannelRegistry &registry = context.connector.registry;
        if (Channel *channel = registry.find_channel(request ? or_empty(request->channel_name) : ""))
            registry.set_session_handle(*channel, or_empty(response.session_handle));
        return;
    }
    context.notify(Callback::FailedJoinChannel, response.base.status_code,
                   failed_join_message("create_session", request ? request->channel_uri : nullptr,
                                       response.base.status_text));
}

void on_remove_session(MessageContext &context, const sdk_resp_sessiongroup_remove_session_t &response)
{
    if (response.base.return_code == 0)
        return;
    // A refused removal matters only to a join waiting for the old session
    // to go: that session stays, so the join cannot go ahead.  The record
    // stays Leaving, as after any leave, and its name is let go.
    const auto *request = request_of<sdk_req_sessiongroup_remove_session_t>(response);
    if (!request || !request->session_handle)
        return;
    ChannelRegistry &registry = context.connector.registry;
    Channel *channel = registry.find_channel_by_session(request->session_handle);
    if (!channel || !registry.rejoin_waits(*channel))
        return;
    const std::string name = channel->name;
    channel->rejoin_uri.reset();
    registry.undesire(name);
    context.notify(Callback::FailedJoinChannel, response.base.status_code,
                   failed_rejoin_message(name, response.base.status_text));
}

void on_channel_create(MessageContext &context, const sdk_resp_account_channel_create_t &response)
{
    if (response.base.return_code != 0) {
        // The record and the desired name stay; joining again retries.
        context.notify(Callback::FailedChannelCreate, response.base.status_code,
                       or_empty(response.base.status_text));
        return;
    }
    const auto *request = request_of<sdk_req_account_channel_create_t>(response);
    const std::string name = request ? or_empty(request->channel_name) : "";
    ChannelRegistry &registry = context.connector.registry;
    if (!registry.is_desired(name))
        return;  // left meanwhile
    Channel *channel = registry.find_channel(name);
    if (!channel)
        return;
    if (channel->state() == ChannelState::Leaving) {
        // Joined again while the old session is still going: the session
        // is added once that one is gone (see the session events).
        channel->rejoin_uri = or_empty(response.channel_uri);
        return;
    }
    // The answer to a second join of a channel whose session is already
    // under way: adding the channel again would orphan that session.
    if (channel->state() != ChannelState::Idle && channel->state() != ChannelState::Created)
        return;
    channel->uri = or_empty(response.channel_uri);
    registry.set_state(*channel, ChannelState::Created);
    place_call_internal(context.connector, *channel);  // a failure reaches the unraisable hook
}

}  // namespace dispatch
}  // namespace talkwire
