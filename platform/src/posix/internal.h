// Shared internals of the POSIX platform layer.  Nothing here is exported.
//
// Lock order (never take an earlier one while holding a later one):
//   window table shard / thread-queue registry  ->  message queue
//   handle table, namespace, views: leaves; a last reference to a kernel
//   object is always dropped after these locks are released, because the
//   object's destructor unbinds its name.
#ifndef TWPLATFORM_POSIX_INTERNAL_H
#define TWPLATFORM_POSIX_INTERNAL_H

#include "twplatform/faults.h"
#include "twplatform/win32.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <signal.h>
#include <string>
#include <unordered_set>
#include <vector>

namespace twplat {

// ---- fault injection -------------------------------------------------------

extern std::atomic<int> g_faults_armed;
bool fault_fire_slow(int fault);

// True when an armed fault consumes this call; the last error is then set.
inline bool fault_fires(int fault)
{
    return g_faults_armed.load(std::memory_order_relaxed) != 0 && fault_fire_slow(fault);
}

// ---- kernel objects --------------------------------------------------------

enum class KType { event, mutex, thread, mapping };

struct KObject {
    explicit KObject(KType t) : type(t) {}
    virtual ~KObject();
    KObject(const KObject &) = delete;
    KObject &operator=(const KObject &) = delete;

    const KType type;
    std::string name;  // set once, before the object is published
};

// ---- doorbells -------------------------------------------------------------

// A descriptor that poll() sees readable exactly while it is rung: the
// platform's way of waking a thread that sleeps in poll (a condition
// variable's wait does not end for a signal).  An eventfd where there is
// one, else a pipe.  ring() and quiet() are idempotent and need the lock of
// whatever the doorbell stands for.
class Doorbell {
public:
    Doorbell() = default;
    Doorbell(const Doorbell &) = delete;
    Doorbell &operator=(const Doorbell &) = delete;
    ~Doorbell() { close(); }

    // False with the last error set when no descriptor can be had.
    bool open();
    bool is_open() const { return read_fd_ >= 0; }
    void close();
    // In a child after fork(): the descriptors are the parent's too; new
    // ones take their place, rung as before.
    void renew();

    int fd() const { return read_fd_; }
    bool rung() const { return rung_; }
    void ring();
    void quiet();

private:
    int read_fd_ = -1;
    int write_fd_ = -1;  // == read_fd_ for an eventfd
    bool rung_ = false;
};

// Objects WaitForSingleObject accepts.
struct Waitable : KObject {
    using KObject::KObject;
    // Called with `m` held: true when the wait is satisfied, taking whatever
    // the wait consumes and storing the WAIT_* result.
    virtual bool try_acquire_locked(DWORD tid, DWORD *result) = 0;

    std::mutex m;
    std::condition_variable cv;
};

// Events.  Besides the condition variable, a thread in twplat_wait adds its
// doorbell to `pollers` (under `m`) and SetEvent rings it.
struct EventObject final : Waitable {
    EventObject(bool manual, bool initial) : Waitable(KType::event), manual_reset(manual), signaled(initial) {}
    bool try_acquire_locked(DWORD tid, DWORD *result) override;

    const bool manual_reset;
    bool signaled;
    std::vector<Doorbell *> pollers;
};

std::shared_ptr<EventObject> event_of(HANDLE h);

struct MutexObject final : Waitable {
    MutexObject() : Waitable(KType::mutex) {}
    bool try_acquire_locked(DWORD tid, DWORD *result) override;

