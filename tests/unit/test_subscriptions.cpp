// addSymbol and removeSymbol: lists, snapshots and filters, against real peers.
#include <nlohmann/json.hpp>

#include <map>

#include "peer/payload_decrypt.h"
#include "unit/session_harness.h"

namespace {

using corvo::testing::decryptPayload;
using corvo::testing::RecordedRequest;
using corvo::testing::Reply;
using corvo::testing::SessionHarness;
using corvo::testing::splitBars;
using namespace std::chrono_literals;

// Replies that carry no snapshot member, by code; any other code answers
// {"<code>_Corvo":{"c":"<code>"}}.
const std::map<std::string, Reply> kNoMember{
    {"ZERO", Reply::text("0")},           {"EMPTY", Reply::text("")},
    {"NONE", Reply::text(" {} ")},        {"CUT", Reply::text("{\"CUT_Corvo\":")},
    {"LIST", Reply::text("[{\"a\":1}]")},
};

Reply snapshotFor(const RecordedRequest& request) {
    if (request.target != "/getsymboldatas" && request.target != "/getsymboldatas_ea") {
        return Reply::text("0");
    }
    std::string const code = splitBars(decryptPayload(request.body)).back();
    if (code == "SPACED") {
        return Reply::text("\r\n {\"SPACED_Corvo\":1}\n");
    }
    if (code == "GONE") {
        return Reply::text("{\"GONE_Corvo\":1}", 404);
    }
    auto const scripted = kNoMember.find(code);
    return scripted != kNoMember.end()
               ? scripted->second
               : Reply::text("{\"" + code + "_Corvo\":{\"c\":\"" + code + "\"}}");
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
    ASSERT_TRUE(corvo::session::legacySubscribe(processor(), " A , B ", out, false));
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
    ASSERT_TRUE(corvo::session::legacySubscribe(processor(), "D", out, true));
    ASSERT_TRUE(corvo::session::legacySubscribe(processor(), "D", out, true));
    EXPECT_EQ(snapshotRequests(), 2u);
    EXPECT_EQ(session_->http.requests().back().target, "/getsymboldatas_ea");
    EXPECT_EQ(processor().subscribedSnapshot(), std::vector<std::string>{"D"});
    ASSERT_TRUE(processor().removeSymbol("D"));
    EXPECT_TRUE(session_->publisher.waitForUnsubscription("D_", 5s));
    EXPECT_FALSE(processor().removeSymbol("D"));
}

TEST_F(Subscriptions, AdjacentCommasSubscribeTheEmptyCode) {
    std::string out;
    ASSERT_TRUE(corvo::session::legacySubscribe(processor(), "E,,F,", out, false));
    EXPECT_EQ(processor().subscribedSnapshot(), (std::vector<std::string>{"E", "", "F"}));
    EXPECT_TRUE(session_->publisher.waitForSubscription("_", 5s));
    EXPECT_EQ(snapshotRequests(), 3u);
    for (auto const code : {"E", "", "F"}) {
        processor().removeSymbol(code);
    }
}

TEST_F(Subscriptions, WhiteSpaceOnlySendsNothing) {
    std::string out = "previous";
    ASSERT_TRUE(corvo::session::legacySubscribe(processor(), " \t\r\n", out, false));
    EXPECT_EQ(out, "{}");
    EXPECT_EQ(snapshotRequests(), 0u);
    EXPECT_TRUE(processor().subscribedSnapshot().empty());
}

TEST_F(Subscriptions, SnapshotsAreAlwaysAJsonObjectOfTheMembersThatArrived) {
    using corvo::api::ErrorStatus;
    for (auto const& [code, reply] : kNoMember) {
        auto const alone = processor().addSymbol(code, false, ErrorStatus::asReply);
        EXPECT_EQ(alone.snapshot, "{}") << code;
        auto const before = processor().addSymbol("A," + code, false, ErrorStatus::asReply);
        EXPECT_EQ(before.snapshot, "{\"A_Corvo\":{\"c\":\"A\"}}") << code;
        EXPECT_EQ(before.missing, std::vector<std::string>{code});
        auto const after = processor().addSymbol(code + ",SPACED", false, ErrorStatus::asReply);
        EXPECT_EQ(after.snapshot, "{\"SPACED_Corvo\":1}") << code;
        EXPECT_TRUE(nlohmann::json::accept(after.snapshot));
    }
    // An error status: the legacy families take its body, the C interface a refusal.
    EXPECT_EQ(processor().addSymbol("GONE", false, ErrorStatus::asReply).snapshot,
              "{\"GONE_Corvo\":1}");
    auto const strict = processor().addSymbol("GONE", false, ErrorStatus::asFailure);
    EXPECT_EQ(strict.snapshot, "{}");
    ASSERT_TRUE(strict.failure);
    EXPECT_EQ(strict.failure->kind, corvo::api::FailureKind::refused);
    EXPECT_EQ(processor().health().subscriptions, 3u) << "A, SPACED and GONE; the others had none";
    EXPECT_EQ(processor().subscribedSnapshot().size(), kNoMember.size() + 3);
    processor().addSymbol("ZERO", false, ErrorStatus::asReply);
    ASSERT_TRUE(processor().removeSymbol("A"));
    EXPECT_EQ(processor().health().subscriptions, 2u);
}

TEST_F(Subscriptions, CodesLongerThanAnyInstrumentAreRefused) {
    std::string out = "kept";
    EXPECT_FALSE(corvo::session::legacySubscribe(processor(), std::string(5000, 'L'), out, false));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(processor().subscribedSnapshot().empty());
    EXPECT_TRUE(corvo::session::legacySubscribe(processor(), std::string(100, 'L'), out, false));
    EXPECT_TRUE(processor().removeSymbol(std::string(100, 'L')));
}

TEST_F(Subscriptions, RemovalNeedsTheExactSubscribedCode) {
    std::string out;
    ASSERT_TRUE(corvo::session::legacySubscribe(processor(), "H,I", out, false));
    EXPECT_FALSE(processor().removeSymbol("H,I"));
    ASSERT_TRUE(corvo::session::legacySubscribe(processor(), "", out, false));
    EXPECT_TRUE(processor().subscribedSnapshot().empty());
    EXPECT_FALSE(processor().removeSymbol("H")) << "the all-topics subscribe forgot H";
    EXPECT_TRUE(processor().removeSymbol(""));
}

}  // namespace
