// The API calls of Processor against a real server that decrypts every body.
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "common/processor_seam.h"
#include "corvo/build_constants.h"
#include "peer/http_test_server.h"
#include "peer/payload_decrypt.h"
#include "peer/wire_protocol.h"
#include "session/processor.h"

namespace {

using corvo::session::Processor;
using corvo::testing::decryptPayload;
using corvo::testing::HttpTestServer;
using corvo::testing::RecordedRequest;
using corvo::testing::Reply;
using corvo::testing::splitBars;
using Fields = std::vector<std::string>;

const std::string kUserKey = "user-key-0042";

class EndpointCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        client_.setServer({"127.0.0.1", server_.port()});
        corvo::session::ProcessorSeam::setUserKey(processor_, kUserKey);
    }
    void answer(std::string body) {
        server_.setHandler([body](const RecordedRequest&) { return Reply::text(body); });
    }
    void pointAtClosedPort() {
        boost::asio::io_context context;
        boost::asio::ip::tcp::acceptor probe(context,
                                             {boost::asio::ip::make_address("127.0.0.1"), 0});
        client_.setServer({"127.0.0.1", probe.local_endpoint().port()});
    }
    RecordedRequest lastRequest() const { return server_.requests().back(); }
    Fields lastFields() const { return splitBars(decryptPayload(lastRequest().body)); }

    // The credential block as the server rebuilds it, with the peers' own day key and XOR.
    static Fields credentialFields() {
        std::string const day = corvo::peer::dayKey();
        return {corvo::peer::xorWithKey(kUserKey, day),
                corvo::peer::xorWithKey(corvo::build::kClientSecret, day)};
    }
    static Fields credentialFieldsWith(std::string field) {
        Fields fields = credentialFields();
        fields.push_back(std::move(field));
        return fields;
    }

    HttpTestServer server_;
    corvo::api::ApiClient client_;
    zmq::socket_t socket_;
    corvo::session::connect_monitor_c monitor_;
    Processor processor_{client_, socket_, monitor_};
};

// The reply's body, or "failed" when the exchange failed.
std::string bodyOf(const corvo::api::PostOutcome& outcome) {
    return outcome ? outcome.value().body : "failed";
}

TEST_F(EndpointCalls, EveryDataTargetReceivesItsPlaintext) {
    answer("{\"data\":1}");
    struct Case {
        const char* target;
        std::function<corvo::api::PostOutcome(Processor&)> call;
        std::optional<std::string> field;
    };
    std::vector<Case> const cases{
        {"/getfundalastyearallsym", [](Processor& p) { return p.getFundaAllSym(); }, {}},
        {"/getfundalatestsinglesym", [](Processor& p) { return p.getFundaSingleSym("PTT"); },
         "PTT"},
        {"/getiaa", [](Processor& p) { return p.getIAA(""); }, ""},
        {"/get_iaa_all_symbols", [](Processor& p) { return p.getIAAAllSymbols(); }, {}},
        {"/get_key_market_statistics_performance",
         [](Processor& p) { return p.getKeyMarketStatisticsPerformance(); },
         {}},
        {"/getvolume", [](Processor& p) { return p.getVolume("A|B"); }, "A|B"},
        {"/getvolumeallsymbols", [](Processor& p) { return p.getVolumeAllSymbols(); }, {}},
        {"/gettop20datas", [](Processor& p) { return p.getTop20Datas(); }, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bodyOf(c.call(processor_)), "{\"data\":1}") << c.target;
        EXPECT_EQ(lastRequest().target, c.target);
        std::string const plaintext = decryptPayload(lastRequest().body);
        std::string expected = corvo::peer::credentialBlock(kUserKey, corvo::build::kClientSecret,
                                                            corvo::peer::dayKey());
        if (c.field) {
            expected += "|" + *c.field;  // an empty field still leaves the trailing bar
        }
        EXPECT_EQ(plaintext, expected) << c.target;
    }
}

TEST_F(EndpointCalls, SymbolDatasPostsTheSameCiphertextToBothTargets) {
    answer("{}");
    EXPECT_EQ(bodyOf(processor_.getSymbolDatas("A", false)), "{}");
    auto const plain = lastRequest();
    EXPECT_EQ(bodyOf(processor_.getSymbolDatas("A", true)), "{}");
    auto const ea = lastRequest();
    EXPECT_EQ(plain.target, "/getsymboldatas");
    EXPECT_EQ(ea.target, "/getsymboldatas_ea");
    EXPECT_EQ(plain.body, ea.body);
    EXPECT_EQ(lastFields(), credentialFieldsWith("A"));
}

