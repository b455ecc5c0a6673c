#include "dispatch/text_cache.h"

#include <cstring>
#include <new>

namespace talkwire {
namespace dispatch {
namespace {

// Eight bytes at a time: the texts are short and the hash is on every
// callback.
uint64_t hash_bytes(const char *data, size_t size)
{
    const uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    uint64_t hash = size * kMultiplier;
    while (size >= 8) {
        uint64_t word;
        std::memcpy(&word, data, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
        data += 8;
        size -= 8;
    }
    if (size > 0) {
        uint64_t word = 0;
        std::memcpy(&word, data, size);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    return hash;
}

}  // namespace

PyObject *TextCache::look_up(const char *data, size_t size)
{
    if (size > kMaxSize)
        return py::text(data, static_cast<Py_ssize_t>(size));
    const uint64_t hash = hash_bytes(data, size);
    Slot &slot = slots_[hash % kSlots];
    recent_[next_recent_] = &slot;
    next_recent_ = (next_recent_ + 1) % kRecent;
    if (slot.hash == hash && slot.holds(data, size))
        return hand_out(slot);
    PyObject *object = py::text(data, static_cast<Py_ssize_t>(size));
    if (!object)
        return nullptr;
    PyObject *replaced = slot.object;
    slot.object = nullptr;
    Py_XDECREF(replaced);  // a str: no Python code runs
    try {
        slot.bytes.assign(data, size);
    } catch (const std::bad_alloc &) {
        return object;  // simply not cached
    }
    Py_INCREF(object);
    slot.object = object;
    slot.hash = hash;
    return object;
}

void TextCache::clear()
{
    for (Slot &slot : slots_) {
        PyObject *object = slot.object;
        slot.object = nullptr;
        Py_XDECREF(object);
    }
}

}  // namespace dispatch
}  // namespace talkwire
