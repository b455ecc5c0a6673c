// Per-channel and per-participant controls: speaking channel, channel
// output mute and volume, moderator mutes, mute and volume for me.  Each
// turns into one request, issued only for a channel whose session is known.
#include "audio/levels.h"
#include "bridge/requests.h"
#include "bridge/trace.h"
#include "channels/sessions.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

#include <cstdint>

namespace talkwire {
namespace {

// The shape of most controls here: `issue(connector, channel)` makes and
// issues the request when the named channel's session is known; None either
// way.
template <class Issue>
PyObject *channel_control(PyObject *self, const std::string &name, Issue &&issue)
{
    return method_entry(self, [&](Connector &connector) {
        if (const Channel *channel = channel_with_session(connector, name))
            issue(connector, *channel);
        return new_none();
    });
}

}  // namespace

PyObject *Connector_SetSpeakingChannel(PyObject *self, CallArgs args)
{
    std::string name;
    if (!args::parse(args, "|s:SetSpeakingChannel", &name))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        if (name.empty()) {
            // Clearing needs no channel, and is sent even before a session
            // group exists.
            auto request = make_request(sdk_req_sessiongroup_set_tx_no_session_create, connector.cookies);
            request.text(&sdk_req_sessiongroup_set_tx_no_session_t::sessiongroup_handle,
                         connector.session_group_handle);
            issue_request(std::move(request), msg::kCouldNotClearSpeakingChannel);
            return new_none();
        }
        const Channel *channel = channel_with_session(connector, name);
        if (!channel)
            return new_none();
        using Record = sdk_req_sessiongroup_set_tx_session_t;
        auto request = make_request(sdk_req_sessiongroup_set_tx_session_create, connector.cookies);
        request.text(&Record::session_handle, channel->session_handle());
        request.text(&Record::sessiongroup_handle, connector.session_group_handle);
        issue_request(std::move(request), msg::kCouldNotSetSpeakingChannel);
        return new_none();
    });
}

PyObject *Connector_MuteChannelOutput(PyObject *self, CallArgs args)
{
    std::string name;
    int mute = 0;
    if (!args::parse(args, "|si:MuteChannelOutput", &name, &mute))
        return nullptr;
    return channel_control(self, name, [&](Connector &connector, const Channel &channel) {
        auto request = make_request(sdk_req_session_mute_local_speaker_create, connector.cookies);
        request.text(&sdk_req_session_mute_local_speaker_t::session_handle, channel.session_handle());
        request->mute = mute;
        issue_request(std::move(request), msg::kCouldNotMuteChannelOutput);
    });
}

PyObject *Connector_SetChannelOutputVolume(PyObject *self, CallArgs args)
{
    std::string name;
    int volume = 0;
    if (!args::parse(args, "|si:SetChannelOutputVolume", &name, &volume))
        return nullptr;
    return channel_control(self, name, [&](Connector &connector, const Channel &channel) {
        using Record = sdk_req_session_set_local_speaker_volume_t;
        auto request = make_request(sdk_req_session_set_local_speaker_volume_create, connector.cookies);
        request.text(&Record::session_handle, channel.session_handle());
        request->volume = volume_to_level(volume);
        issue_request(std::move(request), msg::kCouldNotSetChannelOutputVolume);
    });
}

PyObject *Connector_ModeratorMuteAll(PyObject *self, CallArgs args)
{
    std::string name;
    int mute = 0;
    if (!args::parse(args, "|si:ModeratorMuteAll", &name, &mute))
        return nullptr;
    return channel_control(self, name, [&](Connector &connector, const Channel &channel) {
        using Record = sdk_req_channel_mute_all_users_t;
        auto request = make_request(sdk_req_channel_mute_all_users_create, connector.cookies);
        request.text(&Record::account_handle, connector.account_handle);
        request.text(&Record::channel_name, channel.name);
        request.text(&Record::channel_uri, channel.uri);
        request->mute = mute;
        issue_request(std::move(request), msg::kCouldNotModeratorMute);
    });
}

PyObject *Connector_ModeratorMute(PyObject *self, CallArgs args)
{
    std::string name;
    std::string participant_uri;
    int mute = 0;
    if (!args::parse(args, "|ssi:ModeratorMute", &name, &participant_uri, &mute))
        return nullptr;
    return channel_control(self, name, [&](Connector &connector, const Channel &channel) {
        using Record = sdk_req_channel_mute_user_t;
        auto request = make_request(sdk_req_channel_mute_user_create, connector.cookies);
        request.text(&Record::account_handle, connector.account_handle);
        request.text(&Record::channel_name, channel.name);
        request.text(&Record::channel_uri, channel.uri);
        request.text(&Record::participant_uri, participant_uri);
        request->mute = mute;
        issue_request(std::move(request), msg::kCouldNotModeratorMute);  // same text as muting all
    });
}

PyObject *Connector_MuteParticipantForMe(PyObject *self, CallArgs args)
{
    std::string name;
    std::string participant_uri;
    int mute = 0;
    if (!args::parse(args, "|ssi:MuteParticipantForMe", &name, &participant_uri, &mute))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        trace("%s %s %i %x\r\n", name.c_str(), participant_uri.c_str(), mute,
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(connector.registry.find_channel(name))));
        const Channel *channel = channel_with_session(connector, name);
        if (!channel)
            return new_none();
        using Record = sdk_req_session_set_participant_mute_for_me_t;
        auto request = make_request(sdk_req_session_set_participant_mute_for_me_create, connector.cookies);
        request.text(&Record::session_handle, channel->session_handle());
        request.text(&Record::participant_uri, participant_uri);
        request->mute = mute;
        issue_request(std::move(request), msg::kCouldNotMuteParticipant);
        return new_none();
    });
}

PyObject *Connector_SetParticipantVolumeForMe(PyObject *self, CallArgs args)
{
    std::string name;
    std::string participant_uri;
    int volume = 0;
    if (!args::parse(args, "|ssi:SetParticipantVolumeForMe", &name, &participant_uri, &volume))
        return nullptr;
    return channel_control(self, name, [&](Connector &connector, const Channel &channel) {
        using Record = sdk_req_session_set_participant_volume_for_me_t;
        auto request = make_request(sdk_req_session_set_participant_volume_for_me_create, connector.cookies);
        request.text(&Record::session_handle, channel.session_handle());
        request.text(&Record::participant_uri, participant_uri);
        request->volume = volume_to_level(volume) + channel.volume_base - 50;
        issue_request(std::move(request), msg::kCouldNotSetParticipantVolume);
    });
}

}  // namespace talkwire
