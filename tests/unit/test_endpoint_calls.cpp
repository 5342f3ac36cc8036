// The API calls of Processor against a real server that decrypts every body.
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "common/processor_seam.h"
#include "corvo/build_constants.h"
#include "session/processor.h"
#include "support/http_test_server.h"
#include "support/payload_decrypt.h"
#include "support/wire_protocol.h"

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

TEST_F(EndpointCalls, EveryDataTargetReceivesItsPlaintext) {
    answer("{\"data\":1}");
    struct Case {
        const char* target;
        std::function<std::int32_t(Processor&, std::string&)> call;
        std::optional<std::string> field;
    };
    std::vector<Case> const cases{
        {"/getfundalastyearallsym",
         [](Processor& p, std::string& o) { return p.getFundaAllSym(o); },
         {}},
        {"/getfundalatestsinglesym",
         [](Processor& p, std::string& o) { return p.getFundaSingleSym("PTT", o); }, "PTT"},
        {"/getiaa", [](Processor& p, std::string& o) { return p.getIAA("", o); }, ""},
        {"/get_iaa_all_symbols",
         [](Processor& p, std::string& o) { return p.getIAAAllSymbols(o); },
         {}},
        {"/get_key_market_statistics_performance",
         [](Processor& p, std::string& o) { return p.getKeyMarketStatisticsPerformance(o); },
         {}},
        {"/getvolume", [](Processor& p, std::string& o) { return p.getVolume("A|B", o); }, "A|B"},
        {"/getvolumeallsymbols",
         [](Processor& p, std::string& o) { return p.getVolumeAllSymbols(o); },
         {}},
        {"/gettop20datas",
         [](Processor& p, std::string& o) { return std::int32_t{p.getTop20Datas(o)}; },
         {}},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(c.call(processor_, out), 1) << c.target;
        EXPECT_EQ(out, "{\"data\":1}") << c.target;
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
    std::string out;
    EXPECT_TRUE(processor_.getSymbolDatas("A", out, false));
    auto const plain = lastRequest();
    EXPECT_TRUE(processor_.getSymbolDatas("A", out, true));
    auto const ea = lastRequest();
    EXPECT_EQ(plain.target, "/getsymboldatas");
    EXPECT_EQ(ea.target, "/getsymboldatas_ea");
    EXPECT_EQ(plain.body, ea.body);
    EXPECT_EQ(lastFields(), credentialFieldsWith("A"));
}

TEST_F(EndpointCalls, AuthenAndBalancerPlaintextsAndReplies) {
    answer(" 5555\r\n");
    EXPECT_EQ(processor_.getZMQPort(), 5555);
    EXPECT_EQ(lastRequest().target, "/balancer");
    EXPECT_EQ(lastFields(), credentialFields());

    EXPECT_EQ(processor_.authen(-77), 1);
    EXPECT_EQ(lastRequest().target, "/authen");
    EXPECT_EQ(lastFields(), credentialFieldsWith("-77"));

    for (auto const& [reply, expected] : std::vector<std::pair<std::string, int>>{
             {"1", 1}, {"7", 1}, {"0", 1}, {"", 0}, {"x", 0}}) {
        answer(reply);
        EXPECT_EQ(processor_.authen(1), expected) << "reply '" << reply << "'";
    }
    for (auto const& [reply, expected] : std::vector<std::pair<std::string, int>>{
             {"12abc", 12}, {"abc", 0}, {"", 0}, {"99999999999", 0}}) {
        answer(reply);
        EXPECT_EQ(processor_.getZMQPort(), expected) << "reply '" << reply << "'";
    }
}

TEST_F(EndpointCalls, FeedbackOpensWithTheClientSecretAndDropsBars) {
    answer("3");
    EXPECT_EQ(processor_.feedback(101, -2, 3, 4, "a|b||c"), 3);
    EXPECT_EQ(lastRequest().target, "/feedback");
    std::string const secret =
        corvo::peer::xorWithKey(corvo::build::kClientSecret, corvo::peer::dayKey());
    EXPECT_EQ(lastFields(), (Fields{secret, "101", "-2", "3", "4", "abc"}));
    processor_.feedback(1, 2, 3, 4, "|||");
    EXPECT_EQ(lastFields(), (Fields{secret, "1", "2", "3", "4", ""}));
}

TEST_F(EndpointCalls, UnreachableServerGivesZeroText) {
    pointAtClosedPort();
    std::string out = "previous";
    EXPECT_EQ(processor_.getFundaAllSym(out), 1);
    EXPECT_EQ(out, "0");
    EXPECT_EQ(processor_.getZMQPort(), 0);
    EXPECT_EQ(processor_.feedback(1, 2, 3, 4, "m"), 0);
    EXPECT_EQ(processor_.authen(1), 1);
}

}  // namespace
