// A CURVE XPUB on the benchmark's own thread: no queue between the harness and ZeroMQ, so
// the publisher is never the bottleneck being measured. Not thread safe; one thread uses it.
#pragma once

#include <zmq.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

#include "corvo/build_constants.h"

namespace corvo::bench {

class CurveFeed {
  public:
    CurveFeed() : publisher_(context_, zmq::socket_type::xpub) {
        publisher_.set(zmq::sockopt::curve_server, 1);
        publisher_.set(zmq::sockopt::curve_secretkey, std::string(build::kCurveServerSecret));
        publisher_.set(zmq::sockopt::sndhwm, 0);
        publisher_.set(zmq::sockopt::xpub_verbose, 1);
        publisher_.bind("tcp://127.0.0.1:*");
        endpoint_ = publisher_.get(zmq::sockopt::last_endpoint);
    }

    const std::string& endpoint() const { return endpoint_; }

    // Waits until a subscribe or unsubscribe message for `filter` arrives, at most `within`.
    bool awaitFilterChange(bool subscribe, const std::string& filter,
                           std::chrono::milliseconds within = std::chrono::seconds(10)) {
        auto const deadline = std::chrono::steady_clock::now() + within;
        zmq::message_t message;
        while (std::chrono::steady_clock::now() < deadline) {
            publisher_.set(zmq::sockopt::rcvtimeo,
                           static_cast<int>(std::min<std::int64_t>(100, within.count())));
            if (!publisher_.recv(message)) {
                continue;
            }
            std::string const text = message.to_string();
            if (!text.empty() && (text[0] == 1) == subscribe && text.substr(1) == filter) {
                return true;
            }
        }
        return false;
    }

    void send(const std::string& topic, const std::string& payload) {
        publisher_.send(zmq::buffer(topic), zmq::send_flags::sndmore);
        publisher_.send(zmq::buffer(payload), zmq::send_flags::none);
    }

    zmq::context_t& context() { return context_; }

  private:
    zmq::context_t context_;
    zmq::socket_t publisher_;
    std::string endpoint_;
};

// The raw baseline: a bare cppzmq CURVE SUB with fresh client keys.
inline zmq::socket_t bareSubscriber(zmq::context_t& context, const std::string& endpoint) {
    char serverPublic[41];
    char clientPublic[41];
    char clientSecret[41];
    zmq_curve_public(serverPublic, build::kCurveServerSecret);
    zmq_curve_keypair(clientPublic, clientSecret);
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::curve_serverkey, std::string(serverPublic, 40));
    subscriber.set(zmq::sockopt::curve_publickey, std::string(clientPublic, 40));
    subscriber.set(zmq::sockopt::curve_secretkey, std::string(clientSecret, 40));
    subscriber.connect(endpoint);
    return subscriber;
}

}  // namespace corvo::bench
