// connect_monitor_c watches the session's stream socket, reports its connection events to the
// trace and counts them for the stream's health. Events arrive on the monitor thread; the counts
// may be read from any thread; `stopWatching` is called by whichever thread closes the watched
// socket, while it is open.
#pragma once

#include <zmq.hpp>

#include <atomic>
#include <cstdint>

namespace corvo::session {

class connect_monitor_c : public zmq::monitor_t {
  public:
    struct Counts {
        std::uint64_t connects = 0;     // secure connections made (handshakes that succeeded)
        std::uint64_t disconnects = 0;  // connections lost
        std::uint64_t handshakeFailures = 0;
        bool connected = false;
    };

    // Since the last reset, which each session start makes.
    Counts counts() const;
    void resetCounts();

    // Stops the monitoring of the watched socket; call it before that socket is closed.
    void stopWatching() { abort(); }

    // Closes the pair socket so the session's context can terminate. The watched socket must
    // already be forgotten through stopWatching.
    void releasePairSocket() { zmq::monitor_t::operator=(zmq::monitor_t()); }

    void on_monitor_started() override;
    void on_event_connected(const zmq_event_t& event, const char* address) override;
    void on_event_connect_delayed(const zmq_event_t& event, const char* address) override;
    void on_event_connect_retried(const zmq_event_t& event, const char* address) override;
    void on_event_closed(const zmq_event_t& event, const char* address) override;
    void on_event_disconnected(const zmq_event_t& event, const char* address) override;
    void on_event_handshake_succeeded(const zmq_event_t& event, const char* address) override;
    void on_event_handshake_failed_no_detail(const zmq_event_t& event,
                                             const char* address) override;
    void on_event_handshake_failed_protocol(const zmq_event_t& event, const char* address) override;
    void on_event_handshake_failed_auth(const zmq_event_t& event, const char* address) override;

  private:
    void countHandshakeFailure(const char* address);

    std::atomic<std::uint64_t> connects_{0};
    std::atomic<std::uint64_t> disconnects_{0};
    std::atomic<std::uint64_t> handshakeFailures_{0};
    std::atomic<bool> connected_{false};
};

}  // namespace corvo::session
