// Python volumes run 0 to VOLUME_MAX (32000) for the SDK's levels 0 to 100.
// Computed in 64 bits so that volumes far outside the scale still convert,
// truncating toward zero and wrapping to 32 bits like the 32-bit arithmetic
// does inside the range.
#ifndef TALKWIRE_AUDIO_LEVELS_H
#define TALKWIRE_AUDIO_LEVELS_H

#include "catalogue.h"

#include <cstdint>

namespace talkwire {

inline int32_t volume_to_level(int32_t volume)
{
    return static_cast<int32_t>(static_cast<int64_t>(volume) * 100 / TALKWIRE_VOLUME_MAX);
}

inline int32_t level_to_volume(int32_t level)
{
    constexpr int64_t kVolumePerLevel = TALKWIRE_VOLUME_MAX / 100;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(level) * kVolumePerLevel));
}

}  // namespace talkwire

#endif
