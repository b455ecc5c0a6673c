// Per-thread queues of posted messages: PostMessageA(NULL), PostThreadMessageA,
// GetMessageA, PeekMessageA, PostQuitMessage.
#include "internal.h"

#include <mutex>
#include <new>
#include <time.h>
#include <unordered_map>

namespace twplat {
namespace {

// Queues by thread id, for PostThreadMessageA.
struct QueueRegistry {
    std::mutex m;
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> by_thread;
};

QueueRegistry &registry()
{
    static QueueRegistry *r = new QueueRegistry;  // outlives threads still running at exit
    return *r;
}

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool matches(const MSG &m, HWND hwnd, UINT min, UINT max)
{
    if (hwnd == kThreadMessagesOnly) {
        if (m.hwnd)
            return false;
    } else if (hwnd && m.hwnd != hwnd) {
        return false;
    }
    return (min == 0 && max == 0) || (m.message >= min && m.message <= max);
}

// With q.m held.  A pending quit is only reported when no posted message
// matches, and regardless of the filters, as Win32 does.
bool take_locked(MessageQueue &q, MSG *out, HWND hwnd, UINT min, UINT max, bool remove)
{
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (matches(*it, hwnd, min, max)) {
            *out = *it;
            if (remove)
                q.posted.erase(it);
            return true;
        }
    }
    if (!q.quit)
        return false;
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = static_cast<WPARAM>(q.quit_code);
    out->time = message_time();
    if (remove)
        q.quit = false;
    return true;
}

bool take_and_sync_locked(MessageQueue &q, MSG *out, HWND hwnd, UINT min, UINT max, bool remove)
{
    if (!take_locked(q, out, hwnd, min, max, remove))
        return false;
    if (remove)
        q.sync_ready_locked();
    return true;
}


// Common checks of GetMessageA and PeekMessageA.
MessageQueue *retrieval_queue(const MSG *msg, HWND hwnd)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (hwnd && hwnd != kThreadMessagesOnly && !window_exists(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    MessageQueue *q = current_queue();
    if (!q)
        SetLastError(ERROR_INVALID_THREAD_ID);
    return q;
}

}  // namespace

DWORD message_time()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

MessageQueue *current_queue()
{
    ThreadState *ts = thread_state();
    if (!ts)
        return nullptr;
    if (!ts->queue) {
        auto q = std::make_shared<MessageQueue>(ts->tid);
        // The thread's waker comes with its queue: a thread that owns
        // windows also waits for events, and its descriptors then appear
        // with its first window rather than at whichever later wait first
        // had to sleep (descriptor counts stay flat for leak checks).
        if (!q->ready.open() || !ts->waker.open())
            return nullptr;
        QueueRegistry &r = registry();
        std::lock_guard<std::mutex> lock(r.m);
        r.by_thread[ts->tid] = q;
        ts->queue = std::move(q);
    }
    return ts->queue.get();
}

// fork(): the registry's lock, then every queue's, held across it; the
// child's doorbells are new, so that neither process rings or quiets the
// other's.
void queues_before_fork()
{
    QueueRegistry &r = registry();
    r.m.lock();
    for (auto &entry : r.by_thread)
        entry.second->m.lock();
}

void queues_after_fork(bool in_child)
{
    QueueRegistry &r = registry();
    for (auto &entry : r.by_thread) {
        if (in_child)
            entry.second->ready.renew();
        entry.second->m.unlock();
    }
    r.m.unlock();
}

void queue_thread_exit(ThreadState &ts)
{
    if (!ts.queue)
        return;
    {
        QueueRegistry &r = registry();
        std::lock_guard<std::mutex> lock(r.m);
        r.by_thread.erase(ts.tid);
    }
    std::deque<MSG> dropped;
    {
        std::lock_guard<std::mutex> lock(ts.queue->m);
        ts.queue->dead = true;
        dropped.swap(ts.queue->posted);
        ts.queue->quit = false;
        ts.queue->sync_ready_locked();
    }
    ts.queue.reset();
}

bool queue_post(MessageQueue &q, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wp;
    m.lParam = lp;
    m.time = message_time();
    std::lock_guard<std::mutex> lock(q.m);
    if (q.dead) {
        SetLastError(hwnd ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_THREAD_ID);
        return false;
    }
    if (q.posted.size() >= kPostedMessageLimit) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    try {
        q.posted.push_back(m);
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);  // a failed post, as Win32 reports it
        return false;
    }
    // Rings only when the queue was empty: a stream of posts costs one write.
    q.ready.ring();
    if (q.waiters != 0)
        q.cv.notify_one();  // only the owner thread ever waits on its queue
    return true;
}

void queue_discard_window(MessageQueue &q, HWND hwnd)
{
    std::lock_guard<std::mutex> lock(q.m);
    for (auto it = q.posted.begin(); it != q.posted.end();)
        it = it->hwnd == hwnd ? q.posted.erase(it) : it + 1;
    q.sync_ready_locked();
}

}  // namespace twplat

using namespace twplat;

extern "C" {

BOOL PostThreadMessageA(DWORD thread_id, UINT msg, WPARAM wp, LPARAM lp)
{
    QueueRegistry &r = registry();
    std::lock_guard<std::mutex> lock(r.m);
    auto it = r.by_thread.find(thread_id);
    if (it == r.by_thread.end()) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return queue_post(*it->second, nullptr, msg, wp, lp);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (fault_fires(twplat_fault_post_message))
        return FALSE;
    if (hwnd)
        return window_post(hwnd, msg, wp, lp);
    // A null window posts a thread message to the caller's own queue.
    MessageQueue *q = current_queue();
    if (!q) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return queue_post(*q, nullptr, msg, wp, lp);
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max)
{
    MessageQueue *q = retrieval_queue(msg, hwnd);
    if (!q)
        return -1;
    std::unique_lock<std::mutex> lock(q->m);
    while (!take_and_sync_locked(*q, msg, hwnd, min, max, true)) {
        ++q->waiters;
        q->cv.wait(lock);
        --q->waiters;
    }
    return msg->message != WM_QUIT;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove)
{
    MessageQueue *q = retrieval_queue(msg, hwnd);
    if (!q)
        return FALSE;
    std::lock_guard<std::mutex> lock(q->m);
    return take_and_sync_locked(*q, msg, hwnd, min, max, (remove & PM_REMOVE) != 0);
}

void PostQuitMessage(int exit_code)
{
    MessageQueue *q = current_queue();
    if (!q)
        return;
    std::lock_guard<std::mutex> lock(q->m);
    q->quit = true;
    q->quit_code = exit_code;
    q->ready.ring();
}

BOOL TranslateMessage(const MSG *) { return FALSE; }

}  // extern "C"
