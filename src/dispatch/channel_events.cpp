// Sessions being added, removed, connected and disconnected.
#include "dispatch/dispatcher.h"

namespace talkwire {
namespace dispatch {

void on_session_state(Dispatch &, const sdk_evt_session_state_change_t &) {}
void on_media_state(Dispatch &, const sdk_evt_media_stream_updated_t &) {}

}  // namespace dispatch
}  // namespace talkwire
