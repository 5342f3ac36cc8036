// CURVE-secured ZeroMQ publisher on loopback for streaming tests and the reference server.
// Public methods are thread-safe; every ZeroMQ socket lives on one internal thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvo/build_constants.h"

namespace corvo::testing {

class CurvePublisher {
  public:
    using BurstMaker = std::function<std::vector<std::string>(std::uint64_t index)>;

    // Binds an XPUB socket as CURVE server with this Z85 secret on tcp://127.0.0.1:<port>
    // (0: ephemeral). Throws on an invalid secret or a failed bind.
    explicit CurvePublisher(std::string serverSecretZ85 = corvo::build::kCurveServerSecret,
                            std::uint16_t port = 0);
    ~CurvePublisher();
    CurvePublisher(const CurvePublisher&) = delete;
    CurvePublisher& operator=(const CurvePublisher&) = delete;

    std::uint16_t port() const;
    std::string endpoint() const;      // "tcp://127.0.0.1:<port>"
    std::string publicKeyZ85() const;  // what clients pass as their CURVE server key

    // Queues one multipart message (at least one frame, any bytes). Messages queued from
    // one thread go out in order. Dropped while stopped.
    void publish(std::vector<std::string> frames);
    void publish(const std::string& topic, const std::string& payload);
    // Sends make(0) .. make(count - 1) back to back from the internal thread and returns
    // once all are handed to ZeroMQ. The send queue is unbounded, so nothing is dropped.
    // Throws std::logic_error while stopped.
    void publishBurst(BurstMaker make, std::uint64_t count);
    // Returns once everything queued before the call was handed to ZeroMQ.
    void flush();
    // Messages handed to ZeroMQ so far.
    std::uint64_t sentCount() const;

    // True once a subscribe (or unsubscribe) for exactly `filter` arrived since construction
    // or the last restart(). This is how tests wait out the slow-joiner window. Note that a
    // libzmq SUB resends its filters after a reconnect only when its owner next calls into
    // the socket (recv, poll, getsockopt), so a test must keep the client receiving.
    bool waitForSubscription(const std::string& filter, std::chrono::milliseconds deadline) const;
    bool waitForUnsubscription(const std::string& filter, std::chrono::milliseconds deadline) const;
    // Filters currently subscribed, sorted; one entry per subscribe not yet unsubscribed.
    std::vector<std::string> subscriptions() const;

    // Closes the socket at once (linger 0); subscribers see the peer disappear.
    void stop();
    // Binds again on the same port (retrying briefly while it is still busy) and forgets the
    // subscriptions seen so far. Throws if the port stays taken.
    void restart();
    // Binds again on a new ephemeral port, as an operator moving the stream would.
    void moveToNewPort();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvo::testing
