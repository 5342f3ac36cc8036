// Streaming exports of both families on a running session: subscriptions, refreshes, Top20.
#include "common/latest_served.h"
#include "exports/export_session.h"

namespace {

using namespace corvo::testing;
using namespace std::chrono_literals;

class StreamingExports : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(ensureSession());
        subscribeEverything();
    }
    void SetUp() override {
        waitUntilFiled();
        drainRefreshes();
    }
    // A record of exactly `size` bytes: "\"topic\":" followed by filler.
    static std::string payloadFor(const std::string& topic, std::size_t size) {
        return std::string(size - topic.size() - 3, 'p');
    }
    static std::size_t countOf(const std::string& text, const std::string& part) {
        std::size_t count = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++count;
        }
        return count;
    }
};

TEST_F(StreamingExports, SubscribeReturnsTheSnapshotsInBothFamilies) {
    std::string out;
    ASSERT_TRUE(lib().cs_Subscribe(" SA , SB ", &out));
    EXPECT_EQ(out, "{\"SA_Corvo\":{\"snapshot\":\"SA\"},\"SB_Corvo\":{\"snapshot\":\"SB\"}}");

    std::u16string buffer(128, u'\0');
    // Units above 0xFF keep their low byte: U+0E53 U+0E43 arrive as "SC".
    std::u16string const wide{0x0E53, 0x0E43, 0};
    ASSERT_TRUE(lib().ea_Subscribe(wide.c_str(), buffer.data()));
    EXPECT_EQ(readBack(buffer), "{\"SC_Corvo\":{\"snapshot\":\"SC\"}}");
    EXPECT_EQ(services().requestsTo("/getsymboldatas_ea").size(), 1u);

    auto const never = u16("NEVER");
    EXPECT_TRUE(lib().ea_Unsubscribe(never.c_str()));
    EXPECT_FALSE(lib().cs_Unsubscribe("NEVER"));
    EXPECT_TRUE(lib().cs_Unsubscribe("SA"));
}

TEST_F(StreamingExports, PublishedRecordsReachBothRefreshFamilies) {
    services().publisher.publish("RA_Corvo", "{\"p\":1}");
    waitUntilFiled();
    std::string out;
    ASSERT_TRUE(lib().cs_Refresh(&out));
    EXPECT_EQ(out, "{\"RA_Corvo\":{\"p\":1}}");
    EXPECT_FALSE(lib().cs_Refresh(&out)) << "a topic is served once";

    services().publisher.publish("RB_Corvo", std::string("{\"p\":\"\xE0\"}"));
    waitUntilFiled();
    std::u16string buffer(64, u'\0');
    ASSERT_TRUE(lib().ea_Refresh(buffer.data()));
    EXPECT_EQ(readBack(buffer), std::string("{\"RB_Corvo\":{\"p\":\"\xE0\"}}"));
    EXPECT_EQ(buffer[18], char16_t{0xFFE0}) << "bytes are sign-extended";

    auto const code = u16("RA");
    std::u16string symbolBuffer(5, u'x');
    symbolBuffer.resize(64, u'\0');
    ASSERT_TRUE(lib().ea_Refresh_Symbol(code.c_str(), symbolBuffer.data()));
    EXPECT_EQ(readBack(symbolBuffer), "{\"RA_Corvo\":{\"p\":1}}");
    auto const unknown = u16("NONE");
    std::u16string small(5, u'x');
    ASSERT_TRUE(lib().ea_Refresh_Symbol(unknown.c_str(), small.data()));
    EXPECT_EQ(readBack(small), "{}xxx") << "no terminating zero: the tail stays";
}

TEST_F(StreamingExports, AStreamMovedToAnotherPortIsFollowedInBothFamilies) {
    // The operator restarts the stream elsewhere and the balancer names the new port.
    services().publisher.moveToNewPort();
    services().answer("/balancer", Reply::text(std::to_string(services().publisher.port())));
    ASSERT_TRUE(services().publisher.waitForSubscription("", 10s)) << "filters restored there";
    std::string out;
    services().publisher.publish("MA_Corvo", "1");
    ASSERT_TRUE(eventually([&] { return lib().cs_Refresh(&out); }, 5s));
    EXPECT_EQ(out, "{\"MA_Corvo\":1}");
    services().publisher.publish("MB_Corvo", "2");
    std::u16string buffer(64, u'\0');
    ASSERT_TRUE(eventually([&] { return lib().ea_Refresh(buffer.data()); }, 5s));
    EXPECT_EQ(readBack(buffer), "{\"MB_Corvo\":2}");
    services().reset();
}

TEST_F(StreamingExports, LargeRecordsAreServedOnePerCallBeforeNewUpdates) {
    for (std::string const topic : {"L1_Corvo", "L2_Corvo", "L3_Corvo"}) {
        services().publisher.publish(topic, payloadFor(topic, 6000));
    }
    waitUntilFiled();
    std::string out;
    ASSERT_TRUE(lib().cs_Refresh(&out));
    EXPECT_EQ(out.size(), 6002u);
    EXPECT_EQ(out.substr(1, 10), "\"L1_Corvo\"");
    services().publisher.publish("L4_Corvo", "new");
    waitUntilFiled();
    for (std::string const topic : {"L2_Corvo", "L3_Corvo"}) {
        ASSERT_TRUE(lib().cs_Refresh(&out));
        EXPECT_EQ(out.size(), 6002u);
        EXPECT_EQ(out.substr(1, topic.size() + 2), "\"" + topic + "\"");
    }
    ASSERT_TRUE(lib().cs_Refresh(&out));
    EXPECT_EQ(out, "{\"L4_Corvo\":new}");
}

