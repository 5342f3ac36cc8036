// connect_monitor_c watches the session's stream socket and reports its connection events to
// the trace hook. Its start-up hook starts the subscriber thread. Used by the monitor thread;
// `stopWatching` is called by whichever thread closes the watched socket, while it is open.
#pragma once

#include <zmq.hpp>

#include <functional>

namespace corvo::session {

class connect_monitor_c : public zmq::monitor_t {
  public:
    // Runs on the monitor thread from inside `init`, once the pair socket is connected.
    void setStartedHook(std::function<void()> hook) { startedHook_ = std::move(hook); }

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

  private:
    std::function<void()> startedHook_;
};

}  // namespace corvo::session
