// Login-state changes.
#include "dispatch/message_context.h"

namespace talkwire {
namespace dispatch {
namespace {

constexpr int kLoginFailed = 100;
constexpr int kLoggedOut = 0;

// The SDK's login states as the listener numbers them.
int map_login_state(int login_state)
{
    switch (login_state) {
    case 1: return 2;
    case 2: return 1;
    case 3: return 3;
    case 4: return 1;
    case 100: return 4;
    default: return 0;
    }
}

// Every channel record and desired name goes, and the account's handles.
void clear_channels(Connector &connector)
{
    connector.registry.clear();
    connector.account_handle.clear();
    connector.session_group_handle.clear();
}

}  // namespace

void on_login_state(MessageContext &context, int login_state, int status_code, const char *status_text)
{
    if (login_state == kLoginFailed) {
        clear_channels(context.connector);
        if (status_code == TALKWIRE_STATUS_ACCOUNT_NOT_FOUND)
            context.notify(Callback::OnAccountNotFound);
        else
            context.notify(Callback::FailedOnLogin, status_code, or_empty(status_text));
        return;
    }
    if (login_state == kLoggedOut)
        clear_channels(context.connector);
    context.notify(Callback::OnLoggedIn, map_login_state(login_state));
}

}  // namespace dispatch
}  // namespace talkwire
