#include "exports/library_objects.h"

#include <atomic>

namespace corvo::exports {
namespace {

// Definition order is construction order within this file: client, socket holder, monitor,
// then the Processor that refers to all three. They are deliberately never destroyed at
// unload: detached session threads may still be winding down when the host exits.
api::ApiClient* const apiClient = new api::ApiClient();
zmq::socket_t* streamSocket = new zmq::socket_t();
session::connect_monitor_c* streamMonitor = new session::connect_monitor_c();
std::atomic<session::Processor*> theProcessor{
    new session::Processor(*apiClient, *streamSocket, *streamMonitor)};
std::mutex lifecycle;

}  // namespace

session::Processor* processor() { return theProcessor.load(std::memory_order_acquire); }

session::Processor* runningProcessor() {
    session::Processor* const current = processor();
    return current != nullptr && current->running ? current : nullptr;
}

std::mutex& lifecycleMutex() { return lifecycle; }

void tearDownLibrary() {
    session::Processor* const last = theProcessor.exchange(nullptr, std::memory_order_acq_rel);
    if (last == nullptr) {
        return;
    }
    delete streamSocket;  // closes a socket still held, if any
    streamSocket = nullptr;
    delete streamMonitor;
    streamMonitor = nullptr;
    delete last;
}

}  // namespace corvo::exports
