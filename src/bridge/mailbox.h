// The queue between the SDK's thread and a connector's thread.
//
// The notification handler appends every message here and posts one wake-up
// to the connector's window only when none is pending; the window procedure
// then drains the mailbox, one message at a time, on the connector's thread.
// One post per burst keeps the window's message queue short (it has a quota)
// and saves a message-queue round trip per SDK message.
//
// Every message leaves exactly once: handed out by next(), or released by
// close() or when the window is found gone.  A synchronous answer its caller
// still reads is left to that caller instead (bridge/answer_holds.h).
#ifndef TALKWIRE_BRIDGE_MAILBOX_H
#define TALKWIRE_BRIDGE_MAILBOX_H

#include "bridge/sdk_message.h"
#include "twplatform/win32.h"
#include "voicesdk/voicesdk.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <vector>

namespace talkwire {

class Mailbox {
public:
    Mailbox() = default;
    Mailbox(const Mailbox &) = delete;
    Mailbox &operator=(const Mailbox &) = delete;
    ~Mailbox()
    {
        if (!forsaken_)
            close();
    }

    // Owner thread, before the SDK handler is registered.
    void open(HWND window);

    // The thread that dispatches what this mailbox holds.  Fixed by open().
    DWORD owner_thread() const { return owner_thread_; }

    // SDK thread.  False when the mailbox has no window, is closed or has
    // lost its window, or when memory for the queue runs out: the messages
    // are then still the caller's.  Several at once cost one lock and at
    // most one wake-up.  A wake-up refused because the window is gone
    // releases everything waiting here (the messages given included).
    bool deliver(sdk_message_base_t *const *messages, size_t count);
    bool deliver(sdk_message_base_t *message) { return deliver(&message, 1); }

    // SDK thread, before taking messages for this mailbox.  True once the
    // window it was opened with is gone (its thread ended, or someone
    // destroyed it): nothing can wake its owner any more, so the handler
    // must leave the SDK's messages to others.  Finding it gone releases
    // what waits here.  A mailbox that never had a window has lost nothing.
    bool window_lost();
    // The same, as last found: no platform call.
    bool window_known_lost() const { return window_lost_.load(std::memory_order_acquire); }

    // Owner thread, on the wake-up.  Takes what has arrived since the last
    // wake-up into the owner's list and hands out the next message, or none.
    // A nested pump inside a callback continues from the same list, so the
    // order of messages is kept.
    void collect();
    SdkMessage next();

    // Owner thread, when a drain stops before the list is done: posts a
    // wake-up so that the next pump carries on where this one stopped.
    void wake_again();

    // After the SDK handler is unregistered, on any thread with no drain
    // running: releases every message not yet handled.  Closing twice is
    // harmless.
    void close();

    // In a child forked from the owner's process: forgets what it holds
    // without taking its lock (the SDK thread that may have held it at the
    // fork is not in the child) and without releasing the messages (they
    // are the parent's SDK's; the child's copies go with the child).
    void forsake();

private:
    // Releases what waits in arrived_ for a window that is gone.
    void release_stranded();

    std::mutex mutex_;
    // Storage a burst leaves behind beyond this is given back.
    static constexpr size_t kKeptCapacity = 4096;

    std::vector<sdk_message_base_t *> arrived_;  // guarded by mutex_
    bool wake_pending_ = false;                 // guarded by mutex_
    HWND window_ = nullptr;                     // guarded by mutex_ (null: closed)
    std::atomic<bool> window_lost_{false};      // set once, by the SDK thread
    // Owner thread, and close() when no drain runs (a drain keeps its
    // connector alive, so a teardown elsewhere never meets one).
    std::vector<sdk_message_base_t *> owned_;   // handled up to taken_
    size_t taken_ = 0;
    DWORD owner_thread_ = 0;                    // written by open() only
    bool forsaken_ = false;                     // set by forsake(), in a forked child
};

}  // namespace talkwire

#endif
