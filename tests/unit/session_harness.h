// A Processor with its own client, socket holder and monitor, wired to a loopback HTTP server
// and a CURVE publisher, for tests that run the session threads without the exports.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "common/eventually.h"
#include "common/processor_seam.h"
#include "peer/curve_publisher.h"
#include "peer/http_test_server.h"
#include "session/processor.h"
#include "trace/trace.h"

namespace corvo::testing {

// Collects trace texts while alive.
class TraceCapture {
  public:
    TraceCapture() {
        trace::setSink([this](std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.emplace_back(text);
        });
    }
    ~TraceCapture() { trace::setSink(nullptr); }
    bool contains(const std::string& text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), text) != lines_.end();
    }
    std::size_t count(const std::string& prefix) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::count_if(lines_.begin(), lines_.end(),
                             [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class SessionHarness {
  public:
    SessionHarness() {
        client.setServer({"127.0.0.1", http.port()});
        corvo::session::ProcessorSeam::setUserKey(processor, "harness-key");
        corvo::session::ProcessorSeam::setStreamEndpoint(processor, publisher.endpoint());
    }
    ~SessionHarness() { stop(); }

    // Starts the threads and waits for the subscriber to connect.
    bool start() {
        return processor.startSessionThreads(processor.stopRequests()) &&
               eventually([&] { return processor.isRunning(); });
    }
    // Subscribes `code` ("" for every topic) and waits until the publisher has the filter.
    bool subscribe(const std::string& code) {
        std::string snapshot;
        return corvo::session::legacySubscribe(processor, code, snapshot, false) &&
               publisher.waitForSubscription(code.empty() ? code : code + "_",
                                             std::chrono::seconds(5));
    }
    void stop() {
        processor.endSession();
        EXPECT_TRUE(processor.sessionThreadsEnded());
    }

    HttpTestServer http;
    CurvePublisher publisher;
    api::ApiClient client;
    zmq::socket_t socket;
    session::connect_monitor_c monitor;
    session::Processor processor{client, socket, monitor};
};

}  // namespace corvo::testing
