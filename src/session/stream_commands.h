// Carries filter and endpoint changes from any thread to the subscriber thread, the only
// thread that touches the stream socket once it runs, and wakes that thread when the session
// flags change. open/close are called by the session threads; change and wake by any thread.
#pragma once

#include <zmq.hpp>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace corvo::session {

class StreamCommands {
  public:
    // Filter changes, and moving the socket from one endpoint to another (disconnect, connect).
    enum class Kind { subscribe, unsubscribe, connect, disconnect };

    // Starts taking changes for a new session socket; the wake pair lives in `context`.
    void open(zmq::context_t& context);

    // Runs the change (a filter, or an endpoint) on the subscriber thread and waits for it.
    // False when no session socket takes changes or ZeroMQ refused the change.
    bool change(Kind kind, std::string text);

    // Makes the subscriber look at the session flags now instead of after its receive wait.
    void wake();

    // Subscriber side: the socket to poll beside the stream, whether changes are queued (one
    // atomic load, cheap enough to ask between messages), and running the queued changes.
    zmq::socket_t& wakeSocket() { return wakeReceiver_; }
    bool hasPending() const { return hasPending_.load(std::memory_order_acquire); }
    void runPending(zmq::socket_t& stream);

    // Fails what is still queued, refuses further changes and closes the wake pair.
    void close();

  private:
    struct Change {
        Kind kind;
        std::string text;  // a filter or an endpoint
        std::promise<bool> outcome;
    };

    std::mutex mutex_;
    bool open_ = false;
    std::vector<Change> pending_;
    std::atomic<bool> hasPending_{false};
    zmq::socket_t wakeSender_;
    zmq::socket_t wakeReceiver_;
};

}  // namespace corvo::session
