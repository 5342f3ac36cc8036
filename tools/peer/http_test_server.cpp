#include "peer/http_test_server.h"

#include <atomic>
#include <list>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "peer/http_connection.h"
#include "peer/http_wire.h"

namespace corvo::testing {

namespace asio = boost::asio;
using boost::system::error_code;

std::optional<std::string> RecordedRequest::field(std::string_view name) const {
    for (const auto& [fieldName, value] : fields) {
        if (detail::equalsIgnoreCase(fieldName, name)) {
            return value;
        }
    }
    return std::nullopt;
}

Reply Reply::text(std::string body, int status) {
    Reply reply;
    reply.body = std::move(body);
    reply.status = status;
    return reply;
}

Reply Reply::chunked(std::string body, std::size_t chunkSize, int status) {
    Reply reply = text(std::move(body), status);
    reply.kind = Kind::Chunked;
    reply.chunkSize = chunkSize;
    return reply;
}

Reply Reply::eofFramed(std::string body, int status) {
    Reply reply = text(std::move(body), status);
    reply.kind = Kind::EofFramed;
    return reply;
}

Reply Reply::truncated(std::string body, std::size_t announcedLength) {
    Reply reply = text(std::move(body));
    reply.kind = Kind::Truncated;
    reply.announcedLength = announcedLength;
    return reply;
}

Reply Reply::closeWithoutReply() {
    Reply reply;
    reply.kind = Kind::Close;
    return reply;
}

Reply Reply::stall(Reply next) {
    Reply reply;
    reply.kind = Kind::Stall;
    reply.next = std::make_shared<const Reply>(std::move(next));
    return reply;
}

Reply Reply::raw(std::string bytes) {
    Reply reply = text(std::move(bytes));
    reply.kind = Kind::Raw;
    return reply;
}

Reply Reply::drip(std::string bytes, std::chrono::milliseconds gap) {
    Reply reply = raw(std::move(bytes));
    reply.kind = Kind::Drip;
    reply.gap = gap;
    return reply;
}

Reply Reply::sized(std::size_t bodyBytes, int status) {
    Reply reply = text({}, status);
    reply.kind = Kind::Sized;
    reply.sizedBytes = bodyBytes;
    return reply;
}

struct HttpTestServer::Impl {
    Impl(std::uint16_t wantedPort, bool record)
        : acceptor(acceptContext), retryTimer(acceptContext) {
        setHandler(nullptr);
        state.recording = record;
        const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), wantedPort);
        acceptor.open(endpoint.protocol());
        acceptor.set_option(asio::socket_base::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen();
        port = acceptor.local_endpoint().port();
        acceptNext();
        acceptThread = std::thread([this] { acceptContext.run(); });
    }

    ~Impl() {
        acceptContext.stop();
        if (acceptThread.joinable()) {
            acceptThread.join();
        }
        std::list<std::unique_ptr<detail::HttpConnection>> ending;
        {
            std::lock_guard<std::mutex> lock(connectionsMutex);
            ending.swap(connections);
        }
        // Shut them all before the first join so they wind down in parallel.
        for (auto& connection : ending) {
            connection->shut();
        }
        ending.clear();
    }

    void setHandler(Handler handler) {
        if (!handler) {
            handler = [](const RecordedRequest&) { return Reply::text("0"); };
        }
        auto shared = std::make_shared<const Handler>(std::move(handler));
        std::lock_guard<std::mutex> lock(state.mutex);
        state.handler = std::move(shared);
    }

    // Runs on the accept thread only.
    void acceptNext() {
        acceptor.async_accept([this](error_code ec, asio::ip::tcp::socket socket) {
            if (ec == asio::error::operation_aborted) {
                return;
            }
            if (ec) {
                // Out of descriptors or similar: back off instead of spinning.
                retryTimer.expires_after(std::chrono::milliseconds(20));
                retryTimer.async_wait([this](error_code waitEc) {
                    if (!waitEc) {
                        acceptNext();
                    }
                });
                return;
            }
            auto connection = std::make_unique<detail::HttpConnection>(state);
            {
                // Listed before it starts, so releaseStalls() can never miss its stall.
                std::lock_guard<std::mutex> lock(connectionsMutex);
                // Reap finished connections so a long-running server does not grow.
                connections.remove_if([](const auto& c) { return c->finished(); });
                connection->start(std::move(socket));
                connections.push_back(std::move(connection));
            }
            acceptNext();
        });
    }

    detail::ServerShared state;
    asio::io_context acceptContext;
    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retryTimer;
    std::uint16_t port = 0;
    std::mutex connectionsMutex;
    std::list<std::unique_ptr<detail::HttpConnection>> connections;
    std::thread acceptThread;
};

HttpTestServer::HttpTestServer(std::uint16_t port, bool record)
    : impl_(std::make_unique<Impl>(port, record)) {}

HttpTestServer::~HttpTestServer() = default;

void HttpTestServer::setHandler(Handler handler) {
    impl_->setHandler(std::move(handler));
}

std::uint16_t HttpTestServer::port() const {
    return impl_->port;
}

std::vector<RecordedRequest> HttpTestServer::requests() const {
    std::lock_guard<std::mutex> lock(impl_->state.mutex);
    return impl_->state.requests;
}

std::size_t HttpTestServer::requestCount() const {
    std::lock_guard<std::mutex> lock(impl_->state.mutex);
    return impl_->state.requests.size();
}

bool HttpTestServer::waitForRequests(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(impl_->state.mutex);
    return impl_->state.recorded.wait_for(lock, deadline,
                                          [&] { return impl_->state.requests.size() >= count; });
}

void HttpTestServer::clearRequests() {
    std::lock_guard<std::mutex> lock(impl_->state.mutex);
    impl_->state.requests.clear();
}

std::size_t HttpTestServer::forgetFinishedConnections() {
    std::lock_guard<std::mutex> lock(impl_->connectionsMutex);
    impl_->connections.remove_if([](const auto& c) { return c->finished(); });
    return impl_->connections.size();
}

void HttpTestServer::releaseStalls() {
    {
        std::lock_guard<std::mutex> lock(impl_->state.mutex);
        ++impl_->state.releaseGeneration;
    }
    std::lock_guard<std::mutex> lock(impl_->connectionsMutex);
    for (auto& connection : impl_->connections) {
        connection->wakeStall();
    }
}

}  // namespace corvo::testing
