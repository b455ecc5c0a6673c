// Making the service's answers and events.  Every maker returns null when
// memory runs out; the message is then simply not sent, as a lost reply.
#ifndef VOICESDK_SRC_SERVICE_MESSAGES_H
#define VOICESDK_SRC_SERVICE_MESSAGES_H

#include "../responder.h"
#include "message_ptr.h"

#include <string>

namespace voicesdk {
namespace service {

// The response of the request's own type; a failure when status_code is
// not 0.
MessagePtr response_to(const IssuedRequest &request, int status_code = 0, const char *status_text = nullptr);
MessagePtr event_of(int event_type);

template <class Record> Record *as(const MessagePtr &message)
{
    return reinterpret_cast<Record *>(message.get());
}

template <class Record> const Record *request_as(const IssuedRequest &request)
{
    return reinterpret_cast<const Record *>(request.request);
}

// SDK-owned copy of value in an empty text field.
void put_text(char *&field, const std::string &value);
// A request's text, "" when absent.
inline std::string text(const char *value)
{
    return value ? value : "";
}

MessagePtr login_state_event(const std::string &account_handle, int login_state);
MessagePtr media_event(const std::string &session_handle, int media_state);
MessagePtr participant_added(const std::string &session_handle, const std::string &uri);
MessagePtr participant_removed(const std::string &session_handle, const std::string &uri);
MessagePtr participant_updated(const std::string &session_handle, const std::string &uri, int flag_a, int flag_b,
                               double level);
MessagePtr mic_level_event(double energy);

}  // namespace service
}  // namespace voicesdk

#endif
