// Named shared memory backed by anonymous pages.  A mapped view holds its
// mapping (and so its name) alive after every handle is closed.
#include "internal.h"

#include <sys/mman.h>

#include <unordered_map>

namespace twplat {
namespace {

constexpr uint64_t kAllocationGranularity = 65536;
constexpr DWORD kErrorMappedAlignment = 1132;

struct FileMapping final : KObject {
    FileMapping() : KObject(KType::mapping) {}
    ~FileMapping() override
    {
        if (base)
            munmap(base, size);
    }

    void *base = nullptr;
    size_t size = 0;
};

struct View {
    std::shared_ptr<FileMapping> mapping;
    size_t count = 0;  // views of one mapping and offset share an address
};

struct ViewTable {
    std::mutex m;
    std::unordered_map<uintptr_t, View> views;
};

ViewTable &views()
{
    static ViewTable *t = new ViewTable;  // outlives threads still running at exit
    return *t;
}

}  // namespace
}  // namespace twplat

using namespace twplat;

extern "C" {

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD size_high,
                          DWORD size_low, LPCSTR name)
{
    // Only memory mappings: there is no file API to hand us a file handle.
    if (file != INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    uint64_t size = (static_cast<uint64_t>(size_high) << 32) | size_low;
    if ((protect != PAGE_READWRITE && protect != PAGE_READONLY) || size == 0 || size > SIZE_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return create_object(name, KType::mapping, [&]() -> std::shared_ptr<KObject> {
        void *base = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        auto mapping = std::make_shared<FileMapping>();
        mapping->base = base;
        mapping->size = static_cast<size_t>(size);
        return mapping;
    });
}

HANDLE OpenFileMappingA(DWORD, BOOL, LPCSTR name) { return open_object(name, KType::mapping); }

LPVOID MapViewOfFile(HANDLE h, DWORD, DWORD offset_high, DWORD offset_low, size_t bytes)
{
    auto mapping = std::static_pointer_cast<FileMapping>(handle_object_of(h, KType::mapping));
    if (!mapping)
        return nullptr;
    uint64_t offset = (static_cast<uint64_t>(offset_high) << 32) | offset_low;
    if (offset % kAllocationGranularity != 0) {
        SetLastError(kErrorMappedAlignment);
        return nullptr;
    }
    if (offset >= mapping->size || bytes > mapping->size - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    char *address = static_cast<char *>(mapping->base) + offset;
    ViewTable &t = views();
    std::lock_guard<std::mutex> lock(t.m);
    View &view = t.views[reinterpret_cast<uintptr_t>(address)];
    if (!view.mapping)
        view.mapping = mapping;
    ++view.count;
    return address;
}

BOOL UnmapViewOfFile(const void *address)
{
    ViewTable &t = views();
    std::shared_ptr<FileMapping> dropped;  // released after the lock: it may unbind a name
    std::lock_guard<std::mutex> lock(t.m);
    auto it = t.views.find(reinterpret_cast<uintptr_t>(address));
    if (it == t.views.end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    if (--it->second.count == 0) {
        dropped = std::move(it->second.mapping);
        t.views.erase(it);
    }
    return TRUE;
}

}  // extern "C"
