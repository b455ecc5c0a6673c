// The channel registry on its own: lookups, counts, byte-wise order, and
// its indexes kept in step with the records through any sequence of changes.
#include "channels/registry.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace talkwire {
namespace {

const ChannelState kAllStates[] = {ChannelState::Created, ChannelState::Connecting, ChannelState::Connected,
                                   ChannelState::Leaving, ChannelState::Idle};

TEST(Registry, NewRecordIsIdleAndEmpty)
{
    ChannelRegistry registry;
    Channel *channel = registry.add_channel("lobby");
    EXPECT_EQ(channel->name, "lobby");
    EXPECT_EQ(channel->state(), ChannelState::Idle);
    EXPECT_EQ(channel->session_handle(), "");
    EXPECT_EQ(channel->uri, "");
    EXPECT_TRUE(channel->participants.empty());
    EXPECT_EQ(channel->volume_base, 50);
    EXPECT_FALSE(registry.is_desired("lobby"));  // wishes are kept apart
}

TEST(Registry, AddKeepsAnExistingRecord)
{
    ChannelRegistry registry;
    Channel *first = registry.add_channel("a");
    registry.set_state(*first, ChannelState::Connected);
    first->uri = "sip:a";
    EXPECT_EQ(registry.add_channel("a"), first);
    EXPECT_EQ(first->state(), ChannelState::Connected);
    EXPECT_EQ(first->uri, "sip:a");
    EXPECT_EQ(registry.channels().size(), 1u);
}

TEST(Registry, CountsActiveStatesOnly)
{
    ChannelRegistry registry;
    EXPECT_EQ(registry.count_active_channels(), 0);
    const char *names[] = {"created", "connecting", "connected", "leaving", "idle"};
    for (int i = 0; i < 5; ++i)
        registry.set_state(*registry.add_channel(names[i]), kAllStates[i]);
    EXPECT_EQ(registry.count_active_channels(), 4);
    for (ChannelState state : kAllStates)
        EXPECT_EQ(registry.count_in_state(state), 1);
    registry.remove_channel("connected");
    EXPECT_EQ(registry.count_active_channels(), 3);
    EXPECT_EQ(registry.count_in_state(ChannelState::Connected), 0);
}

TEST(Registry, FindBySessionTakesTheFirstNameAndIgnoresEmptyHandles)
{
    ChannelRegistry registry;
    Channel *lower = registry.add_channel("a");
    Channel *upper = registry.add_channel("B");
    Channel *unplaced = registry.add_channel("C");
    registry.set_session_handle(*lower, "shared");
    registry.set_session_handle(*upper, "shared");
    EXPECT_EQ(registry.find_channel_by_session("shared"), upper);  // 'B' < 'a'
    EXPECT_EQ(registry.find_channel_by_session("other"), nullptr);
    EXPECT_EQ(registry.find_channel_by_session(""), nullptr);
    (void)unplaced;

    registry.set_session_handle(*upper, "own");
    EXPECT_EQ(registry.find_channel_by_session("shared"), lower);
    EXPECT_EQ(registry.find_channel_by_session("own"), upper);
    registry.remove_channel("a");
    EXPECT_EQ(registry.find_channel_by_session("shared"), nullptr);
    EXPECT_EQ(registry.check_consistency(), "");
}

TEST(Registry, NamesInStateFollowByteOrder)
{
    ChannelRegistry registry;
    for (const char *name : {"b", "a", "B", "_", "\xc3\xa9", "A"})
        registry.set_state(*registry.add_channel(name), ChannelState::Created);
    registry.set_state(*registry.add_channel("0"), ChannelState::Connected);
    std::vector<std::string> expected = {"A", "B", "_", "a", "b", "\xc3\xa9"};
    EXPECT_EQ(registry.names_in_state(ChannelState::Created), expected);
    std::vector<std::string> walked;
    for (const auto &entry : registry.channels())
        walked.push_back(entry.first);
    EXPECT_EQ(walked.front(), "0");
    EXPECT_EQ(walked.back(), "\xc3\xa9");  // bytes compare unsigned
}

TEST(Registry, Participants)
{
    Channel channel("a");
    Participant p;
    p.uri = "sip:p";
    EXPECT_FALSE(ChannelRegistry::store_participant(channel, p));
    p.flag_a = true;
    p.flag_b = true;
    p.level = 0.75;
    EXPECT_TRUE(ChannelRegistry::store_participant(channel, p));
    const Participant &stored = channel.participants.at("sip:p");
    EXPECT_TRUE(stored.flag_a);
    EXPECT_TRUE(stored.flag_b);
    EXPECT_EQ(stored.level, 0.75);
    ChannelRegistry::remove_participant(channel, "sip:absent");
    EXPECT_EQ(channel.participants.size(), 1u);
    ChannelRegistry::remove_participant(channel, "sip:p");
    EXPECT_TRUE(channel.participants.empty());
}

TEST(Registry, AbsentKeysChangeNothing)
{
    ChannelRegistry registry;
    registry.add_channel("a");
    registry.desire("a");
    registry.remove_channel("b");
    registry.undesire("b");
    EXPECT_EQ(registry.take_channel("b"), nullptr);
    EXPECT_EQ(registry.channels().size(), 1u);
    EXPECT_TRUE(registry.is_desired("a"));
}

TEST(Registry, TakenRecordLeavesEveryIndex)
{
    ChannelRegistry registry;
    Channel *channel = registry.add_channel("a");
    registry.set_session_handle(*channel, "s");
    registry.set_state(*channel, ChannelState::Connecting);
    std::unique_ptr<Channel> taken = registry.take_channel("a");
    ASSERT_EQ(taken.get(), channel);
    EXPECT_EQ(registry.find_channel_by_session("s"), nullptr);
    EXPECT_EQ(registry.count_active_channels(), 0);
    // A taken record may still change; the registry does not see it.
    registry.set_state(*taken, ChannelState::Connected);
    registry.set_session_handle(*taken, "t");
    EXPECT_EQ(taken->state(), ChannelState::Connected);
    EXPECT_EQ(registry.count_in_state(ChannelState::Connected), 0);
    EXPECT_EQ(registry.find_channel_by_session("t"), nullptr);
    // A new record under the same name is independent of it.
    registry.add_channel("a");
    EXPECT_EQ(registry.count_in_state(ChannelState::Idle), 1);
    EXPECT_EQ(registry.check_consistency(), "");
}

TEST(Registry, ClearEmptiesRecordsWishesAndIndexes)
{
    ChannelRegistry registry;
    registry.clear();
    for (const char *name : {"a", "b"}) {
        Channel *channel = registry.add_channel(name);
        registry.desire(name);
        registry.set_session_handle(*channel, std::string("s-") + name);
        registry.set_state(*channel, ChannelState::Connected);
    }
    registry.clear();
    EXPECT_TRUE(registry.channels().empty());
    EXPECT_TRUE(registry.desired().empty());
    EXPECT_EQ(registry.count_active_channels(), 0);
    EXPECT_EQ(registry.find_channel_by_session("s-a"), nullptr);
    EXPECT_EQ(registry.check_consistency(), "");
}

// The registry against the plainest model of it: a name-ordered map walked
// linearly for every question.
struct ModelRecord {
    std::string session;
    ChannelState state = ChannelState::Idle;
};

void expect_same(const ChannelRegistry &registry, const std::map<std::string, ModelRecord> &model,
                 const std::vector<std::string> &names, const std::vector<std::string> &handles, int step)
{
    ASSERT_EQ(registry.check_consistency(), "") << "step " << step;
    // Twice each: the name lookup remembers its last record.
    for (const std::string &name : names) {
        for (int again = 0; again < 2; ++again) {
            const Channel *found = registry.find_channel(name);
            ASSERT_EQ(found != nullptr, model.count(name) != 0) << "step " << step << " name " << name;
            if (found) {
                ASSERT_EQ(found->name, name) << "step " << step;
            }
        }
    }
    ASSERT_EQ(registry.channels().size(), model.size()) << "step " << step;
    int active = 0;
    for (ChannelState state : kAllStates) {
        std::vector<std::string> names;
        for (const auto &entry : model) {
            if (entry.second.state == state)
                names.push_back(entry.first);
        }
        ASSERT_EQ(registry.names_in_state(state), names) << "step " << step;
        ASSERT_EQ(registry.count_in_state(state), static_cast<int>(names.size())) << "step " << step;
        if (state != ChannelState::Idle)
            active += static_cast<int>(names.size());
    }
    ASSERT_EQ(registry.count_active_channels(), active) << "step " << step;
    for (const std::string &handle : handles) {
        const Channel *found = registry.find_channel_by_session(handle);
        std::string expected;
        for (const auto &entry : model) {
            if (!handle.empty() && entry.second.session == handle) {
                expected = entry.first;
                break;
            }
        }
        ASSERT_EQ(found ? found->name : std::string(), expected) << "step " << step << " handle " << handle;
        // The SDK-text lookup, which remembers its last answer, agrees.
        ASSERT_EQ(registry.find_channel_by_session(handle.c_str()), found) << "step " << step << " handle " << handle;
    }
}

TEST(Registry, IndexesMatchALinearModelThroughRandomChanges)
{
    const std::vector<std::string> names = {"a", "B", "b", "A", "_", "zz", "\xff"};
    const std::vector<std::string> handles = {"", "s1", "s2", "s3"};
    std::mt19937 random(20240611u);
    auto pick = [&random](size_t size) { return static_cast<size_t>(random() % size); };

    ChannelRegistry registry;
    std::map<std::string, ModelRecord> model;
    for (int step = 0; step < 20000; ++step) {
        const std::string &name = names[pick(names.size())];
        Channel *channel = registry.find_channel(name);
        switch (pick(7)) {
        case 0:
            registry.add_channel(name);
            model.emplace(name, ModelRecord());
            break;
        case 1:
            registry.remove_channel(name);
            model.erase(name);
            break;
        case 2:
            registry.take_channel(name);  // destroyed at once, as the handlers do after their callbacks
            model.erase(name);
            break;
        case 3:
        case 4:
            if (channel) {
                ChannelState state = kAllStates[pick(5)];
                registry.set_state(*channel, state);
                model[name].state = state;
            }
            break;
        case 5:
            if (channel) {
                const std::string &handle = handles[pick(handles.size())];
                registry.set_session_handle(*channel, handle);
                model[name].session = handle;
            }
            break;
        case 6:
            if (pick(50) == 0) {
                registry.clear();
                model.clear();
            }
            break;
        }
        expect_same(registry, model, names, handles, step);
        if (HasFatalFailure())
            return;
    }
}

}  // namespace
}  // namespace talkwire
