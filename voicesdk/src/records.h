// Allocation, release and copying of SDK records.  Every record carries a
// hidden header in front of it with its layout, so releasing never trusts
// the type fields a receiver might have touched.
#ifndef VOICESDK_SRC_RECORDS_H
#define VOICESDK_SRC_RECORDS_H

#include "thread_state.h"
#include "voicesdk/control.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace voicesdk {

struct Slab;

struct alignas(std::max_align_t) RecordHeader {
    const sdk_record_info_t *info;
    std::atomic<int> refs{1};         // requests: the creator or the SDK, plus responses
    std::atomic<bool> issued{false};  // requests: handed to sdk_issue_request
    bool counted = true;              // included in live()
    sdk_req_base_t *request = nullptr;  // responses: the request they keep alive
    // Copies carry their texts in the same allocation, within this many
    // bytes of the record's start; 0 for records whose texts are separate.
    size_t extent = 0;
    // The shared allocation a burst copy lives in; null for records of
    // their own.
    Slab *slab = nullptr;
};

inline RecordHeader *header_of(const void *record)
{
    return reinterpret_cast<RecordHeader *>(
        const_cast<char *>(static_cast<const char *>(record)) - sizeof(RecordHeader));
}

const sdk_record_info_t *request_info(int kind);
const sdk_record_info_t *response_info(int response_type);
const sdk_record_info_t *event_info(int event_type);
const sdk_record_info_t *message_info();

// Zero-filled record of the given layout; null when memory runs out.
void *allocate(const sdk_record_info_t *info);

sdk_req_base_t *make_request(int kind);
sdk_resp_base_t *make_response(int response_type, sdk_req_base_t *request);
sdk_evt_base_t *make_event(int event_type);
sdk_message_base_t *make_message(int message_type);

// Request references: the SDK's record of an issued request and every
// response pointing at it hold one each.
void retain_request(sdk_req_base_t *request);
void release_request(sdk_req_base_t *request);

// Any response, event or bare message.
void release_message(sdk_message_base_t *message);

// Deep copy of a response (pointing at `request` instead of the original's)
// or of an event.  Null when memory runs out.
sdk_resp_base_t *copy_response(const sdk_resp_base_t *prototype, sdk_req_base_t *request);
sdk_evt_base_t *copy_event(const sdk_evt_base_t *prototype);
// `count` copies of an event appended to `out`, made in shared slabs;
// false (nothing appended) when memory runs out.  `out` must have room.
bool copy_events(const sdk_evt_base_t *prototype, size_t count, std::vector<sdk_message_base_t *> &out);

// Structured results, copied in; non-zero (response unchanged) when the
// record has none of that kind or memory runs out.
int set_test_results(sdk_resp_base_t *response, int count, const sdk_connectivity_test_result_t *items);
int set_devices(sdk_resp_base_t *response, int count, const char *const *names, const char *current);

// A record's text: what sdk_strdup and sdk_ctl_strdup hand out, and what
// releasing a record frees with free_record_text().  Fault injection never
// touches copy_text.
char *copy_text(const char *text);
void free_record_text(char *text);

// A malloc'd copy, for the items of structured results (freed with free).
char *copy_plain_text(const char *text);

}  // namespace voicesdk

#endif
