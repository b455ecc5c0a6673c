// Connectors, logins and accounts.
#include "service.h"

#include "helpers.h"
#include "messages.h"

namespace voicesdk {
namespace service {
namespace {

// Login states as the service reports them.
constexpr int kLoggedOut = 0;
constexpr int kLoggedIn = 1;
constexpr int kLoggingIn = 2;
constexpr int kLoggingOut = 3;

// The voice domain is the account server's host without its "www.".
std::string domain_from_url(const std::string &url)
{
    size_t scheme = url.find("://");
    std::string host = url.substr(scheme == std::string::npos ? 0 : scheme + 3);
    host = host.substr(0, host.find_first_of("/:"));
    if (host.compare(0, 4, "www.") == 0)
        host.erase(0, 4);
    return host.empty() ? "voice.local" : host;
}

}  // namespace

void Service::connector_create(const IssuedRequest &request, Batch &batch)
{
    auto *create = request_as<sdk_req_connector_create_t>(request);
    std::string handle = new_handle("connector");
    connectors_[handle] = Connector{domain_from_url(text(create->account_server_url)), request.origin, false};
    MessagePtr response = response_to(request);
    if (auto *record = as<sdk_resp_connector_create_t>(response))
        put_text(record->connector_handle, handle);
    batch.add(std::move(response));
}

void Service::connector_shutdown(const IssuedRequest &request, Batch &batch)
{
    std::string handle = text(request_as<sdk_req_connector_initiate_shutdown_t>(request)->connector_handle);
    if (!own_connector(handle, request.origin))
        return batch.add(response_to(request, kUnknownHandle, "Unknown connector"));
    end_connector(handle, batch);
    batch.add(response_to(request));
}

void Service::end_connector(const std::string &connector_handle, Batch &batch)
{
    std::vector<std::string> accounts;
    for (const auto &login : logins_)
        if (login.second.connector == connector_handle)
            accounts.push_back(login.first);
    for (const std::string &account : accounts)
        end_login(account, batch);
    connectors_.erase(connector_handle);
}

// Talk(0) opens the microphone and Talk(1) closes it; the others in the
// channels it speaks into hear the difference.
void Service::mute_microphone(const IssuedRequest &request, Batch &batch)
{
    auto *mute = request_as<sdk_req_connector_mute_local_mic_t>(request);
    std::string handle = text(mute->connector_handle);
    // A connector the service does not know is acknowledged all the same:
    // the microphone is the machine's.
    if (Connector *connector = own_connector(handle, request.origin)) {
        connector->mic_open = mute->mute == 0;
        for (const auto &login : logins_)
            if (login.second.connector == handle)
                update_talking(login.first, batch);
    }
    batch.add(response_to(request));
}

void Service::login(const IssuedRequest &request, Batch &batch)
{
    auto *login = request_as<sdk_req_account_login_t>(request);
    std::string connector = text(login->connector_handle);
    std::string name = text(login->account_name);
    std::string password = text(login->password);
    if (!own_connector(connector, request.origin))
        return batch.add(response_to(request, kUnknownHandle, "Unknown connector"));

    auto created = created_accounts_.find(name);
    auto configured = settings_.accounts.find(name);
    if (created != created_accounts_.end()) {
        if (created->second != password)
            return batch.add(response_to(request, kWrongPassword, "Wrong password"));
    } else if (configured != settings_.accounts.end()) {
        if (!configured->second.any_password && configured->second.password != password)
            return batch.add(response_to(request, kWrongPassword, "Wrong password"));
    } else if (!settings_.open_accounts || name.empty()) {
        return batch.add(response_to(request, kAccountNotFound, "Account not found"));
    }

    for (const auto &other : logins_)
        if (other.second.name == name)
            return batch.add(response_to(request, kAlreadyLoggedIn, "Account already logged in"));

    std::string handle = new_handle("account");
    std::string uri = "sip:" + name + "@" + connectors_[connector].voice_domain;
    logins_[handle] = Login{name, connector, uri, request.origin, false, std::string()};
    MessagePtr response = response_to(request);
    if (auto *record = as<sdk_resp_account_login_t>(response)) {
        put_text(record->account_handle, handle);
        put_text(record->display_name, name);
    }
    batch.add(std::move(response));
    batch.add(login_state_event(handle, kLoggingIn));
    batch.add(login_state_event(handle, kLoggedIn), settings_.latency);
}

void Service::logout(const IssuedRequest &request, Batch &batch)
{
    std::string handle = text(request_as<sdk_req_account_logout_t>(request)->account_handle);
    if (!own_login(handle, request.origin))
        return batch.add(response_to(request, kUnknownHandle, "Unknown account"));
    end_login(handle, batch);
    batch.add(response_to(request));
    batch.add(login_state_event(handle, kLoggingOut));
    batch.add(login_state_event(handle, kLoggedOut), settings_.latency);
}

void Service::create_account(const IssuedRequest &request, Batch &batch)
{
    auto *create = request_as<sdk_req_aux_create_account_t>(request);
    std::string name = text(create->user_name);
    if (name.empty())
        return batch.add(response_to(request, kInvalidAccount, "Account name missing"));
    if (created_accounts_.count(name) || settings_.accounts.count(name))
        return batch.add(response_to(request, kAccountExists, "Account name taken"));
    created_accounts_[name] = text(create->password);
    batch.add(response_to(request));
}

std::string Service::domain_of(const std::string &account_handle) const
{
    auto login = logins_.find(account_handle);
    if (login == logins_.end())
        return "voice.local";
    auto connector = connectors_.find(login->second.connector);
    return connector == connectors_.end() ? "voice.local" : connector->second.voice_domain;
}

void Service::end_login(const std::string &account_handle, Batch &batch)
{
    for (auto session = sessions_.begin(); session != sessions_.end();) {
        auto next = std::next(session);
        if (session->second.account == account_handle)
            end_session(session, batch);
        session = next;
    }
    for (auto group = groups_.begin(); group != groups_.end();)
        group = group->second == account_handle ? groups_.erase(group) : std::next(group);
    logins_.erase(account_handle);
}
}  // namespace service
}  // namespace voicesdk
