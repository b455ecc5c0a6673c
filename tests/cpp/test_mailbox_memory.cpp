// The mailbox when memory runs out: no exception may leave the SDK's
// callback (delivery) or the window procedure (collection), and no message
// may be lost or released twice.  Allocation failure is injected by
// replacing the global operator new in this test program.
#include "bridge/mailbox.h"
#include "bridge/message_window.h"
#include "recording_sink.h"
#include "voicesdk/control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

std::atomic<bool> allocations_fail{false};

}  // namespace

// Every form but the aligned ones is replaced, so that each allocation is
// freed by its own kind (the sanitizers check); they pair malloc with free.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 11
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void *operator new(std::size_t size)
{
    if (allocations_fail.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    if (void *memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void *operator new[](std::size_t size)
{
    return ::operator new(size);
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept
{
    return ::operator new(size, tag);
}

void operator delete(void *memory) noexcept
{
    std::free(memory);
}

void operator delete[](void *memory) noexcept
{
    std::free(memory);
}

void operator delete(void *memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void *memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete(void *memory, const std::nothrow_t &) noexcept
{
    std::free(memory);
}

void operator delete[](void *memory, const std::nothrow_t &) noexcept
{
    std::free(memory);
}

namespace talkwire {
namespace {

// While it lives, every operator new on every thread fails.
struct NoMemory {
    NoMemory() { allocations_fail.store(true); }
    ~NoMemory() { allocations_fail.store(false); }
    NoMemory(const NoMemory &) = delete;
    NoMemory &operator=(const NoMemory &) = delete;
};

class MailboxMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sdk_ctl_reset();
        window_ = create_message_window();
        ASSERT_NE(window_, nullptr);
        mailbox_.open(window_);
    }
    void TearDown() override
    {
        mailbox_.close();
        destroy_message_window(window_);
        sdk_ctl_live_t counts;
        sdk_ctl_live(&counts);
        EXPECT_EQ(counts.events, 0);
    }

    static sdk_message_base_t *event() { return &sdk_ctl_event_create(kOtherEvent)->message; }

    bool wake_up_queued()
    {
        MSG message;
        return PeekMessageA(&message, window_, kSdkMessage, kSdkMessage, PM_REMOVE) != 0;
    }

    HWND window_ = nullptr;
    Mailbox mailbox_;
};

TEST_F(MailboxMemoryTest, DeliveryWithoutMemoryLeavesTheMessagesToTheCaller)
{
    sdk_message_base_t *first = event();
    ASSERT_TRUE(mailbox_.deliver(first));
    EXPECT_TRUE(wake_up_queued());
    std::vector<sdk_message_base_t *> burst;
    for (int i = 0; i < 64; ++i)
        burst.push_back(event());
    {
        NoMemory no_memory;
        EXPECT_FALSE(mailbox_.deliver(burst.data(), burst.size()));
    }
    // Still the caller's: released here, once.
    for (sdk_message_base_t *message : burst)
        destroy_msg(message);
    // What was queued before is untouched, and delivery works again.
    sdk_message_base_t *later = event();
    ASSERT_TRUE(mailbox_.deliver(later));
    mailbox_.collect();
    EXPECT_EQ(mailbox_.next().get(), first);
    EXPECT_EQ(mailbox_.next().get(), later);
    EXPECT_EQ(mailbox_.next().get(), nullptr);
}

TEST_F(MailboxMemoryTest, NestedCollectionWithoutMemoryKeepsTheArrivalsInOrder)
{
    sdk_message_base_t *a = event();
    sdk_message_base_t *b = event();
    sdk_message_base_t *c = event();
    sdk_message_base_t *d = event();
    sdk_message_base_t *const first[] = {a, b};
    ASSERT_TRUE(mailbox_.deliver(first, 2));
    mailbox_.collect();
    EXPECT_EQ(mailbox_.next().get(), a);  // a callback pumps again before b
    ASSERT_TRUE(mailbox_.deliver(c));
    {
        NoMemory no_memory;
        mailbox_.collect();  // c cannot join the list: it waits
    }
    EXPECT_EQ(mailbox_.next().get(), b);
    EXPECT_EQ(mailbox_.next().get(), nullptr);
    // The next delivery wakes the mailbox again and c comes first.
    while (wake_up_queued()) {
    }
    ASSERT_TRUE(mailbox_.deliver(d));
    EXPECT_TRUE(wake_up_queued());
    mailbox_.collect();
    EXPECT_EQ(mailbox_.next().get(), c);
    EXPECT_EQ(mailbox_.next().get(), d);
    EXPECT_EQ(mailbox_.next().get(), nullptr);
}

#ifndef _WIN32
TEST(PostedMessagesWithoutMemory, PostFailsWithTheWin32Error)
{
    // The queue grows a block at a time: within a few dozen posts one needs
    // memory and must fail cleanly rather than throw.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue exists
    int posted = 0;
    bool failed = false;
    DWORD error = 0;
    {
        NoMemory no_memory;
        for (int i = 0; i < 256 && !failed; ++i) {
            if (PostThreadMessageA(GetCurrentThreadId(), WM_USER + 7, 0, 0)) {
                ++posted;
            } else {
                failed = true;
                error = GetLastError();
            }
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    int received = 0;
    while (PeekMessageA(&message, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE))
        ++received;
    EXPECT_EQ(received, posted);
}
#endif

}  // namespace
}  // namespace talkwire
