// Events, threads, mutexes, named objects, file mappings and the last error.
#include "test_support.h"

#include <chrono>
#include <cstring>

using twtest::code;

namespace {

double elapsed_ms(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

TEST(Event, AutoResetReleasesOneWaitPerSignal)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 40), WAIT_TIMEOUT);
    EXPECT_GE(elapsed_ms(start), 35.0);

    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));  // signals do not accumulate
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));

    HANDLE initially_set = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(initially_set, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(initially_set, 0), WAIT_TIMEOUT);
    CloseHandle(initially_set);
}

TEST(Event, ManualResetStaysSignaledUntilReset)
{
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Event, SetFromAnotherThreadReleasesEveryManualWaiter)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    auto waiter = [event]() -> DWORD { return WaitForSingleObject(event, INFINITE); };
    twtest::TestThread a(waiter), b(waiter);
    Sleep(30);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(a.join(), WAIT_OBJECT_0);
    EXPECT_EQ(b.join(), WAIT_OBJECT_0);
    CloseHandle(event);
}

TEST(Handles, BadHandlesAreReportedNotFollowed)
{
    const HANDLE garbage = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7123450));
    std::vector<HANDLE> bad_handles = {nullptr, garbage};
#ifndef _WIN32
    // On Windows this value is the process's own pseudo-handle: closing it does nothing.
    bad_handles.push_back(INVALID_HANDLE_VALUE);
#endif
    for (HANDLE bad : bad_handles) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));
    }
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(garbage, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));

    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));

    // The right kind of object is checked too.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(mapping, nullptr);
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(mapping, 0), WAIT_FAILED);
#ifdef _WIN32
    // A mapping's handle lacks the right to wait: that check comes first.
    EXPECT_EQ(GetLastError(), code(ERROR_ACCESS_DENIED));
#else
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));
#endif
    CloseHandle(mutex);
    CloseHandle(mapping);
}

TEST(Thread, StillActiveThenSignaledWithExitCode)
{
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> inner_id{0};
    std::atomic<DWORD> inner_pid{0};
    twtest::TestThread worker([&]() -> DWORD {
        inner_id = GetCurrentThreadId();
        inner_pid = GetCurrentProcessId();
        WaitForSingleObject(go, INFINITE);
        return 1234;
    });
    DWORD exit_code = 0;
    ASSERT_TRUE(GetExitCodeThread(worker.handle(), &exit_code));
    EXPECT_EQ(exit_code, code(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(worker.handle(), 20), WAIT_TIMEOUT);
    SetEvent(go);
    EXPECT_EQ(worker.join(), 1234u);
    EXPECT_EQ(inner_id.load(), worker.id());
    EXPECT_NE(worker.id(), GetCurrentThreadId());
    EXPECT_NE(worker.id(), 0u);
    EXPECT_EQ(inner_pid.load(), GetCurrentProcessId());
    EXPECT_EQ(WaitForSingleObject(worker.handle(), 0), WAIT_OBJECT_0);  // stays signaled
    CloseHandle(go);
}

TEST(Thread, LastErrorIsPerThread)
{
    SetLastError(1234);
    twtest::TestThread other([]() -> DWORD {
        DWORD initial = GetLastError();
        SetLastError(5678);
        return initial == 0 && GetLastError() == 5678 ? 0 : 1;
    });
    EXPECT_EQ(other.join(), 0u);
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Mutex, RecursiveOwnershipByThread)
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // again, recursively
    auto try_take = [mutex]() -> DWORD {
        DWORD r = WaitForSingleObject(mutex, 0);
        if (r == WAIT_OBJECT_0)
            ReleaseMutex(mutex);
        return r;
    };
    {
        twtest::TestThread other(try_take);
        EXPECT_EQ(other.join(), WAIT_TIMEOUT);
    }
    EXPECT_TRUE(ReleaseMutex(mutex));
    {
        twtest::TestThread other(try_take);
        EXPECT_EQ(other.join(), WAIT_TIMEOUT);  // still held once
    }
    EXPECT_TRUE(ReleaseMutex(mutex));
    {
        twtest::TestThread other(try_take);
        EXPECT_EQ(other.join(), WAIT_OBJECT_0);
    }
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), code(ERROR_NOT_OWNER));
    CloseHandle(mutex);
}

