// RequestPost: one HTTP/1.1 POST with Boost.Beast, bounded by a deadline. Beast's timeouts only
// apply to asynchronous operations, so each step is started asynchronously and the I/O context
// runs until the step completes or the time left is used up.
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "api/api_client.h"
#include "trace/trace.h"

namespace corvo::api {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// Runs the context until `done` or the deadline; a step still pending then is cancelled, left
// to finish its handler, and reported as timed out.
template <class Cancel>
void runStep(net::io_context& ioc, Clock::time_point deadline, const bool& done,
             beast::error_code& ec, Cancel cancel) {
    ioc.restart();
    ioc.run_until(deadline);
    if (done) {
        return;
    }
    cancel();
    ioc.restart();
    ioc.run();
    ec = beast::error::timeout;
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

std::string exchange(const std::string& host, std::int32_t port, std::string target,
                     std::string body, Clock::time_point deadline) {
    net::io_context ioc;
    tcp::resolver resolver(ioc);
    beast::tcp_stream stream(ioc);
    beast::error_code ec;
    bool done = false;
    auto const complete = [&](beast::error_code result, auto&&...) {
        ec = result;
        done = true;
    };
    auto const closeSocket = [&] { stream.socket().close(); };

    if (port < 0 || port > 65535) {
        throw std::out_of_range("port " + std::to_string(port) + " is not a TCP port");
    }
    // An address needs no name resolution, whose asynchronous form costs a thread of its own;
    // a name is resolved for any family, with the port's decimal text as the service.
    auto const address = net::ip::make_address(host, ec);
    if (!ec) {
        stream.async_connect(tcp::endpoint(address, static_cast<unsigned short>(port)), complete);
    } else {
        tcp::resolver::results_type endpoints;
        resolver.async_resolve(host, std::to_string(port),
                               [&](beast::error_code result, tcp::resolver::results_type found) {
                                   ec = result;
                                   endpoints = std::move(found);
                                   done = true;
                               });
        runStep(ioc, deadline, done, ec, [&] { resolver.cancel(); });
        if (ec) {
            throw beast::system_error(ec);
        }
        // Try the resolved endpoints in order until one accepts.
        done = false;
        stream.async_connect(endpoints, complete);
    }
    runStep(ioc, deadline, done, ec, closeSocket);
    if (ec) {
        throw beast::system_error(ec);
    }

    auto request = buildRequest(host, std::move(target), std::move(body));
    done = false;
    http::async_write(stream, request, complete);
    runStep(ioc, deadline, done, ec, closeSocket);
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
    runStep(ioc, deadline, done, ec, closeSocket);
    if (ec) {
        throw beast::system_error(ec);
    }
    // The parser's own limit lets an announced length through, so check it before the body.
    if (parser.content_length().value_or(0) > ApiClient::kBodyLimit) {
        throw beast::system_error(http::error::body_limit);
    }
    done = false;
    http::async_read(stream, buffer, parser, complete);
    runStep(ioc, deadline, done, ec, closeSocket);
    if (ec) {
        throw beast::system_error(ec);
    }
    if (parser.get().body().size() > ApiClient::kBodyLimit) {
        throw beast::system_error(http::error::body_limit);
    }
    trace::text("Got response");

    // A peer that has already gone is fine: the whole response is in hand.
    stream.socket().shutdown(tcp::socket::shutdown_both, ec);
    if (ec && ec != beast::errc::not_connected) {
        trace::text("not_connected : ", ec.message());
        throw beast::system_error(ec);
    }
    return parser.release().body();
}

}  // namespace

std::string ApiClient::RequestPost(std::string target, std::string body) const {
    try {
        trace::text("RequestPost ", host, ":", port, target, " with body ", body);
        return exchange(host, port, std::move(target), std::move(body), Clock::now() + deadline_);
    } catch (const std::exception& error) {
        trace::text("Error ", error.what());
        return "0";
    }
}

}  // namespace corvo::api
