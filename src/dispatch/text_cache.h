// Python strings for the texts the listener receives over and over (a
// channel's name and a participant's URI come with every participant
// event): equal bytes give the same immutable str object instead of a new
// decode and deallocation per callback.  Owner thread, interpreter lock held.
#ifndef TALKWIRE_DISPATCH_TEXT_CACHE_H
#define TALKWIRE_DISPATCH_TEXT_CACHE_H

#include "pycompat/pycompat.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace talkwire {
namespace dispatch {

class TextCache {
public:
    TextCache() = default;
    TextCache(const TextCache &) = delete;
    TextCache &operator=(const TextCache &) = delete;
    // Drops the cached strings: runs inside the owner's deallocation, with
    // the interpreter lock held.
    ~TextCache() { clear(); }

    // A new reference to a str of `data` (py::text's decoding); null with
    // the interpreter's error set when it cannot be made.
    PyObject *text(const char *data, size_t size);
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
        PyObject *object = nullptr;
        bool holds(const char *data, size_t size) const;
    };
    PyObject *hand_out(Slot &slot);

    Slot slots_[kSlots];
    Slot *recent_[kRecent] = {};
    size_t next_recent_ = 0;
};

}  // namespace dispatch
}  // namespace talkwire

#endif
