// The stand-in's record of issued requests, behind voicesdk.requests().
// Scripted mode keeps every request.  While the simulated service answers,
// only the latest `limit` are kept, in a ring, so that a long session does
// not grow without bound; a running total numbers every request since the
// last clear, so counts and indices stay meaningful across what was let go.
// Not thread-safe: the SDK state's lock guards it.
#ifndef VOICESDK_SRC_REQUEST_LOG_H
#define VOICESDK_SRC_REQUEST_LOG_H

#include "voicesdk/control.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace voicesdk {

class RequestLog {
public:
    struct Entry {
        sdk_req_base_t *request;  // one reference held by the log
        int kind;
        bool sync;
        bool accepted;
    };
    using Released = std::vector<sdk_req_base_t *>;

    static constexpr size_t kDefaultLimit = 1000;

    // Appends the entry.  With `bounded`, a full log lets its oldest entry
    // go to make room, and returns that entry's reference for the caller to
    // release outside the lock; null otherwise.
    sdk_req_base_t *record(const Entry &entry, bool bounded);
    // Lets the oldest entries beyond the limit go, to `released`: for when
    // bounded recording starts, or the limit is lowered during it.
    void trim(Released &released);
    // At least 1.
    void set_limit(size_t limit) { limit_ = limit > 0 ? limit : 1; }
    size_t limit() const { return limit_; }

    // Every reference goes to `released`; the total starts again from 0.
    void clear(Released &released);

    // Requests recorded since the last clear, those let go included: the
    // index the next one gets.
    uint64_t total() const { return total_; }
    size_t size() const { return entries_.size(); }
    // The kept entries in issue order, each with its index; `out` has room
    // for size() of them.  Every request gains a reference.
    void copy_to(sdk_ctl_recorded_t *out) const;

private:
    const Entry &at(size_t i) const { return entries_[(start_ + i) % entries_.size()]; }
    // Puts the oldest entry first again, so that plain appends keep order.
    void unwrap();

    // A ring once full in bounded mode: the oldest entry sits at start_.
    // The storage is kept across clears, so that issuing never pays for
    // regrowing it.
    std::vector<Entry> entries_;
    size_t start_ = 0;
    uint64_t total_ = 0;
    size_t limit_ = kDefaultLimit;
};

}  // namespace voicesdk

#endif
