// Python strings for the texts the listener receives over and over (a
// channel's name, a participant's URI): equal bytes give the same immutable
// str object (bench/RESULTS.md).  Owner thread, interpreter lock held.
#ifndef TALKWIRE_DISPATCH_TEXT_CACHE_H
#define TALKWIRE_DISPATCH_TEXT_CACHE_H

#include "pycompat/pycompat.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace talkwire {
namespace dispatch {

class TextCache {
public:
    TextCache()
    {
        for (size_t i = 0; i < kRecent; ++i)
            recent_[i] = &slots_[i];  // empty: they hold nothing yet
    }
    TextCache(const TextCache &) = delete;
    TextCache &operator=(const TextCache &) = delete;
    // Drops the cached strings: runs inside the owner's deallocation, with
    // the interpreter lock held.
    ~TextCache() { clear(); }

    // A new reference to a str of `data` (py::text's decoding); null with
    // the interpreter's error set when it cannot be made.  The texts of the
    // last few lookups are checked here, inline; the rest out of line.
    PyObject *text(const char *data, size_t size)
    {
        for (Slot *recent : recent_) {
            if (recent->holds(data, size))
                return hand_out(*recent);
        }
        return look_up(data, size);
    }
    void clear();

private:
    // Direct-mapped: a miss replaces the slot, so the cache never grows.
    static constexpr size_t kSlots = 64;
    // Longer texts are rare and decoded every time.
    static constexpr size_t kMaxSize = 128;

    // The slots used last are compared first, with no hashing: one
    // callback's arguments recur together, event after event.
    static constexpr size_t kRecent = 4;

    struct Slot {
        uint64_t hash = 0;
        std::string bytes;
        PyObject *object = nullptr;  // null: the slot is empty
        bool holds(const char *data, size_t size) const
        {
            return object && bytes.size() == size && std::memcmp(bytes.data(), data, size) == 0;
        }
    };
    static PyObject *hand_out(Slot &slot)
    {
        Py_INCREF(slot.object);
        return slot.object;
    }
    PyObject *look_up(const char *data, size_t size);

    static_assert(kRecent <= kSlots, "the recent slots start as distinct slots");
    Slot slots_[kSlots];
    Slot *recent_[kRecent];
    size_t next_recent_ = 0;
};

}  // namespace dispatch
}  // namespace talkwire

#endif
