#include "peer/http_connection.h"

#include <algorithm>
#include <array>

#include <boost/asio/buffer.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include "peer/http_wire.h"

namespace corvo::testing::detail {
namespace {

namespace asio = boost::asio;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHeadBytes = 64 * 1024;
constexpr std::size_t kMaxBodyBytes = 64 * 1024 * 1024;
constexpr std::size_t kReadChunkBytes = 64 * 1024;
// After the reply the server half-closes and lets the client close first, so unread input
// never turns the close into a reset that would destroy the reply in flight.
constexpr auto kLingerTime = std::chrono::seconds(2);

const std::string& sizedPattern() {
    // A whole number of 16-byte periods, so consecutive blocks continue the pattern.
    static const std::string pattern = [] {
        std::string bytes(kReadChunkBytes, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = Reply::sizedByte(i);
        }
        return bytes;
    }();
    return pattern;
}

}  // namespace

HttpConnection::HttpConnection(ServerShared& shared)
    : shared_(shared), socket_(context_), timer_(context_), chunk_(kReadChunkBytes) {}

HttpConnection::~HttpConnection() {
    shut();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void HttpConnection::start(asio::ip::tcp::socket accepted) {
    error_code ec;
    const auto protocol = accepted.local_endpoint(ec).protocol();
    if (!ec) {
        const auto handle = accepted.release(ec);
        if (!ec) {
            socket_.assign(protocol, handle, ec);
            // Replies go out whole, as a production server's would, not held back by Nagle.
            socket_.set_option(asio::ip::tcp::no_delay(true), ec);
        }
    }
    if (ec) {
        finished_ = true;
        return;
    }
    thread_ = std::thread([this] { run(); });
}

void HttpConnection::shut() {
    asio::post(context_, [this] {
        shut_ = true;
        error_code ec;
        socket_.close(ec);
        timer_.cancel();
    });
}

void HttpConnection::wakeStall() {
    asio::post(context_, [this] { timer_.cancel(); });
}

void HttpConnection::run() {
    try {
        RecordedRequest request;
        if (readRequest(request)) {
            std::uint64_t generation = 0;
            std::shared_ptr<const HttpTestServer::Handler> handler;
            {
                std::lock_guard<std::mutex> lock(shared_.mutex);
                generation = shared_.releaseGeneration;
                handler = shared_.handler;
                if (shared_.recording) {
                    shared_.requests.push_back(request);
                }
            }
            shared_.recorded.notify_all();
            play((*handler)(request), generation);
        }
    } catch (...) {
        // A throwing handler (or exhausted memory) costs only this connection.
    }
    error_code ec;
    socket_.close(ec);
    finished_ = true;
}

// Runs this connection's handlers until `done`. Every caller has an operation outstanding
// whose handler sets `done`, so the context cannot run dry before that.
bool HttpConnection::await(const bool& done) {
    while (!done) {
        context_.restart();
        if (context_.run_one() == 0) {
            break;
        }
    }
    return done;
}

bool HttpConnection::readSome() {
    if (shut_) {
        return false;
    }
    bool done = false;
    error_code result;
    std::size_t got = 0;
    socket_.async_read_some(asio::buffer(chunk_), [&](error_code ec, std::size_t n) {
        result = ec;
        got = n;
        done = true;
    });
    if (!await(done) || result) {
        return false;
    }
    input_.append(chunk_.data(), got);
    return true;
}

bool HttpConnection::readLine(std::string& line) {
    for (;;) {
        const auto end = input_.find("\r\n");
        if (end != std::string::npos) {
            line.assign(input_, 0, end);
            input_.erase(0, end + 2);
            return true;
        }
        if (input_.size() > kMaxHeadBytes || !readSome()) {
            return false;
        }
    }
}

bool HttpConnection::readExact(std::size_t count, std::string& out) {
    input_.reserve(count);
    while (input_.size() < count) {
        if (!readSome()) {
            return false;
        }
    }
    out.append(input_, 0, count);
    input_.erase(0, count);
    return true;
}

bool HttpConnection::readRequest(RecordedRequest& request) {
    std::size_t end = 0;
    while ((end = input_.find("\r\n\r\n")) == std::string::npos) {
        if (input_.size() >= kMaxHeadBytes || !readSome()) {
            return false;
        }
    }
    if (end + 4 > kMaxHeadBytes) {
        return false;
    }
    request.rawHead.assign(input_, 0, end + 4);
    input_.erase(0, end + 4);
    const auto head = std::string_view(request.rawHead).substr(0, end + 2);
    return parseRequestHead(head, request) && readBody(request);
}

bool HttpConnection::readBody(RecordedRequest& request) {
    std::optional<std::uint64_t> length;
    bool chunked = false;
    for (const auto& [name, value] : request.fields) {
        if (equalsIgnoreCase(name, "Content-Length")) {
            const auto parsed = parseDecimal(value);
            if (!parsed || (length && *length != *parsed)) {
                return false;
            }
            length = parsed;
        } else if (equalsIgnoreCase(name, "Transfer-Encoding")) {
            if (chunked || !equalsIgnoreCase(value, "chunked")) {
                return false;  // other codings are never sent by the clients under test
            }
            chunked = true;
        }
    }
    if ((chunked && length) || (length && *length > kMaxBodyBytes)) {
        return false;
    }
    const bool bodyFollows = chunked || (length && *length > 0);
    const auto expect = request.field("Expect");
    if (bodyFollows && expect && equalsIgnoreCase(*expect, "100-continue") && input_.empty() &&
        !write("HTTP/1.1 100 Continue\r\n\r\n")) {
        return false;
    }
    if (chunked) {
        return readChunkedBody(request.body);
    }
    return !length || readExact(static_cast<std::size_t>(*length), request.body);
}

bool HttpConnection::readChunkedBody(std::string& body) {
    std::string line;
    for (;;) {
        if (!readLine(line)) {
            return false;
        }
        const auto size = parseChunkSize(line);
        if (!size || *size > kMaxBodyBytes - body.size()) {
            return false;
        }
        if (*size == 0) {
            break;
        }
        if (!readExact(static_cast<std::size_t>(*size), body) || !readLine(line) || !line.empty()) {
            return false;
        }
    }
    std::size_t trailerBytes = 0;
    do {  // trailer fields are read and ignored
        if (!readLine(line) || (trailerBytes += line.size() + 2) > kMaxHeadBytes) {
            return false;
        }
    } while (!line.empty());
    return true;
}

bool HttpConnection::write(std::string_view first, std::string_view second) {
    if (shut_) {
        return false;
    }
    bool done = false;
    error_code result;
    const std::array<asio::const_buffer, 2> buffers{asio::buffer(first.data(), first.size()),
                                                    asio::buffer(second.data(), second.size())};
    asio::async_write(socket_, buffers, [&](error_code ec, std::size_t) {
        result = ec;
        done = true;
    });
    return await(done) && !result;
}

bool HttpConnection::wait(std::chrono::milliseconds gap) {
    const auto until = Clock::now() + gap;
    while (!shut_) {
        bool done = false;
        timer_.expires_at(until);
        timer_.async_wait([&](error_code) { done = true; });
        await(done);
        if (Clock::now() >= until) {
            return !shut_;
        }  // otherwise woken early by wakeStall(): keep waiting
    }
    return false;
}

// Discards input until the peer closes, `stop` holds, the deadline passes or shut().
HttpConnection::WatchEnd HttpConnection::watchPeer(Clock::time_point until,
                                                   const std::function<bool()>& stop) {
    bool readPending = false;
    bool readDone = false;
    bool timerPending = false;
    bool timerDone = false;
    error_code readResult;
    WatchEnd end = WatchEnd::Stopped;
    for (;;) {
        if (shut_ || (stop && stop())) {
            end = WatchEnd::Stopped;
            break;
        }
        if (Clock::now() >= until) {
            end = WatchEnd::Deadline;
            break;
        }
        if (!readPending) {
            readPending = true;
            readDone = false;
            socket_.async_read_some(asio::buffer(chunk_), [&](error_code ec, std::size_t) {
                readResult = ec;
                readDone = true;
            });
        }
        if (!timerPending) {
            timerPending = true;
            timerDone = false;
            timer_.expires_at(until);
            timer_.async_wait([&](error_code) { timerDone = true; });
        }
        while (!readDone && !timerDone) {
            context_.restart();
            context_.run_one();
        }
        if (readDone) {
            readPending = false;
            if (readResult) {
                end = WatchEnd::PeerGone;
                break;
            }
        }
        if (timerDone) {
            timerPending = false;
        }
    }
    // No operation may outlive the flags it writes to.
    if (readPending) {
        error_code ec;
        socket_.cancel(ec);
        await(readDone);
    }
    if (timerPending) {
        timer_.cancel();
        await(timerDone);
    }
    return end;
}

void HttpConnection::play(const Reply& reply, std::uint64_t generation) {
    using Kind = Reply::Kind;
    const auto length = [](std::size_t n) {
        return "Content-Length: " + std::to_string(n) + "\r\n";
    };
    switch (reply.kind) {
        case Kind::Text:
            write(replyHead(reply, length(reply.body.size())), reply.body);
            break;
        case Kind::Chunked:
            write(replyHead(reply, "Transfer-Encoding: chunked\r\n"),
                  chunkedBody(reply.body, reply.chunkSize));
            break;
        case Kind::EofFramed:
            write(replyHead(reply, ""), reply.body);
            break;
        case Kind::Truncated:
            write(replyHead(reply, length(reply.announcedLength)), reply.body);
            break;
        case Kind::Close:
            break;
        case Kind::Stall: {
            const auto released = [&] {
                std::lock_guard<std::mutex> lock(shared_.mutex);
                return shared_.releaseGeneration != generation;
            };
            const auto end = watchPeer(Clock::time_point::max(), released);
            if (end == WatchEnd::Stopped && !shut_ && reply.next) {
                play(*reply.next, generation);
                return;
            }
            break;
        }
        case Kind::Raw:
            write(reply.body);
            break;
        case Kind::Drip:
            for (std::size_t i = 0; i < reply.body.size(); ++i) {
                if (!write(std::string_view(reply.body).substr(i, 1)) ||
                    (i + 1 < reply.body.size() && !wait(reply.gap))) {
                    break;
                }
            }
            break;
        case Kind::Sized: {
            const std::string_view pattern = sizedPattern();
            std::size_t remaining = reply.sizedBytes;
            bool ok = write(replyHead(reply, length(remaining)));
            while (ok && remaining > 0) {
                const auto block = std::min(remaining, pattern.size());
                ok = write(pattern.substr(0, block));
                remaining -= block;
            }
            break;
        }
    }
    closeGracefully();
}

void HttpConnection::closeGracefully() {
    if (shut_) {
        return;
    }
    error_code ec;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ec);
    if (!ec) {
        watchPeer(Clock::now() + kLingerTime, nullptr);
    }
}

}  // namespace corvo::testing::detail
