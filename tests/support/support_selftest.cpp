// Proves the shared test peers behave: real clients on loopback against each of them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <zmq.hpp>
#include <zmq_addon.hpp>

#include "corvo/build_constants.h"
#include "peer/curve_publisher.h"
#include "peer/http_test_server.h"
#include "peer/payload_decrypt.h"
#include "support/known_answers.h"

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using boost::system::error_code;
using corvo::testing::CurvePublisher;
using corvo::testing::HttpTestServer;
using corvo::testing::Reply;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

asio::ip::tcp::endpoint loopback(std::uint16_t port) {
    return {asio::ip::address_v4::loopback(), port};
}

// Sends raw bytes and collects everything until the server closes or the deadline passes.
std::string exchange(std::uint16_t port, const std::string& request,
                     std::chrono::milliseconds deadline = 10s) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    std::string response;
    socket.async_connect(loopback(port), [&](error_code ec) {
        if (ec) {
            return;
        }
        asio::async_write(socket, asio::buffer(request), [&](error_code, std::size_t) {
            asio::async_read(socket, asio::dynamic_buffer(response),
                             [](error_code, std::size_t) {});
        });
    });
    io.run_for(deadline);
    return response;
}

struct Fetched {
    error_code ec;
    unsigned status = 0;
    std::string body;
};

// A GET through Beast's own client parser, so framing is checked by an independent reader.
Fetched fetch(std::uint16_t port) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    boost::beast::flat_buffer buffer;
    http::request<http::empty_body> request{http::verb::get, "/probe", 11};
    http::response_parser<http::string_body> parser;
    parser.body_limit(boost::none);
    Fetched out;
    socket.async_connect(loopback(port), [&](error_code ec) {
        out.ec = ec;
        if (ec) {
            return;
        }
        http::async_write(socket, request, [&](error_code ec, std::size_t) {
            out.ec = ec;
            if (!ec) {
                http::async_read(socket, buffer, parser,
                                 [&](error_code ec, std::size_t) { out.ec = ec; });
            }
        });
    });
    io.run_for(10s);
    out.status = parser.get().result_int();
    out.body = parser.get().body();
    return out;
}

TEST(HttpTestServer, RecordsFieldsInWireOrderAndExactBody) {
    HttpTestServer server;
    const std::string body("a|b\0c\r\n\xff|", 9);
    const std::string head =
        "POST /api/x?y=1 HTTP/1.1\r\nX-First: 1\r\ncontent-type: text/plain\r\n"
        "X-Last:  spaced value \r\nContent-Length: 9\r\n\r\n";
    const auto response = exchange(server.port(), head + body);
    EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response;
    EXPECT_NE(response.find("Content-Length: 1\r\n"), std::string::npos);
    EXPECT_EQ(response.substr(response.size() - 5), "\r\n\r\n0");

    ASSERT_TRUE(server.waitForRequests(1, 5s));
    const auto recorded = server.requests().at(0);
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_EQ(recorded.target, "/api/x?y=1");
    EXPECT_EQ(recorded.rawHead, head);
    EXPECT_EQ(recorded.body, body);
    const corvo::testing::HttpFields expected{{"X-First", "1"},
                                              {"content-type", "text/plain"},
                                              {"X-Last", "spaced value"},
                                              {"Content-Length", "9"}};
    EXPECT_EQ(recorded.fields, expected);
    EXPECT_EQ(recorded.field("CONTENT-TYPE"), "text/plain");
}

TEST(HttpTestServer, FramingVariantsReadByBeast) {
    HttpTestServer server;
    server.setHandler([](const auto&) { return Reply::chunked("hello chunked world", 4, 201); });
    auto got = fetch(server.port());
    EXPECT_FALSE(got.ec) << got.ec.message();
    EXPECT_EQ(got.status, 201u);
    EXPECT_EQ(got.body, "hello chunked world");

    server.setHandler([](const auto&) { return Reply::eofFramed("until close"); });
    got = fetch(server.port());
    EXPECT_FALSE(got.ec) << got.ec.message();
    EXPECT_EQ(got.body, "until close");

    server.setHandler([](const auto&) { return Reply::truncated("short", 100); });
    EXPECT_EQ(fetch(server.port()).ec, http::error::partial_message);

    server.setHandler([](const auto&) { return Reply::closeWithoutReply(); });
    EXPECT_TRUE(fetch(server.port()).ec);

    server.setHandler([](const auto&) { return Reply::raw("HTTP/1.1 abc\r\n\r\n"); });
    EXPECT_EQ(exchange(server.port(), "GET / HTTP/1.1\r\n\r\n"), "HTTP/1.1 abc\r\n\r\n");
    EXPECT_EQ(server.requestCount(), 5u);
}

