#include "session/connect_monitor.h"

#include "trace/trace.h"

namespace corvo::session {

void connect_monitor_c::on_monitor_started() {
    trace::text("[Monitor_c] Started monitoring ");
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

connect_monitor_c::Counts connect_monitor_c::counts() const {
    return {connects_.load(), disconnects_.load(), handshakeFailures_.load(), connected_.load()};
}

void connect_monitor_c::resetCounts() {
    connects_ = 0;
    disconnects_ = 0;
    handshakeFailures_ = 0;
    connected_ = false;
}

void connect_monitor_c::on_event_handshake_succeeded(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Secured connection to ", address);
    ++connects_;
    connected_ = true;
}

void connect_monitor_c::on_event_handshake_failed_no_detail(const zmq_event_t&,
                                                            const char* address) {
    countHandshakeFailure(address);
}

void connect_monitor_c::on_event_handshake_failed_protocol(const zmq_event_t&,
                                                           const char* address) {
    countHandshakeFailure(address);
}

void connect_monitor_c::on_event_handshake_failed_auth(const zmq_event_t&, const char* address) {
    countHandshakeFailure(address);
}

void connect_monitor_c::countHandshakeFailure(const char* address) {
    trace::text("[Monitor_c] Handshake with ", address, " failed");
    ++handshakeFailures_;
}

void connect_monitor_c::on_event_closed(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Close connection to ", address);
}

void connect_monitor_c::on_event_disconnected(const zmq_event_t&, const char* address) {
    trace::text("[Monitor_c] Close disconnected to ", address);
    ++disconnects_;
    connected_ = false;
}

}  // namespace corvo::session