TEST_F(StreamingExports, OversizedRecordsAreDroppedWithoutBlockingTheQueue) {
    services().publisher.publish("F_Corvo", payloadFor("F_Corvo", 9997));
    services().publisher.publish("G_Corvo", payloadFor("G_Corvo", 9998));
    services().publisher.publish("H_Corvo", "after");
    waitUntilFiled();
    std::u16string buffer(10100, u'\0');
    ASSERT_TRUE(lib().ea_Refresh(buffer.data()));
    EXPECT_EQ(readBack(buffer).size(), 9999u);
    std::string out;
    ASSERT_TRUE(lib().cs_Refresh(&out));
    EXPECT_EQ(out, "{\"H_Corvo\":after}");
    EXPECT_FALSE(lib().cs_Refresh(&out));
    auto const code = u16("G");
    ASSERT_TRUE(lib().ea_Refresh_Symbol(code.c_str(), buffer.data()))
        << "the dropped record is still readable alone";
}

TEST_F(StreamingExports, AnUpdateForADeferredTopicIsServedTwice) {
    services().publisher.publish("D1_Corvo", payloadFor("D1_Corvo", 6000));
    services().publisher.publish("D2_Corvo", payloadFor("D2_Corvo", 6000));
    waitUntilFiled();
    std::string out;
    ASSERT_TRUE(lib().cs_Refresh(&out));  // serves D1, defers D2
    services().publisher.publish("D2_Corvo", "fresh");
    waitUntilFiled();
    ASSERT_TRUE(lib().cs_Refresh(&out));
    EXPECT_EQ(out, "{\"D2_Corvo\":fresh}") << "deferred records are read when served";
    ASSERT_TRUE(lib().cs_Refresh(&out));
    EXPECT_EQ(out, "{\"D2_Corvo\":fresh}");
}

TEST_F(StreamingExports, EaRefreshDropsTopicsWithoutCorvoAndZeroBytes) {
    services().publisher.publish("plain_topic", "1");
    services().publisher.publish(std::string("Z_Corvo"), std::string("a\0b", 3));
    waitUntilFiled();
    std::u16string buffer(8, u'k');
    EXPECT_FALSE(lib().ea_Refresh(buffer.data()));
    EXPECT_EQ(buffer, std::u16string(8, u'k'));
    std::string out = "kept";
    EXPECT_FALSE(lib().cs_Refresh(&out)) << "the skipped topics are gone for both families";
    EXPECT_EQ(out, "kept");
    auto const code = u16("Z");
    EXPECT_FALSE(lib().ea_Refresh_Symbol(code.c_str(), buffer.data()));
}

TEST_F(StreamingExports, RefreshSymbolDiscardsPendingUpdates) {
    services().publisher.publish("P_Corvo", "1");
    waitUntilFiled();
    std::u16string buffer(32, u'\0');
    auto const code = u16("P");
    ASSERT_TRUE(lib().ea_Refresh_Symbol(code.c_str(), buffer.data()));
    std::string out;
    EXPECT_FALSE(lib().cs_Refresh(&out));
}

TEST_F(StreamingExports, Top20KeepsOrLosesItsLastCharacter) {
    services().publisher.publish("Top20", "{\"rank\":[1,2]}");
    std::string out;
    ASSERT_TRUE(eventually([&] { return lib().cs_getTop20(&out) && out == "{\"rank\":[1,2]"; }));
    std::u16string buffer(32, u'\0');
    ASSERT_TRUE(lib().ea_getTop20(buffer.data()));
    EXPECT_EQ(readBack(buffer), "{\"rank\":[1,2]}");
    services().publisher.publish("Top20", "x");
    ASSERT_TRUE(eventually([&] { return !lib().cs_getTop20(&out); }));
    EXPECT_FALSE(lib().ea_getTop20(buffer.data()));
}

TEST_F(StreamingExports, FourHostsPollDuringAStream) {
    std::atomic<bool> polling{true};
    std::atomic<int> records{0};
    LatestServed latest;
    auto const serve = [&](const std::string& out) {
        records += static_cast<int>(countOf(out, "_Corvo\":"));
        latest.add(out);
    };
    std::vector<std::thread> hosts;
    for (int t = 0; t < 4; ++t) {
        hosts.emplace_back([&] {
            std::string out;
            for (int poll = 0; poll < 100 || polling; ++poll) {
                if (lib().cs_Refresh(&out)) {
                    serve(out);
                }
            }
        });
    }
    services().publisher.publishBurst(
        [](std::uint64_t i) {
            return std::vector<std::string>{"S" + std::to_string(i % 100) + "_Corvo",
                                            std::to_string(i)};
        },
        5000);
    waitUntilFiled();
    polling = false;
    for (auto& host : hosts) {
        host.join();
    }
    std::string out;
    while (lib().cs_Refresh(&out)) {
        serve(out);
    }
    EXPECT_GE(records.load(), 100);
    EXPECT_LE(records.load(), 5000);
    for (int topic = 0; topic < 100; ++topic) {
        std::string const name = "S" + std::to_string(topic) + "_Corvo";
        EXPECT_EQ(latest.of(name), 4900 + topic) << name << " lost its last record";
    }
}

}  // namespace
