/*
 * voicesdk control: the stand-in's own interface for scripting it (the
 * Python control module and the C++ tests).  The closed SDK has nothing like
 * it; product code must not use it.
 *
 * Records made here come from the same allocator as the SDK's own, so every
 * destroy_* function releases them.  Text written into a record must come
 * from sdk_ctl_strdup (never fault-injected) or sdk_strdup; one that never
 * goes into a record is released with sdk_ctl_free_text (never free()).
 */
#ifndef VOICESDK_CONTROL_H
#define VOICESDK_CONTROL_H

#include <stddef.h>

#include "voicesdk/voicesdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- reflection over the records in records.def ----------------------- */

enum sdk_field_kind {
    sdk_field_text = 0,      /* char *, SDK-owned */
    sdk_field_int,           /* int */
    sdk_field_double,        /* double */
    sdk_field_int_array,     /* int[length] */
    sdk_field_double_array   /* double[length] */
};

typedef struct sdk_field_info {
    const char *name;
    int kind;       /* enum sdk_field_kind */
    size_t offset;  /* from the start of the record */
    int length;     /* elements of an array field; 1 otherwise */
} sdk_field_info_t;

enum sdk_record_class {
    sdk_record_request = 0,
    sdk_record_response,
    sdk_record_event,
    sdk_record_message   /* bare message of another type */
};

/* Results of a response that are not plain fields. */
enum sdk_record_extra {
    sdk_extra_none = 0,
    sdk_extra_test_results,  /* test_count, test_results */
    sdk_extra_devices        /* count, devices, current_device */
};

typedef struct sdk_record_info {
    const char *name;   /* request kind or event name; null for base-only */
    int record_class;   /* enum sdk_record_class */
    int kind;           /* enum sdk_request_kind, or -1 */
    int type;           /* response or event type; -1 for base-only */
    size_t size;
    int field_count;
    const sdk_field_info_t *fields;  /* own fields, in record order */
    int extra;          /* enum sdk_record_extra */
} sdk_record_info_t;

/* Null when kind is out of range. */
VOICESDK_API const sdk_record_info_t *sdk_ctl_request_info(int kind);
/* The kind whose name is given (without sdk_req_ / _create), or -1. */
VOICESDK_API int sdk_ctl_request_kind(const char *name);
/* Never null: unknown types get the base-only record. */
VOICESDK_API const sdk_record_info_t *sdk_ctl_response_info(int response_type);
VOICESDK_API const sdk_record_info_t *sdk_ctl_event_info(int event_type);
/* The layout of a record the SDK allocated (request or message). */
VOICESDK_API const sdk_record_info_t *sdk_ctl_record_info(const void *record);

/* ---- making records ---------------------------------------------------- */

/* Zero-filled; null when memory runs out. */
VOICESDK_API sdk_req_base_t *sdk_ctl_request_create(int kind);
/* The record struct follows response_type; the response keeps `request`
 * (may be null) readable for as long as it lives. */
VOICESDK_API sdk_resp_base_t *sdk_ctl_response_create(int response_type,
                                                      sdk_req_base_t *request);
VOICESDK_API sdk_evt_base_t *sdk_ctl_event_create(int event_type);
/* Types 2 and 3 give base-only responses and events. */
VOICESDK_API sdk_message_base_t *sdk_ctl_message_create(int message_type);

VOICESDK_API char *sdk_ctl_strdup(const char *text);
/* Releases a text from sdk_strdup or sdk_ctl_strdup that no record took. */
VOICESDK_API void sdk_ctl_free_text(char *text);

/* Structured results; the items are copied.  Non-zero when the response has
 * no such results or memory runs out (the response is then unchanged). */
VOICESDK_API int sdk_ctl_resp_set_test_results(
    sdk_resp_base_t *response, int count,
    const sdk_connectivity_test_result_t *items);
/* current: the current device's name, or null for none. */
VOICESDK_API int sdk_ctl_resp_set_devices(sdk_resp_base_t *response, int count,
                                          const char *const *names,
                                          const char *current);

/* ---- queue ------------------------------------------------------------- */

/* Queues a message; the SDK owns it from here. */
VOICESDK_API void sdk_ctl_post(sdk_message_base_t *message);
/* Queues `count` copies of an event in one go (the prototype stays the
 * caller's).  Non-zero, with nothing queued, when memory runs out. */
VOICESDK_API int sdk_ctl_event_burst(const sdk_evt_base_t *prototype, int count);
/* 1 once the queue is empty and no handler call is running; 0 on time-out
 * or when messages wait with no handler registered. */
VOICESDK_API int sdk_ctl_flush(double timeout_seconds);
VOICESDK_API int sdk_ctl_handler_count(void);

/* ---- scripting --------------------------------------------------------- */

/* Answer accepted requests of `kind` with copies of `prototype` (adopted:
 * the SDK owns and releases it).  Once-rules are used up in the order given
 * and come before the latest standing rule.  Non-zero for a bad kind. */
VOICESDK_API int sdk_ctl_answer(int kind, sdk_resp_base_t *prototype, int once);
/* The next `count` issues return `code` and are never answered. */
VOICESDK_API void sdk_ctl_refuse(int code, int count);
/* The next `count` calls of sdk_strdup return null. */
VOICESDK_API void sdk_ctl_fail_strdup(int count);

enum sdk_ctl_mode_result {
    sdk_ctl_mode_ok = 0,
    sdk_ctl_mode_unknown,
    sdk_ctl_mode_unavailable   /* known, but not part of this build */
};
VOICESDK_API int sdk_ctl_set_mode(const char *name);

