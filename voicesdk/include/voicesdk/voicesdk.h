/*
 * voicesdk: the C interface of the voice SDK (our stand-in for the closed
 * library).  Plain C records; the SDK owns a request once it is handed to
 * sdk_issue_request (accepted or refused) and the receiver releases every
 * response and event it takes from sdk_get_message.
 */
#ifndef VOICESDK_VOICESDK_H
#define VOICESDK_VOICESDK_H

#ifdef _WIN32
#  ifdef VOICESDK_BUILDING
#    define VOICESDK_API __declspec(dllexport)
#  else
#    define VOICESDK_API __declspec(dllimport)
#  endif
#else
#  define VOICESDK_API __attribute__((visibility("default")))
#endif

#include "voicesdk/records.def"

#ifdef __cplusplus
extern "C" {
#endif

enum sdk_message_type {
    sdk_message_response = 2,
    sdk_message_event = 3
};

typedef struct sdk_message_base {
    int message_type;
} sdk_message_base_t;

/* Common head of every request. */
typedef struct sdk_req_base {
    int kind;            /* enum sdk_request_kind */
    char *cookie;        /* SDK-owned text, or null */
    void *user_pointer;  /* null, or the caller's pending-request record */
} sdk_req_base_t;

typedef struct sdk_resp_base {
    sdk_message_base_t message;
    int response_type;
    int return_code;      /* 0 success */
    int status_code;      /* 20200: the account does not exist */
    char *status_text;    /* may be null */
    sdk_req_base_t *request;
} sdk_resp_base_t;

typedef struct sdk_evt_base {
    sdk_message_base_t message;
    int event_type;
} sdk_evt_base_t;

#define SDK_F_S(name) char *name;
#define SDK_F_I(name) int name;
#define SDK_F_D(name) double name;
#define SDK_F_IA(name, n) int name[n];
#define SDK_F_DA(name, n) double name[n];
#define SDK_FIELDS(list) list(SDK_F_S, SDK_F_I, SDK_F_D, SDK_F_IA, SDK_F_DA)

enum sdk_request_kind {
#define SDK_KIND_ENUM(kind, rtype) sdk_request_##kind,
    SDK_REQUEST_KINDS(SDK_KIND_ENUM)
#undef SDK_KIND_ENUM
    sdk_request_kind_count
};

enum sdk_response_type {
#define SDK_RTYPE_ENUM(kind, rtype) sdk_response_##kind = rtype,
    SDK_REQUEST_KINDS(SDK_RTYPE_ENUM)
#undef SDK_RTYPE_ENUM
    sdk_response_unused_ = 0
};

enum sdk_event_type {
#define SDK_ETYPE_ENUM(name, etype) sdk_event_##name = etype,
    SDK_EVENT_KINDS(SDK_ETYPE_ENUM)
#undef SDK_ETYPE_ENUM
    sdk_event_unused_ = 0
};

/* Request records and their create functions. */
#define SDK_DECLARE_REQUEST(kind, rtype)                         \
    typedef struct sdk_req_##kind {                              \
        sdk_req_base_t base;                                     \
        SDK_FIELDS(SDK_REQ_FIELDS_##kind)                        \
    } sdk_req_##kind##_t;                                        \
    VOICESDK_API sdk_req_##kind##_t *sdk_req_##kind##_create(void);
SDK_REQUEST_KINDS(SDK_DECLARE_REQUEST)
#undef SDK_DECLARE_REQUEST

/* Records that responses point to. */
typedef struct sdk_device {
    char *device_id;
    char *name;
} sdk_device_t;

typedef struct sdk_connectivity_test_result {
    int test_type;
    int test_result;   /* 0 and 1: passed; anything else: failed */
    char *test_info;   /* may be null */
} sdk_connectivity_test_result_t;

/* Response records: the common head, the plain result fields, and for a few
 * kinds the structured results declared below. */
#define SDK_RESP_EXTRA_aux_connectivity_info \
    int test_count; sdk_connectivity_test_result_t **test_results;
#define SDK_RESP_EXTRA_aux_get_capture_devices \
    int count; sdk_device_t **devices; sdk_device_t *current_device;
#define SDK_RESP_EXTRA_aux_get_render_devices \
    int count; sdk_device_t **devices; sdk_device_t *current_device;
#define SDK_RESP_EXTRA_connector_create
#define SDK_RESP_EXTRA_connector_initiate_shutdown
#define SDK_RESP_EXTRA_account_login
#define SDK_RESP_EXTRA_account_logout
#define SDK_RESP_EXTRA_connector_mute_local_mic
#define SDK_RESP_EXTRA_aux_create_account
#define SDK_RESP_EXTRA_account_channel_create
#define SDK_RESP_EXTRA_sessiongroup_create
#define SDK_RESP_EXTRA_sessiongroup_add_session
#define SDK_RESP_EXTRA_session_create
#define SDK_RESP_EXTRA_sessiongroup_remove_session
#define SDK_RESP_EXTRA_sessiongroup_set_tx_session
#define SDK_RESP_EXTRA_sessiongroup_set_tx_no_session
#define SDK_RESP_EXTRA_session_mute_local_speaker
#define SDK_RESP_EXTRA_session_set_local_speaker_volume
#define SDK_RESP_EXTRA_channel_mute_all_users
#define SDK_RESP_EXTRA_channel_mute_user
#define SDK_RESP_EXTRA_session_set_participant_mute_for_me
#define SDK_RESP_EXTRA_session_set_participant_volume_for_me
#define SDK_RESP_EXTRA_session_set_3d_position
#define SDK_RESP_EXTRA_aux_set_capture_device
#define SDK_RESP_EXTRA_aux_set_render_device
#define SDK_RESP_EXTRA_aux_capture_audio_start
#define SDK_RESP_EXTRA_aux_capture_audio_stop
#define SDK_RESP_EXTRA_aux_get_mic_level
#define SDK_RESP_EXTRA_aux_get_speaker_level
#define SDK_RESP_EXTRA_aux_set_mic_level
#define SDK_RESP_EXTRA_aux_set_speaker_level
#define SDK_RESP_EXTRA_connector_set_local_mic_volume
#define SDK_RESP_EXTRA_connector_set_local_speaker_volume
#define SDK_RESP_EXTRA_connector_mute_local_speaker
#define SDK_RESP_EXTRA_aux_global_monitor_keyboard_mouse

#define SDK_DECLARE_RESPONSE(kind, rtype)                        \
    typedef struct sdk_resp_##kind {                             \
        sdk_resp_base_t base;                                    \
        SDK_FIELDS(SDK_RESP_FIELDS_##kind)                       \
        SDK_RESP_EXTRA_##kind                                    \
    } sdk_resp_##kind##_t;
SDK_REQUEST_KINDS(SDK_DECLARE_RESPONSE)
#undef SDK_DECLARE_RESPONSE

#define SDK_DECLARE_EVENT(name, etype)                           \
    typedef struct sdk_evt_##name {                              \
        sdk_evt_base_t base;                                     \
        SDK_FIELDS(SDK_EVT_FIELDS_##name)                        \
    } sdk_evt_##name##_t;
SDK_EVENT_KINDS(SDK_DECLARE_EVENT)
#undef SDK_DECLARE_EVENT

/* Called on the SDK's notification thread whenever messages may wait. */
typedef void (*sdk_message_notification_handler_t)(void *user_data);

/* 0 when accepted (one response follows later), non-zero otherwise.  The SDK
 * owns the request either way. */
VOICESDK_API int sdk_issue_request(sdk_req_base_t *request);

/* 0 and one message while any waits; non-zero when none is left. */
VOICESDK_API int sdk_get_message(sdk_message_base_t **message);

/* An SDK-owned copy of text (null for null, or when memory runs out). */
VOICESDK_API char *sdk_strdup(const char *text);

VOICESDK_API int sdk_register_message_notification_handler(
    sdk_message_notification_handler_t handler, void *user_data);
/* Returns once no call of that handler is running or will be made. */
VOICESDK_API int sdk_unregister_message_notification_handler(
    sdk_message_notification_handler_t handler, void *user_data);

VOICESDK_API void destroy_resp(sdk_resp_base_t *response);
VOICESDK_API void destroy_evt(sdk_evt_base_t *event);
/* A request that was created and never issued. */
VOICESDK_API void destroy_req(sdk_req_base_t *request);
/* Any message, whatever its type (responses and events included). */
VOICESDK_API void destroy_msg(sdk_message_base_t *message);

#ifdef __cplusplus
}
#endif

#endif
