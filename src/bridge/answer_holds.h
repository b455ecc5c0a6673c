// Synchronous answers that their callers are still reading.
//
// The notification handler hands a synchronous caller its answer and also
// delivers the same record to a mailbox, whose drain releases it.  Reading
// the answer may run Python code (building the result's objects can start a
// collection whose finalizers pump messages), and any pump, or a mailbox
// closed by a connector's teardown on whatever thread, would release the
// record under the reader.  So the handler puts a hold on the answer before
// it delivers it; a mailbox that comes to a held record lets go of it
// instead of dispatching or releasing it, and the reader's release, when it
// is done, releases what a mailbox let go of.  Every record is still
// released exactly once.
//
// Any thread; one process-wide lock, taken only while a hold exists.
#ifndef TALKWIRE_BRIDGE_ANSWER_HOLDS_H
#define TALKWIRE_BRIDGE_ANSWER_HOLDS_H

#include "voicesdk/voicesdk.h"

#include <atomic>
#include <cstddef>

namespace talkwire {
namespace answer_holds {

// Holds that exist right now.  Read on every mailbox release, without a
// lock: a hold is made before its record is delivered, and the delivery's
// lock carries it to the thread that collects the record.
extern std::atomic<size_t> g_count;

// SDK thread, before the record is delivered.  False when memory runs out:
// the record must then not be delivered (its caller keeps it alone).
bool hold(sdk_message_base_t *message);

// SDK thread: the delivery failed and the record stays its caller's.
void cancel(sdk_message_base_t *message);

// The reader, done with it: drops the hold, and releases the record if a
// mailbox let go of it meanwhile.
void release(sdk_message_base_t *message);

// A mailbox about to dispatch or release `message`.  True when a reader
// holds it: the mailbox must leave it alone, the reader releases it.
bool let_go_if_held(sdk_message_base_t *message);

inline bool let_go(sdk_message_base_t *message)
{
    return g_count.load(std::memory_order_relaxed) != 0 && let_go_if_held(message);
}

}  // namespace answer_holds
}  // namespace talkwire

#endif
