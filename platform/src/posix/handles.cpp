// Handle table: a HANDLE is a never-reused number naming one reference to a
// kernel object, so a stale or garbage handle is reported, not dereferenced.
#include "internal.h"

#include <mutex>
#include <vector>

namespace twplat {
namespace {

// A handle names a slot of the table and the slot's generation, which
// grows every time the slot is used again: values are never reused, and a
// lookup is an index rather than a hash.
struct HandleTable {
    struct Slot {
        uint64_t generation = 0;
        std::shared_ptr<KObject> object;  // null: free
    };

    std::mutex m;
    std::vector<Slot> slots;
    std::vector<uint32_t> free_slots;
};

constexpr uintptr_t kFirstHandle = 0x1000;  // multiples of 4 from here, as Win32 handles are
constexpr unsigned kSlotBits = 24;
constexpr uint64_t kSlotMask = (uint64_t{1} << kSlotBits) - 1;
// Past this a generation would no longer fit the handle's bits.
constexpr uint64_t kLastGeneration = (~uint64_t{0} >> (kSlotBits + 3)) - 1;

HandleTable &handles()
{
    static HandleTable *table = new HandleTable;  // outlives threads still running at exit
    return *table;
}

HANDLE handle_value(uint32_t slot, uint64_t generation)
{
    return reinterpret_cast<HANDLE>(kFirstHandle + (((generation << kSlotBits) | slot) << 2));
}

// With the table locked: the slot `h` names while it is in use, else null.
HandleTable::Slot *slot_of(HandleTable &t, HANDLE h)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(h);
    if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0)
        return nullptr;
    uint64_t number = (value - kFirstHandle) >> 2;
    uint64_t slot = number & kSlotMask;
    if (slot >= t.slots.size())
        return nullptr;
    HandleTable::Slot &found = t.slots[slot];
    if (!found.object || found.generation != number >> kSlotBits)
        return nullptr;
    return &found;
}

}  // namespace

void handles_before_fork() { handles().m.lock(); }

void handles_after_fork() { handles().m.unlock(); }

KObject::~KObject()
{
    if (!name.empty())
        names_forget(name);
}

HANDLE handle_open(std::shared_ptr<KObject> obj)
{
    HandleTable &t = handles();
    std::lock_guard<std::mutex> lock(t.m);
    uint32_t slot;
    if (!t.free_slots.empty()) {
        slot = t.free_slots.back();
        t.free_slots.pop_back();
    } else if (t.slots.size() <= kSlotMask) {
        slot = static_cast<uint32_t>(t.slots.size());
        t.slots.emplace_back();
    } else {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HandleTable::Slot &entry = t.slots[slot];
    entry.object = std::move(obj);
    return handle_value(slot, entry.generation);
}

std::shared_ptr<KObject> handle_object(HANDLE h)
{
    HandleTable &t = handles();
    std::lock_guard<std::mutex> lock(t.m);
    HandleTable::Slot *slot = slot_of(t, h);
    return slot ? slot->object : nullptr;
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
    if (!h)
        return nullptr;
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
        twplat::HandleTable::Slot *slot = twplat::slot_of(t, h);
        if (!slot) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        dropped = std::move(slot->object);
        slot->object.reset();
        // A slot whose generations are used up is retired, never reused.
        if (slot->generation < twplat::kLastGeneration) {
            ++slot->generation;
            t.free_slots.push_back(static_cast<uint32_t>(slot - t.slots.data()));
        }
    }
    return TRUE;
}