    DWORD owner = 0;  // 0: free
    unsigned count = 0;
    bool abandoned = false;
};

// Handle table.  Handle values are never reused.  Null with the last error
// set when the table is full.
HANDLE handle_open(std::shared_ptr<KObject> obj);
std::shared_ptr<KObject> handle_object(HANDLE h);
// The object behind `h` if it has type `t`; else null with ERROR_INVALID_HANDLE.
std::shared_ptr<KObject> handle_object_of(HANDLE h, KType t);

// Process-wide namespace.  `make` builds a fresh object (null + last error on
// failure).  Null + last error when the name is bound to another type.
std::shared_ptr<KObject> names_create(LPCSTR name, KType type,
                                      const std::function<std::shared_ptr<KObject>()> &make,
                                      bool *existed);
std::shared_ptr<KObject> names_open(LPCSTR name, KType type);
void names_forget(const std::string &name);

// Creates (name null or empty) or binds a named object and returns a new
// handle, leaving ERROR_ALREADY_EXISTS or 0 as Create* does.
HANDLE create_object(LPCSTR name, KType type,
                     const std::function<std::shared_ptr<KObject>()> &make,
                     bool *existed = nullptr);
HANDLE open_object(LPCSTR name, KType type);

// ---- threads ---------------------------------------------------------------

struct MessageQueue;

// Platform state of one thread, touched only by that thread.
struct ThreadState {
    DWORD tid = 0;
    std::shared_ptr<MessageQueue> queue;  // created lazily
    std::unordered_set<uintptr_t> windows;  // handles of the windows it owns
    std::vector<std::shared_ptr<MutexObject>> owned_mutexes;
    Doorbell waker;  // rung by SetEvent while the thread is in twplat_wait
};

// Null once the thread has begun to exit.
ThreadState *thread_state();
DWORD allocate_thread_id();
void adopt_thread_id(DWORD tid);
// Releases the thread's windows, queue and mutexes; runs once per thread.
void thread_cleanup();

void windows_thread_exit(ThreadState &ts);
void queue_thread_exit(ThreadState &ts);
void mutexes_thread_exit(ThreadState &ts);
void mutex_note_owned(const std::shared_ptr<MutexObject> &m);

// ---- message queues --------------------------------------------------------

// Posted messages a queue holds at most, as the default Win32 quota.
constexpr size_t kPostedMessageLimit = 10000;

// `ready` is rung exactly while the queue holds a posted message or a quit
// (every change keeps it so, under `m`): twplat_wait sleeps on it, and it is
// the thread's wake-up descriptor.  GetMessageA, whose filter may leave
// messages waiting, sleeps on `cv` for the next post instead.
struct MessageQueue {
    explicit MessageQueue(DWORD owner) : tid(owner) {}

    bool holds_anything_locked() const { return !posted.empty() || quit; }
    // After every change of `posted` or `quit`.
    void sync_ready_locked()
    {
        if (holds_anything_locked())
            ready.ring();
        else
            ready.quiet();
    }

    const DWORD tid;
    std::mutex m;
    std::condition_variable cv;
    std::deque<MSG> posted;
    bool quit = false;
    int quit_code = 0;
    bool dead = false;  // owner thread has exited
    unsigned waiters = 0;
    Doorbell ready;
};

// The calling thread's queue, created on first use; null while exiting, or
// with the last error set when its doorbell cannot be made.
MessageQueue *current_queue();
// Appends a posted message; FALSE + last error when full or dead.
bool queue_post(MessageQueue &q, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Drops every queued message addressed to `hwnd`.
void queue_discard_window(MessageQueue &q, HWND hwnd);

// ---- windows ---------------------------------------------------------------

bool window_exists(HWND hwnd);
// Posts to the window's queue while its table entry is held, so a destroyed
// window can never gain a message after its queue was purged.
bool window_post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

DWORD message_time();

// ---- fork ------------------------------------------------------------------

// Around fork(), in lock order: each takes its table's locks before and
// gives them back after, so the child finds none held by a thread it does
// not have.  (Named objects and views are not covered: they are made once,
// at start-up.)
void windows_before_fork();
void windows_after_fork();
void queues_before_fork();
void queues_after_fork(bool in_child);
void handles_before_fork();
void handles_after_fork();
// GetCurrentProcessId's memory; 0 until asked.
extern std::atomic<DWORD> g_process_id;

// ---- signals ---------------------------------------------------------------

// The signals a thread holds while it is not the one meant to handle them:
// all but those the processor raises in the thread that faulted.
const sigset_t &asynchronous_signals();

}  // namespace twplat

#endif