TEST_F(EndpointCalls, AuthenAndBalancerPlaintextsAndReplies) {
    using corvo::api::ErrorStatus;
    answer(" 5555\r\n");
    auto const port = corvo::api::replyNumber(processor_.getZMQPort(), ErrorStatus::asFailure);
    ASSERT_TRUE(port);
    EXPECT_EQ(port.value(), 5555);
    EXPECT_EQ(lastRequest().target, "/balancer");
    EXPECT_EQ(lastFields(), credentialFields());

    processor_.authen(-77);
    EXPECT_EQ(lastRequest().target, "/authen");
    EXPECT_EQ(lastFields(), credentialFieldsWith("-77"));

    // Replies read as numbers: a number (any, for authen) or a bad answer.
    for (auto const& [reply, expected] : std::vector<std::pair<std::string, std::optional<int>>>{
             {"1", 1}, {"0", 0}, {"12abc", 12}, {"abc", {}}, {"", {}}, {"99999999999", {}}}) {
        answer(reply);
        auto const number = corvo::api::replyNumber(processor_.authen(1), ErrorStatus::asReply);
        EXPECT_EQ(number.ok(), expected.has_value()) << "reply '" << reply << "'";
        if (number) {
            EXPECT_EQ(number.value(), *expected) << "reply '" << reply << "'";
        } else {
            EXPECT_EQ(number.failure().kind, corvo::api::FailureKind::badAnswer);
        }
    }
}

TEST_F(EndpointCalls, AnErrorStatusIsAReplyForLegacyHostsAndAFailureForTheCInterface) {
    using corvo::api::ErrorStatus;
    using corvo::api::FailureKind;
    struct Case {
        int status;
        std::optional<FailureKind> strict;  // how the C interface takes it
    };
    for (auto const& c : std::vector<Case>{{200, {}},
                                           {204, {}},
                                           {401, FailureKind::refused},
                                           {404, FailureKind::refused},
                                           {500, FailureKind::exchange},
                                           {302, FailureKind::exchange}}) {
        server_.setHandler(
            [&](const RecordedRequest&) { return Reply::text("denied\nbody", c.status); });
        auto const legacy = corvo::api::replyBody(processor_.getIAA("X"), ErrorStatus::asReply);
        ASSERT_TRUE(legacy) << c.status;
        EXPECT_EQ(legacy.value(), c.status == 204 ? "" : "denied\nbody") << c.status;
        auto const strict = corvo::api::replyBody(processor_.getIAA("X"), ErrorStatus::asFailure);
        ASSERT_EQ(strict.ok(), !c.strict) << c.status;
        if (c.strict) {
            EXPECT_EQ(strict.failure().kind, *c.strict);
            EXPECT_EQ(strict.failure().reason,
                      "POST /getiaa to 127.0.0.1:" + std::to_string(server_.port()) +
                          " answered HTTP " + std::to_string(c.status) + ": denied?body");
        }
    }
}

TEST_F(EndpointCalls, FeedbackOpensWithTheClientSecretAndDropsBars) {
    answer("3");
    EXPECT_EQ(bodyOf(processor_.feedback(101, -2, 3, 4, "a|b||c")), "3");
    EXPECT_EQ(lastRequest().target, "/feedback");
    std::string const secret =
        corvo::peer::xorWithKey(corvo::build::kClientSecret, corvo::peer::dayKey());
    EXPECT_EQ(lastFields(), (Fields{secret, "101", "-2", "3", "4", "abc"}));
    processor_.feedback(1, 2, 3, 4, "|||");
    EXPECT_EQ(lastFields(), (Fields{secret, "1", "2", "3", "4", ""}));
}

TEST_F(EndpointCalls, AnUnreachableServerIsAFailedExchangeWithItsReason) {
    pointAtClosedPort();
    std::string const to = "127.0.0.1:" + std::to_string(client_.server().port);
    for (auto const& outcome : {processor_.getFundaAllSym(), processor_.getZMQPort(),
                                processor_.feedback(1, 2, 3, 4, "m"), processor_.authen(1)}) {
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.failure().kind, corvo::api::FailureKind::exchange);
        EXPECT_EQ(outcome.failure().reason.find(" to " + to + " failed: "),
                  outcome.failure().reason.find(" to "));
    }
    EXPECT_EQ(corvo::api::legacyText(
                  corvo::api::replyBody(processor_.getIAA("X"), corvo::api::ErrorStatus::asReply)),
              "0");
}

}  // namespace
