// Participants joining, leaving and changing.
#include "dispatch/dispatcher.h"

namespace talkwire {
namespace dispatch {

void on_participant_state(Dispatch &, const sdk_evt_participant_state_change_t &) {}
void on_participant_added(Dispatch &, const char *, const char *, int) {}
void on_participant_removed(Dispatch &, const char *, const char *) {}
void on_participant_properties(Dispatch &, const char *, const char *, int, int, double) {}

}  // namespace dispatch
}  // namespace talkwire
