// Session start and stop through the exports, and the start rules.
#include <fstream>
#include <sstream>

#include "common/process_counts.h"
#include "corvo/build_constants.h"
#include "exports/export_session.h"
#include "peer/wire_protocol.h"

namespace {

using namespace corvo::testing;
using namespace std::chrono_literals;

class SessionExports : public ::testing::Test {
  protected:
    void SetUp() override {
        lib().ea_Deinitial();
        services().reset();
        services().http.clearRequests();
    }
    static bool csStart(const std::string& apiServer, const char* zmqServer = "127.0.0.1") {
        return lib().cs_Initial("start-key", 31, zmqServer, apiServer.c_str());
    }
    template <class Call>
    static std::chrono::milliseconds timed(Call call) {
        auto const started = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
    }
};

TEST_F(SessionExports, StartsAnnouncesAndStops) {
    ASSERT_TRUE(lib().cs_Initial("user-key", 4242, "127.0.0.1", apiPort().c_str()));
    std::string const day = corvo::peer::dayKey();
    std::string const block =
        corvo::peer::credentialBlock("user-key", corvo::build::kClientSecret, day);
    auto const balancer = services().requestsTo("/balancer");
    auto const authen = services().requestsTo("/authen");
    ASSERT_EQ(balancer.size(), 1u);
    ASSERT_EQ(authen.size(), 1u);
    EXPECT_EQ(decryptPayload(balancer[0].body), block);
    EXPECT_EQ(decryptPayload(authen[0].body), block + "|4242");

    EXPECT_FALSE(lib().cs_Initial("user-key", 4242, "127.0.0.1", apiPort().c_str()))
        << "cs_ reports an already running session as false";
    auto const key = u16("k");
    auto const host = u16("127.0.0.1");
    auto const port = u16(apiPort());
    EXPECT_TRUE(lib().ea_Initial(key.c_str(), 1, host.c_str(), port.c_str()));
    EXPECT_EQ(services().requestsTo("/authen").size(), 1u) << "nothing else happens";

    auto const stopTime = timed([] { EXPECT_TRUE(lib().ea_Deinitial()); });
    EXPECT_LT(stopTime, 5000ms);
    EXPECT_FALSE(lib().ea_Deinitial());
    std::string text = "kept";
    EXPECT_FALSE(lib().cs_Refresh(&text));
    EXPECT_EQ(text, "kept");
}

TEST_F(SessionExports, ASecondSessionKeepsTheRecordsOfTheFirst) {
    ASSERT_TRUE(ensureSession());
    subscribeEverything();
    services().publisher.publish("KEEP_Corvo", "{\"kept\":true}");
    waitUntilFiled();
    ASSERT_TRUE(lib().ea_Deinitial());
    ASSERT_TRUE(ensureSession());
    std::u16string buffer(64, u'\0');
    auto const code = u16("KEEP");
    ASSERT_TRUE(lib().ea_Refresh_Symbol(code.c_str(), buffer.data()));
    EXPECT_EQ(readBack(buffer), "{\"KEEP_Corvo\":{\"kept\":true}}");
}

TEST_F(SessionExports, ServerTextsThatCannotNameAnApiFailAtOnce) {
    for (std::string const apiServer : {"", "1:2:3"}) {
        auto const elapsed = timed([&] { EXPECT_FALSE(csStart(apiServer)) << apiServer; });
        EXPECT_LT(elapsed, 1500ms);
    }
    EXPECT_EQ(services().http.requestCount(), 0u);
}

TEST_F(SessionExports, UnreadablePortsFailAfterThePause) {
    for (std::string const apiServer : {"x8080", "99999999999"}) {
        auto const elapsed = timed([&] { EXPECT_FALSE(csStart(apiServer)) << apiServer; });
        EXPECT_GE(elapsed, 2000ms);
    }
    EXPECT_EQ(services().http.requestCount(), 0u);
}

TEST_F(SessionExports, PortDigitsFollowedByLettersStillStart) {
    EXPECT_TRUE(csStart(apiPort() + "abc"));
}

TEST_F(SessionExports, AZmqServerWithAColonMakesThreePieces) {
    // "127.0.0.1:x" + ":" + port gives three pieces: the API host is "127.0.0.1:x", which no
    // resolver knows, so nothing reaches the server and the balancer names no stream port.
    EXPECT_FALSE(csStart(apiPort(), "127.0.0.1:x"));
    EXPECT_EQ(services().http.requestCount(), 0u);
}

TEST_F(SessionExports, AFailedAuthenticationStopsTheStart) {
    services().answer("/authen", Reply::text("denied"));
    auto const elapsed = timed([&] { EXPECT_FALSE(csStart(apiPort())); });
    EXPECT_LT(elapsed, 1500ms);
    services().answer("/authen", Reply::closeWithoutReply());
    EXPECT_TRUE(csStart(apiPort())) << "a transport failure reads as the number 0: announced";
}

TEST_F(SessionExports, FailedStartsLeaveNoThreadBehind) {
    // Counted while the API server runs no connection: each has a thread until it winds down.
    auto const quiet = [] { return services().http.forgetFinishedConnections() == 0; };
    ASSERT_TRUE(eventually(quiet));
    std::size_t const baseline = threadCount();
    auto const threadsBackToBaseline = [&] {
        return eventually([&] { return quiet() && threadCount() == baseline; }, 2s);
    };
    EXPECT_FALSE(csStart("x8080")) << "unreadable port";
    EXPECT_TRUE(threadsBackToBaseline())
        << threadCount() << " threads, " << baseline << " before: " << threadNames();
    services().answer("/authen", Reply::text("denied"));
    EXPECT_FALSE(csStart(apiPort())) << "announcement refused";
    EXPECT_TRUE(threadsBackToBaseline())
        << threadCount() << " threads, " << baseline << " before: " << threadNames();
    services().reset();
    // A stream endpoint ending in ":0" could never deliver: no port is a failed start.
    for (const Reply& balancer : {Reply::text("no port"), Reply::text("0"), Reply::text("70000"),
                                  Reply::closeWithoutReply()}) {
        services().answer("/balancer", balancer);
        EXPECT_FALSE(csStart(apiPort()));
        EXPECT_TRUE(threadsBackToBaseline());
    }
    EXPECT_EQ(services().requestsTo("/authen").size(), 1u) << "only the refused one";
    EXPECT_FALSE(lib().ea_Deinitial()) << "no session runs";
    EXPECT_TRUE(threadsBackToBaseline());
}

TEST_F(SessionExports, RestartsWhileAnotherThreadQueries) {
    // Session 1 runs against the first API, session 2 against a second one; each answers the
    // query with its own number.
    ScriptedApi second;
    services().answer("/getfundalatestsinglesym", Reply::text("{\"f\":1}"));
    second.answer("/getfundalatestsinglesym", Reply::text("{\"f\":2}"));
    std::atomic<int> session{0};  // 0 while starting or stopping
    std::atomic<bool> querying{true};
    std::atomic<int> answered[3] = {0, 0, 0};
    std::atomic<int> wrong{0};
    std::thread host([&] {
        std::string out;
        while (querying) {
            int const before = session;
            bool const ok = lib().cs_Fundamental("Q", &out);
            int const after = session;
            // A query in flight when a stop came ends as a failed exchange ("0").
            if (ok && before == after && before != 0 && out != "0") {
                ++answered[before];
                wrong += out != "{\"f\":" + std::to_string(before) + "}";
            }
        }
    });
    for (ScriptedApi* api : {&services(), &second}) {
        int const number = api == &services() ? 1 : 2;
        auto const port = u16(std::to_string(api->http.port()));
        ASSERT_TRUE(lib().ea_Initial(u"restart", 5, u"127.0.0.1", port.c_str()));
        session = number;
        EXPECT_TRUE(eventually([&] { return answered[number] > 2; }));
        session = 0;
        EXPECT_TRUE(lib().ea_Deinitial());
    }
    querying = false;
    host.join();
    EXPECT_EQ(wrong.load(), 0) << "every query reached the API of the session it ran in";
}

TEST_F(SessionExports, TheLogFileIsOpenedButNeverWritten) {
    std::string const path = corvo::build::kLogFile;
    ASSERT_TRUE(ensureSession());
    std::ifstream before(path, std::ios::binary);
    ASSERT_TRUE(before.good()) << "created at session start";
    std::ostringstream content;
    content << before.rdbuf();
    lib().ea_Deinitial();
    ASSERT_TRUE(ensureSession());
    std::ifstream after(path, std::ios::binary);
    std::ostringstream again;
    again << after.rdbuf();
    EXPECT_EQ(again.str(), content.str());
}

TEST_F(SessionExports, AStopNeverWaitsForStalledSnapshots) {
    ASSERT_TRUE(ensureSession());
    services().answer("/getsymboldatas_ea", Reply::stall());
    std::thread host([] {
        std::u16string out(256, u'\0');
        auto const symbols = u16("SA,SB,SC");
        EXPECT_TRUE(lib().ea_Subscribe(symbols.c_str(), out.data()));
        EXPECT_EQ(readBack(out), "{}");
    });
    ASSERT_TRUE(eventually([] { return services().requestsTo("/getsymboldatas_ea").size() == 1; }));
    auto const stopping = timed([] { EXPECT_TRUE(lib().ea_Deinitial()); });
    host.join();
    EXPECT_LT(stopping, 2000ms);
    EXPECT_EQ(services().requestsTo("/getsymboldatas_ea").size(), 1u)
        << "no snapshot is asked for after the stop";
    services().http.releaseStalls();
}

TEST_F(SessionExports, ConcurrentStartsAndStopsLeaveOneSessionOrNone) {
    auto const concurrently = [](auto call) {
        std::atomic<int> trues{0};
        std::vector<std::thread> hosts;
        for (int t = 0; t < 4; ++t) {
            hosts.emplace_back([&] { trues += call(); });
        }
        for (auto& host : hosts) {
            host.join();
        }
        return trues.load();
    };
    // cs_Initial answers false for a session that already runs, so one true means one start.
    EXPECT_EQ(concurrently([] { return csStart(apiPort()); }), 1);
    EXPECT_EQ(services().requestsTo("/authen").size(), 1u);
    EXPECT_EQ(concurrently([] { return lib().ea_Deinitial(); }), 1);
    std::string out;
    EXPECT_FALSE(lib().cs_Refresh(&out));
}

}  // namespace
