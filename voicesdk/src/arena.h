// Where request records and SDK texts are carved from: a slab per thread,
// cut from front to back with no lock and no call into the allocator.  A
// slab starts charged with more references than it can hand out, so
// carving takes none; each piece gives one back when it is released (from
// any thread), and the unused charge goes back when the thread moves to a
// fresh slab or ends.  The last reference frees the slab.
//
// AddressSanitizer builds, and runs with VOICESDK_PLAIN_ALLOCATION set
// (valgrind), allocate every piece with malloc, so that the tools see each
// one.
#ifndef VOICESDK_SRC_ARENA_H
#define VOICESDK_SRC_ARENA_H

#include "slab.h"

#include <cstddef>

namespace voicesdk {

class Arena {
public:
    Arena() = default;
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;
    ~Arena()
    {
        retire();
        flush();
    }

    // `bytes` of storage aligned for any type, from the current slab
    // (*slab names it) or, when the piece is large, the slab cannot be
    // made or slabs are off, from malloc (*slab is null).  Null when memory
    // runs out.
    void *allocate(size_t bytes, Slab **slab);

    // Gives back the current slab's unused charge; the next piece starts a
    // fresh slab.  Owner thread only.
    void retire();

    // No slabs from now on (a thread that has ended, or a plain run).
    void turn_off() { off_ = true; }

    // Releases one piece of `slab`, any slab.  Releases of one slab in a
    // row (the records of a burst, handled in order) are added up and given
    // back as one, when a piece of another slab comes or the arena ends:
    // one atomic operation per run instead of one per piece.  The slab a
    // run is still counting on is held a little longer for it.
    void release_later(Slab *slab)
    {
        if (off_) {
            // An arena that carves nothing keeps no run: the shared one is
            // any thread's.
            slab->release();
            return;
        }
        if (slab != pending_) {
            flush();
            pending_ = slab;
        }
        ++pending_count_;
    }

    // Gives back the releases added up so far.
    void flush()
    {
        if (pending_)
            pending_->release(pending_count_);
        pending_ = nullptr;
        pending_count_ = 0;
    }

private:
    bool start();

    Slab *slab_ = nullptr;
    char *cursor_ = nullptr;
    char *end_ = nullptr;
    size_t handed_ = 0;
    bool off_ = false;
    Slab *pending_ = nullptr;
    size_t pending_count_ = 0;
};

// Releases one piece handed out by Arena::allocate.
inline void release_piece(void *piece, Slab *slab)
{
    if (slab)
        slab->release();
    else
        std::free(piece);
}

}  // namespace voicesdk

#endif
