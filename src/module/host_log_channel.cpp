#include "module/host_log_channel.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

namespace talkwire {
namespace {

constexpr WORD kSharedBlockVersion = 7;
constexpr size_t kVersionOffset = 2;

// The mapping's name, then the four synchronisation objects' names: one
// letter, 'a' to 'd', before the base name.
struct ObjectNames {
    static constexpr size_t kSlotSize = 30;
    char mapping[kSlotSize];
    char letter[4][kSlotSize];

    // False when the base name does not fit its slots.
    bool build(const char *base)
    {
        if (!base || std::strlen(base) + 2 > kSlotSize)
            return false;
        std::snprintf(mapping, kSlotSize, "%s", base);
        for (int i = 0; i < 4; ++i)
            std::snprintf(letter[i], kSlotSize, "%c%s", 'a' + i, base);
        return true;
    }
    const char *mutex_a() const { return letter[0]; }
    const char *mutex_b() const { return letter[1]; }
    const char *event_c() const { return letter[2]; }
    const char *event_d() const { return letter[3]; }
};

HostLogState &process_state()
{
    // Never destroyed: the attachment lasts until the process ends.
    alignas(HostLogState) static unsigned char storage[sizeof(HostLogState)];
    static HostLogState *state = new (storage) HostLogState;
    return *state;
}

void record_identity(HostLogState &state, HINSTANCE module_instance)
{
    DWORD size = sizeof state.computer_name;
    if (!GetComputerNameA(state.computer_name, &size))
        state.computer_name[0] = '\0';
    state.process_id = GetCurrentProcessId();
    // Older systems leave a truncated path unterminated.
    GetModuleFileNameA(nullptr, state.host_path, sizeof state.host_path);
    state.host_path[sizeof state.host_path - 1] = '\0';
    state.module_instance = module_instance;
    GetModuleFileNameA(module_instance, state.module_path, sizeof state.module_path);
    state.module_path[sizeof state.module_path - 1] = '\0';
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter))
        state.start_counter = counter.QuadPart;
}

}  // namespace

HostLogState::~HostLogState()
{
    for (HANDLE handle : {host_event_d, host_event_c, host_mutex_b, host_mutex_a}) {
        if (handle)
            CloseHandle(handle);
    }
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
}

int attach_host_log_channel(HostLogState &state, HINSTANCE module_instance, const char *base_name) noexcept
{
    // A name too long for the host's slots names no object of the host's.
    ObjectNames names;
    if (!names.build(base_name))
        return kHostLogNoMapping;
    state.mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, names.mapping);
    if (!state.mapping)
        return kHostLogNoMapping;

    record_identity(state, module_instance);

    state.view = MapViewOfFile(state.mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
    if (!state.view)
        return kHostLogWrongVersion;  // there is no block to check
    WORD version = 0;
    std::memcpy(&version, static_cast<const char *>(state.view) + kVersionOffset, sizeof version);
    if (version != kSharedBlockVersion)
        return kHostLogWrongVersion;

    // Inheritable, like the host's own handles to them.
    state.host_event_c = OpenEventA(EVENT_ALL_ACCESS, TRUE, names.event_c());
    state.host_event_d = OpenEventA(EVENT_ALL_ACCESS, TRUE, names.event_d());
    state.host_mutex_a = OpenMutexA(MUTEX_ALL_ACCESS, TRUE, names.mutex_a());
    state.host_mutex_b = OpenMutexA(MUTEX_ALL_ACCESS, TRUE, names.mutex_b());
    if (!state.host_event_c || !state.host_event_d || !state.host_mutex_a || !state.host_mutex_b)
        return kHostLogMissingObject;
    state.connected = true;
    return kHostLogAttached;
}

int attach_host_log_channel(HINSTANCE module_instance, const char *base_name) noexcept
{
    static const int result = attach_host_log_channel(process_state(), module_instance, base_name);
    return result;
}

const HostLogState &host_log_state()
{
    return process_state();
}

}  // namespace talkwire
