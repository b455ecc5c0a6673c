// What the response and event branches share: the connector, the listener
// calls, and the one callback result a message keeps until it is released.
// Owner thread, interpreter lock held, inside message dispatch.
#ifndef TALKWIRE_DISPATCH_DISPATCHER_H
#define TALKWIRE_DISPATCH_DISPATCHER_H

#include "dispatch/listener.h"
#include "module/connector.h"

namespace talkwire {
namespace dispatch {

class Dispatch {
public:
    explicit Dispatch(Connector &connector) : connector(connector) {}

    // A listener cleared by the collector hears nothing.
    template <class... Arguments>
    void notify(Callback callback, const Arguments &...arguments)
    {
        callback_result_.reset();  // a second call of one message starts clean
        if (PyObject *listener = connector.listener())
            callback_result_ = dispatch::notify(listener, connector.texts, callback, arguments...);
    }

    // An error raised inside a handler has no Python caller.
    void report_error() { report_unraisable(connector.self()); }

    Connector &connector;

private:
    OwnedRef callback_result_;
};

// Text that may be absent: "" for null.
inline const char *or_empty(const char *text) { return text ? text : ""; }

// The status of a login whose account does not exist.
constexpr int kAccountDoesNotExist = TALKWIRE_STATUS_ACCOUNT_NOT_FOUND;

// Places the channels waiting for a first connected one; every failure is
// reported on its own, so one bad channel does not stop the others.
void place_waiting_channels(Dispatch &dispatch);

// Response branches, by the request kind answered.
void on_connector_create(Dispatch &, const sdk_resp_connector_create_t &);
void on_connector_shutdown(Dispatch &, const sdk_resp_connector_initiate_shutdown_t &);
void on_account_login(Dispatch &, const sdk_resp_account_login_t &);
void on_create_account(Dispatch &, const sdk_resp_aux_create_account_t &);
void on_add_session(Dispatch &, const sdk_resp_sessiongroup_add_session_t &);
void on_remove_session(Dispatch &, const sdk_resp_sessiongroup_remove_session_t &);
void on_session_create(Dispatch &, const sdk_resp_session_create_t &);
void on_channel_create(Dispatch &, const sdk_resp_account_channel_create_t &);
void on_connectivity_info(Dispatch &, const sdk_resp_aux_connectivity_info_t &);

// Event branches.
void on_login_state(Dispatch &, int login_state, int status_code, const char *status_text);
void on_session_state(Dispatch &, const sdk_evt_session_state_change_t &);
void on_media_state(Dispatch &, const sdk_evt_media_stream_updated_t &);
void on_participant_state(Dispatch &, const sdk_evt_participant_state_change_t &);
void on_participant_added(Dispatch &, const char *session_handle, const char *participant_uri,
                          int participant_type);
void on_participant_removed(Dispatch &, const char *session_handle, const char *participant_uri);
void on_participant_properties(Dispatch &, const char *session_handle, const char *participant_uri,
                               int flag_a, int flag_b, double level);
void on_microphone_level(Dispatch &, const sdk_evt_aux_audio_properties_t &);
void on_key_event(Dispatch &, const sdk_evt_keyboard_mouse_t &);

}  // namespace dispatch
}  // namespace talkwire

#endif
