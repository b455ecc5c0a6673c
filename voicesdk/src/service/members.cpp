// Who meets whom: every session in a channel sees the participants of the
// other accounts there, hears who talks, and hears moderator mutes.  Puppet
// peers (sessions.cpp) are each session's own and meet nobody else.
#include "service.h"

#include "messages.h"

#include <algorithm>

namespace voicesdk {
namespace service {
namespace {

// What the others hear while a participant talks.
constexpr double kVoiceLevel = 0.6;

}  // namespace

bool Service::speaks(const std::string &session_handle, const Session &session) const
{
    const Login &login = logins_.at(session.account);
    if (!connectors_.at(login.connector).mic_open)
        return false;
    return !login.tx_chosen || login.tx_session == session_handle;
}

// What the session `to` hears of the participant `uri`.  flag_a: talking
// (and heard: not muted); flag_b: muted by a moderator.
void Service::report_state(const Channel &channel, const std::string &uri, bool talking, const std::string &to,
                           Batch &batch)
{
    bool muted = channel.muted.count(uri) != 0;
    bool heard = talking && !muted;
    batch.add_to(sessions_.at(to).origin,
                 participant_updated(to, uri, heard ? 1 : 0, muted ? 1 : 0, heard ? kVoiceLevel : 0.0));
}

void Service::meet(const std::string &session_handle, Session &session, Batch &batch)
{
    Channel &channel = channels_[session.channel];
    const std::string &uri = logins_.at(session.account).uri;
    session.talking = speaks(session_handle, session);
    for (const std::string &member : channel.sessions) {
        const Session &other = sessions_.at(member);
        if (other.account == session.account)
            continue;
        const std::string &other_uri = logins_.at(other.account).uri;
        batch.add_to(session.origin, participant_added(session_handle, other_uri));
        if (other.talking || channel.muted.count(other_uri))
            report_state(channel, other_uri, other.talking, session_handle, batch);
        batch.add_to(other.origin, participant_added(member, uri));
        if (session.talking || channel.muted.count(uri))
            report_state(channel, uri, session.talking, member, batch);
    }
    channel.sessions.push_back(session_handle);
}

void Service::part(const std::string &session_handle, const Session &session, Batch &batch)
{
    auto channel = channels_.find(session.channel);
    if (channel == channels_.end())
        return;
    std::vector<std::string> &members = channel->second.sessions;
    members.erase(std::remove(members.begin(), members.end(), session_handle), members.end());
    const std::string &uri = logins_.at(session.account).uri;
    for (const std::string &member : members) {
        const Session &other = sessions_.at(member);
        if (other.account != session.account)
            batch.add_to(other.origin, participant_removed(member, uri));
    }
    // An empty channel is forgotten, moderator mutes and all.
    if (members.empty())
        channels_.erase(channel);
}

// After the account's microphone or speaking choice changed: the others in
// each of its channels hear whether it talks now.
void Service::update_talking(const std::string &account_handle, Batch &batch)
{
    const std::string &uri = logins_.at(account_handle).uri;
    for (auto &entry : sessions_) {
        Session &session = entry.second;
        if (session.account != account_handle)
            continue;
        bool talking = speaks(entry.first, session);
        if (talking == session.talking)
            continue;
        session.talking = talking;
        Channel &channel = channels_.at(session.channel);
        for (const std::string &member : channel.sessions)
            if (sessions_.at(member).account != account_handle)
                report_state(channel, uri, talking, member, batch);
    }
}

// A moderator's mute reaches every session in the channel, the muted
// participant's own included.  Muting all mutes everyone but the moderator.
void Service::moderator_mute(const IssuedRequest &request, Batch &batch)
{
    // Both records begin with the account handle, channel name and URI.
    auto *all = request_as<sdk_req_channel_mute_all_users_t>(request);
    std::string account = text(all->account_handle);
    Login *moderator = own_login(account, request.origin);
    if (!moderator)
        return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
    std::string key = text(all->channel_uri);
    if (key.empty())
        key = channel_uri(text(all->channel_name), domain_of(account));
    auto channel = channels_.find(key);
    if (channel != channels_.end()) {
        std::vector<std::string> targets;
        bool mute;
        if (request.kind == sdk_request_channel_mute_user) {
            auto *one = request_as<sdk_req_channel_mute_user_t>(request);
            targets.push_back(text(one->participant_uri));
            mute = one->mute != 0;
        } else {
            for (const std::string &member : channel->second.sessions) {
                const std::string &uri = logins_.at(sessions_.at(member).account).uri;
                if (uri != moderator->uri && std::find(targets.begin(), targets.end(), uri) == targets.end())
                    targets.push_back(uri);
            }
            mute = all->mute != 0;
        }
        Channel &members = channel->second;
        for (const std::string &uri : targets) {
            if ((members.muted.count(uri) != 0) == mute)
                continue;
            if (mute)
                members.muted.insert(uri);
            else
                members.muted.erase(uri);
            bool talking = false;
            for (const std::string &member : members.sessions) {
                const Session &session = sessions_.at(member);
                if (logins_.at(session.account).uri == uri)
                    talking = talking || session.talking;
            }
            for (const std::string &member : members.sessions)
                report_state(members, uri, talking, member, batch);
        }
    }
    batch.add(response_to(request));
}

}  // namespace service
}  // namespace voicesdk
