#include "session/connect_monitor.h"

#include "trace/trace.h"

namespace corvo::session {

void connect_monitor_c::on_monitor_started() {
    trace::text("[Monitor_c] Started monitoring ");
    if (startedHook_) {
        startedHook_();
    }
}

void connect_monitor_c::on_event_connected(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Connected to Server ", address);
}

void connect_monitor_c::on_event_connect_delayed(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Connecting to ", address, " taking longer than expected");
}

void connect_monitor_c::on_event_connect_retried(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Connecting to ", address, " fail, retrying");
}

void connect_monitor_c::on_event_closed(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Close connection to ", address);
}

void connect_monitor_c::on_event_disconnected(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Close disconnected to ", address);
}

}  // namespace corvo::session
