// Process identity, module paths, the computer name, time and sleeping.
#include "internal.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <sched.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace twplat {

// Kept, as Windows keeps it where a read costs nothing: the product asks on
// every call to tell a forked child from its parent.  Forgotten in a child
// at the fork (fork.cpp).
std::atomic<DWORD> g_process_id{0};

namespace {

bool self_executable(std::string &out)
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return false;
    out.assign(path, static_cast<size_t>(n));
    return true;
}

// A module handle is the load base of a loaded object, as on Win32.
bool module_path(HMODULE module, std::string &out)
{
    if (!module)
        return self_executable(out);
    Dl_info info;
    struct link_map *map = nullptr;
    if (!dladdr1(reinterpret_cast<void *>(module), &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP) ||
        info.dli_fbase != reinterpret_cast<void *>(module))
        return false;
    // The program itself heads the link map and carries no usable name there.
    if (!map || !map->l_prev || !info.dli_fname || !*info.dli_fname)
        return self_executable(out);
    char resolved[PATH_MAX];
    out = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    return true;
}

}  // namespace
}  // namespace twplat

using namespace twplat;

extern "C" {

DWORD GetCurrentProcessId(void)
{
    DWORD id = g_process_id.load(std::memory_order_relaxed);
    if (id == 0) {
        id = static_cast<DWORD>(getpid());
        g_process_id.store(id, std::memory_order_relaxed);
    }
    return id;
}

HINSTANCE twplat_module_handle(const void *address_in_module)
{
    Dl_info info;
    if (!address_in_module || !dladdr(address_in_module, &info) || !info.dli_fbase) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HINSTANCE>(info.dli_fbase);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    if (!buffer && size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string path;
    if (!module_path(module, path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Too small: truncated, terminated, and the full buffer size returned.
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

// The NetBIOS-style name Win32 reports: host part only, at most
// MAX_COMPUTERNAME_LENGTH characters, upper case.
BOOL GetComputerNameA(LPSTR buffer, DWORD *size)
{
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || !host[0])
        std::strcpy(host, "localhost");
    std::string name(host, std::strcspn(host, "."));
    if (name.size() > MAX_COMPUTERNAME_LENGTH)
        name.resize(MAX_COMPUTERNAME_LENGTH);
    for (char &c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    DWORD needed = static_cast<DWORD>(name.size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), needed);
    *size = needed - 1;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *counter)
{
    if (!counter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    counter->QuadPart = static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency)
{
    if (!frequency) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = 1000000000;  // the counter is in nanoseconds
    return TRUE;
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;)
            pause();
    }
    struct timespec left = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // extern "C"
