// Moving channels into and out of the connector's session group.  Owner
// thread, interpreter lock held; called from the handlers inside Run, and
// by LeaveChannel.
#ifndef TALKWIRE_CHANNELS_SESSIONS_H
#define TALKWIRE_CHANNELS_SESSIONS_H

#include "bridge/errors.h"
#include "module/connector.h"

#include <string>

namespace talkwire {

// Adds the channel's session to the session group (made once, on the
// synchronous road), or lets the channel wait in Created while another
// session is still connecting and none is connected.  Throws PyErrOccurred
// with the error set; the channel then keeps its state.
void place_call_internal(Connector &connector, Channel &channel);

// The record that a per-channel control acts on: registered and with its
// session known; null otherwise (the control then issues nothing).
inline const Channel *channel_with_session(const Connector &connector, const std::string &name)
{
    const Channel *channel = connector.registry.find_channel(name);
    return channel && !channel->session_handle().empty() ? channel : nullptr;
}

// Issues remove-session for the channel; a refusal raises `failure_message`
// with the SDK's value as the code.
void remove_session(Connector &connector, const Channel &channel, const char *failure_message);

}  // namespace talkwire

#endif
