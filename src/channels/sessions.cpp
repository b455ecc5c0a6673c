#include "channels/sessions.h"

#include "bridge/requests.h"
#include "bridge/trace.h"

namespace talkwire {
namespace {

// The session group is made on the first placement and kept until the
// account logs out.
void ensure_session_group(Connector &connector)
{
    if (!connector.session_group_handle.empty())
        return;
    auto request = make_request(sdk_req_sessiongroup_create_create, connector.cookies);
    request.text(&sdk_req_sessiongroup_create_t::account_handle, connector.account_handle);
    SyncResponse response = issue_request_and_wait(std::move(request), msg::kCouldNotCreateSessionGroup);
    const char *handle = response.as<sdk_resp_sessiongroup_create_t>()->session_group_handle;
    connector.session_group_handle = handle ? handle : "";
}

}  // namespace

void place_call_internal(Connector &connector, Channel &placed)
{
    if (connector.account_handle.empty())
        throw_error(kErrorFail, msg::kPlaceCallLoggedOut);
    trace("PlaceCallInternal(%s, %s)\r\n", placed.uri.c_str(), placed.name.c_str());

    // One session at a time until one connects.
    ChannelRegistry &registry = connector.registry;
    if (registry.count_in_state(ChannelState::Connected) == 0 &&
        registry.count_in_state(ChannelState::Connecting) > 0)
        return;

    // Other threads may call this connector's methods while the session
    // group is made (the wait lets the interpreter go): the record is found
    // again by name after it, and one left or changed meanwhile is not
    // placed.
    const std::string name = placed.name;
    const ChannelState state = placed.state();
    const bool waits = connector.session_group_handle.empty();
    ensure_session_group(connector);
    Channel *found = waits ? registry.find_channel(name) : &placed;
    if (!found || found->state() != state)
        return;
    Channel &channel = *found;

    using Record = sdk_req_sessiongroup_add_session_t;
    auto request = make_request(sdk_req_sessiongroup_add_session_create, connector.cookies);
    request.text(&Record::sessiongroup_handle, connector.session_group_handle);
    request.text(&Record::channel_uri, channel.uri);
    request.text(&Record::channel_name, channel.name);
    request->connect_audio = 1;
    issue_request(std::move(request), msg::kCouldNotCreateSession);
    connector.registry.set_state(channel, ChannelState::Connecting);
}

void remove_session(Connector &connector, const Channel &channel, const char *failure_message)
{
    using Record = sdk_req_sessiongroup_remove_session_t;
    auto request = make_request(sdk_req_sessiongroup_remove_session_create, connector.cookies);
    request.text(&Record::session_handle, channel.session_handle());
    request.text(&Record::sessiongroup_handle, connector.session_group_handle);
    issue_request(std::move(request), failure_message);
}

}  // namespace talkwire
