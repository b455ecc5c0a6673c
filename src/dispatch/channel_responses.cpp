// Answers to channel creation and to adding sessions.
#include "dispatch/dispatcher.h"

namespace talkwire {
namespace dispatch {

void on_add_session(Dispatch &, const sdk_resp_sessiongroup_add_session_t &) {}
void on_session_create(Dispatch &, const sdk_resp_session_create_t &) {}
void on_channel_create(Dispatch &, const sdk_resp_account_channel_create_t &) {}

}  // namespace dispatch
}  // namespace talkwire
