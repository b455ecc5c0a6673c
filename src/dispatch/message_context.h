// What the response and event branches share: the message handled, its
// connector, the listener calls, and the one callback result a message keeps
// until it is released.  Owner thread, interpreter lock held, inside message
// dispatch.
#ifndef TALKWIRE_DISPATCH_MESSAGE_CONTEXT_H
#define TALKWIRE_DISPATCH_MESSAGE_CONTEXT_H

#include "bridge/errors.h"
#include "bridge/sdk_message.h"
#include "dispatch/listener.h"
#include "module/connector.h"

#include <new>
#include <utility>

namespace talkwire {
namespace dispatch {

class MessageContext {
public:
    MessageContext(Connector &connector, SdkMessage &&message) : connector(connector), message_(std::move(message)) {}

    const sdk_message_base_t &message() const { return *message_.get(); }

    // A listener cleared by the collector hears nothing.
    template <class... Arguments>
    void notify(Callback callback, const Arguments &...arguments)
    {
        callback_result_.reset();  // a second call of one message starts clean
        if (PyObject *listener = connector.listener())
            callback_result_ = notify_listener(listener, connector.texts, callback, arguments...);
    }

    // Runs `step`.  An error it raises has no Python caller: it goes to the
    // unraisable hook (or ends our pump, bridge/pump_exit.h) and false is
    // returned.
    template <class Step>
    bool reporting_errors(Step &&step)
    {
        try {
            step();
            return true;
        } catch (const PyErrOccurred &) {
        } catch (const std::bad_alloc &) {
            PyErr_NoMemory();
        }
        report_unraisable(connector.self());
        return false;
    }

    Connector &connector;

private:
    // In this order, so that the message is released before the result.
    OwnedRef callback_result_;
    SdkMessage message_;
};

// Text that may be absent: "" for null.
inline const char *or_empty(const char *text) { return text ? text : ""; }

// Places every desired channel waiting in Created, in name order.  Each
// failure is reported on its own, so one bad channel does not stop the
// others.
void place_waiting_channels(MessageContext &context);

// Response branches, by the request kind answered.
void on_connector_create(MessageContext &, const sdk_resp_connector_create_t &);
void on_connector_shutdown(MessageContext &, const sdk_resp_connector_initiate_shutdown_t &);
void on_account_login(MessageContext &, const sdk_resp_account_login_t &);
void on_create_account(MessageContext &, const sdk_resp_aux_create_account_t &);
void on_add_session(MessageContext &, const sdk_resp_sessiongroup_add_session_t &);
void on_remove_session(MessageContext &, const sdk_resp_sessiongroup_remove_session_t &);
void on_session_create(MessageContext &, const sdk_resp_session_create_t &);
void on_channel_create(MessageContext &, const sdk_resp_account_channel_create_t &);
void on_connectivity_info(MessageContext &, const sdk_resp_aux_connectivity_info_t &);

// Event branches.
void on_login_state(MessageContext &, int login_state, int status_code, const char *status_text);
void on_session_state(MessageContext &, const sdk_evt_session_state_change_t &);
void on_media_state(MessageContext &, const sdk_evt_media_stream_updated_t &);
void on_participant_state(MessageContext &, const sdk_evt_participant_state_change_t &);
void on_participant_added(MessageContext &, const char *session_handle, const char *participant_uri,
                          int participant_type);
void on_participant_removed(MessageContext &, const char *session_handle, const char *participant_uri);
void on_participant_properties(MessageContext &, const char *session_handle, const char *participant_uri,
                               int flag_a, int flag_b, double level);
void on_microphone_level(MessageContext &, const sdk_evt_aux_audio_properties_t &);
void on_key_event(MessageContext &, const sdk_evt_keyboard_mouse_t &);

}  // namespace dispatch
}  // namespace talkwire

#endif
