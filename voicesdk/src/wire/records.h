// SDK records on the wire: a record's own fields in records.def order, so
// client and server agree on every request kind and event the SDK has
// without a table of their own.  Reading makes a fresh record (released on
// any error); texts are copies the record owns.
#ifndef VOICESDK_SRC_WIRE_RECORDS_H
#define VOICESDK_SRC_WIRE_RECORDS_H

#include "frame.h"

#include "voicesdk/control.h"

#include <cstdint>
#include <string>

namespace voicesdk {
namespace wire {

// Changes whenever records.def changes a record: the handshake compares it,
// so two builds with different records never talk.
uint32_t layout_digest();

std::string hello_frame();
std::string request_frame(uint32_t id, const sdk_req_base_t *request);
// Responses carry their plain result fields only (the server answers no
// request whose results are lists).
std::string response_frame(uint32_t id, const sdk_resp_base_t *response);
std::string event_frame(const sdk_evt_base_t *event);

// After the id: the rest of a request frame.  Null when malformed.
sdk_req_base_t *read_request(Reader &reader);
// After the id: the rest of a response frame, answering `request` (which
// the response keeps).  Null when malformed.
sdk_resp_base_t *read_response(Reader &reader, sdk_req_base_t *request);
sdk_evt_base_t *read_event(Reader &reader);

// The record's text field named `name`, or null when it has none.
char **text_field(void *record, const char *name);

}  // namespace wire
}  // namespace voicesdk

#endif
