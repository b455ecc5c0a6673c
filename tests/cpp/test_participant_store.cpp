// Storing participants from an event's fields: a known participant is
// updated in place, a new one is inserted in URI order, and the answer
// tells which it was, as for a whole record.
#include "channels/registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace talkwire {
namespace {

std::vector<std::string> uris(const Channel &channel)
{
    std::vector<std::string> found;
    for (const auto &entry : channel.participants) {
        EXPECT_EQ(entry.first, entry.second.uri);
        found.push_back(entry.first);
    }
    return found;
}

TEST(ParticipantStore, FieldsUpdateInPlaceAndInsertInOrder)
{
    Channel channel("a");
    EXPECT_FALSE(ChannelRegistry::store_participant(channel, "sip:m", true, 0.5, false));
    const Participant *stored = &channel.participants.at("sip:m");
    EXPECT_TRUE(ChannelRegistry::store_participant(channel, "sip:m", false, 0.25, true));
    EXPECT_EQ(&channel.participants.at("sip:m"), stored);  // the same record
    EXPECT_FALSE(stored->flag_a);
    EXPECT_EQ(stored->level, 0.25);
    EXPECT_TRUE(stored->flag_b);

    // Around the first: before, after, and byte-wise ('Z' < 'a').
    EXPECT_FALSE(ChannelRegistry::store_participant(channel, "sip:z", false, 0.0, false));
    EXPECT_FALSE(ChannelRegistry::store_participant(channel, "sip:a", false, 0.0, false));
    EXPECT_FALSE(ChannelRegistry::store_participant(channel, "sip:Z", true, 1.0, true));
    EXPECT_EQ(uris(channel), (std::vector<std::string>{"sip:Z", "sip:a", "sip:m", "sip:z"}));

    // A URI that only shares a prefix with a stored one is another participant.
    EXPECT_FALSE(ChannelRegistry::store_participant(channel, "sip:m2", false, 0.0, false));
    EXPECT_FALSE(ChannelRegistry::store_participant(channel, std::string_view("sip:", 4), false, 0.0, false));
    EXPECT_EQ(channel.participants.size(), 6u);
}

TEST(ParticipantStore, FieldsAndWholeRecordsAgree)
{
    Channel by_fields("a"), by_record("b");
    const char *sequence[] = {"sip:p", "sip:q", "sip:p", "", "sip:q", ""};
    int round = 0;
    for (const char *uri : sequence) {
        ++round;
        Participant participant;
        participant.uri = uri;
        participant.flag_a = round % 2 == 0;
        participant.level = round * 0.125;
        participant.flag_b = round % 3 == 0;
        EXPECT_EQ(ChannelRegistry::store_participant(by_fields, uri, participant.flag_a, participant.level,
                                                     participant.flag_b),
                  ChannelRegistry::store_participant(by_record, participant))
            << "round " << round;
    }
    ASSERT_EQ(uris(by_fields), uris(by_record));
    for (const auto &entry : by_record.participants) {
        const Participant &other = by_fields.participants.at(entry.first);
        EXPECT_EQ(other.flag_a, entry.second.flag_a);
        EXPECT_EQ(other.level, entry.second.level);
        EXPECT_EQ(other.flag_b, entry.second.flag_b);
    }
}

// Events find participants through a hashed index beside the ordered map;
// a long mixed run of stores and removals must leave the two in step, and
// a removed participant must come back as a new one.
TEST(ParticipantStore, IndexFollowsStoresAndRemovals)
{
    ChannelRegistry registry;
    Channel &channel = *registry.add_channel("a");
    std::map<std::string, double> model;  // URI -> level
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    for (int step = 0; step < 3000; ++step) {
        const std::string uri = "sip:p" + std::to_string(next(40));
        const double level = step * 0.5;
        switch (next(3)) {
        case 0:
            EXPECT_EQ(ChannelRegistry::store_participant(channel, uri, true, level, false), model.count(uri) == 1)
                << "step " << step;
            model[uri] = level;
            break;
        case 1: {
            Participant participant;
            participant.uri = uri;
            participant.level = level;
            EXPECT_EQ(ChannelRegistry::store_participant(channel, participant), model.count(uri) == 1)
                << "step " << step;
            model[uri] = level;
            break;
        }
        default:
            ChannelRegistry::remove_participant(channel, uri);
            model.erase(uri);
            break;
        }
        if (step % 100 == 0) {
            ASSERT_EQ(registry.check_consistency(), "") << "step " << step;
        }
    }
    EXPECT_EQ(registry.check_consistency(), "");
    std::vector<std::string> expected;
    for (const auto &entry : model) {
        expected.push_back(entry.first);
        EXPECT_EQ(channel.participants.at(entry.first).level, entry.second);
    }
    EXPECT_EQ(uris(channel), expected);
}

TEST(SessionLookup, RemembersOnlyWhileTheIndexStands)
{
    ChannelRegistry registry;
    Channel *b = registry.add_channel("b");
    registry.set_session_handle(*b, "s");
    EXPECT_EQ(registry.find_channel_by_session("s"), b);
    // A record that sorts first and takes the same handle is found next.
    Channel *a = registry.add_channel("a");
    registry.set_session_handle(*a, "s");
    EXPECT_EQ(registry.find_channel_by_session("s"), a);
    registry.remove_channel("a");
    EXPECT_EQ(registry.find_channel_by_session("s"), b);
    registry.set_session_handle(*b, "t");
    EXPECT_EQ(registry.find_channel_by_session("s"), nullptr);
    EXPECT_EQ(registry.find_channel_by_session("t"), b);
    // Taken out and put back under the same name: the new record.
    std::unique_ptr<Channel> taken = registry.take_channel("b");
    EXPECT_EQ(registry.find_channel_by_session("t"), nullptr);
    Channel *again = registry.add_channel("b");
    registry.set_session_handle(*again, "t");
    EXPECT_EQ(registry.find_channel_by_session("t"), again);
    registry.clear();
    EXPECT_EQ(registry.find_channel_by_session("t"), nullptr);
}

}  // namespace
}  // namespace talkwire
