#include "arena.h"

#include <cstdlib>

namespace voicesdk {
namespace {

// Small enough for the allocator's heap (no mapping per slab).
constexpr size_t kSlabBytes = 16 * 1024;
// Pieces larger than this come from malloc: a record with long texts
// would waste most of a slab.
constexpr size_t kLargestPiece = 1024;
// More references than a slab can hand out (every piece takes at least
// one alignment unit).
constexpr size_t kCharge = kSlabBytes / alignof(std::max_align_t) + 1;

// Builds whose heap a tool watches piece by piece.  ThreadSanitizer keeps
// the arena: it follows the slabs' atomic counts, and the arena's own
// threading is what it should watch.
#if defined(__SANITIZE_ADDRESS__)
#define VOICESDK_WATCHED_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define VOICESDK_WATCHED_HEAP 1
#endif
#endif

bool plain_allocation()
{
#ifdef VOICESDK_WATCHED_HEAP
    return true;
#else
    static const bool plain = std::getenv("VOICESDK_PLAIN_ALLOCATION") != nullptr;
    return plain;
#endif
}

}  // namespace

void *Arena::allocate(size_t bytes, Slab **slab)
{
    const size_t align = alignof(std::max_align_t);
    bytes = (bytes + align - 1) / align * align;
    if (!off_ && bytes <= kLargestPiece && (static_cast<size_t>(end_ - cursor_) >= bytes || start())) {
        void *piece = cursor_;
        cursor_ += bytes;
        ++handed_;
        *slab = slab_;
        return piece;
    }
    *slab = nullptr;
    return std::malloc(bytes);
}

bool Arena::start()
{
    retire();
    if (plain_allocation()) {
        off_ = true;
        return false;
    }
    slab_ = Slab::make(kCharge, kSlabBytes);
    if (!slab_)
        return false;
    cursor_ = slab_->space();
    end_ = cursor_ + kSlabBytes;
    handed_ = 0;
    return true;
}

void Arena::retire()
{
    if (!slab_)
        return;
    Slab *slab = slab_;
    slab_ = nullptr;
    cursor_ = end_ = nullptr;
    slab->release(kCharge - handed_);
}

}  // namespace voicesdk
