// Faults injected into real peers: a publisher killed and restarted, an API that stalls,
// resets or vanishes, during start, running and stop. Nothing may crash, hang or leak.
#include "common/process_counts.h"
#include "common/processor_seam.h"
#include "unit/session_harness.h"

namespace {

using corvo::testing::eventually;
using corvo::testing::RecordedRequest;
using corvo::testing::Reply;
using corvo::testing::SessionHarness;
using namespace std::chrono_literals;

template <class Call>
std::chrono::milliseconds timed(Call call) {
    auto const started = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started);
}

TEST(Faults, APublisherKilledMidStreamSeveralTimes) {
    SessionHarness session;
    ASSERT_TRUE(session.start());
    std::string out;
    ASSERT_TRUE(corvo::session::legacySubscribe(session.processor, "K", out, false));
    for (int round = 0; round < 4; ++round) {
        ASSERT_TRUE(session.publisher.waitForSubscription("K_", 10s)) << "round " << round;
        session.publisher.publishBurst(
            [round](std::uint64_t i) {
                return std::vector<std::string>{"K_Corvo", std::to_string(round * 1000 + i)};
            },
            500);
        std::string const last = "\"K_Corvo\":" + std::to_string(round * 1000 + 499);
        ASSERT_TRUE(eventually([&] { return session.processor.recordOf("K_Corvo") == last; }));
        session.publisher.stop();
        session.publisher.restart();
    }
    EXPECT_LT(timed([&] { session.stop(); }), 5000ms);
}

TEST(Faults, AStalledSnapshotHoldsADeinitializeOnlyUntilTheDeadline) {
    SessionHarness session;
    session.client.setDeadline(400ms);
    session.http.setHandler([](const RecordedRequest& request) {
        return request.target == "/getsymboldatas" ? Reply::stall() : Reply::text("0");
    });
    ASSERT_TRUE(session.start());
    std::string out;
    std::thread subscriber(
        [&] { corvo::session::legacySubscribe(session.processor, "S", out, false); });
    ASSERT_TRUE(session.http.waitForRequests(2, 5s));  // the Top20 snapshot, then the stall
    auto const stopping = timed([&] {
        session.processor.Deinitialize();
        ASSERT_TRUE(eventually([&] { return session.processor.sessionThreadsEnded(); }));
    });
    subscriber.join();
    EXPECT_LT(stopping, 4000ms);
    EXPECT_EQ(out, "{}") << "the stalled snapshot failed as \"0\"";
}

TEST(Faults, AnApiThatResetsOrAnswersGarbageNeverStopsTheStream) {
    SessionHarness session;
    session.http.setHandler([](const RecordedRequest& request) {
        if (request.target == "/gettop20datas") {
            return Reply::raw("HTTP/1.1 999 ???\r\nContent-Length: zz\r\n\r\n");
        }
        return Reply::closeWithoutReply();
    });
    ASSERT_TRUE(session.start());
    EXPECT_TRUE(eventually([&] { return session.processor.top20() == "0"; }));
    std::string out;
    ASSERT_TRUE(corvo::session::legacySubscribe(session.processor, "G", out, false));
    EXPECT_EQ(out, "{}");
    ASSERT_TRUE(session.publisher.waitForSubscription("G_", 5s));
    session.publisher.publish("G_Corvo", "1");
    EXPECT_TRUE(eventually([&] { return !session.processor.recordOf("G_Corvo").empty(); }));
}

TEST(Faults, TheApiServerGoneDuringStartAndStop) {
    SessionHarness session;
    std::uint16_t goneport = 0;
    {
        // A port where nothing listens any more: every exchange fails at once.
        corvo::testing::HttpTestServer gone;
        goneport = gone.port();
    }
    auto const started = session.processor.Initialize(
        {"k", 1, corvo::session::serversOf("127.0.0.1", goneport), corvo::api::ErrorStatus::asReply,
         std::chrono::steady_clock::now() + 10s});
    ASSERT_FALSE(started) << "without the balancer there is no stream port, so the start fails";
    EXPECT_EQ(
        started.failure().reason.rfind("the balancer failed: POST /balancer to 127.0.0.1:", 0), 0u)
        << started.failure().reason;
    EXPECT_TRUE(session.processor.sessionThreadsEnded());

    corvo::session::ProcessorSeam::setStreamEndpoint(session.processor,
                                                     session.publisher.endpoint());
    ASSERT_TRUE(session.start());
    session.client.setServer({"127.0.0.1", goneport});
    std::string out;
    ASSERT_TRUE(corvo::session::legacySubscribe(session.processor, "DOWN", out, false));
    EXPECT_EQ(out, "{}") << "the snapshot of an API that has gone fails as \"0\"";
    EXPECT_LT(timed([&] { session.stop(); }), 5000ms);
    EXPECT_FALSE(session.processor.isRunning());
}

TEST(Faults, ASubscriberThatCannotConnectEndsItsSessionAndLeavesNoThread) {
    SessionHarness session;
    // Counted while the API server runs no connection: each has a thread until it winds down.
    auto const quiet = [&] { return session.http.forgetFinishedConnections() == 0; };
    std::size_t const baseline = corvo::testing::threadCount();
    corvo::session::ProcessorSeam::setStreamEndpoint(session.processor, "tcp://no host!:1");
    ASSERT_TRUE(session.processor.startSessionThreads(session.processor.stopRequests()));
    EXPECT_TRUE(eventually([&] { return session.processor.sessionThreadsEnded(); }));
    EXPECT_FALSE(session.processor.isRunning());
    session.processor.endSession();
    ASSERT_TRUE(eventually(quiet));
    EXPECT_EQ(corvo::testing::threadCount(), baseline)
        << "joined, not merely flagged: " << corvo::testing::threadNames();
}

TEST(Faults, StopDuringStartIsSeenAndWaitedFor) {
    SessionHarness session;
    ASSERT_TRUE(session.processor.startSessionThreads(session.processor.stopRequests()));
    session.processor.Deinitialize();  // before the subscriber has even started
    EXPECT_TRUE(eventually([&] { return session.processor.sessionThreadsEnded(); }, 8s));
    EXPECT_FALSE(session.processor.isRunning());
    // A stop (or the library's end) asked before the threads start is not undone by them.
    auto const before = session.processor.stopRequests();
    session.processor.requestSessionStop();
    EXPECT_FALSE(session.processor.startSessionThreads(before));
    EXPECT_TRUE(session.processor.sessionThreadsEnded());
    session.processor.endSession();
    ASSERT_TRUE(session.start()) << "and a new start works afterwards";
}

}  // namespace
