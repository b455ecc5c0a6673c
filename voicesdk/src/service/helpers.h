// Small pieces the service's request handlers share.
#ifndef VOICESDK_SRC_SERVICE_HELPERS_H
#define VOICESDK_SRC_SERVICE_HELPERS_H

#include "scheduler.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace voicesdk {
namespace service {

// Scheduler tag of the microphone test's levels; sessions' tags follow it.
constexpr uint64_t kMicTag = 1;

// Clamped, so that no setting can overflow the clock.
inline Clock::duration seconds(double value)
{
    double clamped = std::min(std::max(value, 0.0), 1e6);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(clamped));
}

inline bool listed(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace service
}  // namespace voicesdk

#endif
