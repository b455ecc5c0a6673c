// Window classes and windows: creation and destruction with their synchronous
// messages, posting to a window, dispatch to the window procedure.
//
// A window belongs to the thread that created it.  Its record is shared: the
// table holds one reference, and every procedure call holds another, so a
// procedure may destroy its own (or any of its thread's) windows mid-call.
// Procedures always run with no platform lock held.
#include "internal.h"
#include "twplatform/faults.h"

#include <cctype>
#include <mutex>
#include <unordered_map>

namespace twplat {
namespace {

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    WNDPROC proc = nullptr;
    std::atomic<int> windows{0};
};

struct ClassTable {
    std::mutex m;
    std::unordered_map<std::string, std::shared_ptr<WindowClass>> by_name;  // folded case
    std::unordered_map<ATOM, std::shared_ptr<WindowClass>> by_atom;
    unsigned next_atom = 0xC000;  // the range Win32 gives registered classes
};

ClassTable &classes()
{
    static ClassTable *t = new ClassTable;  // outlives threads still running at exit
    return *t;
}

// Class names compare without case, as in Win32.
std::string fold(LPCSTR name)
{
    std::string s(name);
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Win32 passes an atom where a name is expected as a pointer below 0x10000.
bool is_atom(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

std::shared_ptr<WindowClass> find_class(LPCSTR name)
{
    ClassTable &t = classes();
    std::lock_guard<std::mutex> lock(t.m);
    if (is_atom(name)) {
        auto it = t.by_atom.find(static_cast<ATOM>(reinterpret_cast<uintptr_t>(name)));
        return it == t.by_atom.end() ? nullptr : it->second;
    }
    auto it = t.by_name.find(fold(name));
    return it == t.by_name.end() ? nullptr : it->second;
}

struct Window {
    HWND handle = nullptr;
    WNDPROC proc = nullptr;
    std::shared_ptr<WindowClass> cls;
    DWORD owner = 0;
    std::shared_ptr<MessageQueue> queue;
    bool destroying = false;  // owner thread only
};

// Sharded so lookups from posting threads rarely meet.  Plain mutexes, not
// reader/writer locks: a stream of posts must not starve CreateWindowExA.
constexpr size_t kShards = 16;

struct alignas(64) Shard {
    std::mutex m;
    std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
};

struct WindowTable {
    Shard shards[kShards];
    std::atomic<uintptr_t> next{1};
};

WindowTable &table()
{
    static WindowTable *t = new WindowTable;  // outlives threads still running at exit
    return *t;
}

Shard &shard_of(uintptr_t key) { return table().shards[(key >> 4) % kShards]; }

std::shared_ptr<Window> find_window(HWND hwnd)
{
    uintptr_t key = reinterpret_cast<uintptr_t>(hwnd);
    Shard &s = shard_of(key);
    std::lock_guard<std::mutex> lock(s.m);
    auto it = s.windows.find(key);
    return it == s.windows.end() ? nullptr : it->second;
}

LRESULT call_proc(const std::shared_ptr<Window> &w, UINT msg, WPARAM wp, LPARAM lp)
{
    return w->proc(w->handle, msg, wp, lp);
}

// Takes the window out of the table, its queued messages and its owner's list.
void unlink_window(const std::shared_ptr<Window> &w, ThreadState *ts)
{
    uintptr_t key = reinterpret_cast<uintptr_t>(w->handle);
    std::shared_ptr<Window> entry;  // `w` keeps the record; dropped after the lock anyway
    {
        Shard &s = shard_of(key);
        std::lock_guard<std::mutex> lock(s.m);
        auto it = s.windows.find(key);
        if (it == s.windows.end())
            return;
        entry = std::move(it->second);
        s.windows.erase(it);
    }
    // No post can reach the queue any more: window_post holds the shard lock.
    queue_discard_window(*w->queue, w->handle);
    if (ts)
        ts->windows.erase(key);
    w->cls->windows.fetch_sub(1, std::memory_order_relaxed);
}

// WM_DESTROY (unless creation never completed) and WM_NCDESTROY, then the
// handle is gone.  Owner thread only; re-entry is a no-op.
void destroy_window(const std::shared_ptr<Window> &w, bool send_destroy)
{
    if (w->destroying)
        return;
    w->destroying = true;
    if (send_destroy)
        call_proc(w, WM_DESTROY, 0, 0);
    call_proc(w, WM_NCDESTROY, 0, 0);
    unlink_window(w, thread_state());
}

}  // namespace

void windows_before_fork()
{
    classes().m.lock();
    for (Shard &s : table().shards)
        s.m.lock();
}

void windows_after_fork()
{
    for (Shard &s : table().shards)
        s.m.unlock();
    classes().m.unlock();
}

bool window_exists(HWND hwnd) { return find_window(hwnd) != nullptr; }

bool window_post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    uintptr_t key = reinterpret_cast<uintptr_t>(hwnd);
    Shard &s = shard_of(key);
    std::lock_guard<std::mutex> lock(s.m);
    auto it = s.windows.find(key);
    if (it == s.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    return queue_post(*it->second->queue, hwnd, msg, wp, lp);
}

// Windows of an exiting thread vanish without messages: their procedures may
// depend on thread-local state that is already gone.
void windows_thread_exit(ThreadState &ts)
{
    std::unordered_set<uintptr_t> owned;
    owned.swap(ts.windows);
    for (uintptr_t key : owned) {
        std::shared_ptr<Window> w = find_window(reinterpret_cast<HWND>(key));
        if (w)
            unlink_window(w, nullptr);
    }
}

}  // namespace twplat

using namespace twplat;

extern "C" {

ATOM RegisterClassExA(const WNDCLASSEXA *cls)
{
    if (fault_fires(twplat_fault_register_class))
        return 0;
    if (!cls || cls->cbSize != sizeof(WNDCLASSEXA) || !cls->lpfnWndProc || !cls->lpszClassName ||
        is_atom(cls->lpszClassName) || !*cls->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto record = std::make_shared<WindowClass>();
    record->name = cls->lpszClassName;
    record->proc = cls->lpfnWndProc;
    ClassTable &t = classes();
    std::lock_guard<std::mutex> lock(t.m);
    std::string key = fold(cls->lpszClassName);
    if (t.by_name.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    // Atoms are not recycled, so a stale atom never names a newer class.
    if (t.next_atom > 0xFFFF) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    record->atom = static_cast<ATOM>(t.next_atom++);
    t.by_atom[record->atom] = record;
    t.by_name[key] = record;
    return record->atom;
}

BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE)
{
    if (!class_name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ClassTable &t = classes();
    std::shared_ptr<WindowClass> record;  // dropped after the lock
    std::lock_guard<std::mutex> lock(t.m);
    if (is_atom(class_name)) {
        auto it = t.by_atom.find(static_cast<ATOM>(reinterpret_cast<uintptr_t>(class_name)));
        if (it != t.by_atom.end())
            record = it->second;
    } else {
        auto it = t.by_name.find(fold(class_name));
        if (it != t.by_name.end())
            record = it->second;
    }
    if (!record) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (record->windows.load(std::memory_order_relaxed) != 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    t.by_atom.erase(record->atom);
    t.by_name.erase(fold(record->name.c_str()));
    return TRUE;
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    if (fault_fires(twplat_fault_create_window))
        return nullptr;
    if (!class_name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<WindowClass> cls = find_class(class_name);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    // Parents are only validated: there is no child-window behaviour.
    if (parent && parent != HWND_MESSAGE && !window_exists(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    ThreadState *ts = thread_state();
    if (!ts || !current_queue()) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return nullptr;
    }

    auto w = std::make_shared<Window>();
    uintptr_t key = table().next.fetch_add(1, std::memory_order_relaxed) << 4;
    w->handle = reinterpret_cast<HWND>(key);
    w->proc = cls->proc;
    w->cls = cls;
    w->owner = ts->tid;
    w->queue = ts->queue;
    cls->windows.fetch_add(1, std::memory_order_relaxed);
    {
        Shard &s = shard_of(key);
        std::lock_guard<std::mutex> lock(s.m);
        s.windows.emplace(key, w);
    }
    ts->windows.insert(key);

    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cy = height;
    cs.cx = width;
    cs.y = y;
    cs.x = x;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = title;
    cs.lpszClass = class_name;
    cs.dwExStyle = ex_style;
    LPARAM lp = reinterpret_cast<LPARAM>(&cs);

    // A refusal leaves the procedure's last error, as Win32 does.
    if (!call_proc(w, WM_NCCREATE, 0, lp)) {
        destroy_window(w, false);
        return nullptr;
    }
    if (!w->destroying && call_proc(w, WM_CREATE, 0, lp) == -1) {
        destroy_window(w, true);
        return nullptr;
    }
    if (w->destroying) {  // the procedure destroyed it while it was being created
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->handle;
}

BOOL DestroyWindow(HWND hwnd)
{
    std::shared_ptr<Window> w = find_window(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->owner != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    destroy_window(w, true);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return hwnd && window_exists(hwnd) ? TRUE : FALSE; }

size_t twplat_window_count(void)
{
    size_t count = 0;
    for (Shard &s : table().shards) {
        std::lock_guard<std::mutex> lock(s.m);
        count += s.windows.size();
    }
    return count;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM)
{
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    default:
        return 0;
    }
}

LRESULT DispatchMessageA(const MSG *msg)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!msg->hwnd)
        return 0;  // thread messages have no procedure
    std::shared_ptr<Window> w = find_window(msg->hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // A procedure only ever runs on its window's thread.
    if (w->owner != GetCurrentThreadId()) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return 0;
    }
    return call_proc(w, msg->message, msg->wParam, msg->lParam);
}

}  // extern "C"
