// Channels, the session group, voice sessions and their peers.
#include "service.h"

#include "helpers.h"
#include "messages.h"

namespace voicesdk {
namespace service {
namespace {

constexpr int kMediaDisconnected = 1;
constexpr int kMediaConnected = 2;

}  // namespace

std::string channel_uri(const std::string &channel_name, const std::string &domain)
{
    return "sip:channel-" + channel_name + "@" + domain;
}

void Service::channel_create(const IssuedRequest &request, Batch &batch)
{
    auto *create = request_as<sdk_req_account_channel_create_t>(request);
    std::string account = text(create->account_handle);
    if (!own_login(account, request.origin))
        return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
    MessagePtr response = response_to(request);
    if (auto *record = as<sdk_resp_account_channel_create_t>(response))
        put_text(record->channel_uri, channel_uri(text(create->channel_name), domain_of(account)));
    batch.add(std::move(response));
}

void Service::group_create(const IssuedRequest &request, Batch &batch)
{
    std::string account = text(request_as<sdk_req_sessiongroup_create_t>(request)->account_handle);
    if (!own_login(account, request.origin))
        return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
    std::string handle = new_handle("group");
    groups_[handle] = account;
    MessagePtr response = response_to(request);
    if (auto *record = as<sdk_resp_sessiongroup_create_t>(response))
        put_text(record->session_group_handle, handle);
    batch.add(std::move(response));
}

void Service::add_session(const IssuedRequest &request, const std::string &account, const std::string &group,
                          Batch &batch)
{
    // Both records carry the channel's URI and name in the same places.
    auto *add = request_as<sdk_req_session_create_t>(request);
    std::string channel_name = text(add->channel_name);
    std::string channel = text(add->channel_uri);
    if (channel.empty())
        channel = channel_uri(channel_name, domain_of(account));
    std::string handle = new_handle("session");
    Session &session = sessions_[handle];
    session = Session{account, group, channel_name, channel, request.origin, next_tag_++, false};
    MessagePtr response = response_to(request);
    if (request.kind == sdk_request_session_create) {
        if (auto *record = as<sdk_resp_session_create_t>(response)) {
            put_text(record->session_handle, handle);
        }
    } else if (auto *record = as<sdk_resp_sessiongroup_add_session_t>(response)) {
        put_text(record->session_handle, handle);
    }
    batch.add(std::move(response));
    batch.add(media_event(handle, kMediaConnected));
    meet(handle, session, batch);
    peer_script(handle, session, batch);
}

void Service::remove_session(const IssuedRequest &request, Batch &batch)
{
    std::string handle = text(request_as<sdk_req_sessiongroup_remove_session_t>(request)->session_handle);
    if (!own_session(handle, request.origin))
        return batch.add(response_to(request, kUnknownHandle, "Unknown session"));
    end_session(sessions_.find(handle), batch);
    batch.add(response_to(request));
    batch.add(media_event(handle, kMediaDisconnected));
}

void Service::session_request(const IssuedRequest &request, const char *session_handle, Batch &batch)
{
    if (!own_session(text(session_handle), request.origin))
        return batch.add(response_to(request, kUnknownHandle, "Unknown session"));
    batch.add(response_to(request));
}

void Service::speak_into(const IssuedRequest &request, Batch &batch)
{
    auto *select = request_as<sdk_req_sessiongroup_set_tx_session_t>(request);
    if (Session *session = own_session(text(select->session_handle), request.origin)) {
        Login &login = logins_.at(session->account);
        login.tx_chosen = true;
        login.tx_session = text(select->session_handle);
        update_talking(session->account, batch);
    }
    session_request(request, select->session_handle, batch);
}

// Sent even before a session group exists: a group it does not know is
// simply acknowledged.
void Service::speak_into_none(const IssuedRequest &request, Batch &batch)
{
    std::string group = text(request_as<sdk_req_sessiongroup_set_tx_no_session_t>(request)->sessiongroup_handle);
    if (const std::string *account = own_group(group, request.origin)) {
        Login &login = logins_.at(*account);
        login.tx_chosen = true;
        login.tx_session.clear();
        update_talking(*account, batch);
    }
    batch.add(response_to(request));
}

void Service::peer_script(const std::string &session_handle, const Session &session, Batch &batch)
{
    std::string domain = domain_of(session.account);
    auto own = settings_.channel_peers.find(session.channel_name);
    const std::vector<std::string> &peers = own == settings_.channel_peers.end() ? settings_.peers : own->second;
    std::vector<std::string> uris;
    for (const std::string &peer : peers)
        uris.push_back(peer_uri(peer, domain));
    double step = std::max(settings_.peer_interval, 0.0);
    int at = 0;
    for (const std::string &uri : uris)
        batch.add_to(session.origin, participant_added(session_handle, uri), step * ++at, session.tag);
    for (int round = 0; round < settings_.talk_rounds; ++round) {
        for (size_t i = 0; i < uris.size(); ++i) {
            double level = 0.35 + 0.1 * static_cast<double>((round * 3 + static_cast<int>(i) * 5) % 6);
            batch.add_to(session.origin, participant_updated(session_handle, uris[i], 1, 0, level), step * ++at,
                         session.tag);
            batch.add_to(session.origin, participant_updated(session_handle, uris[i], 0, 0, 0.0), step * ++at,
                         session.tag);
        }
    }
    if (!settings_.peers_leave)
        return;
    for (const std::string &uri : uris)
        batch.add_to(session.origin, participant_removed(session_handle, uri), step * ++at, session.tag);
}

std::string Service::peer_uri(const std::string &peer, const std::string &domain) const
{
    if (peer.find(':') != std::string::npos)
        return peer;
    return "sip:" + peer + "@" + domain;
}

void Service::end_session(SessionMap::iterator session, Batch &batch)
{
    // Its peers go quiet at once; nothing of theirs is delivered any more.
    scheduler_.cancel(session->second.tag);
    part(session->first, session->second, batch);
    Login &login = logins_.at(session->second.account);
    if (login.tx_session == session->first)
        login.tx_session.clear();
    sessions_.erase(session);
}
}  // namespace service
}  // namespace voicesdk
