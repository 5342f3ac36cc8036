// RequestPost against a real HTTP server on loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "api/api_client.h"
#include "common/eventually.h"
#include "peer/http_test_server.h"
#include "platform/name_lookup.h"

namespace {

using corvo::api::ApiClient;
using corvo::testing::HttpTestServer;
using corvo::testing::RecordedRequest;
using corvo::testing::Reply;
using namespace std::chrono_literals;

class RequestPost : public ::testing::Test {
  protected:
    void SetUp() override { client_.setServer({"127.0.0.1", server_.port()}); }
    void answer(Reply reply) {
        server_.setHandler([reply](const RecordedRequest&) { return reply; });
    }
    // The body of whatever status, or "0" when the exchange failed.
    std::string post(std::string target, std::string body) const {
        auto const outcome = client_.RequestPost(std::move(target), std::move(body));
        return outcome ? outcome.value().body : "0";
    }

    HttpTestServer server_;
    ApiClient client_;
};

TEST_F(RequestPost, SendsExactlyTheFourFieldsAndTheBody) {
    answer(Reply::text("ok"));
    std::string const body("ci\0ph|er", 8);
    EXPECT_EQ(post("/authen", body), "ok");
    ASSERT_EQ(server_.requestCount(), 1u);
    auto const request = server_.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/authen");
    EXPECT_EQ(request.body, body);
    ASSERT_EQ(request.fields.size(), 4u);
    EXPECT_EQ(request.fields[0], (std::pair<std::string, std::string>{"Host", "127.0.0.1"}));
    EXPECT_EQ(request.fields[1].second, "Boost.Beast/306");
    EXPECT_EQ(request.fields[2].second, "text/plain");
    EXPECT_EQ(request.fields[3], (std::pair<std::string, std::string>{"Content-Length", "8"}));
    EXPECT_EQ(request.rawHead.rfind("POST /authen HTTP/1.1\r\n", 0), 0u);
}

TEST_F(RequestPost, EmptyBodyIsSentWithLengthZero) {
    post("/balancer", "");
    ASSERT_EQ(server_.requestCount(), 1u);
    EXPECT_EQ(server_.requests().front().field("Content-Length"), "0");
    EXPECT_EQ(server_.requests().front().body, "");
}

TEST_F(RequestPost, ErrorStatusBodiesAreHandedOver) {
    answer(Reply::text("server trouble", 500));
    auto const reply = client_.RequestPost("/x", "b");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.value().status, 500u);
    EXPECT_EQ(reply.value().exchange, "POST /x to 127.0.0.1:" + std::to_string(server_.port()));
    EXPECT_EQ(post("/x", "b"), "server trouble");
    answer(Reply::text("", 404));
    EXPECT_EQ(post("/x", "b"), "");
}

TEST_F(RequestPost, DecodesChunkedAndEndOfStreamFraming) {
    answer(Reply::chunked(std::string(10000, 'c'), 333));
    EXPECT_EQ(post("/x", "b"), std::string(10000, 'c'));
    answer(Reply::eofFramed("until close"));
    EXPECT_EQ(post("/x", "b"), "until close");
}

TEST_F(RequestPost, BodyLimitIsEightMebibytesExactly) {
    answer(Reply::sized(ApiClient::kBodyLimit));
    std::string const whole = post("/x", "b");
    ASSERT_EQ(whole.size(), ApiClient::kBodyLimit);
    EXPECT_EQ(whole[ApiClient::kBodyLimit - 1], Reply::sizedByte(ApiClient::kBodyLimit - 1));
    answer(Reply::sized(ApiClient::kBodyLimit + 1));
    std::string const tooLong = post("/x", "b");
    EXPECT_EQ(tooLong.size(), 1u);
    EXPECT_EQ(tooLong.substr(0, 1), "0");
    answer(Reply::chunked(std::string(ApiClient::kBodyLimit + 1, 'c'), 1 << 20));
    EXPECT_EQ(post("/x", "b").size(), 1u);
    answer(Reply::eofFramed(std::string(ApiClient::kBodyLimit + 1, 'e')));
    EXPECT_EQ(post("/x", "b").size(), 1u);
}

