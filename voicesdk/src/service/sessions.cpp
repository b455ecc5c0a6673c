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

void Service::channel_create(const IssuedRequest &request, Batch &batch)
{
    auto *create = request_as<sdk_req_account_channel_create_t>(request);
    std::string account = text(create->account_handle);
    if (!logins_.count(account))
        return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
    MessagePtr response = response_to(request);
    if (auto *record = as<sdk_resp_account_channel_create_t>(response))
        put_text(record->channel_uri, "sip:channel-" + text(create->channel_name) + "@" + domain_of(account));
    batch.add(std::move(response));
}

void Service::group_create(const IssuedRequest &request, Batch &batch)
{
    std::string account = text(request_as<sdk_req_sessiongroup_create_t>(request)->account_handle);
    if (!logins_.count(account))
        return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
    std::string handle = new_handle("group");
    groups_[handle] = account;
    MessagePtr response = response_to(request);
    if (auto *record = as<sdk_resp_sessiongroup_create_t>(response))
        put_text(record->session_group_handle, handle);
    batch.add(std::move(response));
}

void Service::add_session(const IssuedRequest &request, const std::string &account, const std::string &group,
                          const std::string &channel_name, Batch &batch)
{
    std::string handle = new_handle("session");
    Session &session = sessions_[handle];
    session = Session{account, group, channel_name, next_tag_++};
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
    peer_script(handle, session, batch);
}

void Service::remove_session(const IssuedRequest &request, Batch &batch)
{
    std::string handle = text(request_as<sdk_req_sessiongroup_remove_session_t>(request)->session_handle);
    auto session = sessions_.find(handle);
    if (session == sessions_.end())
        return batch.add(response_to(request, kUnknownHandle, "Unknown session"));
    end_session(session);
    batch.add(response_to(request));
    batch.add(media_event(handle, kMediaDisconnected));
}

void Service::session_request(const IssuedRequest &request, const char *session_handle, Batch &batch)
{
    if (!sessions_.count(text(session_handle)))
        return batch.add(response_to(request, kUnknownHandle, "Unknown session"));
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
        batch.add(participant_added(session_handle, uri), step * ++at, session.tag);
    for (int round = 0; round < settings_.talk_rounds; ++round) {
        for (size_t i = 0; i < uris.size(); ++i) {
            double level = 0.35 + 0.1 * static_cast<double>((round * 3 + static_cast<int>(i) * 5) % 6);
            batch.add(participant_updated(session_handle, uris[i], 1, 0, level), step * ++at, session.tag);
            batch.add(participant_updated(session_handle, uris[i], 0, 0, 0.0), step * ++at, session.tag);
        }
    }
    if (!settings_.peers_leave)
        return;
    for (const std::string &uri : uris)
        batch.add(participant_removed(session_handle, uri), step * ++at, session.tag);
}

std::string Service::peer_uri(const std::string &peer, const std::string &domain) const
{
    if (peer.find(':') != std::string::npos)
        return peer;
    return "sip:" + peer + "@" + domain;
}

void Service::end_session(std::map<std::string, Session>::iterator session)
{
    // Its peers go quiet at once; nothing of theirs is delivered any more.
    scheduler_.cancel(session->second.tag);
    if (speaking_session_ == session->first)
        speaking_session_.clear();
    sessions_.erase(session);
}
}  // namespace service
}  // namespace voicesdk
