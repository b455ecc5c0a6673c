// Attachment to the shared-memory log channel a host process may offer: a
// named file mapping with a versioned block, guarded by two named mutexes
// and two named events.  The objects are only opened, never created, and
// the block is never written.
#ifndef TALKWIRE_MODULE_HOST_LOG_CHANNEL_H
#define TALKWIRE_MODULE_HOST_LOG_CHANNEL_H

#include "twplatform/win32.h"

#include <cstdint>

namespace talkwire {

// Who attached, and what was opened.  Everything opened stays open for the
// record's lifetime; the process-wide record is never destroyed.
struct HostLogState {
    HostLogState() = default;
    HostLogState(const HostLogState &) = delete;
    HostLogState &operator=(const HostLogState &) = delete;
    ~HostLogState();

    char computer_name[31] = {};
    char host_path[MAX_PATH] = {};
    DWORD process_id = 0;
    HINSTANCE module_instance = nullptr;
    char module_path[MAX_PATH] = {};
    int64_t start_counter = 0;
    bool connected = false;  // all four synchronisation objects are open
    HANDLE mapping = nullptr;
    void *view = nullptr;
    HANDLE host_mutex_a = nullptr;
    HANDLE host_mutex_b = nullptr;
    HANDLE host_event_c = nullptr;
    HANDLE host_event_d = nullptr;
};

enum HostLogResult {
    kHostLogAttached = 0,
    kHostLogNoMapping = -1,
    kHostLogWrongVersion = -2,  // also: the block could not be mapped
    kHostLogMissingObject = -3,
};

// The base name the host uses for its objects.
constexpr const char *kHostLogBaseName = "ORB";

// The attachment itself, into a fresh record of the caller's, against the
// objects named after `base_name` ("ORB", "aORB" ... "dORB").  Returns a
// HostLogResult; what was opened before a failure stays in `state`.  A base
// name longer than 28 characters names nothing (-1).
int attach_host_log_channel(HostLogState &state, HINSTANCE module_instance, const char *base_name) noexcept;

// Attaches the process-wide record, once per process: later calls change
// nothing and return the first call's result.  Importing thread.
int attach_host_log_channel(HINSTANCE module_instance, const char *base_name) noexcept;

// The module's attachment, to the host's own objects.
inline int attach_host_log_channel(HINSTANCE module_instance) noexcept
{
    return attach_host_log_channel(module_instance, kHostLogBaseName);
}

// The process-wide record (all empty until the first attachment).
const HostLogState &host_log_state();

}  // namespace talkwire

#endif