TEST(Mutex, OwnerExitingAbandonsIt)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    {
        twtest::TestThread owner([mutex]() -> DWORD { return WaitForSingleObject(mutex, 0); });
        EXPECT_EQ(owner.join(), WAIT_OBJECT_0);
    }
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(NamedObjects, CreatingAnExistingNameSharesTheObject)
{
    const std::string name = twtest::unique_name("twplat-event");
    SetLastError(1234);
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE second = CreateEventA(nullptr, TRUE, TRUE, name.c_str());  // flags of the existing one win
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_ALREADY_EXISTS));
    EXPECT_NE(first, second);
    HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(opened, nullptr);

    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(opened));
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);  // auto-reset: consumed

    // The name lasts while any handle does.
    CloseHandle(first);
    CloseHandle(second);
    HANDLE again = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    EXPECT_NE(again, nullptr);
    CloseHandle(again);
    CloseHandle(opened);
    SetLastError(0);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_FILE_NOT_FOUND));
}

TEST(NamedObjects, NamesAreBoundToOneKindOfObject)
{
    const std::string name = twtest::unique_name("twplat-mutex");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    SetLastError(0);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));

    HANDLE same = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(same, nullptr);
    CloseHandle(same);
    CloseHandle(mutex);

    const std::string missing = twtest::unique_name("twplat-missing");
    SetLastError(0);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, missing.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_FILE_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, missing.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_FILE_NOT_FOUND));
}

TEST(FileMapping, ViewsShareMemoryAndKeepTheNameAlive)
{
    const std::string name = twtest::unique_name("twplat-shm");
    HANDLE created = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8192, name.c_str());
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    auto *writer = static_cast<unsigned char *>(MapViewOfFile(created, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(writer, nullptr);
    for (size_t i = 0; i < 8192; ++i)
        ASSERT_EQ(writer[i], 0) << "at " << i;
    std::memcpy(writer + 4000, "shared", 7);

    HANDLE opened = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    ASSERT_NE(opened, nullptr);
    auto *reader = static_cast<unsigned char *>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(reader, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char *>(reader + 4000), "shared");
    writer[8191] = 0x5A;
    EXPECT_EQ(reader[8191], 0x5A);

    CloseHandle(created);
    CloseHandle(opened);
    HANDLE while_mapped = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
#ifdef _WIN32
    // Views keep the memory, but the name goes with the last handle.
    EXPECT_EQ(while_mapped, nullptr);
#else
    // Views alone keep the object, and its name, alive.
    ASSERT_NE(while_mapped, nullptr);
    CloseHandle(while_mapped);
#endif
    EXPECT_EQ(reader[8191], 0x5A);
    EXPECT_TRUE(UnmapViewOfFile(writer));
    EXPECT_TRUE(UnmapViewOfFile(reader));
    SetLastError(0);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_FILE_NOT_FOUND));
}

TEST(FileMapping, InvalidRequests)
{
    SetLastError(0);
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_PARAMETER));

    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(mapping, nullptr);
    SetLastError(0);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 8192), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_ACCESS_DENIED));
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetLastError(0);
    EXPECT_EQ(MapViewOfFile(event, FILE_MAP_ALL_ACCESS, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_HANDLE));
    int local = 0;
    SetLastError(0);
    EXPECT_FALSE(UnmapViewOfFile(&local));
    EXPECT_EQ(GetLastError(), code(ERROR_INVALID_ADDRESS));
    CloseHandle(event);
    CloseHandle(mapping);
}

TEST(NamedObjects, ConcurrentCreateAndCloseKeepTheNamespaceConsistent)
{
    const std::string name = twtest::unique_name("twplat-churn");
    auto churn = [&name]() -> DWORD {
        DWORD wrong = 0;
        for (int i = 0; i < 2000; ++i) {
            HANDLE h = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
            DWORD error = GetLastError();
            if (!h || (error != 0 && error != code(ERROR_ALREADY_EXISTS)))
                ++wrong;
            HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
            if (!opened)  // our own handle keeps the name bound
                ++wrong;
            CloseHandle(opened);
            CloseHandle(h);
        }
        return wrong;
    };
    twtest::TestThread a(churn), b(churn), c(churn);
    EXPECT_EQ(a.join(), 0u);
    EXPECT_EQ(b.join(), 0u);
    EXPECT_EQ(c.join(), 0u);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str()), nullptr);
}

}  // namespace
