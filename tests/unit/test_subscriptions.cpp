// addSymbol and removeSymbol: lists, snapshots and filters, against real peers.
#include "support/payload_decrypt.h"
#include "unit/session_harness.h"

namespace {

using corvo::testing::decryptPayload;
using corvo::testing::RecordedRequest;
using corvo::testing::Reply;
using corvo::testing::SessionHarness;
using corvo::testing::splitBars;
using namespace std::chrono_literals;

// Snapshots answer {"<code>_Corvo":{"c":"<code>"}}; "ZERO" answers "0" and "EMPTY" nothing.
Reply snapshotFor(const RecordedRequest& request) {
    if (request.target != "/getsymboldatas" && request.target != "/getsymboldatas_ea") {
        return Reply::text("0");
    }
    std::string const code = splitBars(decryptPayload(request.body)).back();
    if (code == "ZERO") {
        return Reply::text("0");
    }
    if (code == "EMPTY") {
        return Reply::text("");
    }
    return Reply::text("{\"" + code + "_Corvo\":{\"c\":\"" + code + "\"}}");
}

class Subscriptions : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        session_ = std::make_unique<SessionHarness>();
        session_->http.setHandler(snapshotFor);
        ASSERT_TRUE(session_->start());
    }
    static void TearDownTestSuite() { session_.reset(); }
    void SetUp() override {
        processor().removeSymbol("");
        session_->http.clearRequests();
    }

    static corvo::session::Processor& processor() { return session_->processor; }
    static std::size_t snapshotRequests() {
        std::size_t count = 0;
        for (const auto& request : session_->http.requests()) {
            count += request.target.rfind("/getsymboldatas", 0) == 0;
        }
        return count;
    }

    static inline std::unique_ptr<SessionHarness> session_;
};

TEST_F(Subscriptions, ListsLoseWhiteSpaceAndJoinTheSnapshots) {
    std::string out;
    ASSERT_TRUE(processor().addSymbol(" A , B ", out, false));
    EXPECT_EQ(out, "{\"A_Corvo\":{\"c\":\"A\"},\"B_Corvo\":{\"c\":\"B\"}}");
    EXPECT_EQ(snapshotRequests(), 2u);
    EXPECT_TRUE(session_->publisher.waitForSubscription("A_", 5s));
    EXPECT_TRUE(session_->publisher.waitForSubscription("B_", 5s));
    EXPECT_EQ(processor().subscribedSnapshot(), (std::vector<std::string>{"A", "B"}));
    processor().removeSymbol("A");
    processor().removeSymbol("B");
}

TEST_F(Subscriptions, SubscribingTwiceAddsOneFilterAndAsksTwice) {
    std::string out;
    ASSERT_TRUE(processor().addSymbol("D", out, true));
    ASSERT_TRUE(processor().addSymbol("D", out, true));
    EXPECT_EQ(snapshotRequests(), 2u);
    EXPECT_EQ(session_->http.requests().back().target, "/getsymboldatas_ea");
    EXPECT_EQ(processor().subscribedSnapshot(), std::vector<std::string>{"D"});
    ASSERT_TRUE(processor().removeSymbol("D"));
    EXPECT_TRUE(session_->publisher.waitForUnsubscription("D_", 5s));
    EXPECT_FALSE(processor().removeSymbol("D"));
}

TEST_F(Subscriptions, AdjacentCommasSubscribeTheEmptyCode) {
    std::string out;
    ASSERT_TRUE(processor().addSymbol("E,,F,", out, false));
    EXPECT_EQ(processor().subscribedSnapshot(), (std::vector<std::string>{"E", "", "F"}));
    EXPECT_TRUE(session_->publisher.waitForSubscription("_", 5s));
    EXPECT_EQ(snapshotRequests(), 3u);
    for (auto const code : {"E", "", "F"}) {
        processor().removeSymbol(code);
    }
}

TEST_F(Subscriptions, WhiteSpaceOnlySendsNothing) {
    std::string out = "previous";
    ASSERT_TRUE(processor().addSymbol(" \t\r\n", out, false));
    EXPECT_EQ(out, "{}");
    EXPECT_EQ(snapshotRequests(), 0u);
    EXPECT_TRUE(processor().subscribedSnapshot().empty());
}

TEST_F(Subscriptions, FailedAndEmptySnapshotsContributeAsTheyCan) {
    std::string out;
    ASSERT_TRUE(processor().addSymbol("ZERO", out, false));
    EXPECT_EQ(out, "{}");
    ASSERT_TRUE(processor().addSymbol("ZERO,G", out, false));
    EXPECT_EQ(out, "{,\"G_Corvo\":{\"c\":\"G\"}}");
    ASSERT_TRUE(processor().addSymbol("EMPTY,G", out, false));
    EXPECT_EQ(out, "{\"G_Corvo\":{\"c\":\"G\"}}");
    for (auto const code : {"ZERO", "EMPTY", "G"}) {
        processor().removeSymbol(code);
    }
}

TEST_F(Subscriptions, CodesLongerThanAnyInstrumentAreRefused) {
    std::string out = "kept";
    EXPECT_FALSE(processor().addSymbol(std::string(5000, 'L'), out, false));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(processor().subscribedSnapshot().empty());
    EXPECT_TRUE(processor().addSymbol(std::string(100, 'L'), out, false));
    EXPECT_TRUE(processor().removeSymbol(std::string(100, 'L')));
}

TEST_F(Subscriptions, RemovalNeedsTheExactSubscribedCode) {
    std::string out;
    ASSERT_TRUE(processor().addSymbol("H,I", out, false));
    EXPECT_FALSE(processor().removeSymbol("H,I"));
    ASSERT_TRUE(processor().addSymbol("", out, false));
    EXPECT_TRUE(processor().subscribedSnapshot().empty());
    EXPECT_FALSE(processor().removeSymbol("H")) << "the all-topics subscribe forgot H";
    EXPECT_TRUE(processor().removeSymbol(""));
}

}  // namespace