/* The local voice server a connector created from now on talks to
 * ("host:port"), instead of the one VOICESDK_SERVER names; "" for none
 * whatever the variable says, null to follow the variable again.  Creating
 * a connector while a server is named switches to the "remote" mode. */
VOICESDK_API void sdk_ctl_set_server(const char *address);
/* The protocol version this build speaks to the local voice server and
 * the digest of its record layouts that the handshake compares. */
VOICESDK_API void sdk_ctl_server_protocol(int *version, unsigned long *layout_digest);

typedef struct sdk_ctl_recorded {
    sdk_req_base_t *request;  /* kept readable until sdk_ctl_requests_free */
    int kind;
    int sync;
    int accepted;
    unsigned long long index; /* place in issue order since the last clear */
} sdk_ctl_recorded_t;

/* The kept requests in issue order; free with sdk_ctl_requests_free.  Null
 * with *count 0 when none (or memory runs out).  Scripted mode keeps every
 * issued request; while the simulated service answers, only the latest
 * sdk_ctl_request_limit() are kept. */
VOICESDK_API sdk_ctl_recorded_t *sdk_ctl_requests(size_t *count);
VOICESDK_API void sdk_ctl_requests_free(sdk_ctl_recorded_t *list, size_t count);
/* Forgets the kept requests; the total starts again from 0. */
VOICESDK_API void sdk_ctl_clear_requests(void);
/* Requests issued since the last clear, those no longer kept included. */
VOICESDK_API unsigned long long sdk_ctl_request_total(void);
/* How many requests are kept while the service answers (1000 after a
 * reset).  A non-zero `limit` sets it first; returns the limit in effect. */
VOICESDK_API size_t sdk_ctl_request_limit(size_t limit);

/* Recorded requests (and their limit), rules, refusals, queued messages,
 * strdup faults, mode and the chosen server all back to their start. */
VOICESDK_API void sdk_ctl_reset(void);

/* ---- the simulated voice service --------------------------------------- */

typedef struct sdk_ctl_texts {
    int count;
    const char *const *items;
} sdk_ctl_texts_t;

typedef struct sdk_ctl_account {
    const char *name;
    const char *password;   /* null: any password logs in */
} sdk_ctl_account_t;

typedef struct sdk_ctl_channel_peers {
    const char *channel;
    sdk_ctl_texts_t peers;
} sdk_ctl_channel_peers_t;

/* What the service does; voicesdk.service() documents each setting. */
typedef struct sdk_ctl_service_settings {
    double latency;
    int open_accounts;      /* non-zero: any account name logs in */
    int account_count;
    const sdk_ctl_account_t *accounts;
    sdk_ctl_texts_t peers;
    int channel_peer_count;
    const sdk_ctl_channel_peers_t *channel_peers;
    double peer_interval;
    int talk_rounds;
    int peers_leave;
    sdk_ctl_texts_t capture_devices;
    sdk_ctl_texts_t render_devices;
    int mic_level_count;
    const double *mic_levels;
    double mic_interval;
    int failing_test;       /* -1: every connectivity test passes */
    int failing_result;
    const char *failing_info;   /* null: none */
    void *owner;            /* the library's, in a copy it made; ignored on input */
} sdk_ctl_service_settings_t;

typedef struct sdk_ctl_session {
    const char *session_handle;
    const char *channel_name;
} sdk_ctl_session_t;

/* What the service holds; texts are null for none. */
typedef struct sdk_ctl_service_state {
    int connectors;
    sdk_ctl_texts_t logged_in;          /* account names, one per login */
    sdk_ctl_texts_t created_accounts;
    int session_count;
    const sdk_ctl_session_t *sessions;
    const char *speaking_session;
    const char *capture_device;
    const char *render_device;
    int mic_level;
    int speaker_level;
    int mic_test;
    const char *key_binding;
    int key_code_count;
    const int *key_codes;
    size_t pending;                     /* messages and ticks waiting for their time */
    void *owner;                        /* the library's */
} sdk_ctl_service_state_t;

enum sdk_ctl_service_result {
    sdk_ctl_service_ok = 0,
    sdk_ctl_service_not_running,   /* the service is not the mode in force */
    sdk_ctl_service_no_memory,
    sdk_ctl_service_bad_settings   /* a count without its items */
};

/* Copies of the running service's settings and state, released with the
 * matching _free (which takes null). */
VOICESDK_API int sdk_ctl_service_settings(sdk_ctl_service_settings_t **out);
VOICESDK_API void sdk_ctl_service_settings_free(sdk_ctl_service_settings_t *settings);
VOICESDK_API int sdk_ctl_service_state(sdk_ctl_service_state_t **out);
VOICESDK_API void sdk_ctl_service_state_free(sdk_ctl_service_state_t *state);
/* Replaces every setting at once; the caller's memory is copied. */
VOICESDK_API int sdk_ctl_service_configure(const sdk_ctl_service_settings_t *settings);
/* 1 once nothing is scheduled any more, 0 on time-out, -1 when the service
 * is not running. */
VOICESDK_API int sdk_ctl_service_wait_idle(double timeout_seconds);

typedef struct sdk_ctl_live {
    long requests;   /* created, neither issued nor destroyed */
    long responses;  /* created, not released */
    long events;     /* events and bare messages, not released */
} sdk_ctl_live_t;
VOICESDK_API void sdk_ctl_live(sdk_ctl_live_t *out);

#ifdef __cplusplus
}
#endif

#endif
