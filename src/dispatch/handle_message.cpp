#include "dispatch/handle_message.h"

#include "dispatch/message_context.h"

namespace talkwire {
namespace dispatch {

void handle_message(Connector &connector, SdkMessage message)
{
    MessageContext context(connector, std::move(message));
    const sdk_message_base_t &handled = context.message();
    context.reporting_errors([&] {
        switch (handled.message_type) {
        case sdk_message_response:
            route_response(context, reinterpret_cast<const sdk_resp_base_t &>(handled));
            break;
        case sdk_message_event:
            route_event(context, reinterpret_cast<const sdk_evt_base_t &>(handled));
            break;
        default:
            break;  // released unheard
        }
    });
}

}  // namespace dispatch
}  // namespace talkwire
