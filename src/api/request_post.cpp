// RequestPost: one HTTP/1.1 POST with Boost.Beast, bounded by a deadline. Beast's timeouts only
// apply to asynchronous operations, so each step is started asynchronously and the I/O context
// runs until the step completes or the time left is used up.
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>

#include "api/api_client.h"
#include "trace/trace.h"

namespace corvo::api {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using Clock = ApiClient::Clock;

// How often a step looks whether the library or the session is cancelling its exchanges.
constexpr auto kCancelCheck = std::chrono::milliseconds(50);

// What one exchange needs to know besides its request.
struct ExchangeBounds {
    Clock::time_point deadline;
    const std::atomic<bool>& libraryEnding;
    std::shared_ptr<const std::atomic<bool>> sessionStopped;

    // The end of the next wait: the deadline, or sooner to look at the cancellations.
    Clock::time_point nextCheck() const { return std::min(deadline, Clock::now() + kCancelCheck); }
    bool cancelled() const {
        return libraryEnding.load(std::memory_order_acquire) ||
               sessionStopped->load(std::memory_order_acquire);
    }
    bool over() const { return cancelled() || Clock::now() >= deadline; }
    // Why a cancelled exchange ended.
    const char* cancellation() const {
        return libraryEnding.load(std::memory_order_acquire) ? "the library is ending"
                                                             : "the session stopped";
    }
};

// Runs the context until `done`, the deadline or a cancellation; a step still pending then is
// cancelled, left to finish its handler, and reported as timed out.
template <class Cancel>
void runStep(net::io_context& ioc, const ExchangeBounds& bounds, const bool& done,
             beast::error_code& ec, Cancel cancel) {
    while (!done && !bounds.over()) {
        ioc.restart();
        ioc.run_until(bounds.nextCheck());
    }
    if (done) {
        return;
    }
    cancel();
    ioc.restart();
    ioc.run();
    ec = bounds.cancelled() ? beast::error_code(net::error::operation_aborted)
                            : beast::error_code(beast::error::timeout);
}

// Looks `host` up without holding this thread past the deadline or a cancellation.
std::vector<tcp::endpoint> lookUp(const platform::NameLookupStarter& startLookup,
                                  const std::string& host, std::uint16_t port,
                                  const ExchangeBounds& bounds) {
    auto const lookup = startLookup(host);
    while (!lookup->waitUntil(bounds.nextCheck())) {
        if (bounds.over()) {
            throw std::runtime_error(bounds.cancelled() ? "name lookup cancelled"
                                                        : "name lookup ran past the deadline");
        }
    }
    auto const found = lookup->result();
    if (!found.error.empty()) {
        throw std::runtime_error(found.error);
    }
    std::vector<tcp::endpoint> endpoints;
    for (auto const& text : found.addresses) {
        beast::error_code ec;
        auto const address = net::ip::make_address(text, ec);
        if (!ec) {
            endpoints.emplace_back(address, port);
        }
    }
    return endpoints;
}

http::request<http::string_body> buildRequest(const std::string& host, std::string target,
                                              std::string body) {
    http::request<http::string_body> request{http::verb::post, std::move(target), 11};
    request.set(http::field::host, host);
    request.set(http::field::user_agent, "Boost.Beast/306");
    request.set(http::field::content_type, "text/plain");
    request.body() = std::move(body);
    request.prepare_payload();
    return request;
}

ApiClient::Reply exchange(const platform::NameLookupStarter& startLookup,
                          const ApiClient::Server& server, std::string target, std::string body,
                          const ExchangeBounds& bounds) {
    if (server.port < 0 || server.port > 65535) {
        throw std::out_of_range("port " + std::to_string(server.port) + " is not a TCP port");
    }
    auto const port = static_cast<std::uint16_t>(server.port);
    net::io_context ioc;
    beast::tcp_stream stream(ioc);
    beast::error_code ec;
    bool done = false;
    auto const complete = [&](beast::error_code result, auto&&...) {
        ec = result;
        done = true;
    };
    auto const closeSocket = [&] { stream.socket().close(); };

    // An address needs no lookup; a name is looked up for any family and every address found
    // is tried in order until one accepts.
    auto const address = net::ip::make_address(server.host, ec);
    if (!ec) {
        stream.async_connect(tcp::endpoint(address, port), complete);
    } else {
        auto const endpoints = lookUp(startLookup, server.host, port, bounds);
        stream.async_connect(endpoints, complete);
    }
    runStep(ioc, bounds, done, ec, closeSocket);
    if (ec) {
        throw beast::system_error(ec);
    }

    auto request = buildRequest(server.host, std::move(target), std::move(body));
    done = false;
    http::async_write(stream, request, complete);
    runStep(ioc, bounds, done, ec, closeSocket);
    if (ec) {
        throw beast::system_error(ec);
    }

    // Room for large reads: an answer of megabytes then takes few of them.
    beast::flat_buffer buffer;
    buffer.reserve(1 << 16);
    http::response_parser<http::string_body> parser;
    parser.header_limit(ApiClient::kHeadLimit);
    parser.body_limit(ApiClient::kBodyLimit);
    done = false;
    http::async_read_header(stream, buffer, parser, complete);
    runStep(ioc, bounds, done, ec, closeSocket);
    if (ec) {
        throw beast::system_error(ec);
    }
    // The parser's own limit lets an announced length through, so check it before the body.
    if (parser.content_length().value_or(0) > ApiClient::kBodyLimit) {
        throw beast::system_error(http::error::body_limit);
    }
    done = false;
    http::async_read(stream, buffer, parser, complete);
    runStep(ioc, bounds, done, ec, closeSocket);
    if (ec) {
        throw beast::system_error(ec);
    }
    if (parser.get().body().size() > ApiClient::kBodyLimit) {
        throw beast::system_error(http::error::body_limit);
    }
    trace::text("Got response: HTTP ", parser.get().result_int());

    // A peer that has already gone is fine: the whole response is in hand.
    stream.socket().shutdown(tcp::socket::shutdown_both, ec);
    if (ec && ec != beast::errc::not_connected) {
        trace::text("not_connected : ", ec.message());
        throw beast::system_error(ec);
    }
    auto response = parser.release();
    return {response.result_int(), std::move(response.body()), {}};
}

// How reasons name the server: an IPv6 address in brackets, as in a URL.
std::string addressText(const ApiClient::Server& server) {
    bool const ipv6 = server.host.find(':') != std::string::npos;
    std::string const host = ipv6 ? "[" + server.host + "]" : server.host;
    return host + ":" + std::to_string(server.port);
}

}  // namespace

