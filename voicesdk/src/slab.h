// One allocation shared by many records: the copies of an event burst.
// Each record holds a reference; the last one released frees the slab, so
// a burst costs one allocation per slab instead of one per copy, and
// releasing a copy costs a decrement instead of a free().
#ifndef VOICESDK_SRC_SLAB_H
#define VOICESDK_SRC_SLAB_H

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace voicesdk {

struct alignas(std::max_align_t) Slab {
    std::atomic<size_t> refs;

    // A slab with room for `bytes` after it, holding `refs` references;
    // null when memory runs out.
    static Slab *make(size_t refs, size_t bytes)
    {
        void *memory = std::malloc(sizeof(Slab) + bytes);
        return memory ? new (memory) Slab(refs) : nullptr;
    }

    char *space() { return reinterpret_cast<char *>(this + 1); }

    // Gives back references that were never handed out, or one that was.
    void release(size_t count = 1)
    {
        if (refs.fetch_sub(count, std::memory_order_acq_rel) == count) {
            this->~Slab();
            std::free(this);
        }
    }

private:
    explicit Slab(size_t initial) : refs(initial) {}
};

}  // namespace voicesdk

#endif