TEST(HttpTestServer, LargeRequestAndSizedReply) {
    HttpTestServer server;
    server.setHandler([](const auto&) { return Reply::sized(8u << 20); });
    std::string body(16u << 20, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 7);
    }
    const auto response = exchange(
        server.port(),
        "PUT /big HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    ASSERT_TRUE(server.waitForRequests(1, 5s));
    EXPECT_TRUE(server.requests().at(0).body == body);
    const auto bodyStart = response.find("\r\n\r\n") + 4;
    ASSERT_EQ(response.size() - bodyStart, 8u << 20);
    EXPECT_EQ(response.substr(bodyStart, 18), "0123456789abcdef01");
    EXPECT_EQ(response.back(), Reply::sizedByte((8u << 20) - 1));
}

TEST(HttpTestServer, BadClientsOnlyLoseTheirConnection) {
    HttpTestServer server;
    EXPECT_EQ(exchange(server.port(), "garbage\r\n\r\n"), "");
    EXPECT_EQ(exchange(server.port(), "GET / HTTP/1.1\r\nX: " + std::string(70000, 'a')), "");
    {
        asio::io_context io;
        asio::ip::tcp::socket socket(io);
        socket.connect(loopback(server.port()));
        asio::write(socket,
                    asio::buffer(std::string("POST / HTTP/1.1\r\nContent-Length: 99\r\n\r\nab")));
    }  // closes mid-body
    const auto response = exchange(server.port(), "GET /ok HTTP/1.1\r\n\r\n");
    EXPECT_EQ(response.rfind("HTTP/1.1 200", 0), 0u);
    ASSERT_TRUE(server.waitForRequests(1, 5s));
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests().at(0).target, "/ok");
}

TEST(HttpTestServer, StallAndDripEndPromptlyOnDestruction) {
    for (const auto& reply : {Reply::stall(), Reply::drip("HTTP/1.1 200 OK\r\n", 500ms)}) {
        std::optional<HttpTestServer> server(std::in_place);
        server->setHandler([&](const auto&) { return reply; });
        std::string response;
        std::thread client(
            [&, port = server->port()] { response = exchange(port, "GET / HTTP/1.1\r\n\r\n"); });
        EXPECT_TRUE(server->waitForRequests(1, 5s));
        const auto start = Clock::now();
        server.reset();
        EXPECT_LT(Clock::now() - start, 1s);
        client.join();
        EXPECT_LE(response.size(), 1u);  // a drip gets at most its first byte out
    }
}

TEST(HttpTestServer, ReleasedStallPlaysItsNextReply) {
    HttpTestServer server;
    server.setHandler([](const auto&) { return Reply::stall(Reply::text("late")); });
    std::string response;
    std::thread client(
        [&, port = server.port()] { response = exchange(port, "GET / HTTP/1.1\r\n\r\n"); });
    ASSERT_TRUE(server.waitForRequests(1, 5s));
    server.releaseStalls();
    client.join();
    EXPECT_EQ(response.substr(response.size() - 8), "\r\n\r\nlate");
}

TEST(PayloadDecrypt, ReadsEveryKnownAnswerAndRejectsBadPadding) {
    using corvo::testing::blockFromHex;
    using corvo::testing::fromHex;
    for (auto const& known : corvo::testing::knownAnswers("aes_128_cbc.txt")) {
        EXPECT_EQ(corvo::testing::decryptPayload(fromHex(known.at("cipher")),
                                                 blockFromHex(known.at("key")),
                                                 blockFromHex(known.at("iv"))),
                  fromHex(known.at("plain")))
            << known.at("plain").size() / 2 << " bytes";
    }
    using corvo::peer::decryptPayload;
    using corvo::peer::encryptPayload;
    EXPECT_THROW(decryptPayload(std::string(15, 'z')), std::runtime_error);
    EXPECT_THROW(decryptPayload(""), std::runtime_error);
    // The first block of a two-block ciphertext decrypts to its 16 plaintext bytes alone, so
    // those bytes are read as the padding.
    auto const firstBlock = [](const std::string& sixteen) {
        return encryptPayload(sixteen).substr(0, 16);
    };
    std::string const x14(14, 'x');
    EXPECT_EQ(decryptPayload(firstBlock(x14 + "\x02\x02")), x14);
    for (std::string const& badPadding : {x14 + "x" + '\0', x14 + "x\x11", x14 + "\x01\x02"}) {
        EXPECT_THROW(decryptPayload(firstBlock(badPadding)), std::runtime_error);
    }
}

TEST(PayloadDecrypt, SplitBarsKeepsEmptyFields) {
    using V = std::vector<std::string>;
    EXPECT_EQ(corvo::testing::splitBars("a||b|"), (V{"a", "", "b", ""}));
    EXPECT_EQ(corvo::testing::splitBars(""), (V{""}));
    EXPECT_EQ(corvo::testing::splitBars("solo"), (V{"solo"}));
}

