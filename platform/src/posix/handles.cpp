// Handle table: a HANDLE is a never-reused number naming one reference to a
// kernel object, so a stale or garbage handle is reported, not dereferenced.
#include "internal.h"

#include <mutex>
#include <unordered_map>

namespace twplat {
namespace {

struct HandleTable {
    std::mutex m;
    std::unordered_map<uintptr_t, std::shared_ptr<KObject>> objects;
    uintptr_t next = 0x1000;  // multiples of 4, as Win32 handles are
};

HandleTable &handles()
{
    static HandleTable *table = new HandleTable;  // outlives threads still running at exit
    return *table;
}

}  // namespace

KObject::~KObject()
{
    if (!name.empty())
        names_forget(name);
}

HANDLE handle_open(std::shared_ptr<KObject> obj)
{
    HandleTable &t = handles();
    std::lock_guard<std::mutex> lock(t.m);
    uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(obj));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KObject> handle_object(HANDLE h)
{
    HandleTable &t = handles();
    std::lock_guard<std::mutex> lock(t.m);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
    return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KObject> handle_object_of(HANDLE h, KType type)
{
    std::shared_ptr<KObject> obj = handle_object(h);
    if (!obj || obj->type != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return obj;
}

HANDLE create_object(LPCSTR name, KType type,
                     const std::function<std::shared_ptr<KObject>()> &make, bool *existed)
{
    bool found = false;
    std::shared_ptr<KObject> obj = name && *name ? names_create(name, type, make, &found) : make();
    if (!obj)
        return nullptr;
    HANDLE h = handle_open(std::move(obj));
    if (existed)
        *existed = found;
    SetLastError(found ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

HANDLE open_object(LPCSTR name, KType type)
{
    std::shared_ptr<KObject> obj = names_open(name, type);
    return obj ? handle_open(std::move(obj)) : nullptr;
}

}  // namespace twplat

extern "C" BOOL CloseHandle(HANDLE h)
{
    twplat::HandleTable &t = twplat::handles();
    std::shared_ptr<twplat::KObject> dropped;  // released after the lock: it may unbind a name
    {
        std::lock_guard<std::mutex> lock(t.m);
        auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
        if (it == t.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        dropped = std::move(it->second);
        t.objects.erase(it);
    }
    return TRUE;
}
