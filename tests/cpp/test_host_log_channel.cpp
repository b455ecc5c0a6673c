// The host log-channel attachment against objects a fake host creates under
// a base name of the test's own, so that parallel runs never meet.
#include "module/host_log_channel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace talkwire {
namespace {

constexpr DWORD kBlockSize = 4096;

std::string unique_base_name()
{
    static int counter = 0;
    char name[32];
    std::snprintf(name, sizeof name, "twlog%u_%d", static_cast<unsigned>(GetCurrentProcessId()), ++counter);
    return name;
}

std::string object_name(char letter, const std::string &base)
{
    return std::string(1, letter) + base;
}

// The host's side: creates the objects that are asked for and owns them.
class FakeHost {
public:
    struct Objects {
        bool mapping = true;
        WORD version = 7;
        bool mutex_a = true, mutex_b = true, event_c = true, event_d = true;
    };

    explicit FakeHost(const Objects &objects) : base_(unique_base_name())
    {
        if (objects.mapping) {
            mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                                          base_.c_str());
            block_ = static_cast<unsigned char *>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, kBlockSize));
            for (DWORD i = 0; i < kBlockSize; ++i)
                block_[i] = static_cast<unsigned char>(i * 7 + 1);
            std::memcpy(block_ + 2, &objects.version, sizeof objects.version);
        }
        if (objects.mutex_a)
            handles_.push_back(CreateMutexA(nullptr, FALSE, object_name('a', base_).c_str()));
        if (objects.mutex_b)
            handles_.push_back(CreateMutexA(nullptr, FALSE, object_name('b', base_).c_str()));
        if (objects.event_c)
            handles_.push_back(CreateEventA(nullptr, FALSE, FALSE, object_name('c', base_).c_str()));
        if (objects.event_d)
            handles_.push_back(CreateEventA(nullptr, FALSE, FALSE, object_name('d', base_).c_str()));
    }
    ~FakeHost()
    {
        for (HANDLE handle : handles_)
            CloseHandle(handle);
        if (block_)
            UnmapViewOfFile(block_);
        if (mapping_)
            CloseHandle(mapping_);
    }
    FakeHost(const FakeHost &) = delete;
    FakeHost &operator=(const FakeHost &) = delete;

    const char *base() const { return base_.c_str(); }
    std::vector<unsigned char> block() const { return std::vector<unsigned char>(block_, block_ + kBlockSize); }

    bool ready() const
    {
        for (HANDLE handle : handles_) {
            if (!handle)
                return false;
        }
        return !mapping_ == !block_;
    }

private:
    std::string base_;
    HANDLE mapping_ = nullptr;
    unsigned char *block_ = nullptr;
    std::vector<HANDLE> handles_;
};

FakeHost::Objects with(void (*change)(FakeHost::Objects &))
{
    FakeHost::Objects objects;
    change(objects);
    return objects;
}

HINSTANCE this_module()
{
#ifdef _WIN32
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&this_module), &module);
    return module;
#else
    return twplat_module_handle(reinterpret_cast<const void *>(&this_module));
#endif
}

TEST(HostLogChannel, NoMappingRecordsNothing)
{
    FakeHost host(with([](FakeHost::Objects &o) { o.mapping = false; }));
    ASSERT_TRUE(host.ready());
    HostLogState state;
    EXPECT_EQ(attach_host_log_channel(state, this_module(), host.base()), -1);
    EXPECT_EQ(state.mapping, nullptr);
    EXPECT_EQ(state.view, nullptr);
    EXPECT_EQ(state.process_id, 0u);
    EXPECT_EQ(state.module_instance, nullptr);
    EXPECT_STREQ(state.computer_name, "");
    EXPECT_EQ(state.host_event_c, nullptr);
    EXPECT_FALSE(state.connected);
}

TEST(HostLogChannel, WrongVersionStopsBeforeTheSynchronisationObjects)
{
    FakeHost host(with([](FakeHost::Objects &o) { o.version = 6; }));
    ASSERT_TRUE(host.ready());
    HostLogState state;
    EXPECT_EQ(attach_host_log_channel(state, this_module(), host.base()), -2);
    // Identity is recorded and the view stays mapped.
    EXPECT_NE(state.mapping, nullptr);
    EXPECT_NE(state.view, nullptr);
    EXPECT_EQ(state.process_id, GetCurrentProcessId());
    EXPECT_EQ(state.host_event_c, nullptr);
    EXPECT_EQ(state.host_mutex_a, nullptr);
    EXPECT_FALSE(state.connected);
}

