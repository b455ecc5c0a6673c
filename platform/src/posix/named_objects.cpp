// Process-wide namespace of named kernel objects.  Entries are weak: a name
// lives exactly as long as something (a handle, a mapped view) holds its object.
#include "internal.h"

#include <unordered_map>

namespace twplat {
namespace {

struct Namespace {
    std::mutex m;
    std::unordered_map<std::string, std::weak_ptr<KObject>> objects;
};

Namespace &names()
{
    static Namespace *ns = new Namespace;  // outlives threads still running at exit
    return *ns;
}

// "Local\\" is the session namespace every unprefixed name already lives in.
std::string canonical(LPCSTR name)
{
    std::string s(name);
    static const char kLocal[] = "Local\\";
    if (s.compare(0, sizeof kLocal - 1, kLocal) == 0)
        s.erase(0, sizeof kLocal - 1);
    return s;
}

}  // namespace

std::shared_ptr<KObject> names_create(LPCSTR raw, KType type,
                                      const std::function<std::shared_ptr<KObject>()> &make,
                                      bool *existed)
{
    std::string name = canonical(raw);
    Namespace &ns = names();
    // Declared before the lock so that dropping what may be the last reference
    // happens after unlocking (the destructor re-enters the namespace).
    std::shared_ptr<KObject> obj;
    std::lock_guard<std::mutex> lock(ns.m);
    auto it = ns.objects.find(name);
    if (it != ns.objects.end())
        obj = it->second.lock();
    if (obj) {
        if (obj->type != type) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        *existed = true;
        return obj;
    }
    obj = make();
    if (!obj)
        return nullptr;
    obj->name = name;
    ns.objects[name] = obj;
    *existed = false;
    return obj;
}

std::shared_ptr<KObject> names_open(LPCSTR raw, KType type)
{
    if (!raw || !*raw) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name = canonical(raw);
    Namespace &ns = names();
    std::shared_ptr<KObject> obj;  // see names_create
    std::lock_guard<std::mutex> lock(ns.m);
    auto it = ns.objects.find(name);
    if (it != ns.objects.end())
        obj = it->second.lock();
    if (!obj) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (obj->type != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return obj;
}

void names_forget(const std::string &name)
{
    Namespace &ns = names();
    std::lock_guard<std::mutex> lock(ns.m);
    auto it = ns.objects.find(name);
    // A new object may already have taken the name while this one was dying.
    if (it != ns.objects.end() && it->second.expired())
        ns.objects.erase(it);
}

}  // namespace twplat
