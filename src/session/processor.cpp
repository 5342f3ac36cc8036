#include "session/processor.h"

#include "corvo/build_constants.h"

namespace corvo::session {

Processor::Processor(api::ApiClient& apiClient, zmq::socket_t& streamSocket,
                     connect_monitor_c& streamMonitor)
    : clientSecret(build::kClientSecret),
      api_(apiClient),
      streamSocket_(streamSocket),
      streamMonitor_(streamMonitor) {}

Processor::~Processor() {
    requestStop();
    joinSessionThreads();
}

void Processor::setUserKey(std::string key) {
    std::lock_guard<std::mutex> lock(sessionTextMutex_);
    userKey = std::move(key);
}

void Processor::setStreamEndpoint(std::string endpoint) {
    std::lock_guard<std::mutex> lock(sessionTextMutex_);
    streamEndpoint = std::move(endpoint);
}

std::string Processor::endpoint() const {
    std::lock_guard<std::mutex> lock(sessionTextMutex_);
    return streamEndpoint;
}

std::vector<std::string> Processor::subscribedSnapshot() {
    Gate::Section section(subscriptionGate_);
    return subscribedSymbols;
}

}  // namespace corvo::session