ApiClient::ApiClient() : startLookup_(platform::startNameLookup) {}

void ApiClient::setServer(Server server) {
    std::lock_guard<std::mutex> lock(serverMutex_);
    server_ = std::move(server);
}

ApiClient::Server ApiClient::server() const {
    std::lock_guard<std::mutex> lock(serverMutex_);
    return server_;
}

void ApiClient::cancelSessionExchanges() {
    std::lock_guard<std::mutex> lock(serverMutex_);
    sessionStopped_->store(true, std::memory_order_release);
    sessionStopped_ = std::make_shared<std::atomic<bool>>(false);
}

Outcome<ApiClient::Reply> ApiClient::RequestPost(std::string target, std::string body,
                                                 Clock::time_point until) const {
    Server to;
    std::shared_ptr<const std::atomic<bool>> sessionStopped;
    {
        std::lock_guard<std::mutex> lock(serverMutex_);
        to = server_;
        sessionStopped = sessionStopped_;
    }
    std::string what = "POST " + target + " to " + addressText(to);
    try {
        trace::text("RequestPost ", to.host, ":", to.port, target, " with ", body.size(), " bytes");
        // Both bounds as time left, so a far `until` cannot overflow the clock.
        auto const now = Clock::now();
        auto const left = until <= now ? Clock::duration::zero()
                                       : std::min<Clock::duration>(until - now, deadline_);
        ExchangeBounds const bounds{now + left, cancelled_, std::move(sessionStopped)};
        if (bounds.over()) {
            throw std::runtime_error(bounds.cancelled() ? bounds.cancellation()
                                                        : "no time was left for the exchange");
        }
        Reply reply = exchange(startLookup_, to, std::move(target), std::move(body), bounds);
        reply.exchange = std::move(what);
        return reply;
    } catch (const std::exception& error) {
        trace::text("Error ", error.what());
        return Failure{FailureKind::exchange, what + " failed: " + error.what()};
    }
}

}  // namespace corvo::api
