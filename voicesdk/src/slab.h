// One allocation shared by many records: the copies of an event burst, and
// the pieces a thread's arena carves.
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
        if (!memory)
            return nullptr;
        made().fetch_add(1, std::memory_order_relaxed);
        return new (memory) Slab(refs);
    }

    // Slabs made and not yet freed (for tests).
    static long live() { return made().load(std::memory_order_relaxed); }

    char *space() { return reinterpret_cast<char *>(this + 1); }

    // Gives back references that were never handed out, or one that was.
    void release(size_t count = 1)
    {
        if (refs.fetch_sub(count, std::memory_order_acq_rel) == count) {
            this->~Slab();
            std::free(this);
            made().fetch_sub(1, std::memory_order_relaxed);
        }
    }

private:
    explicit Slab(size_t initial) : refs(initial) {}
    static std::atomic<long> &made()
    {
        static std::atomic<long> count{0};
        return count;
    }
};

}  // namespace voicesdk

#endif
