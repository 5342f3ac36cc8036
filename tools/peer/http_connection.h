// One accepted HttpTestServer connection: a thread that reads one request, records it and
// plays the handler's reply. shut() and wakeStall() may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "peer/http_test_server.h"

namespace corvo::testing::detail {

// State every connection shares with its server.
struct ServerShared {
    mutable std::mutex mutex;
    mutable std::condition_variable recorded;
    std::vector<RecordedRequest> requests;
    std::shared_ptr<const HttpTestServer::Handler> handler;
    std::uint64_t releaseGeneration = 0;  // bumped by releaseStalls()
    bool recording = true;                // a long-running server keeps no history
};

class HttpConnection {
  public:
    explicit HttpConnection(ServerShared& shared);
    ~HttpConnection();  // shut() and join
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Adopts an accepted socket (any executor) and starts the connection thread.
    void start(boost::asio::ip::tcp::socket accepted);
    // Closes the socket and cancels every wait; the thread then ends promptly.
    void shut();
    // Makes a stalled connection re-check whether releaseStalls() covers it.
    void wakeStall();
    bool finished() const { return finished_.load(); }

  private:
    enum class WatchEnd { PeerGone, Stopped, Deadline };

    void run();
    bool await(const bool& done);
    bool readSome();
    bool readLine(std::string& line);
    bool readExact(std::size_t count, std::string& out);
    bool readRequest(RecordedRequest& request);
    bool readBody(RecordedRequest& request);
    bool readChunkedBody(std::string& body);
    bool write(std::string_view first, std::string_view second = {});
    bool wait(std::chrono::milliseconds gap);
    WatchEnd watchPeer(std::chrono::steady_clock::time_point until,
                       const std::function<bool()>& stop);
    void play(const Reply& reply, std::uint64_t generation);
    void closeGracefully();

    ServerShared& shared_;
    // Every socket and timer operation runs on this context from the connection thread.
    boost::asio::io_context context_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer timer_;
    std::string input_;
    std::vector<char> chunk_;
    bool shut_ = false;  // connection thread only
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace corvo::testing::detail