TEST(HostLogChannel, MissingEventLeavesItDisconnected)
{
    FakeHost host(with([](FakeHost::Objects &o) { o.event_d = false; }));
    ASSERT_TRUE(host.ready());
    HostLogState state;
    EXPECT_EQ(attach_host_log_channel(state, this_module(), host.base()), -3);
    EXPECT_FALSE(state.connected);
    EXPECT_NE(state.host_event_c, nullptr);
    EXPECT_EQ(state.host_event_d, nullptr);
    // The others are still opened, in order after the missing one.
    EXPECT_NE(state.host_mutex_a, nullptr);
    EXPECT_NE(state.host_mutex_b, nullptr);
    // Opened only: the missing object was not created by the attempt.
    HANDLE created = OpenEventA(EVENT_ALL_ACCESS, FALSE, object_name('d', host.base()).c_str());
    EXPECT_EQ(created, nullptr);
    if (created)
        CloseHandle(created);
}

TEST(HostLogChannel, EachMissingObjectFails)
{
    void (*drop[])(FakeHost::Objects &) = {
        [](FakeHost::Objects &o) { o.mutex_a = false; },
        [](FakeHost::Objects &o) { o.mutex_b = false; },
        [](FakeHost::Objects &o) { o.event_c = false; },
    };
    for (auto change : drop) {
        FakeHost host(with(change));
        ASSERT_TRUE(host.ready());
        HostLogState state;
        EXPECT_EQ(attach_host_log_channel(state, this_module(), host.base()), -3);
        EXPECT_FALSE(state.connected);
    }
}

TEST(HostLogChannel, AllPresentAttachesAndRecordsWhoAttached)
{
    FakeHost host{FakeHost::Objects()};
    ASSERT_TRUE(host.ready());
    const std::vector<unsigned char> before = host.block();
    LARGE_INTEGER earlier;
    ASSERT_TRUE(QueryPerformanceCounter(&earlier));

    HostLogState state;
    ASSERT_EQ(attach_host_log_channel(state, this_module(), host.base()), 0);
    EXPECT_TRUE(state.connected);
    EXPECT_NE(state.host_mutex_a, nullptr);
    EXPECT_NE(state.host_mutex_b, nullptr);
    EXPECT_NE(state.host_event_c, nullptr);
    EXPECT_NE(state.host_event_d, nullptr);

    char computer[31] = {};
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    EXPECT_STREQ(state.computer_name, computer);
    EXPECT_EQ(state.process_id, GetCurrentProcessId());
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_STREQ(state.host_path, path);
    EXPECT_EQ(state.module_instance, this_module());
    GetModuleFileNameA(this_module(), path, sizeof path);
    EXPECT_STREQ(state.module_path, path);
    EXPECT_GE(state.start_counter, earlier.QuadPart);

    // The view is the host's block, read and never written.
    unsigned char *view = static_cast<unsigned char *>(state.view);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(view, view + kBlockSize), before);
    EXPECT_EQ(host.block(), before);
}

TEST(HostLogChannel, NamesTooLongForTheHostsSlotsNameNothing)
{
    const std::string base(29, 'x');
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize, base.c_str());
    ASSERT_NE(mapping, nullptr);
    HostLogState state;
    EXPECT_EQ(attach_host_log_channel(state, nullptr, base.c_str()), -1);
    EXPECT_EQ(attach_host_log_channel(state, nullptr, nullptr), -1);
    CloseHandle(mapping);
}

TEST(HostLogChannel, ProcessWideAttachmentHappensOnce)
{
    FakeHost host(with([](FakeHost::Objects &o) { o.event_c = false; }));
    FakeHost complete{FakeHost::Objects()};
    ASSERT_TRUE(host.ready() && complete.ready());
    EXPECT_FALSE(host_log_state().connected);
    EXPECT_EQ(host_log_state().mapping, nullptr);

    EXPECT_EQ(attach_host_log_channel(this_module(), host.base()), -3);
    const HANDLE mapping = host_log_state().mapping;
    EXPECT_NE(mapping, nullptr);
    EXPECT_EQ(host_log_state().module_instance, this_module());

    // A later call changes nothing, whatever it names.
    EXPECT_EQ(attach_host_log_channel(nullptr, complete.base()), -3);
    EXPECT_EQ(host_log_state().mapping, mapping);
    EXPECT_EQ(host_log_state().module_instance, this_module());
    EXPECT_FALSE(host_log_state().connected);
}

}  // namespace
}  // namespace talkwire
