// JoinChannelEx, LeaveChannel and ChannelJoinInProgressCount.  The joins
// continue in the handlers: channel created, then placed, then connected.
#include "bridge/requests.h"
#include "bridge/trace.h"
#include "catalogue.h"
#include "channels/sessions.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

namespace talkwire {

// The states as the talkwire package names them.
static_assert(static_cast<int>(ChannelState::Created) == TALKWIRE_CHANNEL_CREATED &&
                  static_cast<int>(ChannelState::Connecting) == TALKWIRE_CHANNEL_CONNECTING &&
                  static_cast<int>(ChannelState::Connected) == TALKWIRE_CHANNEL_CONNECTED &&
                  static_cast<int>(ChannelState::Leaving) == TALKWIRE_CHANNEL_LEAVING &&
                  static_cast<int>(ChannelState::Idle) == TALKWIRE_CHANNEL_IDLE,
              "channel states differ from talkwire.CHANNEL_*");

PyObject *Connector_JoinChannelEx(PyObject *self, CallArgs args)
{
    std::string name;
    if (!args::parse(args, "s:JoinChannelEx", &name))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        if (name.empty())
            throw_error(kErrorInvalidArg, msg::kInvalidChannelName);
        if (connector.account_handle.empty())
            throw_error(kErrorFail, msg::kMustBeLoggedInToJoin);
        ChannelRegistry &registry = connector.registry;
        if (registry.is_desired(name)) {
            const Channel *channel = registry.find_channel(name);
            if (channel && channel->state() != ChannelState::Idle)
                throw_error(kErrorInvalidArg, msg::kChannelAlreadyJoining);
        }
        trace("JoinChannelEx(%s)\r\n", name.c_str());

        using Record = sdk_req_account_channel_create_t;
        auto request = make_request(sdk_req_account_channel_create_create, connector.cookies);
        request.text(&Record::account_handle, connector.account_handle);
        request.text(&Record::channel_name, name);
        request.text(&Record::channel_password, "");
        request->channel_mode = 0;
        request->is_persistent = 0;
        request->is_protected = 0;
        request->max_participants = 100;
        request->max_range = 100;
        issue_request(std::move(request), msg::kCouldNotCreateChannel);

        // An existing record (a second join while the first is pending, or
        // a channel still leaving) stays as it is.
        registry.add_channel(name);
        registry.desire(name);
        return new_none();
    });
}

PyObject *Connector_LeaveChannel(PyObject *self, CallArgs args)
{
    std::string name;
    if (!args::parse(args, "s:LeaveChannel", &name))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        if (name.empty())
            throw_error(kErrorInvalidArg, msg::kInvalidChannelName);
        ChannelRegistry &registry = connector.registry;
        Channel *channel = registry.desired().empty() ? nullptr : registry.find_channel(name);
        if (channel) {
            switch (channel->state()) {
            case ChannelState::Connecting:
            case ChannelState::Connected:
                // A refusal leaves the channel as it was, still desired.
                remove_session(connector, *channel, msg::kCouldNotLeaveChannel);
                registry.set_state(*channel, ChannelState::Leaving);
                break;
            case ChannelState::Created:
                registry.remove_channel(name);  // no session exists yet
                break;
            case ChannelState::Leaving:
                // A join made meanwhile is called off with the name; a later
                // one asks for the channel again.
                channel->rejoin_uri.reset();
                break;
            case ChannelState::Idle:
                // An Idle record stays; its channel-create answer finds the
                // name no longer desired and places nothing.
                break;
            }
        }
        registry.undesire(name);
        return new_none();
    });
}

PyObject *Connector_ChannelJoinInProgressCount(PyObject *self, PyObject *)
{
    return method_entry(self, [](Connector &connector) {
        return py::integer(connector.registry.count_active_channels());
    });
}

}  // namespace talkwire
