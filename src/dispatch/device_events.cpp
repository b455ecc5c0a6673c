// Microphone-level and key events.
#include "dispatch/message_context.h"

namespace talkwire {
namespace dispatch {

void on_microphone_level(MessageContext &context, const sdk_evt_aux_audio_properties_t &event)
{
    if (event.mic_active != 0)
        context.connector.audio_test_passed = true;  // only StartAudioTest clears it
    // Truncated toward zero: 0.29 gives 28, not 29.  Out-of-range energies
    // saturate instead of being undefined.
    double scaled = event.mic_energy * 100.0;
    int level = scaled >= 2147483647.0 ? 2147483647
              : scaled <= -2147483648.0 ? (-2147483647 - 1)
              : scaled != scaled ? 0 : static_cast<int>(scaled);
    context.notify(Callback::OnMicrophoneIntensityEvent, level, TALKWIRE_MIC_LEVEL_MIN,
                   TALKWIRE_MIC_LEVEL_MAX);
}

void on_key_event(MessageContext &context, const sdk_evt_keyboard_mouse_t &event)
{
    // An absent binding name reaches the listener as None.
    context.notify(Callback::OnKeyEvent, static_cast<const char *>(event.binding_name), event.key_state);
}

}  // namespace dispatch
}  // namespace talkwire
