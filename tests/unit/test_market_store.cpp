// The store on its own: what a filed message leaves in the record map and the update list,
// and how taking the list (refresh, one symbol's read) makes topics pending again.
#include <gtest/gtest.h>
#include <poll.h>

#include "session/processor.h"

namespace {

using corvo::session::Processor;
using corvo::session::RefreshFamily;
using Topics = std::vector<std::string>;

class MarketStore : public ::testing::Test {
  protected:
    // Answers whether the filing owes waiting hosts an announcement.
    bool file(const std::string& topic, const std::string& payload) {
        std::string record = "\"" + topic + "\":" + payload;
        return processor.fileRecord(topic, record);
    }

    corvo::api::ApiClient client;
    zmq::socket_t socket;
    corvo::session::connect_monitor_c monitor;
    Processor processor{client, socket, monitor};
};

TEST_F(MarketStore, ATopicIsPendingOnceUntilTakenThenAgain) {
    file("A_Corvo", "1");
    file("B_Corvo", "1");
    file("A_Corvo", "2");
    EXPECT_EQ(processor.pendingTopics(), (Topics{"A_Corvo", "B_Corvo"}));
    EXPECT_EQ(processor.recordOf("A_Corvo"), "\"A_Corvo\":2");

    EXPECT_EQ(processor.takeRefresh(RefreshFamily::cs).text, "{\"A_Corvo\":2,\"B_Corvo\":1}");
    EXPECT_TRUE(processor.pendingTopics().empty());
    EXPECT_FALSE(processor.takeRefresh(RefreshFamily::cs).taken);

    file("B_Corvo", "3");
    file("A_Corvo", "3");
    file("B_Corvo", "4");
    EXPECT_EQ(processor.pendingTopics(), (Topics{"B_Corvo", "A_Corvo"}));
    EXPECT_EQ(processor.takeSymbolRecord("B_Corvo"), "\"B_Corvo\":4");
    EXPECT_TRUE(processor.pendingTopics().empty()) << "one symbol's read empties the list";

    file("A_Corvo", "5");
    EXPECT_EQ(processor.pendingTopics(), (Topics{"A_Corvo"}));
}

TEST_F(MarketStore, TopicsDifferingOnlyAfterAPrefixStayApart) {
    // Many topics, so the lookup hashes instead of scanning; prefixes must never match.
    for (int i = 0; i < 100; ++i) {
        file("T" + std::to_string(i), std::to_string(i));
    }
    file("T1", "again");
    file("T10", "again");
    auto const pending = processor.pendingTopics();
    ASSERT_EQ(pending.size(), 100u);
    EXPECT_EQ(pending[1], "T1");
    EXPECT_EQ(processor.recordOf("T1"), "\"T1\":again");
    EXPECT_EQ(processor.recordOf("T10"), "\"T10\":again");
    EXPECT_EQ(processor.recordOf("T11"), "\"T11\":11");
}

TEST_F(MarketStore, FiledUpdatesWakeHostsWhenAnnouncedAndATakeOfAllLowersTheSignal) {
    pollfd handle{static_cast<int>(processor.updateHandle()), POLLIN, 0};
    auto const signalled = [&] { return poll(&handle, 1, 0) == 1; };
    EXPECT_TRUE(file("A_Corvo", "1"));
    EXPECT_TRUE(file("B_Corvo", "1")) << "owed until announced";
    EXPECT_FALSE(signalled()) << "filing alone wakes nobody";
    processor.announceFiled();
    EXPECT_TRUE(signalled());
    EXPECT_FALSE(file("C_Corvo", "1")) << "already raised: nothing more is owed";

    ASSERT_TRUE(processor.takeRefresh(RefreshFamily::cs).appended);
    EXPECT_FALSE(signalled());
    processor.announceFiled();
    EXPECT_FALSE(signalled()) << "an announcement with nothing pending raises nothing";
    EXPECT_TRUE(file("A_Corvo", "2"));
    processor.announceFiled();
    EXPECT_TRUE(signalled());
}

}  // namespace