// A library-style CURVE subscriber with a fresh client key pair.
struct Subscriber {
    explicit Subscriber(const std::string& serverPublicKey, const std::string& endpoint) {
        char publicKey[41] = {};
        char secretKey[41] = {};
        EXPECT_EQ(zmq_curve_keypair(publicKey, secretKey), 0);
        socket.set(zmq::sockopt::curve_serverkey, serverPublicKey);
        socket.set(zmq::sockopt::curve_publickey, std::string(publicKey));
        socket.set(zmq::sockopt::curve_secretkey, std::string(secretKey));
        socket.set(zmq::sockopt::linger, 0);
        socket.set(zmq::sockopt::rcvtimeo, 5000);  // the deadline of every receive
        socket.connect(endpoint);
    }
    std::vector<std::string> receive() {
        std::vector<zmq::message_t> parts;
        if (!zmq::recv_multipart(socket, std::back_inserter(parts))) {
            return {};
        }
        std::vector<std::string> frames;
        for (const auto& part : parts) {
            frames.push_back(part.to_string());
        }
        return frames;
    }
    zmq::context_t context;
    zmq::socket_t socket{context, zmq::socket_type::sub};
};

std::string buildServerPublicKey() {
    char publicKey[41] = {};
    EXPECT_EQ(zmq_curve_public(publicKey, corvo::build::kCurveServerSecret), 0);
    return publicKey;
}

TEST(CurvePublisher, DeliversAfterSubscriptionAndAcrossRestart) {
    CurvePublisher publisher;
    EXPECT_EQ(publisher.publicKeyZ85(), buildServerPublicKey());
    Subscriber client(buildServerPublicKey(), publisher.endpoint());
    client.socket.set(zmq::sockopt::subscribe, "A_");
    ASSERT_TRUE(publisher.waitForSubscription("A_", 5s));
    EXPECT_EQ(publisher.subscriptions(), std::vector<std::string>{"A_"});

    const std::vector<std::string> frames{"A_x", std::string("\0\1|\0", 4), ""};
    publisher.publish("B_skip", "ignored");
    publisher.publish(frames);
    EXPECT_EQ(client.receive(), frames);

    const auto port = publisher.port();
    publisher.stop();
    publisher.restart();
    EXPECT_EQ(publisher.port(), port);
    // A libzmq SUB resends its filters after reconnecting only once its owner calls into
    // the socket again, so the client must already be receiving, as the library would be.
    std::vector<std::string> again;
    std::thread receiver([&] { again = client.receive(); });
    EXPECT_TRUE(publisher.waitForSubscription("A_", 5s));
    publisher.publish("A_again", "2");
    receiver.join();
    EXPECT_EQ(again, (std::vector<std::string>{"A_again", "2"}));
    publisher.flush();
    EXPECT_EQ(publisher.sentCount(), 3u);

    client.socket.set(zmq::sockopt::unsubscribe, "A_");
    EXPECT_TRUE(publisher.waitForUnsubscription("A_", 5s));
    EXPECT_TRUE(publisher.subscriptions().empty());
}

TEST(CurvePublisher, BurstArrivesComplete) {
    CurvePublisher publisher;
    Subscriber client(publisher.publicKeyZ85(), publisher.endpoint());
    client.socket.set(zmq::sockopt::subscribe, "");
    ASSERT_TRUE(publisher.waitForSubscription("", 5s));
    constexpr std::uint64_t kCount = 20000;
    publisher.publishBurst(
        [](std::uint64_t i) {
            return std::vector<std::string>{"T_", std::to_string(i)};
        },
        kCount);
    EXPECT_EQ(publisher.sentCount(), kCount);
    for (std::uint64_t i = 0; i < kCount; ++i) {
        const auto frames = client.receive();
        ASSERT_EQ(frames.size(), 2u) << "message " << i;
        ASSERT_EQ(frames[1], std::to_string(i));
    }
}

TEST(CurvePublisher, WrongServerKeyGetsNothing) {
    CurvePublisher publisher;
    char otherPublic[41] = {};
    char otherSecret[41] = {};
    ASSERT_EQ(zmq_curve_keypair(otherPublic, otherSecret), 0);
    Subscriber client(otherPublic, publisher.endpoint());
    client.socket.set(zmq::sockopt::subscribe, "A_");
    client.socket.set(zmq::sockopt::rcvtimeo, 300);
    EXPECT_FALSE(publisher.waitForSubscription("A_", 300ms));
    publisher.publish("A_x", "1");
    EXPECT_TRUE(client.receive().empty());
    EXPECT_THROW(CurvePublisher("too short"), std::invalid_argument);
}

}  // namespace