TEST_F(RequestPost, MalformedOrCutRepliesGiveZero) {
    answer(Reply::truncated("short", 100));
    EXPECT_EQ(post("/x", "b"), "0");
    answer(Reply::closeWithoutReply());
    EXPECT_EQ(post("/x", "b"), "0");
    answer(Reply::raw("NOT HTTP AT ALL\r\n\r\n"));
    EXPECT_EQ(post("/x", "b"), "0");
    answer(
        Reply::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n"));
    EXPECT_EQ(post("/x", "b"), "0");
    answer(Reply::raw("HTTP/1.1 200 OK\r\nX: " + std::string(9000, 'h') +
                      "\r\nContent-Length: 1\r\n\r\n1"));
    EXPECT_EQ(post("/x", "b"), "0");
}

TEST_F(RequestPost, UnreachableHostOrPortGivesZero) {
    // A port that was just free: bind it, note it, let it go.
    boost::asio::io_context context;
    boost::asio::ip::tcp::acceptor probe(context, {boost::asio::ip::make_address("127.0.0.1"), 0});
    client_.setServer({"127.0.0.1", probe.local_endpoint().port()});
    probe.close();
    auto const refused = client_.RequestPost("/x", "b");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().kind, corvo::api::FailureKind::exchange);
    EXPECT_EQ(refused.failure().reason.rfind(
                  "POST /x to 127.0.0.1:" + std::to_string(client_.server().port) + " failed: ", 0),
              0u)
        << refused.failure().reason;
    client_.setServer({"no-such-host.invalid", 80});
    EXPECT_EQ(post("/x", "b"), "0");
}

TEST_F(RequestPost, AStalledServerRunsIntoTheDeadline) {
    client_.setDeadline(300ms);
    answer(Reply::stall());
    auto const started = std::chrono::steady_clock::now();
    EXPECT_EQ(post("/x", "b"), "0");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    answer(Reply::drip("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 100ms));
    EXPECT_EQ(post("/x", "b"), "0");
}

// A lookup that the resolver never answers.
class SilentLookup : public corvo::platform::NameLookup {
  public:
    bool waitUntil(std::chrono::steady_clock::time_point until) override {
        std::this_thread::sleep_until(until);
        return false;
    }
    corvo::platform::LookupResult result() const override { return {}; }
};

TEST_F(RequestPost, NameLookupsAreBoundedByTheDeadlineAndTheCancellation) {
    answer(Reply::text("found"));
    client_.setServer({"localhost", server_.port()});
    EXPECT_EQ(post("/x", "b"), "found") << "the system resolver's lookup";

    std::atomic<int> lookups{0};
    client_.setNameLookup([&](const std::string&) {
        ++lookups;
        return std::make_unique<SilentLookup>();
    });
    client_.setDeadline(300ms);
    auto const started = std::chrono::steady_clock::now();
    EXPECT_EQ(post("/x", "b"), "0");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    client_.setDeadline(ApiClient::kDefaultDeadline);
    std::string answered;
    std::thread caller([&] { answered = post("/x", "b"); });
    ASSERT_TRUE(corvo::testing::eventually([&] { return lookups == 2; }));
    client_.cancelExchanges();
    caller.join();
    EXPECT_EQ(answered, "0");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(RequestPost, CancellingEndsAnExchangeInFlightAndRefusesLaterOnes) {
    answer(Reply::stall());
    auto const started = std::chrono::steady_clock::now();
    std::string answered;
    std::thread caller([&] { answered = post("/x", "b"); });
    ASSERT_TRUE(server_.waitForRequests(1, 5s));
    client_.cancelExchanges();
    caller.join();
    EXPECT_EQ(answered, "0");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "long before the 30 s deadline";
    answer(Reply::text("late"));
    EXPECT_EQ(post("/x", "b"), "0");
    server_.releaseStalls();
}

TEST_F(RequestPost, ServesManyThreadsAtOnce) {
    answer(Reply::text("shared"));
    std::vector<std::thread> callers;
    std::atomic<int> matching{0};
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                matching += post("/x", "b") == "shared";
            }
        });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(matching.load(), 40);
}

}  // namespace
