#include "request_log.h"

#include "records.h"

#include <algorithm>

namespace voicesdk {

sdk_req_base_t *RequestLog::record(const Entry &entry, bool bounded)
{
    ++total_;
    if (!bounded || entries_.size() < limit_) {
        unwrap();
        entries_.push_back(entry);
        return nullptr;
    }
    // Full (trim() keeps it from being over full): the newest takes the
    // oldest's place.
    sdk_req_base_t *oldest = entries_[start_].request;
    entries_[start_] = entry;
    start_ = (start_ + 1) % entries_.size();
    return oldest;
}

void RequestLog::trim(Released &released)
{
    if (entries_.size() <= limit_)
        return;
    unwrap();
    const size_t drop = entries_.size() - limit_;
    for (size_t i = 0; i < drop; ++i)
        released.push_back(entries_[i].request);
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(drop));
}

void RequestLog::clear(Released &released)
{
    for (const Entry &entry : entries_)
        released.push_back(entry.request);
    entries_.clear();
    start_ = 0;
    total_ = 0;
}

void RequestLog::copy_to(sdk_ctl_recorded_t *out) const
{
    const uint64_t first = total_ - entries_.size();
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry &entry = at(i);
        retain_request(entry.request);
        out[i] = sdk_ctl_recorded_t{entry.request, entry.kind, entry.sync, entry.accepted,
                                    static_cast<unsigned long long>(first + i)};
    }
}

void RequestLog::unwrap()
{
    if (start_ == 0)
        return;
    std::rotate(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(start_), entries_.end());
    start_ = 0;
}

}  // namespace voicesdk
