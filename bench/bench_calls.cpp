// B4, B5, B7: the cost the library adds to one HTTP exchange, one encryption and one refresh,
// each beside the raw way of doing the same in the same run.
#include <openssl/evp.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstring>
#include <memory>

#include "api/api_client.h"
#include "api/payload_cipher.h"
#include "corvo/build_constants.h"
#include "exports/conventions.h"
#include "measure.h"
#include "peer/http_test_server.h"
#include "session/refresh_assembly.h"

namespace {

using namespace corvo::bench;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;

// The raw exchange: a synchronous Beast client, fresh connection, same request and limits.
std::string bareBeastPost(std::uint16_t port, const std::string& body) {
    namespace http = boost::beast::http;
    boost::asio::io_context context;
    boost::asio::ip::tcp::resolver resolver(context);
    boost::beast::tcp_stream stream(context);
    stream.connect(resolver.resolve("127.0.0.1", std::to_string(port)));
    http::request<http::string_body> request{http::verb::post, "/bench", 11};
    request.set(http::field::host, "127.0.0.1");
    request.set(http::field::user_agent, "Boost.Beast/306");
    request.set(http::field::content_type, "text/plain");
    request.body() = body;
    request.prepare_payload();
    http::write(stream, request);
    boost::beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    http::read(stream, buffer, parser);
    boost::beast::error_code ignored;
    stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    return parser.release().body();
}

void exchanges() {
    constexpr int kExchanges = 1000;
    corvo::testing::HttpTestServer server(0, false);
    server.setHandler(
        [](const corvo::testing::RecordedRequest&) { return corvo::testing::Reply::text("ok"); });
    corvo::api::ApiClient client;
    client.setServer({"127.0.0.1", server.port()});
    std::string const body(64, 'b');
    std::vector<double> library;
    std::vector<double> baseline;
    for (int run = 0; run < kRuns; ++run) {
        auto start = Clock::now();
        for (int i = 0; i < kExchanges; ++i) {
            benchmark::DoNotOptimize(bareBeastPost(server.port(), body));
        }
        baseline.push_back(kExchanges / secondsSince(start));
        start = Clock::now();
        for (int i = 0; i < kExchanges; ++i) {
            benchmark::DoNotOptimize(client.RequestPost("/bench", body));
        }
        library.push_back(kExchanges / secondsSince(start));
    }
    Stats const lib = summarise(library);
    Stats const base = summarise(baseline);
    row("B4", "RequestPost, 64 B body, fresh connection each", format(lib, "req/s"),
        format(base, "req/s"), lib.median / base.median, ">= 0.9");
}

// The raw cipher: OpenSSL EVP AES-128-CBC with one context reused for every message.
class EvpCipher {
  public:
    EvpCipher() : context_(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free) {}
    std::size_t encrypt(const std::string& plaintext, std::string& out) {
        out.resize(plaintext.size() + 16);
        int written = 0;
        int tail = 0;
        EVP_EncryptInit_ex(context_.get(), EVP_aes_128_cbc(), nullptr, corvo::build::kAesKey.data(),
                           corvo::build::kAesIv.data());
        EVP_EncryptUpdate(context_.get(), reinterpret_cast<unsigned char*>(out.data()), &written,
                          reinterpret_cast<const unsigned char*>(plaintext.data()),
                          static_cast<int>(plaintext.size()));
        EVP_EncryptFinal_ex(context_.get(), reinterpret_cast<unsigned char*>(out.data()) + written,
                            &tail);
        return static_cast<std::size_t>(written + tail);
    }

  private:
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context_;
};

void encryption(std::size_t bytes) {
    std::size_t const iterations = std::max<std::size_t>(200, (64u << 20) / bytes / 4);
    std::string const plaintext(bytes, 'p');
    EvpCipher evp;
    std::string out;
    auto throughput = [&](auto&& encryptOnce) {
        auto const start = Clock::now();
        for (std::size_t i = 0; i < iterations; ++i) {
            encryptOnce();
        }
        return static_cast<double>(bytes * iterations) / secondsSince(start) / 1e6;
    };
    std::vector<double> library;
    std::vector<double> baseline;
    for (int run = 0; run < kRuns; ++run) {
        baseline.push_back(
            throughput([&] { benchmark::DoNotOptimize(evp.encrypt(plaintext, out)); }));
        library.push_back(throughput([&] {
            benchmark::DoNotOptimize(
                corvo::api::encryptPayload(plaintext, corvo::build::kAesKey, corvo::build::kAesIv));
        }));
    }
    Stats const lib = summarise(library);
    Stats const base = summarise(baseline);
    row("B5", "encryptPayload, " + std::to_string(bytes) + " B", format(lib, "MB/s"),
        format(base, "MB/s"), lib.median / base.median, bytes == 1024 ? ">= 0.5" : "reported");
}

void refreshAssembly() {
    using namespace corvo::session;
    RecordMap records;
    std::vector<std::string> topics;
    for (int i = 0; i < 10000; ++i) {
        std::string topic = "R" + std::to_string(i) + "_Corvo";
        records[topic] = "\"" + topic + "\":{\"last\":123.45,\"seq\":" + std::to_string(i) + "}";
        topics.push_back(std::move(topic));
    }
    constexpr int kCalls = 200;
    std::size_t servedBytes = 0;
    std::vector<char16_t> wide(kRefreshLimit + 2);
    auto perCall = [&](RefreshFamily family, bool widen) {
        auto const start = Clock::now();
        for (int i = 0; i < kCalls; ++i) {
            std::vector<std::string> deferred;
            deferred.reserve(topics.size());
            auto const result = assembleRefresh(topics, records, family, deferred);
            if (widen) {
                corvo::exports::widenInto(result.text, wide.data());
            }
            servedBytes = result.text.size();
            benchmark::DoNotOptimize(result.text.data());
        }
        return secondsSince(start) / kCalls * 1e6;
    };
    std::string const source(kRefreshLimit, 's');
    std::string copy;
    auto copying = [&] {
        auto const start = Clock::now();
        for (int i = 0; i < kCalls; ++i) {
            copy.assign(source, 0, servedBytes);
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        }
        return secondsSince(start) / kCalls * 1e6;
    };
    Stats const cs = repeat(kRuns, [&] { return perCall(RefreshFamily::cs, false); });
    Stats const ea = repeat(kRuns, [&] { return perCall(RefreshFamily::ea, true); });
    Stats const raw = repeat(kRuns, copying);
    char perByte[64];
    std::snprintf(perByte, sizeof perByte, "%.4g ns/B", cs.median * 1000 / servedBytes);
    row("B7", "cs_Refresh assembly, 10,000 pending topics (" + std::string(perByte) + ")",
        format(cs, "us/call"), format(raw, "us/call"), 0, "reported");
    std::snprintf(perByte, sizeof perByte, "%.4g ns/B", ea.median * 1000 / servedBytes);
    row("B7", "ea_Refresh assembly and widening (" + std::string(perByte) + ")",
        format(ea, "us/call"), format(raw, "us/call"), 0, "reported");
}

}  // namespace

int main() {
    exchanges();
    for (std::size_t const bytes : {64u, 1024u, 65536u}) {
        encryption(bytes);
    }
    refreshAssembly();
    return 0;
}
